// tovi-cli route and walk: the route wave over a saved piece of work, and the
// route from one pixel of it as the route display finds and counts it.
#pragma once
#include <string>
#include <vector>

int Route_command(const std::vector<std::string>& args);
int Walk_command(const std::vector<std::string>& args);

inline constexpr const char* Route_usage = "tovi-cli route DIR";
inline constexpr const char* Walk_usage = "tovi-cli walk DIR X Y [--scale 100|200]";
