// The road-network flood fill.
//
// The fill runs over a picture of the screen taken once at the release, not
// over the live screen: reading pixels one by one from the screen is far too
// slow, and the picture keeps the map's own road colours for tst.bmp while
// its painted copy shows the user the network growing.
#include "map/flood.h"

#include <algorithm>
#include <mutex>

#include "app/panel.h"
#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pixel_check.h"
#include "route/route_trace.h"

namespace {

// The eight neighbours in their fixed order: right, left, down, up,
// down-right, down-left, up-right, up-left. The order decides the record
// numbering, so it is part of the result.
constexpr int32_t Step_x[8] = {1, -1, 0, 0, 1, -1, 1, -1};
constexpr int32_t Step_y[8] = {0, 0, 1, -1, 1, 1, -1, -1};

// Records beyond this many end the fill as completed.
constexpr int32_t Record_limit = Grid_cells - 100;

// The margins keep every processed pixel at least 10 from the top and left
// and 20 from the right and bottom of both the screen and the grid, so its
// neighbours always lie inside the picture and the grid. The last rule of the
// margins (x + (y + 1) * Grid_w + 101 > N) can therefore never hold.
constexpr int32_t Margin_low = 10;
constexpr int32_t Margin_high = 20;
static_assert((Grid_w_fixed - Margin_high) + (Grid_h_fixed - Margin_high + 1) * Grid_w_fixed + 101 <= Grid_cells);

// How often, in processed records, the fill offers its progress.
constexpr int32_t Progress_every = 4096;

// Clears what each fill starts from: the visit byte of every cell, the parent
// of every record of both queues, the record kinds and the x of the second
// queue's records. The rest of the tables keeps what the last run left.
void Grid_clear() {
    Wave_rec* q0 = Wave_queue[0];
    Wave_rec* q1 = Wave_queue[1];
    for (int32_t i = 0; i < Grid_cells; ++i) {
        Cell_map[size_t(i) * 4 + 3] = 0;
        q0[i].parent = 0;
        Rec_kind[i] = 0;
        q1[i].parent = 0;
        q1[i].x = 0;
    }
}

Rect32 Painted_part(const Image& s, int32_t min_x, int32_t min_y, int32_t max_x, int32_t max_y) {
    // Appended neighbours are painted one pixel outside the processed box.
    return {std::max(min_x - 1, 0), std::max(min_y - 1, 0), std::min(max_x + 2, s.w), std::min(max_y + 2, s.h)};
}

}  // namespace

Point Flood_start_cell(int32_t x, int32_t y) { return {std::max(x - 1, 0), std::max(y - 1, 0)}; }

Flood_result Flood_fill(Image& surface, int32_t release_x, int32_t release_y, const Flood_progress* progress) {
    const Point start = Flood_start_cell(release_x, release_y);
    Grid_allocate();
    Grid_clear();

    Wave_rec* const queue = Wave_queue[0];  // the flood appends first-wave records only
    uint8_t* const cells = Cell_map;
    uint32_t* const px = surface.px.data();
    const int32_t stride = surface.w;
    const int32_t grid_w = Grid_w;
    const int32_t x_high = std::min(surface.w, grid_w) - Margin_high;
    const int32_t y_high = std::min(surface.h, Grid_h) - Margin_high;

    int32_t cell_step[8], pixel_step[8];
    for (int k = 0; k < 8; ++k) {
        cell_step[k] = Step_x[k] + Step_y[k] * grid_w;
        pixel_step[k] = Step_x[k] + Step_y[k] * stride;
    }

    // Record 0 is the start cell. Its visit bit stays clear: it is painted
    // when processed, so the first neighbour that looks back at it reads the
    // paint, counts it as an obstacle and sets the bit.
    // A start beyond the 16-bit range is kept out of range rather than
    // wrapped onto some unrelated pixel; it is never processed.
    queue[0].x = uint16_t(std::min(start.x, 65535));
    queue[0].y = uint16_t(std::min(start.y, 65535));
    queue[0].parent = -1;
    int32_t count = 1;  // Rec_count, kept local while the fill runs
    int32_t obstacles = 0;
    int32_t evac_seen = 0;
    int32_t min_x = 1000000, min_y = 1000000, max_x = 0, max_y = 0;
    Flood_status status = Flood_completed;

    for (int32_t j = 0; j < count; ++j) {
        if (!evac_seen && count > 51) {
            status = Flood_no_evac;
            break;
        }
        if (Stop_request.load(std::memory_order_relaxed) == 1) {
            status = Flood_stopped;
            break;
        }
        if (j == 2000 && obstacles < 5) {
            status = Flood_too_open;
            break;
        }
        if (count > Record_limit || j > Record_limit) break;  // cut off there, but completed
        if (progress && j % Progress_every == 0 && j > 0) {
            Rec_count.store(count, std::memory_order_relaxed);
            progress->show(progress->context, surface, Painted_part(surface, min_x, min_y, max_x, max_y));
        }

        const int32_t x = queue[j].x;
        const int32_t y = queue[j].y;
        if (x > x_high || x < Margin_low || y > y_high || y < Margin_low) continue;  // recorded, never processed
        min_x = std::min(min_x, x);
        min_y = std::min(min_y, y);
        max_x = std::max(max_x, x);
        max_y = std::max(max_y, y);

        const size_t pixel = size_t(y) * size_t(stride) + size_t(x);
        const int32_t cell = x + y * grid_w;
        px[pixel] = Colour_first_wave;
        for (int k = 0; k < 8; ++k) {
            uint8_t& visit = cells[size_t(cell + cell_step[k]) * 4 + 3];
            // A cell already looked at is either painted road or a counted
            // obstacle: neither reads as road nor as an evacuation colour any
            // more, so it needs no classification.
            if (visit & Visit_first) continue;
            visit |= Visit_first;
            const size_t at = pixel + size_t(ptrdiff_t(pixel_step[k]));
            const uint8_t code = Pixel_code(px[at]);
            if (!(code & Code_road)) {
                ++obstacles;
                continue;
            }
            if ((code & Code_evac) || ((code & Code_orange) && count < 50)) evac_seen = 1;
            // Only x, y and parent: cost and next belong to the route wave.
            queue[count].x = uint16_t(x + Step_x[k]);
            queue[count].y = uint16_t(y + Step_y[k]);
            queue[count].parent = j;
            ++count;
            px[at] = Colour_first_wave;
        }
    }

    Rec_count.store(count);
    Evac_seen = evac_seen;
    return {status, {min_x, min_y, max_x, max_y}, count, obstacles};
}

namespace {

struct Show_state {
    int64_t last_ms;
};

// Presents the painted picture at most every 30 ms, so the user sees the
// network grow without the showing slowing the fill down.
void Show_progress(void* context, const Image& painted, const Rect32& part) {
    auto* state = static_cast<Show_state*>(context);
    const int64_t now = Plat().Now_ms();
    if (now - state->last_ms < 30) return;
    state->last_ms = now;
    Plat().Screen_show(painted, part.left, part.top, part.right - part.left, part.bottom - part.top);
}

}  // namespace

int32_t Maze_map(int32_t x, int32_t y) {
    // The start pixel is checked on the screen itself, wherever it lies.
    const Point start = Flood_start_cell(x, y);
    if ((Plat().Screen_pixel(start.x, start.y) & 0xFFFFFF) != Colour_white) {
        Msg_confirm(Not_white_text);
        return 1;
    }

    const Point screen = Plat().Screen_size();
    Image captured;
    if (!Plat().Screen_capture(std::min(screen.x, Grid_w_fixed), std::min(screen.y, Grid_h_fixed), captured) ||
        captured.empty()) {
        Error_box(Capture_failed_text);
        return 1;
    }
    Image painted = captured;

    Show_state shown{Plat().Now_ms()};
    const Flood_progress progress{Show_progress, &shown};
    const Flood_result r = Flood_fill(painted, x, y, &progress);
    // The fill has rewritten the grid tables, whatever its outcome: an index
    // of the route they held before would point into the new records.
    Route_index_drop();
    const Rect32& box = r.box;
    Rect32 part{0, 0, 0, 0};
    if (box.right >= box.left && box.bottom >= box.top) {
        part = Painted_part(painted, box.left, box.top, box.right, box.bottom);
        Plat().Screen_show(painted, part.left, part.top, part.right - part.left, part.bottom - part.top);
    }
    // The paint was only a picture of the progress: put the screen back as the
    // map showed it, so the user's map is left unmarked and a next drag finds
    // its white roads again.
    auto restore_screen = [&] {
        if (part.right > part.left && part.bottom > part.top)
            Plat().Screen_show(captured, part.left, part.top, part.right - part.left, part.bottom - part.top);
    };

    switch (r.status) {
    case Flood_no_evac:
        Error_box(No_evac_text);
        restore_screen();
        return 1;
    case Flood_stopped:
    case Flood_too_open: restore_screen(); return 1;
    case Flood_completed: break;
    }
    // A start at the very edge, or a road of one row or one column, gives no
    // picture to cut: refuse it rather than capture an empty map.
    if (box.right <= box.left || box.bottom <= box.top) {
        Error_box(Empty_map_text);
        restore_screen();
        return 1;
    }
    restore_screen();

    {
        std::lock_guard lock(Markers_lock);
        Base_data.Road_rec_total = r.records;
    }
    if (Map_images_save(captured, box.left, box.top, box.right, box.bottom) != 0) return 1;
    Fit_main_window(box.right - box.left, box.bottom - box.top);
    if (Map_images_load(Exe_folder, true) != 0) return 1;
    Panel_state |= Panel_map_captured;
    return 0;
}
