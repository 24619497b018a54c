// Whole-file reading and writing for the data files and the pictures.
//
// Paths are UTF-8 texts; they are opened through std::filesystem so that a
// folder with non-ASCII characters works on Windows too. A file is replaced
// through the folder writer (storage/folder_writer.h) as a set of one: a
// failed or interrupted write leaves the earlier file whole, never a torn one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "map/image.h"
#include "platform/file_read.h"
#include "platform/paths.h"

// Writes size bytes to path, replacing any earlier file. False on any failure;
// the earlier file, if there was one, is then left as it was.
bool File_replace(const std::string& path, const void* data, size_t size);

// Picture files written the same way: the bitmap of a rectangle of a picture
// (map/map_pictures.h) and a PNG of a whole picture (route/render.h).
bool Bmp_write(const Image& picture, const std::string& path, int32_t left, int32_t top, int32_t right,
               int32_t bottom);
bool Png_write(const Image& picture, const std::string& path);
