// Marker painting and change tracking.
//
// Owns the painting of the three marker sets into Shown_map, the placement of
// an evacuation place, and the comparison with Base_snapshot. Called by the
// control panel (redraw after a capture, snapshot before a tool starts), the
// marking tools (draw, add, compare), route building and the route display
// (redraw on a clean map), loading, and the main window's paint (Map_compose).
#include "markers/markers.h"

#include <algorithm>
#include <atomic>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "platform/platform.h"

namespace {

std::atomic<Markers_listener> Change_listener{nullptr};

// A count as a loop bound: a count read from a damaged base.dat must never
// walk past the arrays.
int32_t Bounded(int32_t n, int32_t capacity) { return std::clamp(n, 0, capacity); }

bool Same_points(const int32_t* xa, const int32_t* ya, const int32_t* xb, const int32_t* yb, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        if (xa[i] != xb[i] || ya[i] != yb[i]) return false;
    return true;
}

}  // namespace

uint32_t Marker_colour(int kind) {
    switch (kind) {
    case Kind_evac: return Colour_evac;
    case Kind_cong: return Colour_cong;
    case Kind_nopass: return Colour_nopass;
    default: return 0;
    }
}

void Marker_paint(Image& surface, int32_t size, int32_t x, int32_t y, int kind) {
    if (kind != Kind_evac && kind != Kind_cong && kind != Kind_nopass) return;
    const uint32_t colour = Marker_colour(kind);
    // The square in 64 bits, cut to the picture: a marker at any coordinate a
    // damaged base.dat can hold neither overflows nor walks its whole square.
    const int64_t left = int64_t(x) - size / 2, top = int64_t(y) - size / 2;
    const int64_t i_end = std::min<int64_t>(size, surface.w - left);
    const int64_t j_end = std::min<int64_t>(size, surface.h - top);
    // Column by column, each pixel asked of the classifier as it stands now:
    // only road takes the colour, so a marker never spills onto buildings, and
    // a no-passage pixel already painted stays an obstacle.
    for (int64_t i = std::max<int64_t>(0, -left); i < i_end; ++i) {
        for (int64_t j = std::max<int64_t>(0, -top); j < j_end; ++j) {
            const int32_t px = int32_t(left + i), py = int32_t(top + j);
            if (Pixel_check(surface, px, py)) surface.set(px, py, colour);
        }
    }
}

void Markers_paint(Image& surface, const Base_record& sets) {
    for (int32_t i = 0; i < Bounded(sets.Evac_n, Evac_capacity); ++i)
        Marker_paint(surface, Marker_size, sets.Evac_x[i], sets.Evac_y[i], Kind_evac);
    for (int32_t i = 0; i < Bounded(sets.Cong_n, Point_capacity); ++i)
        Marker_paint(surface, Marker_size, sets.Cong_x[i], sets.Cong_y[i], Kind_cong);
    for (int32_t i = 0; i < Bounded(sets.Nopass_n, Point_capacity); ++i)
        Marker_paint(surface, Marker_size, sets.Nopass_x[i], sets.Nopass_y[i], Kind_nopass);
}

void Marker_draw(int32_t size, int32_t x, int32_t y, int kind) {
    {
        std::lock_guard lock(Shown_lock);
        Marker_paint(Shown_map, size, x, y, kind);
    }
    Plat().Main_window_refresh();
}

void Markers_redraw() {
    // A copy, so the sets are read consistently and the two locks never nest.
    Base_record sets;
    {
        std::lock_guard lock(Markers_lock);
        sets = Base_data;
    }
    {
        std::lock_guard lock(Shown_lock);
        Markers_paint(Shown_map, sets);
    }
    Plat().Main_window_refresh();
}

void Map_compose() {
    Base_record sets;
    {
        std::lock_guard lock(Markers_lock);
        sets = Base_data;
    }
    std::lock_guard lock(Shown_lock);
    Shown_map = Map_image;
    Markers_paint(Shown_map, sets);
}

void Markers_snapshot(int compare) {
    bool differ = false;
    {
        std::lock_guard lock(Markers_lock);
        if (compare == 0) {
            Base_snapshot = Base_data;
            return;
        }
        const Base_record& a = Base_data;
        const Base_record& s = Base_snapshot;
        if (a.Evac_n != s.Evac_n || a.Cong_n != s.Cong_n || a.Nopass_n != s.Nopass_n) {
            differ = true;
        } else {
            differ = !Same_points(a.Evac_x, a.Evac_y, s.Evac_x, s.Evac_y, Bounded(a.Evac_n, Evac_capacity)) ||
                     !Same_points(a.Cong_x, a.Cong_y, s.Cong_x, s.Cong_y, Bounded(a.Cong_n, Point_capacity)) ||
                     !Same_points(a.Nopass_x, a.Nopass_y, s.Nopass_x, s.Nopass_y, Bounded(a.Nopass_n, Point_capacity));
        }
    }
    // Outside the lock: the panel's buttons are the platform's business.
    if (differ) {
        if (Markers_listener listener = Change_listener.load()) listener();
    }
}

void Markers_on_change(Markers_listener listener) { Change_listener.store(listener); }

void Evac_place_add(int32_t x, int32_t y) {
    bool full;
    {
        // The test and the entry go together, so no third place can slip in.
        std::lock_guard lock(Markers_lock);
        const int32_t n = Base_data.Evac_n;
        full = n < 0 || n >= Evac_used_max;
        if (!full) {
            Base_data.Evac_x[n] = x;
            Base_data.Evac_y[n] = y;
            Base_data.Evac_n = n + 1;
        }
    }
    if (full) {
        Plat().Message_box(Evac_full_text, Confirm_caption, Box_ok, Owner_main);
        return;
    }
    {
        // The mark goes on whatever lies there: one more pixel to the left and
        // top than to the right and bottom.
        // In 64 bits and cut to the picture, so that no coordinate overflows.
        std::lock_guard lock(Shown_lock);
        const int64_t px_end = std::min<int64_t>(int64_t(x) + 2, Shown_map.w - 1);
        const int64_t py_end = std::min<int64_t>(int64_t(y) + 2, Shown_map.h - 1);
        for (int64_t px = std::max<int64_t>(int64_t(x) - 3, 0); px <= px_end; ++px)
            for (int64_t py = std::max<int64_t>(int64_t(y) - 3, 0); py <= py_end; ++py)
                Shown_map.set(int32_t(px), int32_t(py), Colour_place_mark);
    }
    Plat().Main_window_refresh();
    Markers_snapshot(1);
}

int32_t Evac_full() {
    std::lock_guard lock(Markers_lock);
    return Base_data.Evac_n >= Evac_used_max ? 1 : 0;
}
