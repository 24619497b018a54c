// The travel-time map: a picture of a saved piece of work in which every
// reached road pixel carries the colour of its walking time to safety, in
// bands of whole minutes from near (green) to far (red), for seeing at a
// glance which streets are far from an evacuation place and which are cut off.
//
// The picture is the map picture, faded so that the colours on top stand out,
// with the reached pixels coloured by band, the road pixels no route reaches
// left as on the map, the markers in their own colours, and a legend panel to
// the right of the map.
//
// Owns: the band colours, the fade, the legend's layout, the PNG file.
// Called by: tovi-cli render, tests and benches.
#pragma once
#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <string>
#include <vector>

#include "map/image.h"
#include "markers/base_data.h"

// Width of the legend panel's margins and of one row, in pixels.
inline constexpr int32_t Legend_pad = 12;
inline constexpr int32_t Legend_row = 22;

struct Travel_render {
    Image picture;             // the map (left, at the origin) and the legend (right)
    int32_t reached = 0;       // pixels coloured by their time
    int32_t bands = 0;         // bands in the legend: 0 to bands - 1
    int32_t longest_count = 0; // the largest pixel count of any reached pixel
};

// Composes the travel-time map from the map picture, the marker sets of the
// work, the per-pixel counts of Travel_counts (grid-sized), the scale flag
// (0 = 100 m, 1 = 200 m) and the band width in minutes (positive).
Travel_render Travel_map_render(const Image& map, const Base_record& sets, const std::vector<int32_t>& counts,
                                int scale_flag, int32_t band_minutes);

// The colour of band k of a scale of `bands` bands: green for the nearest,
// through yellow, to red for the farthest.
uint32_t Travel_band_colour(int32_t band, int32_t bands);

// A background pixel of the map, lightened and greyed.
uint32_t Travel_faded(uint32_t colour);

// The picture as a PNG file (24-bit colour); empty when it cannot be encoded.
std::vector<uint8_t> Png_bytes(const Image& picture);
// Writes it to path, replacing an earlier file whole. False on failure.
bool Png_write(const Image& picture, const std::string& path);
