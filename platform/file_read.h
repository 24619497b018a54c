// Reading whole files, for the picture readers and the loader. Paths are
// UTF-8 texts, opened through std::filesystem so that any name opens.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads the whole file, refusing files larger than max_bytes. False on failure.
bool File_read_whole(const std::string& path, std::vector<uint8_t>& out, size_t max_bytes);

bool File_exists(const std::string& path);

// Removes a file; a failure is ignored.
void File_delete(const std::string& path);
