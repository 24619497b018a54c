// tovi-cli render: the travel-time map of a saved piece of work as a PNG.
#pragma once
#include <string>
#include <vector>

int Render_command(const std::vector<std::string>& args);

inline constexpr const char* Render_usage = "tovi-cli render DIR OUT.png [--scale 100|200] [--band MINUTES]";
