// Paths as the core handles them: UTF-8 texts, joined with the platform's
// separator, turned into the file system's own path type (wide on Windows)
// only where a file is opened.
#pragma once
#include <filesystem>
#include <string>

// A UTF-8 path as the file system's own path type, so that folders with any
// characters in their names open.
std::filesystem::path Fs_path(const std::string& utf8);

// Joins a folder and a file name with the platform's separator.
std::string Path_join(const std::string& folder, const std::string& name);
