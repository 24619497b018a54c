// Walking time to safety for every reached pixel at once: the figure the
// route display would show with the cursor on that pixel, for the whole map.
//
// The display counts a route by walking parent links from the cursor's node
// back to the place; doing that for every pixel would walk the same links
// over and over. Since a parent is always created before its child, one pass
// in node order gives every node its route length from its parent's.
//
// Owns: nothing of its own; reads the grid tables (map/grid.h) under
// Route_lock, or tables the caller holds apart. Called by: the travel-time map (route/render.h), tovi-cli
// render, tests and benches.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Per pixel of the grid (index x + y * Grid_w_fixed): the pixel count that
// the display hands the walking figures last when the cursor stands there,
// over nodes 0 to total - 1 (kept within the tables). That is the route of the
// first wave's node at the pixel plus, when two_places is non-zero, the route
// of the second wave's node counted on top; 0 where neither wave has a node.
// Nodes are found and walked as the display finds and walks them: the lowest
// node number at a pixel, and a walk that stops at a parent link that does
// not lead to a lower number. Takes Route_lock.
void Travel_counts(int32_t total, int two_places, std::vector<int32_t>& out);

// Travel_counts for a process that needs nothing else of the tables (tovi-cli
// render and compare): the walks are counted in the records' cost fields
// instead of memory of their own, and the tables are given up after
// (Grid_release). The same counts as Travel_counts.
void Travel_counts_releasing(int32_t total, int two_places, std::vector<int32_t>& out);

// The record tables of a route held apart from the grid's (another version
// of the work read for a comparison): the layouts of Wave_queue and Rec_kind,
// each its full Grid_cells records.
struct Wave_rec;
struct Route_tables {
    const Wave_rec* queue[2] = {nullptr, nullptr};
    const uint8_t* kind = nullptr;
};
// Travel_counts over the given tables instead of the grid's, with the same
// result for the same records; takes no lock (the tables are the caller's).
void Travel_counts_of(const Route_tables& tables, int32_t total, int two_places, std::vector<int32_t>& out);

// The map scale: the scale flag of the control panel (0 = 100 m, a pixel is
// 1 m; 1 = 200 m, a pixel is 2 m; any other leaves the count unscaled, a
// pixel is 1 cm), or, when metres_per_pixel is positive and finite, a scale
// measured on the map itself, which replaces the flag.
struct Map_scale {
    int flag = 1;
    double metres_per_pixel = 0.0;
};

// The metres one pixel stands for.
double Scale_metres_per_pixel(const Map_scale& scale);
// The scale as the page names it: "1画素 = 2 m (200 m)" or "1画素 = 1.37 m (実測)".
std::string Scale_text(const Map_scale& scale);

// A route of some pixels as a walker covers it.
struct Walk_length {
    int32_t metres = 0;  // truncated toward zero
    double minutes = 0;  // metres / speed
};

// The one conversion of a route length to metres and minutes, for the
// walking figures (at 70 m a minute) and the evacuation map (at its speed).
// With the flag, metres come from the scaled 32-bit count that wraps and is
// truncated toward zero, as the walking figures always computed them; with a
// measured scale, from count x metres_per_pixel truncated toward zero (kept
// within 32 bits). metres_per_minute must be positive.
Walk_length Walk_convert(int32_t count, const Map_scale& scale, double metres_per_minute);

// The walking speed of the walking figures, in metres a minute.
inline constexpr double Figures_speed = 70.0;

// The walking time in minutes of a route of count pixels, exactly as the
// walking figures compute it (at 70 m a minute). scale_flag 0 = 100 m,
// 1 = 200 m, any other unscaled.
double Travel_minutes(int32_t count, int scale_flag);

// The band of a time: band k holds k x band_minutes <= minutes <
// (k + 1) x band_minutes. band_minutes must be positive.
int32_t Travel_band(double minutes, int32_t band_minutes);
