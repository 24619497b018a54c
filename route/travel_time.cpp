// Walking time to safety per pixel, in one pass over the route tables.
#include "route/travel_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "map/grid.h"
#include "route/route_trace.h"

void Travel_counts(int32_t total, int two_places, std::vector<int32_t>& out) {
    std::lock_guard lock(Route_lock);
    if (!Grid_ready) {
        out.assign(size_t(Grid_cells), 0);
        return;
    }
    Travel_counts_of(Route_tables{{Wave_queue[0], Wave_queue[1]}, Rec_kind}, total, two_places, out);
}

void Travel_counts_of(const Route_tables& t, int32_t total, int two_places, std::vector<int32_t>& out) {
    out.assign(size_t(Grid_cells), 0);
    if (!t.queue[0] || !t.kind || (two_places && !t.queue[1])) return;
    const int32_t count = std::clamp(total, 0, Grid_cells);
    const int waves = two_places ? 2 : 1;
    // Route length of every slot of each table, as a walk in that table counts
    // it: a sound table only ever links a node to a node of its own wave, but
    // the display walks whatever the table holds, so every slot gets a length.
    std::vector<int32_t> length[2];
    for (int w = 0; w < waves; ++w) length[w].resize(size_t(count));
    // Bit 1 << wave: the pixel's first node of that wave has been taken; the
    // display looks a pixel up from node 0 upward, so the lowest number wins.
    std::vector<uint8_t> taken(size_t(Grid_cells), 0);
    for (int32_t n = 0; n < count; ++n) {
        for (int w = 0; w < waves; ++w) {
            const int32_t parent = t.queue[w][n].parent;
            // Parents have lower numbers, so theirs is known already; any
            // other link ends the walk, as it does in the display.
            length[w][size_t(n)] = (parent >= 0 && parent < n) ? length[w][size_t(parent)] + 1 : 1;
        }
        const int w = t.kind[n] & 1;
        if (w >= waves) continue;
        const Wave_rec& r = t.queue[w][n];
        if (r.x >= Grid_w_fixed || r.y >= Grid_h_fixed) continue;  // no pixel of any map picture
        const size_t cell = size_t(r.x) + size_t(r.y) * Grid_w_fixed;
        if (taken[cell] & (1u << w)) continue;
        taken[cell] |= uint8_t(1u << w);
        // The second wave's route is counted on from the first's.
        out[cell] += length[w][size_t(n)];
    }
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
