// Walking time to safety per pixel, in one pass over the route tables.
#include "route/travel_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "map/grid.h"
#include "route/route_trace.h"

namespace {

// The walks are counted in one pass in node order: a parent always has a
// lower number than its child, so its length is known when the child's is
// taken. Where each length is kept is the caller's (Lengths below): memory
// of the pass's own, or the records' cost fields of tables about to be given
// up.

// The walks over tables whose every link is sound (-1, a higher number, or a
// lower node of its own wave), as every checked folder's and every wave's
// tables are: each node's length is then the one a walk in its own table
// counts, and the slot of its own table keeps it. The pixel's taken waves
// ride in bits of out above any sum of two lengths. False, with out not
// finished, at the first link that is not sound.
constexpr int32_t Taken_bit[2] = {int32_t(1) << 30, int32_t(1) << 29};
static_assert(2 * int64_t(Grid_cells) < (int64_t(1) << 29), "a sum of two walks stays below the taken bits");

template <class Lengths>
bool Counts_sound(const Route_tables& t, int32_t count, int waves, Lengths& length, std::vector<int32_t>& out) {
    for (int32_t n = 0; n < count; ++n) {
        const int w = t.kind[n] & 1;
        if (w >= waves) continue;  // a slot no wave of the route owns: nothing links to it soundly
        const Wave_rec& r = t.queue[w][n];
        const int32_t parent = r.parent;
        int32_t here = 1;
        if (parent >= 0 && parent < n) {
            if ((t.kind[parent] & 1) != w) return false;
            here = length.get(w, parent) + 1;
        }
        length.set(w, n, here);
        if (r.x >= Grid_w_fixed || r.y >= Grid_h_fixed) continue;  // no pixel of any map picture
        int32_t& cell = out[size_t(r.x) + size_t(r.y) * Grid_w_fixed];
        if (cell & Taken_bit[w]) continue;
        // The second wave's route is counted on from the first's.
        cell = (cell | Taken_bit[w]) + here;
    }
    for (int32_t& v : out) v &= Taken_bit[1] - 1;
    return true;
}

// The walks over any tables, as the display walks them: every slot of each
// table gets the length a walk in that table counts.
template <class Lengths>
void Counts_any(const Route_tables& t, int32_t count, int waves, Lengths& length, std::vector<int32_t>& out) {
    // Bit 1 << wave: the pixel's first node of that wave has been taken; the
    // display looks a pixel up from node 0 upward, so the lowest number wins.
    std::vector<uint8_t> taken(size_t(Grid_cells), 0);
    for (int32_t n = 0; n < count; ++n) {
        for (int w = 0; w < waves; ++w) {
            const int32_t parent = t.queue[w][n].parent;
            // Parents have lower numbers, so theirs is known already; any
            // other link ends the walk, as it does in the display.
            length.set(w, n, (parent >= 0 && parent < n) ? length.get(w, parent) + 1 : 1);
        }
        const int w = t.kind[n] & 1;
        if (w >= waves) continue;
        const Wave_rec& r = t.queue[w][n];
        if (r.x >= Grid_w_fixed || r.y >= Grid_h_fixed) continue;  // no pixel of any map picture
        const size_t cell = size_t(r.x) + size_t(r.y) * Grid_w_fixed;
        if (taken[cell] & (1u << w)) continue;
        taken[cell] |= uint8_t(1u << w);
        out[cell] += length.get(w, n);
    }
}

// Lengths in memory of the pass's own: one a slot of a sound table set, one a
// slot of each table otherwise.
struct Held_lengths {
    std::vector<int32_t> slot[2];
    int32_t get(int w, int32_t n) const { return slot[slot[1].empty() ? 0 : w][size_t(n)]; }
    void set(int w, int32_t n, int32_t v) { slot[slot[1].empty() ? 0 : w][size_t(n)] = v; }
};

// Lengths in the cost fields of the grid's records, which they replace.
struct Cost_lengths {
    int32_t get(int w, int32_t n) const { return Wave_queue[w][n].cost; }
    void set(int w, int32_t n, int32_t v) const { Wave_queue[w][n].cost = v; }
};

void Counts(const Route_tables& t, int32_t total, int two_places, std::vector<int32_t>& out, bool in_costs) {
    out.assign(size_t(Grid_cells), 0);
    if (!t.queue[0] || !t.kind || (two_places && !t.queue[1])) return;
    const int32_t count = std::clamp(total, 0, Grid_cells);
    const int waves = two_places ? 2 : 1;
    if (in_costs) {
        Cost_lengths length;
        if (Counts_sound(t, count, waves, length, out)) return;
        out.assign(size_t(Grid_cells), 0);
        Counts_any(t, count, waves, length, out);
        return;
    }
    Held_lengths length;
    length.slot[0].resize(size_t(count));
    if (Counts_sound(t, count, waves, length, out)) return;
    out.assign(size_t(Grid_cells), 0);
    for (int w = 0; w < waves; ++w) length.slot[w].assign(size_t(count), 0);
    Counts_any(t, count, waves, length, out);
}

}  // namespace

void Travel_counts(int32_t total, int two_places, std::vector<int32_t>& out) {
    std::lock_guard lock(Route_lock);
    if (!Grid_ready) {
        out.assign(size_t(Grid_cells), 0);
        return;
    }
    Counts(Route_tables{{Wave_queue[0], Wave_queue[1]}, Rec_kind}, total, two_places, out, false);
}

void Travel_counts_releasing(int32_t total, int two_places, std::vector<int32_t>& out) {
    {
        std::lock_guard lock(Route_lock);
        if (!Grid_ready) {
            out.assign(size_t(Grid_cells), 0);
            return;
        }
        Counts(Route_tables{{Wave_queue[0], Wave_queue[1]}, Rec_kind}, total, two_places, out, true);
    }
    Grid_release();
}

void Travel_counts_of(const Route_tables& t, int32_t total, int two_places, std::vector<int32_t>& out) {
    Counts(t, total, two_places, out, false);
}

double Scale_metres_per_pixel(const Map_scale& scale) {
    if (scale.metres_per_pixel > 0 && std::isfinite(scale.metres_per_pixel)) return scale.metres_per_pixel;
    return scale.flag == 0 ? 1.0 : scale.flag == 1 ? 2.0 : 0.01;
}

std::string Scale_text(const Map_scale& scale) {
    char buf[96];
    if (scale.metres_per_pixel > 0 && std::isfinite(scale.metres_per_pixel))
        std::snprintf(buf, sizeof buf, "1画素 = %.3g m (実測)", scale.metres_per_pixel);
    else if (scale.flag == 0 || scale.flag == 1)
        std::snprintf(buf, sizeof buf, "1画素 = %d m (%d m)", scale.flag + 1, (scale.flag + 1) * 100);
    else
        std::snprintf(buf, sizeof buf, "1画素 = 1 cm");
    return buf;
}

Walk_length Walk_convert(int32_t count, const Map_scale& scale, double metres_per_minute) {
    Walk_length w;
    if (scale.metres_per_pixel > 0 && std::isfinite(scale.metres_per_pixel)) {
        const double m = std::trunc(double(count) * scale.metres_per_pixel);
        w.metres = int32_t(std::clamp(m, double(INT32_MIN), double(INT32_MAX)));
    } else {
        // The walking figures' own arithmetic: a 32-bit product that wraps,
        // then the metres truncated toward zero in double precision.
        uint32_t d = uint32_t(count);
        if (scale.flag == 0) d *= 100u;
        else if (scale.flag == 1) d *= 200u;
        w.metres = int32_t(int32_t(d) / 100.0);
    }
    w.minutes = w.metres / metres_per_minute;
    return w;
}

double Travel_minutes(int32_t count, int scale_flag) {
    return Walk_convert(count, Map_scale{scale_flag, 0.0}, Figures_speed).minutes;
}

int32_t Travel_band(double minutes, int32_t band_minutes) {
    if (band_minutes <= 0 || !(minutes > 0)) return 0;
    // Metres are whole numbers, so a time on a band's edge is exact here and
    // falls into the band above, as the figure shown ("1.00") says.
    const double band = std::floor(minutes / band_minutes);
    return band >= double(INT32_MAX) ? INT32_MAX : int32_t(band);
}
