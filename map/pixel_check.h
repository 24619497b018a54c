// The single definition of a road pixel (Pixel_check) and the colour
// conversion it falls back on (Rgb_to_hsv).
#pragma once
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
// Only the low 24 bits of the colour count; any thread may call it.
uint8_t Pixel_code(uint32_t colour);

// 1 = road, 0 = not road, for pixel (x, y) of the surface; a position outside
// it reads as pure white. Sets Last_rgb and Pixel_weight, may set Evac_seen;
// reads Rec_count for the orange rule.
int32_t Pixel_check(const Image& surface, int32_t x, int32_t y);

void Rgb_to_hsv(int32_t r, int32_t g, int32_t b, int32_t& value, int32_t& hue, int32_t& chroma);
