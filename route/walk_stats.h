// The walking figures of a traced route: distance, steps, time and calories,
// from the route's length in map pixels and the map scale.
#pragma once
#include <cstdint>
#include <string>

#include "route/travel_time.h"

// The four texts as the control panel shows them.
struct Walk_figures {
    std::string distance;  // metres, "%d"
    std::string steps;     // "%d"
    std::string minutes;   // "%3.2f"
    std::string calories;  // "%3.2f"
};

// The figures for a route of `length` pixels at scale_flag 0 (100 m) or
// 1 (200 m); any other flag leaves the length unscaled.
Walk_figures Walk_stats_texts(int32_t length, int scale_flag);
// The same with the map scale, which may be one measured on the map.
Walk_figures Walk_stats_texts(int32_t length, const Map_scale& scale);

// (Walk_stats in app/panel.h writes them into the panel's fields.)
