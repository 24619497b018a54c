#include "storage/base_tail.h"

#include <cstring>

#include "platform/checksum.h"

namespace {

constexpr size_t Off_mark = 0, Off_version = 4, Off_base_sum = 8, Off_sums = 16, Off_route = 64, Off_origin = 72,
                 Off_mpp = 80, Off_speed = 88, Off_band = 96, Off_limit = 100, Off_title = 104, Off_source = 232;
static_assert(Off_sums + 8 * Sum_count == Off_route);
static_assert(Off_source + Tail_title_bytes <= sizeof(Base_record::Base_reserved));

template <typename T>
T Get(const uint8_t* tail, size_t off) {
    T v;
    std::memcpy(&v, tail + off, sizeof v);  // the record is little-endian like the machine
    return v;
}

template <typename T>
void Put(uint8_t* tail, size_t off, T v) {
    std::memcpy(tail + off, &v, sizeof v);
}

std::string Get_text(const uint8_t* tail, size_t off) {
    const char* p = reinterpret_cast<const char*>(tail + off);
    return std::string(p, strnlen(p, Tail_title_bytes));
}

void Put_text(uint8_t* tail, size_t off, const std::string& s) {
    // Cut on a character boundary so that the text stays UTF-8, with room for the end mark.
    size_t n = s.size() < size_t(Tail_title_bytes) ? s.size() : size_t(Tail_title_bytes - 1);
    while (n > 0 && n < s.size() && (uint8_t(s[n]) & 0xC0) == 0x80) --n;
    std::memcpy(tail + off, s.data(), n);
}

}  // namespace

Base_tail Tail_read(const Base_record& b) {
    const uint8_t* p = b.Base_reserved;
    Base_tail t;
    t.mark = Get<uint32_t>(p, Off_mark);
    t.version = Get<uint32_t>(p, Off_version);
    t.base_sum = Get<uint64_t>(p, Off_base_sum);
    for (int i = 0; i < Sum_count; ++i) t.sums[i] = Get<uint64_t>(p, Off_sums + 8 * size_t(i));
    t.route_markers = Get<uint64_t>(p, Off_route);
    t.origin_x = Get<int32_t>(p, Off_origin);
    t.origin_y = Get<int32_t>(p, Off_origin + 4);
    t.metres_per_pixel = Get<double>(p, Off_mpp);
    t.speed = Get<double>(p, Off_speed);
    t.band_minutes = Get<int32_t>(p, Off_band);
    t.limit_minutes = Get<int32_t>(p, Off_limit);
    t.title = Get_text(p, Off_title);
    t.source = Get_text(p, Off_source);
    return t;
}

void Tail_write(Base_record& b, const Base_tail& t) {
    uint8_t* p = b.Base_reserved;
    std::memset(p, 0, sizeof b.Base_reserved);
    Put(p, Off_mark, t.mark);
    Put(p, Off_version, t.version);
    Put(p, Off_base_sum, t.base_sum);
    for (int i = 0; i < Sum_count; ++i) Put(p, Off_sums + 8 * size_t(i), t.sums[i]);
    Put(p, Off_route, t.route_markers);
    Put(p, Off_origin, t.origin_x);
    Put(p, Off_origin + 4, t.origin_y);
    Put(p, Off_mpp, t.metres_per_pixel);
    Put(p, Off_speed, t.speed);
    Put(p, Off_band, t.band_minutes);
    Put(p, Off_limit, t.limit_minutes);
    Put_text(p, Off_title, t.title);
    Put_text(p, Off_source, t.source);
}

uint64_t Base_sum(const Base_record& b) {
    Base_record copy = b;
    std::memset(copy.Base_reserved + Off_base_sum, 0, 8);
    return Checksum(&copy, sizeof copy);
}
