// Routes out of the grid tables: which node of each wave lies under a pixel,
// and the chain of parents from it back to its evacuation place.
//
// The route display asks for the node under the cursor on every poll; a scan
// over up to 1,920,000 nodes per poll would keep a processor busy, so an index
// from pixel to the first node of each wave is built once per route and gives
// the node the scan would give.
//
// Owns: Route_lock and the index. Called by: the route wave (builds it after
// a completed wave), the route display and the loader (build or use it),
// tovi-cli walk and tests.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/platform.h"

// Guards the route as the display reads it: the grid tables' pointers while
// the wave puts a new route in place, and the index. Code that also needs
// Shown_lock takes Shown_lock first.
extern std::mutex Route_lock;

// Builds the index over nodes 0 to count - 1 of the grid tables (count is
// kept within 0 and Grid_cells). Takes Route_lock.
void Route_index_build(int32_t count);
// Forgets the index, for whoever replaces or refills the tables (the wave,
// a load, a flood). Route_index_drop takes Route_lock; Route_index_forget is
// for a caller that holds it already.
void Route_index_drop();
void Route_index_forget();
// The node count the index was built for; -1 when there is none.
int32_t Route_index_count();

// The first node (lowest number) of the wave (0 or 1) at pixel (x, y), or -1.
// Route_find uses the index (-1 when there is none); Route_find_linear scans
// nodes 0 to count - 1 as the index stands in for. Caller holds Route_lock.
int32_t Route_find(int32_t x, int32_t y, int wave);
int32_t Route_find_linear(int32_t x, int32_t y, int wave, int32_t count);

// Appends the pixels of the route from node to its source (both included) to
// out and returns their number. A parent link that does not lead to a lower
// node number ends the walk there: only damaged tables have one. Caller holds
// Route_lock.
int32_t Route_walk(int wave, int32_t node, std::vector<Point>& out);

// The route from a pixel, as the display finds and counts it.
struct Route_path {
    int32_t node[2] = {-1, -1};     // first and second wave; -1 = none
    std::vector<Point> pixels[2];   // each route from the node to its place
    int32_t count_first = 0;        // pixels of the first route
    int32_t count = 0;              // pixels of both routes, counted on
};

// Looks up (x, y) in the first wave and, when two_places is non-zero, in the
// second, over nodes 0 to count - 1 (building the index if it was built for
// another count), and walks what it finds. False when neither wave has a node
// there. Takes Route_lock.
bool Route_trace(int32_t x, int32_t y, int two_places, int32_t count, Route_path& out);

// Figures are shown for routes longer than this many pixels.
inline constexpr int32_t Route_stats_min = 10;
