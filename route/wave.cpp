// The route wave: a uniform-cost search from the evacuation places over the
// pixels of the shown map, eight neighbours per pixel, with a bucket queue.
//
// The wave never gets the roads as data: it classifies the shown map's pixels
// as it goes, so the painted markers steer it (congestion costs 10 a pixel,
// no-passage blocks, the evacuation colour proves the start). Two waves share
// the buckets and paint what they take in their own colour, which the
// classifier calls non-road, so the first arrival owns a pixel and the map is
// split between the two places.
//
// The wave is built in a spare set of grid tables and put in place only when
// it completes. A wave that ends early (a left press, Stop_request, wrong set
// points, a limit) leaves the route that was there before, with its counts,
// exactly as it was: the display and a save never see half a wave.
//
// Owns: Bucket_head, Bucket_tail, Wave_now, Wave_end, the spare tables,
// Wave_last. Called by: the control panel's "ルート作成" on its own thread,
// tovi-cli route, tests and benches.
#include "route/wave.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/flood.h"
#include "map/grid.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "platform/platform.h"
#include "route/route_trace.h"

int32_t Bucket_head[Bucket_count];
int32_t Bucket_tail[Bucket_count];
int32_t Wave_now = 0;
int32_t Wave_end = 0;
Wave_result Wave_last{};

namespace {

// The neighbours are the grid's (Step_x, Step_y in map/grid.h); their order
// decides the node numbering and, between two waves, who takes a pixel.
constexpr uint32_t Wave_colour[2] = {Colour_first_wave, Colour_second_wave};
constexpr uint8_t Wave_bit[2] = {Visit_first, Visit_second};

// The spare set, laid out as the grid tables; after each completed wave it
// holds the route before, which the next wave overwrites. It has no cell
// table: a wave keeps its visits apart (Wave_visit) until it completes, and
// then writes them into the cells in place.
Wave_rec* Spare_queue[2] = {nullptr, nullptr};
uint8_t* Spare_kind = nullptr;
int32_t Spare_count = 0;  // nodes created in the spare set so far

// The visit bits while the wave runs, one byte per cell instead of one in
// four: the wave front then touches a quarter of the memory, which is most of
// its time. A completed wave writes them into the cells' last bytes.
uint8_t Wave_visit[Grid_cells];

// Buckets below this index may hold nodes of the last run. A run makes each
// head -1 when its cost first comes within reach (Wave_end grows past it), so
// the heads beyond Wave_end are never read and a process whose waves stay
// within a few thousand costs never touches the megabytes beyond them.
int32_t Buckets_used = 0;

// Set by a caller that never cancels a wave (tovi-cli): the wave is then
// built in the grid tables themselves, and no spare set is ever taken.
bool In_place = false;
Wave_rec* Own_spare[2] = {nullptr, nullptr};
uint8_t* Own_spare_kind = nullptr;

void Spare_allocate() {
    if (In_place) {
        Spare_queue[0] = Wave_queue[0];
        Spare_queue[1] = Wave_queue[1];
        Spare_kind = Rec_kind;
        return;
    }
    if (Own_spare[0]) {
        Spare_queue[0] = Own_spare[0];
        Spare_queue[1] = Own_spare[1];
        Spare_kind = Own_spare_kind;
        return;
    }
    const Grid_tables t = Grid_tables_allocate(false);
    Own_spare[0] = Spare_queue[0] = t.queue[0];
    Own_spare[1] = Spare_queue[1] = t.queue[1];
    Own_spare_kind = Spare_kind = t.kind;
}

// The unused tail of the kinds carried over into the spare set, as the kinds
// in place would keep it.
void Spare_kind_tail() {
    if (Spare_kind == Rec_kind) return;  // built in place: the tail is where it was
    std::memcpy(Spare_kind + Grid_cells, Rec_kind + Grid_cells, size_t(Rec_kind_bytes) - size_t(Grid_cells));
}

// The completed wave's visit bits into each cell's last byte, the other
// bytes and the unused tail of the cells kept. Caller holds Route_lock.
void Cells_visits_write() {
    for (size_t i = 0; i < size_t(Grid_cells); ++i) {
        uint32_t cell;
        std::memcpy(&cell, Cell_map + i * 4, 4);
        cell = (cell & 0x00FFFFFFu) | uint32_t(Wave_visit[i]) << 24;  // little-endian: byte 3 is the top
        std::memcpy(Cell_map + i * 4, &cell, 4);
    }
}

void Wave_caption(int32_t cost, int32_t nodes) {
    char text[96];
    std::snprintf(text, sizeof text, Wave_caption_format, cost, Grid_cells, nodes, Wave_node_limit);
    Plat().Set_main_caption(text);
}

}  // namespace

int32_t Wave_out_of_area(int32_t x, int32_t y, int32_t picture_w, int32_t picture_h) {
    if (x > picture_w - Wave_margin) return 1;
    if (y > picture_h - Wave_margin) return 1;
    if (x > Grid_w_fixed - Wave_margin) return 1;
    if (x < Wave_margin) return 1;
    if (y > Grid_h_fixed - Wave_margin) return 1;
    if (y < Wave_margin) return 1;
    return 0;
}

void Wave_in_place(bool on) { In_place = on; }

int32_t Wave_init(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t place_count) {
    Grid_allocate();
    Spare_allocate();

    // Every record starts as the tables in place would after their clearing:
    // kinds, parents, costs and links cleared, the second table's x cleared,
    // and the fields no wave clears (the first table's x and y, the second's
    // y) carried over, so a saved data set holds the same bytes as if the
    // wave had run in place. The cells follow when the wave completes.
    const Wave_rec* const q0 = Wave_queue[0];
    const Wave_rec* const q1 = Wave_queue[1];
    Wave_rec* const s0 = Spare_queue[0];
    Wave_rec* const s1 = Spare_queue[1];
    for (int32_t i = 0; i < Grid_cells; ++i) {
        s0[i] = {q0[i].x, q0[i].y, 0, 0, -1};
        s1[i] = {0, q1[i].y, 0, 0, -1};
    }
    std::memset(Spare_kind, 0, size_t(Grid_cells));
    std::memset(Wave_visit, 0, sizeof Wave_visit);

    std::fill(Bucket_head, Bucket_head + std::max(Buckets_used, 2), -1);
    Buckets_used = 0;

    // The sources cost 1; they get no visit bit and no paint until expanded.
    s0[0] = {uint16_t(x1), uint16_t(y1), -1, 1, -1};
    Spare_kind[0] = 0;
    Bucket_head[1] = Bucket_tail[1] = 0;
    Spare_count = 1;
    Wave_end = 2;
    if (place_count == 2) {
        Spare_kind[1] |= 1;
        s1[1] = {uint16_t(x2), uint16_t(y2), -1, 1, -1};
        s0[0].next = 1;
        Bucket_tail[1] = 1;
        Spare_count = 2;
    }
    return Grid_cells;
}

Wave_result Wave_run(Image& surface, int32_t picture_w, int32_t picture_h, int32_t place_count, int32_t x1,
                     int32_t y1, int32_t x2, int32_t y2, const Wave_progress* progress) {
    Evac_seen = 0;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    // The first place normally stands on its own marker: this read alone
    // proves the start.
    Pixel_check(surface, x1, y1);
    int32_t evac_seen = Evac_seen;
    Wave_init(x1, y1, x2, y2, place_count);

    // Expanded pixels lie at least one pixel inside the surface too, so no
    // neighbour is ever read or painted outside it.
    const int32_t area_w = std::min(picture_w, surface.w);
    const int32_t area_h = std::min(picture_h, surface.h);
    const int32_t x_high = std::min(area_w, Grid_w_fixed) - Wave_margin;
    const int32_t y_high = std::min(area_h, Grid_h_fixed) - Wave_margin;
    const int32_t surface_w = surface.w, surface_h = surface.h;

    ptrdiff_t pixel_step[8], visit_step[8];
    for (int k = 0; k < 8; ++k) {
        pixel_step[k] = Step_x[k] + ptrdiff_t(Step_y[k]) * surface_w;
        visit_step[k] = Step_x[k] + ptrdiff_t(Step_y[k]) * Grid_w_fixed;
    }

    uint32_t* px = surface.px.data();
    Wave_rec* const queue[2] = {Spare_queue[0], Spare_queue[1]};
    uint8_t* const kind = Spare_kind;
    uint8_t* const visits = Wave_visit;
    int32_t count = Spare_count;  // Rec_count of this wave, kept local while it runs
    int32_t wave_end = Wave_end;
    int32_t until_poll = Wave_poll_nodes;
    int32_t caption_cost = 1, caption_nodes = count;
    Wave_status status = Wave_completed;

    for (int32_t i = 1; i < wave_end; ++i) {
        caption_cost = i;
        caption_nodes = count;
        if (i > Wave_cost_limit) {
            status = Wave_cost_too_high;
            break;
        }
        Wave_now = i;
        for (int32_t node = Bucket_head[i]; node != -1;) {
            if (--until_poll == 0) {
                until_poll = Wave_poll_nodes;
                if (progress) {
                    if (progress->poll(progress->context, i, caption_nodes) != 0 || surface.w != surface_w ||
                        surface.h != surface_h) {
                        status = Wave_cancelled;
                        break;
                    }
                    px = surface.px.data();  // the caller may have let go of the surface
                }
            }
            if (!evac_seen && count > 51) {
                status = Wave_no_evac;
                break;
            }
            if (Stop_request.load(std::memory_order_relaxed) == 1) {
                status = Wave_stopped;
                break;
            }
            if (count > Wave_node_limit) {
                status = Wave_too_many;
                break;
            }
            if (node > Wave_node_limit) {
                status = Wave_node_too_high;
                break;
            }
            // The two tables share one numbering; the node's kind bit says
            // which of them holds its record.
            const int wave = kind[node] & 1;
            Wave_rec* const table = queue[wave];
            const int32_t x = table[node].x, y = table[node].y;
            if (x > x_high || y > y_high || x < Wave_margin || y < Wave_margin) {
                node = table[node].next;  // created and painted, never expanded
                continue;
            }
            const size_t pixel = size_t(y) * size_t(surface_w) + size_t(x);
            const size_t visit_at = size_t(y) * Grid_w_fixed + size_t(x);
            const uint32_t colour = Wave_colour[wave];
            const uint8_t mine = Wave_bit[wave];
            px[pixel] = colour;
            for (int k = 0; k < 8; ++k) {
                uint8_t& visit = visits[visit_at + size_t(visit_step[k])];
                // A pixel either wave has looked at is now non-road: taken and
                // painted, or classified as an obstacle, and paint only ever
                // makes pixels non-road. It needs no second classification.
                if (visit & (Visit_first | Visit_second)) {
                    visit |= mine;
                    continue;
                }
                visit |= mine;
                const size_t at = pixel + size_t(pixel_step[k]);
                // White is most of any road network: decided without the classifier.
                const uint32_t seen = px[at] & 0xFFFFFFu;
                const uint8_t code = seen == Colour_white ? uint8_t(Code_road) : Pixel_code(seen);
                if (!evac_seen && ((code & Code_evac) || ((code & Code_orange) && count < 50))) evac_seen = 1;
                if (!(code & Code_road)) continue;

                // Wave_push: the pixel's cost is fixed at its first arrival,
                // since buckets are taken in increasing cost and every step
                // costs at least 1. Appending to the bucket keeps ties in the
                // order of arrival, shared by both waves.
                const int32_t cost = i + ((code & Code_congestion) ? Congestion_step_cost : 1);
                if (cost >= wave_end) {
                    std::fill(Bucket_head + wave_end, Bucket_head + cost + 1, -1);
                    wave_end = cost + 1;
                }
                const int32_t n = count++;
                kind[n] = uint8_t(wave);
                table[n] = {uint16_t(x + Step_x[k]), uint16_t(y + Step_y[k]), node, cost, -1};
                if (Bucket_head[cost] == -1) {
                    Bucket_head[cost] = n;
                } else {
                    const int32_t tail = Bucket_tail[cost];
                    queue[kind[tail] & 1][tail].next = n;
                }
                Bucket_tail[cost] = n;
                px[at] = colour;
            }
            node = table[node].next;
        }
        if (status != Wave_completed) break;
    }

    Wave_end = wave_end;
    Buckets_used = wave_end;
    Spare_count = count;
    Evac_seen = evac_seen;
    const Wave_result result{status, count, wave_end - 1, caption_cost, caption_nodes};
    if (status == Wave_completed) {
        Spare_kind_tail();
        {
            // The new route takes the place of the old one in one step.
            std::lock_guard lock(Route_lock);
            Cells_visits_write();
            if (Spare_kind != Rec_kind) {
                std::swap(Wave_queue[0], Spare_queue[0]);
                std::swap(Wave_queue[1], Spare_queue[1]);
                std::swap(Rec_kind, Spare_kind);
                // The set the route before lies in is the spare set now.
                Own_spare[0] = Spare_queue[0];
                Own_spare[1] = Spare_queue[1];
                Own_spare_kind = Spare_kind;
            }
            Rec_count.store(count);
            Route_index_forget();
        }
        Rec_count_to_base();
    }
    Wave_last = result;
    return result;
}

namespace {

// Caption and repaint at a rate a person can follow; more often would only
// slow the wave down.
constexpr int64_t Wave_show_every_ms = 100;

struct Wave_view {
    std::unique_lock<std::mutex>* shown;
    int64_t last_ms;
};

int Wave_view_poll(void* context, int32_t cost, int32_t nodes) {
    auto* view = static_cast<Wave_view*>(context);
    // A left press anywhere ends the wave; the map and the route before are kept.
    if (Plat().Key_down(Vk_lbutton)) return 1;
    const int64_t now = Plat().Now_ms();
    if (now - view->last_ms >= Wave_show_every_ms) {
        view->last_ms = now;
        // The main window's thread needs the shown map to paint, and the
        // caption is its message: neither may wait for the wave.
        view->shown->unlock();
        Wave_caption(cost, nodes);
        Plat().Main_window_refresh();
        view->shown->lock();
    }
    return 0;
}

}  // namespace

int32_t Route_wave(int32_t place_count, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Wave_caption(1, place_count == 2 ? 2 : 1);
    Wave_result r;
    {
        std::unique_lock shown(Shown_lock);
        Wave_view view{&shown, Plat().Now_ms()};
        const Wave_progress progress{Wave_view_poll, &view};
        r = Wave_run(Shown_map, Map_image.w, Map_image.h, place_count, x1, y1, x2, y2, &progress);
    }
    Wave_caption(r.caption_cost, r.caption_nodes);
    Plat().Main_window_refresh();

    if (Wave_refusal(r.status) != 0) return 1;
    Route_index_build(r.nodes);
    return 0;
}

int32_t Wave_refusal(Wave_status s) {
    switch (s) {
    case Wave_completed: return 0;
    case Wave_no_evac: Error_box(No_evac_text); break;
    case Wave_stopped: Msg_confirm(Wave_stop_text); break;
    case Wave_cancelled: break;
    case Wave_too_many: Error_box(Wave_too_many_text); break;
    case Wave_node_too_high: Error_box(Wave_node_too_high_text); break;
    case Wave_cost_too_high: Msg_confirm(Wave_cost_text); break;
    }
    return 1;
}

void Map_restore() {
    {
        std::lock_guard lock(Shown_lock);
        Shown_map = Map_image;
    }
    Markers_redraw();
}

int32_t Route_build() {
    int32_t places, x[2], y[2];
    uint64_t markers;
    {
        std::lock_guard lock(Markers_lock);
        markers = Markers_sum(Base_data);
        places = Base_data.Evac_n;
        x[0] = Base_data.Evac_x[0];
        y[0] = Base_data.Evac_y[0];
        x[1] = Base_data.Evac_x[1];
        y[1] = Base_data.Evac_y[1];
    }
    int32_t result = 1;
    // Without a place the wave would start from a stale slot: say so instead.
    if (places < 1) Error_box(No_evac_text);
    else result = Route_wave(places, x[0], y[0], x[1], y[1]);
    // The tools are stopped while the wave runs, so these are the markers it read.
    if (result == 0) Route_markers_sum = markers;
    Map_restore();
    Plat().Beep();
    return result;
}
