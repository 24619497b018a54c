// tovi-cli check: the checks of a load on a data folder, without loading it.
#pragma once
#include <string>
#include <vector>

int Check_command(const std::vector<std::string>& args);

inline constexpr const char* Check_usage = "tovi-cli check DIR [--ignore-checksums]";
