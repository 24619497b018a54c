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

#include "platform/paths.h"

// Writes size bytes to path, replacing any earlier file. False on any failure;
// the earlier file, if there was one, is then left as it was.
bool File_replace(const std::string& path, const void* data, size_t size);

// Reads the whole file, refusing files larger than max_bytes. False on failure.
bool File_read_whole(const std::string& path, std::vector<uint8_t>& out, size_t max_bytes);

bool File_exists(const std::string& path);
