// A fast 64-bit checksum (xxHash's XXH3) for telling whether the files of a
// saved piece of work belong together. It finds accidents (a file of another
// save, a torn or damaged file), not forgeries. 0 is never the checksum of a
// whole file in practice and stands for "no checksum" in saved records.
#pragma once
#include <cstddef>
#include <cstdint>

uint64_t Checksum(const void* data, size_t size);

// Over several pieces as if they were one run of bytes.
struct Checksum_state {
    alignas(64) unsigned char opaque[640];
};
void Checksum_begin(Checksum_state& s);
void Checksum_add(Checksum_state& s, const void* data, size_t size);
uint64_t Checksum_end(const Checksum_state& s);
