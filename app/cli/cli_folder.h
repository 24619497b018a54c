// Loading a saved piece of work for tovi-cli: the program's own loader and
// checks (storage/data_folder.h), with what is wrong printed for scripts.
#pragma once
#include <string>

#include "storage/data_folder.h"

// Loads DIR into the work in memory as the program's Load does. Each problem
// goes to standard error as "tovi-cli: DIR: detail". True when loaded.
bool Cli_folder_load(const std::string& dir, bool ignore_checksums, Folder_content& content);

// For commands that read a route: says on standard error that DIR holds no
// route built for its markers (a capture's records, or markers changed since)
// and returns exit code 1.
int Cli_no_route(const std::string& dir);
