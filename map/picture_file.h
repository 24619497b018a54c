// Reading a picture file (PNG or BMP) into an Image, for the batch command,
// which takes such a file as its screen, and for tests and benches.
#pragma once
#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <string>

#include "map/image.h"

// The largest picture accepted: at most Picture_side_max pixels a side and at
// most Picture_pixels_max pixels, those of an 8K screen (7680 x 4320), which
// also covers a 4K screen, three 4K screens side by side and any portrait
// layout of them. The decode of the largest one peaks at about 600 MB (a
// 16-bit RGBA PNG), that of an ordinary 8-bit 8K screenshot at about 250 MB.
inline constexpr int Picture_side_max = 16384;
inline constexpr int64_t Picture_pixels_max = int64_t(7680) * 4320;

// Deflate turns one byte into at most about 1032, so a PNG's raw rows can
// never be more than this many times its file size.
inline constexpr int64_t Png_inflate_ratio_max = 1032;

// Decodes a PNG or BMP held in memory. Before any pixel memory is taken the
// declared size is checked against the limits above and against the data:
// a PNG's raw rows must be within Png_inflate_ratio_max times its size, an
// uncompressed BMP must hold its rows. False with a reason in why (out is
// then unchanged) when the bytes are not such a picture or fail a check.
bool Picture_decode(const uint8_t* data, size_t size, Image& out, std::string& why);

// Reads the file and decodes it with Picture_decode. False with a reason in
// why when the file is missing or unreadable or the decode refuses it.
bool Picture_read(const std::string& path, Image& out, std::string& why);
