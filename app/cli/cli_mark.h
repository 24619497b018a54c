// tovi-cli mark: sets the markers of a saved piece of work.
#pragma once
#include <string>
#include <vector>

int Mark_command(const std::vector<std::string>& args);

inline constexpr const char* Mark_usage =
    "tovi-cli mark DIR [--clear] [--evac X,Y]... [--cong X,Y]... [--nopass X,Y]...";
