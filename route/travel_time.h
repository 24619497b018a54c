// Walking time to safety for every reached pixel at once: the figure the
// route display would show with the cursor on that pixel, for the whole map.
//
// The display counts a route by walking parent links from the cursor's node
// back to the place; doing that for every pixel would walk the same links
// over and over. Since a parent is always created before its child, one pass
// in node order gives every node its route length from its parent's.
//
// Owns: nothing of its own; reads the grid tables (map/grid.h) under
// Route_lock. Called by: the travel-time map (route/render.h), tovi-cli
// render, tests and benches.
#pragma once
#include <cstdint>
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

// The walking time in minutes of a route of count pixels, exactly as the
// walking figures compute it (metres from the scaled 32-bit count, truncated,
// at 70 m a minute). scale_flag 0 = 100 m, 1 = 200 m, any other unscaled.
double Travel_minutes(int32_t count, int scale_flag);

// The band of a time: band k holds k x band_minutes <= minutes <
// (k + 1) x band_minutes. band_minutes must be positive.
int32_t Travel_band(double minutes, int32_t band_minutes);
