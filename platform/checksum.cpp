#include "platform/checksum.h"

#include <new>

// The header-only form of Debian's libxxhash-dev: the same code on Linux and
// in the Windows build, nothing to link.
#define XXH_INLINE_ALL
#include "xxhash.h"

static_assert(sizeof(XXH3_state_t) <= sizeof(Checksum_state::opaque), "room for the hash state");
static_assert(alignof(XXH3_state_t) <= 64);

uint64_t Checksum(const void* data, size_t size) { return XXH3_64bits(data, size); }

void Checksum_begin(Checksum_state& s) {
    XXH3_state_t* state = new (s.opaque) XXH3_state_t;
    XXH3_INITSTATE(state);
    XXH3_64bits_reset(state);
}

void Checksum_add(Checksum_state& s, const void* data, size_t size) {
    XXH3_64bits_update(reinterpret_cast<XXH3_state_t*>(s.opaque), data, size);
}

uint64_t Checksum_end(const Checksum_state& s) {
    return XXH3_64bits_digest(reinterpret_cast<const XXH3_state_t*>(s.opaque));
}
