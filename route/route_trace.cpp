// The pixel index of the route and the tracing of a route back to its place.
//
// The index holds, for every pixel of the grid and each wave, the lowest node
// number at that pixel: exactly what a scan from node 0 upward finds first.
// Nodes outside the grid (only damaged or foreign tables have them) are kept
// in a short list per wave and scanned in node order.
#include "route/route_trace.h"

#include <algorithm>

#include "map/grid.h"

std::mutex Route_lock;

namespace {

std::vector<int32_t> Index_first[2];      // per pixel x + y * Grid_w_fixed; -1 = no node
std::vector<int32_t> Index_outside[2];    // nodes off the grid, in increasing order
int32_t Index_count = -1;                 // nodes indexed; -1 = no index

int32_t Clamp_count(int32_t count) { return std::clamp(count, 0, Grid_ready ? Grid_cells : 0); }

bool Index_current() { return Index_count >= 0; }

void Index_build_locked(int32_t count) {
    count = Clamp_count(count);
    for (int w = 0; w < 2; ++w) {
        Index_first[w].assign(size_t(Grid_cells), -1);
        Index_outside[w].clear();
    }
    for (int32_t n = 0; n < count; ++n) {
        const int w = Rec_kind[n] & 1;
        const Wave_rec& r = Wave_queue[w][n];
        if (r.x < Grid_w_fixed && r.y < Grid_h_fixed) {
            int32_t& first = Index_first[w][size_t(r.x) + size_t(r.y) * Grid_w_fixed];
            if (first < 0) first = n;
        } else {
            Index_outside[w].push_back(n);
        }
    }
    Index_count = count;
}

}  // namespace

void Route_index_build(int32_t count) {
    std::lock_guard lock(Route_lock);
    Index_build_locked(count);
}

void Route_index_drop() {
    std::lock_guard lock(Route_lock);
    Route_index_forget();
}

void Route_index_forget() { Index_count = -1; }

int32_t Route_index_count() {
    std::lock_guard lock(Route_lock);
    return Index_current() ? Index_count : -1;
}

int32_t Route_find(int32_t x, int32_t y, int wave) {
    if (!Index_current() || x < 0 || y < 0) return -1;
    wave &= 1;
    if (x < Grid_w_fixed && y < Grid_h_fixed) return Index_first[wave][size_t(x) + size_t(y) * Grid_w_fixed];
    for (int32_t n : Index_outside[wave]) {
        const Wave_rec& r = Wave_queue[wave][n];
        if (r.x == x && r.y == y) return n;
    }
    return -1;
}

int32_t Route_find_linear(int32_t x, int32_t y, int wave, int32_t count) {
    count = Clamp_count(count);
    wave &= 1;
    for (int32_t n = 0; n < count; ++n) {
        if ((Rec_kind[n] & 1) != wave) continue;
        const Wave_rec& r = Wave_queue[wave][n];
        if (r.x == x && r.y == y) return n;
    }
    return -1;
}

int32_t Route_walk(int wave, int32_t node, std::vector<Point>& out) {
    if (node < 0 || node >= Clamp_count(Grid_cells)) return 0;
    const Wave_rec* const table = Wave_queue[wave & 1];
    int32_t count = 0;
    for (;;) {
        const Wave_rec& r = table[node];
        out.push_back({r.x, r.y});
        ++count;
        const int32_t parent = r.parent;
        // A parent is always created before its child, so a sound chain
        // falls strictly to its source (-1); anything else cannot loop.
        if (parent < 0 || parent >= node) break;
        node = parent;
    }
    return count;
}

bool Route_trace(int32_t x, int32_t y, int two_places, int32_t count, Route_path& out) {
    out = Route_path{};
    std::lock_guard lock(Route_lock);
    if (!Grid_ready) return false;
    if (!Index_current() || Index_count != Clamp_count(count)) Index_build_locked(count);
    out.node[0] = Route_find(x, y, 0);
    if (two_places) out.node[1] = Route_find(x, y, 1);
    if (out.node[0] >= 0) out.count_first = Route_walk(0, out.node[0], out.pixels[0]);
    out.count = out.count_first;
    if (out.node[1] >= 0) out.count += Route_walk(1, out.node[1], out.pixels[1]);
    return out.node[0] >= 0 || out.node[1] >= 0;
}
