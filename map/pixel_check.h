// The single definition of a road pixel (Pixel_check) and the colour
// conversion it falls back on (Rgb_to_hsv).
#pragma once
#include <atomic>
#include <cstddef>  // image.h uses size_t without including it
#include <cstdint>

#include "map/image.h"

// Side results of the last Pixel_check made on this thread. Each thread reads
// its own: a caller reads them directly after its own call. constinit lets
// other files reach them directly instead of through a per-access check for
// a dynamic initialiser, a check that the undefined-behaviour sanitizer's
// null test trips over once the linker has rewritten the access.
extern thread_local constinit int32_t Last_rgb[3];
extern thread_local constinit int32_t Pixel_weight;
extern thread_local constinit int32_t Evac_seen;

// Marker colours, which the classifier treats specially.
inline constexpr uint32_t Colour_evac = Rgb(100, 250, 100);
inline constexpr uint32_t Colour_cong = Rgb(250, 200, 20);
inline constexpr uint32_t Colour_nopass = Rgb(250, 50, 10);
inline constexpr uint32_t Colour_white = Rgb(255, 255, 255);
inline constexpr uint32_t Colour_first_wave = Rgb(0, 255, 0);
inline constexpr uint32_t Colour_second_wave = Rgb(255, 0, 0);

// Classification of one colour without side results, for the hot loops:
// a combination of these bits.
enum Pixel_code_bits : uint8_t {
    Code_road = 1,        // road
    Code_evac = 2,        // evacuation colour: sets Evac_seen
    Code_orange = 4,      // orange hue band: sets Evac_seen while Rec_count < 50
    Code_congestion = 8,  // step cost 10
};
// A small direct-mapped cache of decided colours in front of the table. A
// map shows few colours, so nearly every colour is found in it with one load;
// a colour that is not is decided by the table and replaces the slot's entry.
// An entry is the colour with its code in the top byte (Pixel_code_known set),
// in one 32-bit word, so a thread reads either a whole entry or another whole
// entry; any thread may fill any slot and relaxed order is enough.
inline constexpr uint32_t Pixel_code_known = 0x80;
inline constexpr uint32_t Pixel_cache_bits = 14;  // 16,384 slots, 64 KiB
extern std::atomic<uint32_t> Pixel_code_cache[1u << Pixel_cache_bits];

// Decides a colour missing from the cache and enters it; the colour's top
// byte must be 0.
uint8_t Pixel_code_miss(uint32_t colour);

// The decision for a colour whose top byte is 0, through the cache: without a
// branch but the rarely taken one to the table.
inline uint8_t Pixel_code_cached(uint32_t colour) {
    const uint32_t entry =
        Pixel_code_cache[(colour * 0x9E3779B1u) >> (32 - Pixel_cache_bits)].load(std::memory_order_relaxed);
    if ((entry & 0x80FFFFFFu) != (colour | Pixel_code_known << 24)) [[unlikely]]
        return Pixel_code_miss(colour);
    return uint8_t((entry >> 24) & ~Pixel_code_known);
}

// Only the low 24 bits of the colour count; any thread may call it. Pure
// white and the greys, most of the pixels on a street map, are decided here
// inline; of all the greys only (151, 151, 151) is not road.
inline uint8_t Pixel_code(uint32_t colour) {
    colour &= 0xFFFFFF;
    if (((colour ^ (colour >> 8)) & 0xFFFF) == 0) return colour == Rgb(151, 151, 151) ? 0 : uint8_t(Code_road);
    return Pixel_code_cached(colour);
}

// 1 = road, 0 = not road, for pixel (x, y) of the surface; a position outside
// it reads as pure white. Sets Last_rgb and Pixel_weight, may set Evac_seen;
// reads Rec_count for the orange rule.
int32_t Pixel_check(const Image& surface, int32_t x, int32_t y);

void Rgb_to_hsv(int32_t r, int32_t g, int32_t b, int32_t& value, int32_t& hue, int32_t& chroma);
