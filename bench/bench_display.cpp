// The route display on the worst-case route: the street-grid map released
// at (801, 601), about 1.59 million nodes, two evacuation places at client
// (400, 300) and (1200, 900), a congestion point at (800, 600) and a
// no-passage point at (600, 800), as bench_wave builds it.
//
// Move: the display runs on the bench thread and the cursor jumps, at every
// poll, between the farthest pixel of the first wave and the farthest pixel
// of the second, so each poll looks up a new pixel, takes back the longest
// route of one wave, paints the longest of the other and writes the figures.
// Reported per move, poll and pause overhead included (the pause is virtual).
//
// Resting: the display runs on the tool slot on a platform whose pauses
// really sleep, with the cursor resting on a road, for 2 s of real time; the
// process's processor time as a share of that time, and the polls per second.
#include <benchmark/benchmark.h>

#include "bench/bench_common.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "map/flood.h"
#include "map/grid.h"
#include "map/picture_file.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/fake/fake_platform.h"
#include "route/display.h"
#include "route/route_trace.h"
#include "route/wave.h"

namespace {

struct Worst_route {
    bool ok = false;
    std::string why;
    Point far[2];        // the pixel of each wave with the highest cost
    int32_t length[2];   // pixels of the route from it
};

// The work of the worst case with its route built, put in place as
// "ルート作成" leaves it: Map_image, Shown_map with the markers, Base_data,
// the grid tables and the index.
Worst_route Make_worst_route() {
    Worst_route wr;
    Worst_work w;
    if (!Worst_work_make(w, wr.why)) return wr;
    const Image& map = w.map;
    const Base_record& sets = w.sets;
    const Image& shown = w.shown;
    Image work = shown;
    const Wave_result r = Wave_run(work, map.w, map.h, 2, 400, 300, 1200, 900);
    if (r.status != Wave_completed) {
        wr.why = "the wave did not complete";
        return wr;
    }
    {
        std::lock_guard lock(Markers_lock);
        Base_data = sets;
        Base_data.Road_rec_total = r.nodes;
    }
    {
        std::lock_guard lock(Shown_lock);
        Map_image = map;
        Photo_image = Image();
        Shown_map = shown;
    }
    Route_index_build(r.nodes);

    int32_t best[2] = {-1, -1};
    for (int32_t n = 0; n < r.nodes; ++n) {
        const int w = Rec_kind[n] & 1;
        if (best[w] < 0 || Wave_queue[w][n].cost > Wave_queue[w][best[w]].cost) best[w] = n;
    }
    for (int w = 0; w < 2; ++w) {
        if (best[w] < 0) {
            wr.why = "a wave reached nothing";
            return wr;
        }
        const Wave_rec& rec = Wave_queue[w][best[w]];
        wr.far[w] = {rec.x, rec.y};
        Route_path p;
        Route_trace(rec.x, rec.y, 2, r.nodes, p);
        wr.length[w] = p.count;
    }
    wr.ok = true;
    return wr;
}

const Worst_route& Worst() {
    static const Worst_route wr = Make_worst_route();
    return wr;
}

// The cursor at the far pixel of one wave at even milliseconds and of the
// other at odd ones; the left button goes down at end_ms.
struct Jumping_fake : Fake_platform {
    Point screen_at[2];
    int64_t end_ms = 0;
    Point Cursor_pos() override { return screen_at[Now() & 1]; }
    bool Key_down(int vk) override { return vk == Vk_lbutton && Now() >= end_ms; }
    // Each move is input to the main window, which ends the display's wait
    // for input at once: the next look comes a millisecond later.
    void Input_wait(int) override { Fake_platform::Input_wait(1); }
};

void BM_Route_display_move_worst_case(benchmark::State& state) {
    const Worst_route& wr = Worst();
    if (!wr.ok) {
        state.SkipWithError(wr.why.c_str());
        return;
    }
    constexpr int64_t Moves = 20000;
    Jumping_fake fake;
    for (int w = 0; w < 2; ++w) fake.screen_at[w] = fake.Client_to_screen(wr.far[w]);
    Plat_install(&fake);
    double per_move_us = 0;
    for (auto _ : state) {
        fake.now = 0;
        fake.end_ms = Moves;
        const auto t0 = std::chrono::steady_clock::now();
        Maze_map_ret(2, 0, 0);
        const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        per_move_us = real * 1e6 / double(fake.now);
    }
    Plat_install(nullptr);
    state.counters["us_per_move"] = per_move_us;
    state.counters["route_px_first"] = wr.length[0];
    state.counters["route_px_second"] = wr.length[1];
}
BENCHMARK(BM_Route_display_move_worst_case)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Route_display_resting(benchmark::State& state) {
    const Worst_route& wr = Worst();
    if (!wr.ok) {
        state.SkipWithError(wr.why.c_str());
        return;
    }
    Sleeping_fake fake;
    Plat_install(&fake);
    fake.Input_at(0, fake.Client_to_screen(wr.far[0]), 0);
    Measure_idle(state, fake, Route_check_start);
    Plat_install(nullptr);
}
BENCHMARK(BM_Route_display_resting)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
