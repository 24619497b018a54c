// Reading a picture file (PNG or BMP) into an Image, for the batch command,
// which takes such a file as its screen, and for tests and benches.
#pragma once
#include <cstddef>  // image.h uses size_t
#include <string>

#include "map/image.h"

// False with a reason in why when the file is missing, not a PNG or BMP the
// reader understands, or larger than Picture_side_max in either direction.
bool Picture_read(const std::string& path, Image& out, std::string& why);

inline constexpr int Picture_side_max = 16384;
