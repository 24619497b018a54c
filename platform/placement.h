// Where the two windows stand: the control panel at the top of the work area
// of its monitor, the main window below the panel's real bottom, both inside
// the work area (the monitor without its taskbar), at whatever scaling.
//
// The main window shows the map 1:1 in device pixels, so its client area is
// the map's size and only its frame grows with the DPI; a map larger than the
// space left is shown in a main window that scrolls, never off the screen.
//
// Plain arithmetic on rectangles in physical (device) pixels of the virtual
// screen, where a monitor left of or above the primary has negative
// coordinates. The Win32 layer (platform/win32/win_place.cpp) measures the
// real rectangles and frames, asks here, and applies the answer; the native
// tests ask over tables of DPIs and monitor layouts.
#pragma once
#include <cstdint>

struct Place_rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const Place_rect&) const = default;
};

struct Place_size {
    int32_t w = 0;
    int32_t h = 0;
    bool operator==(const Place_size&) const = default;
};

// A monitor: its whole rectangle and its work area (without the taskbar).
struct Monitor_area {
    Place_rect full;
    Place_rect work;
};

// The main window's frame at one DPI: what its borders and caption add around
// the client area on each side, and the thickness of a vertical scroll bar
// (width) and of a horizontal one (height).
struct Main_frame {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t vscroll_w = 0;
    int32_t hscroll_h = 0;
};

// Where the main window goes: its outer rectangle, which scroll bars it
// shows, and the client area they leave (the part of the map in view).
struct Main_place {
    Place_rect outer;
    bool scroll_x = false;
    bool scroll_y = false;
    Place_size client;
};

// The smallest client area a placement beside the panel must leave to be
// taken; with less room anywhere the main window takes the whole work area.
constexpr Place_size Main_min_client{100, 100};

bool Rects_overlap(const Place_rect& a, const Place_rect& b);
bool Rect_inside(const Place_rect& r, const Place_rect& area);

// r moved, not resized, to lie inside area; a side longer than the area's
// keeps its left (or top) edge on the area's, so the caption stays reachable.
Place_rect Keep_inside(const Place_rect& r, const Place_rect& area);

// The panel of outer size panel at the top-left corner of the work area.
Place_rect Panel_place(const Monitor_area& monitor, Place_size panel);

// The main window showing a map of client size map, wanted with its top-left
// corner at (left, top), inside region: the window at full size moved into
// the region where it fits, otherwise as large as the region allows with
// scroll bars where the map does not fit (a horizontal bar can make a
// vertical one needed, and the other way round).
Main_place Main_fit(const Place_rect& region, int32_t left, int32_t top, Place_size map, const Main_frame& frame);

// The main window at the start and after a capture or a load: below the
// panel's real bottom, aligned with its left edge, inside the work area of
// the panel's monitor. Where less than Main_min_client is left below, it
// takes the side of the panel (right, above, left) that shows the most of
// the map; with no room anywhere, the whole work area.
Main_place Main_place_below(const Monitor_area& monitor, const Place_rect& panel, Place_size map,
                            const Main_frame& frame);

// The main window after a change of DPI (it moved to a monitor of another
// scale): the suggested rectangle's position on that monitor, but the size of
// the map 1:1 in the frame of the new DPI (the suggested size would scale the
// map); kept inside the work area, and where that overlaps the panel, placed
// next to it as Main_place_below does.
Main_place Main_dpi_changed(const Monitor_area& monitor, const Place_rect& panel, const Place_rect& suggested,
                            Place_size map, const Main_frame& frame);

// The panel after a change of DPI: the suggested rectangle (the system
// scales the dialog) kept inside the work area of its monitor.
Place_rect Panel_dpi_changed(const Monitor_area& monitor, const Place_rect& suggested);
