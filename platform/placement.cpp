// Placement of the panel and the main window (placement.h).
#include "platform/placement.h"

#include <algorithm>

namespace {

// One side's position: inside [lo, hi) when the length fits, else at lo.
int32_t Inside(int32_t at, int32_t length, int32_t lo, int32_t hi) {
    if (length >= hi - lo) return lo;
    return std::clamp(at, lo, hi - length);
}

// The part of a that is also in b; empty (zero or negative sides) when none.
Place_rect Intersect(const Place_rect& a, const Place_rect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// A placement leaves enough of the map in view to be taken, and stays in its region.
bool Has_room(const Main_place& p, const Place_rect& region, Place_size map) {
    return Rect_inside(p.outer, region) && p.client.w >= std::min(map.w, Main_min_client.w) &&
           p.client.h >= std::min(map.h, Main_min_client.h);
}

int64_t Shown_area(const Main_place& p) { return int64_t(p.client.w) * int64_t(p.client.h); }

// The main window beside the panel in the work area, wanted at (left, top):
// below the panel, else on the side that shows the most of the map, else
// (no room anywhere) over the whole work area.
Main_place Main_beside(const Place_rect& work, const Place_rect& panel, int32_t left, int32_t top,
                       Place_size map, const Main_frame& frame) {
    const Place_rect below = Intersect({work.left, panel.bottom, work.right, work.bottom}, work);
    Main_place best = Main_fit(below, left, panel.bottom, map, frame);
    if (Has_room(best, below, map)) return best;

    const Place_rect sides[] = {
        Intersect({panel.right, work.top, work.right, work.bottom}, work),  // right
        Intersect({work.left, work.top, work.right, panel.top}, work),      // above
        Intersect({work.left, work.top, panel.left, work.bottom}, work),    // left
    };
    bool found = false;
    for (const Place_rect& side : sides) {
        if (side.Width() <= 0 || side.Height() <= 0) continue;
        const Main_place p = Main_fit(side, left, top, map, frame);
        if (Has_room(p, side, map) && (!found || Shown_area(p) > Shown_area(best))) {
            best = p;
            found = true;
        }
    }
    if (found) return best;
    // No room beside the panel: the panel (topmost) stands over part of the map.
    return Main_fit(work, left, top, map, frame);
}

}  // namespace

bool Rects_overlap(const Place_rect& a, const Place_rect& b) {
    const Place_rect i = Intersect(a, b);
    return i.Width() > 0 && i.Height() > 0;
}

bool Rect_inside(const Place_rect& r, const Place_rect& area) {
    return r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom;
}

Place_rect Keep_inside(const Place_rect& r, const Place_rect& area) {
    const int32_t left = Inside(r.left, r.Width(), area.left, area.right);
    const int32_t top = Inside(r.top, r.Height(), area.top, area.bottom);
    return {left, top, left + r.Width(), top + r.Height()};
}

Place_rect Panel_place(const Monitor_area& monitor, Place_size panel) {
    const Place_rect& work = monitor.work;
    return {work.left, work.top, work.left + panel.w, work.top + panel.h};
}

Main_place Main_fit(const Place_rect& region, int32_t left, int32_t top, Place_size map, const Main_frame& frame) {
    const int32_t room_w = region.Width() - frame.left - frame.right;
    const int32_t room_h = region.Height() - frame.top - frame.bottom;
    Main_place p;
    // A vertical bar narrows the room; the narrower room can then need a
    // horizontal bar, which lowers the room and can need the vertical one.
    p.scroll_y = map.h > room_h;
    p.scroll_x = map.w > room_w - (p.scroll_y ? frame.vscroll_w : 0);
    if (p.scroll_x && !p.scroll_y) p.scroll_y = map.h > room_h - frame.hscroll_h;
    const int32_t bar_w = p.scroll_y ? frame.vscroll_w : 0;
    const int32_t bar_h = p.scroll_x ? frame.hscroll_h : 0;
    // At least one pixel in view, even in a region too small for the frame.
    p.client.w = p.scroll_x ? std::max(1, room_w - bar_w) : map.w;
    p.client.h = p.scroll_y ? std::max(1, room_h - bar_h) : map.h;
    const int32_t w = p.client.w + bar_w + frame.left + frame.right;
    const int32_t h = p.client.h + bar_h + frame.top + frame.bottom;
    p.outer = Keep_inside({left, top, left + w, top + h}, region);
    return p;
}

Main_place Main_place_below(const Monitor_area& monitor, const Place_rect& panel, Place_size map,
                            const Main_frame& frame) {
    const Place_rect& work = monitor.work;
    // A panel wholly off this work area blocks none of it.
    if (!Rects_overlap(panel, work)) return Main_fit(work, work.left, work.top, map, frame);
    return Main_beside(work, panel, panel.left, panel.bottom, map, frame);
}

Main_place Main_dpi_changed(const Monitor_area& monitor, const Place_rect& panel, const Place_rect& suggested,
                            Place_size map, const Main_frame& frame) {
    const Place_rect& work = monitor.work;
    const Main_place p = Main_fit(work, suggested.left, suggested.top, map, frame);
    if (!Rects_overlap(p.outer, panel)) return p;
    return Main_beside(work, panel, suggested.left, suggested.top, map, frame);
}

Place_rect Panel_dpi_changed(const Monitor_area& monitor, const Place_rect& suggested) {
    return Keep_inside(suggested, monitor.work);
}
