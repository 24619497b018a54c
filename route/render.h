// What every picture of a route shares: the fade of the map under the
// colours on top, and the PNG file.
//
// Owns: the fade, the PNG encoding. Called by: the evacuation map
// (route/evac_map.h), tovi-cli render and compare, tests and benches.
#pragma once
#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <string>
#include <vector>

#include "map/image.h"

// A background pixel of the map, lightened and greyed.
uint32_t Travel_faded(uint32_t colour);

// The picture as a PNG file (24-bit colour); empty when it cannot be encoded.
std::vector<uint8_t> Png_bytes(const Image& picture);
// Writes it to path, replacing an earlier file whole. False on failure.
// (Png_write in storage/file_io.h writes it into a file.)
