// Reading a fuzz input in parts, for the fuzz targets: a part cut short by
// the end of the input is as long as what is left.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Two bytes, little-endian; 0 when fewer are left.
inline uint32_t Take16(const uint8_t*& p, size_t& left) {
    if (left < 2) {
        left = 0;
        return 0;
    }
    const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
    p += 2;
    left -= 2;
    return v;
}

// The next n bytes (n cut to what is left).
inline const uint8_t* Take(const uint8_t*& p, size_t& left, size_t& n) {
    if (n > left) n = left;
    const uint8_t* part = p;
    p += n;
    left -= n;
    return part;
}

// An invariant of the code under test: its failure is a finding.
inline void Require(bool held) {
    if (!held) std::abort();
}
