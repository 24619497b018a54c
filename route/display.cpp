// The route display: the evacuation route from the pixel under the cursor.
//
// Owns Photo_shown and, for one run, what the display has painted. Runs as the
// current tool thread (markers/tools.h), started by the control panel's
// "ルート検証"; reads the routes through route/route_trace.h and shows the
// figures through the figures listener (the shell shows them on the panel).
//
// Polling: the mouse is polled like the marking tools poll it, with a pause
// of a millisecond, so a display left open costs next to no processor time.
// The cursor is looked up again only when it has moved to another pixel or
// when a press, Space or a stop request waits to be acted on; the pixel index
// makes each lookup constant-time, so a move costs the route's length only.
//
// One route at a time: before a new route is painted the one before is taken
// back from the log of what painting it replaced, so the map and its markers
// reappear exactly and the route shown is always the one from where the user
// points. A route stays while the cursor crosses pixels without a route, and
// the last one stays after the display ends.
#include "route/display.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/grid.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/platform.h"
#include "route/route_trace.h"

std::atomic<int32_t> Photo_shown{0};

namespace {

std::atomic<Figures_listener> Figures{nullptr};

// Between looks the display waits for input to Tovi's windows (a move on the
// map, a press or a key wakes it at once, as does a stop) or this long: each
// look asks the system for the buttons, a round trip to its server under Wine.
constexpr int Poll_wait_ms = 500;

// Copies the aerial picture over the surface at (0, 0) in its own size; an
// absent picture copies nothing.
void Photo_put(Image& surface, const Image& photo) {
    const int32_t w = std::min(photo.w, surface.w), h = std::min(photo.h, surface.h);
    for (int32_t y = 0; y < h; ++y)
        std::copy_n(photo.px.begin() + ptrdiff_t(y) * photo.w, w, surface.px.begin() + ptrdiff_t(y) * surface.w);
}

// The drawing of one redraw: the background switch that Space asks for, the
// route shown before taken back, the new routes painted, all in one hold of
// Shown_lock so the window never shows half of it. Then the figures; the left
// button is looked at between the two routes' figures as well.
void Redraw(const Route_path& path, int32_t origin_x, int32_t origin_y, Paint_log& shown, bool& quit) {
    const bool space = Space_request.exchange(0) == 1;
    const bool to_photo = Photo_shown.load() == 0;
    Base_record sets;
    if (space && !to_photo) {
        std::lock_guard lock(Markers_lock);
        sets = Base_data;
    }
    {
        std::lock_guard lock(Shown_lock);
        // Taken back before the background changes, so that a background that
        // leaves pixels uncovered (no aerial picture, a smaller one) shows no
        // stale route either.
        Route_unpaint(Shown_map, shown);
        if (space) {
            if (to_photo) {
                Photo_put(Shown_map, Photo_image);
                Photo_shown = 1;
            } else {
                Shown_map = Map_image;
                Markers_paint(Shown_map, sets);
                Photo_shown = 0;
            }
        }
        static constexpr uint32_t colour[2] = {Route_colour_first, Route_colour_second};
        for (int w = 0; w < 2; ++w)
            for (const Point& p : path.pixels[w])
                Route_square(Shown_map, Route_square_size, p.x + origin_x, p.y + origin_y, colour[w], &shown);
    }
    Plat().Main_window_refresh();
    const Figures_listener figures = Figures.load();
    if (path.node[0] >= 0 && path.count_first > Route_stats_min && figures) figures(path.count_first);
    if (Plat().Key_down(Vk_lbutton)) quit = true;
    if (path.node[1] >= 0 && path.count > Route_stats_min && figures) figures(path.count);
}

}  // namespace

void Route_square(Image& surface, int32_t size, int32_t x, int32_t y, uint32_t colour, Paint_log* log) {
    if (log && (log->w != surface.w || log->h != surface.h)) {
        log->writes.clear();
        log->w = surface.w;
        log->h = surface.h;
    }
    colour &= 0xFFFFFF;  // as Image::set stores it
    for (int32_t i = 0; i < size; ++i) {
        for (int32_t j = 0; j < size; ++j) {
            const int32_t px = x - 1 + i, py = y - 1 + j;
            if (!surface.inside(px, py)) continue;
            uint32_t& c = surface.px[size_t(py) * size_t(surface.w) + size_t(px)];
            if (log) log->writes.push_back({uint32_t(size_t(py) * size_t(surface.w) + size_t(px)), c, colour});
            c = colour;
        }
    }
}

void Route_unpaint(Image& surface, Paint_log& log) {
    if (log.w == surface.w && log.h == surface.h) {
        // Newest first: where blocks overlap, each write finds the colour it
        // left unless something else painted the pixel since.
        for (auto it = log.writes.rbegin(); it != log.writes.rend(); ++it) {
            uint32_t& c = surface.px[it->at];
            if (c == it->after) c = it->before;
        }
    }
    log.writes.clear();
}

void Maze_map_ret(int32_t two_places, int32_t origin_x, int32_t origin_y) {
    Platform& p = Plat();
    int32_t total;
    {
        std::lock_guard lock(Markers_lock);
        total = Base_data.Road_rec_total;
    }
    // The nodes to search: after a load the tables and their total come from
    // the data folder.
    Rec_count.store(total);
    p.Main_window_to_front();
    p.Set_main_caption(Route_check_caption);

    bool quit = false;          // a press or a stop request waits for a reached pixel
    bool first = true;
    Point last_redraw{};        // the cursor pixel of the last redraw
    bool looked = false;        // a lookup has been made ...
    Point looked_at{};          // ... at this pixel ...
    bool found = false;         // ... and found a node there
    Route_path path;
    Paint_log shown;            // what the route now shown replaced

    while (!Tool_stopping()) {
        const Point client = p.Screen_to_client(p.Cursor_pos());
        const Point at{client.x - origin_x, client.y - origin_y};
        if (p.Key_down(Vk_lbutton)) quit = true;
        if (first) {
            last_redraw = at;
            first = false;
        }
        const bool space = Space_request.load() == 1;
        if (!looked || at != looked_at || quit || space || Stop_request.load() == 1) {
            found = Route_trace(at.x, at.y, two_places, Rec_count.load(), path);
            looked = true;
            looked_at = at;
        }
        // Presses, stop requests and Space are acted on only on a reached pixel.
        if (found) {
            if (quit) break;
            // With one place, the place's own pixel (node 0) keeps the route
            // shown before.
            const bool moved = at != last_redraw && (two_places != 0 || path.node[0] != 0);
            if (moved || space) {
                Redraw(path, origin_x, origin_y, shown, quit);
                last_redraw = at;
                // A press while the route was drawn is seen now. Without a
                // drawing the look at the top of this pass has just asked:
                // each ask is a round trip to the server under Wine.
                if (p.Key_down(Vk_lbutton)) quit = true;
            }
            if (Stop_request.load() == 1) quit = true;
        }
        p.Input_wait(Poll_wait_ms);
    }
    // The route shown stays on the map; the slot learns of the end when the
    // body returns.
    Tool_stop();
}

void Route_check() {
    int32_t places;
    {
        std::lock_guard lock(Markers_lock);
        places = Base_data.Evac_n;
    }
    Maze_map_ret(places == 2 ? 2 : 0, 0, 0);
}

void Route_check_start() { Tool_start(Route_check); }

void Display_on_figures(Figures_listener listener) { Figures.store(listener); }
