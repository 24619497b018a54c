// The travel-time map on the worst case: the work captured from the
// street-grid map released at (801, 601), white streets everywhere, with two
// evacuation places at client (400, 300) and (1200, 900), a congestion point
// at (800, 600) and a no-passage point at (600, 800), and its route built:
// about 1.59 million reached pixels on a map of nearly 1600 x 1200.
//
// Travel_counts is the one pass over the route tables; the render adds the
// composed picture (fade, bands, markers, legend); the PNG run adds encoding
// the picture, which is all tovi-cli render does besides reading the files.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "map/flood.h"
#include "map/grid.h"
#include "map/picture_file.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "route/render.h"
#include "route/travel_time.h"
#include "route/wave.h"

namespace {

struct Routed_work {
    bool ok = false;
    std::string why;
    Image map;  // the map picture, as tst.bmp holds it
    Base_record sets{};
    int32_t nodes = 0;
};

Routed_work Make_routed_work() {
    Routed_work w;
    Image screen;
    const std::string path = std::string(TOVI_SOURCE_DIR) + "/resources/maps/street-grid-1600x1200.png";
    if (!Picture_read(path, screen, w.why)) {
        w.why = path + ": " + w.why;
        return w;
    }
    Image painted = screen;
    const Flood_result flood = Flood_fill(painted, 801, 601);
    if (flood.status != Flood_completed) {
        w.why = "the capture's flood did not complete";
        return w;
    }
    const Rect32 box = flood.box;
    w.map = Image(box.right - box.left, box.bottom - box.top);
    for (int32_t y = 0; y < w.map.h; ++y)
        for (int32_t x = 0; x < w.map.w; ++x) w.map.set(x, y, screen.get(box.left + x, box.top + y));

    w.sets.Evac_n = 2;
    w.sets.Evac_x[0] = 400, w.sets.Evac_y[0] = 300;
    w.sets.Evac_x[1] = 1200, w.sets.Evac_y[1] = 900;
    w.sets.Cong_n = 1, w.sets.Cong_x[0] = 800, w.sets.Cong_y[0] = 600;
    w.sets.Nopass_n = 1, w.sets.Nopass_x[0] = 600, w.sets.Nopass_y[0] = 800;
    Image shown = w.map;
    Markers_paint(shown, w.sets);
    const Wave_result r = Wave_run(shown, w.map.w, w.map.h, 2, 400, 300, 1200, 900);
    if (r.status != Wave_completed) {
        w.why = "the route wave did not complete";
        return w;
    }
    w.nodes = r.nodes;
    w.ok = true;
    return w;
}

// Built again for each benchmark: another bench of the same run may have
// put a different route into the grid tables meanwhile.
bool Prepare(benchmark::State& state, Routed_work& w) {
    w = Make_routed_work();
    if (!w.ok) state.SkipWithError(w.why.c_str());
    return w.ok;
}

void BM_Travel_counts_worst_case(benchmark::State& state) {
    Routed_work w;
    if (!Prepare(state, w)) return;
    std::vector<int32_t> counts;
    for (auto _ : state) {
        Travel_counts(w.nodes, 1, counts);
        benchmark::DoNotOptimize(counts.data());
    }
    state.counters["nodes"] = double(w.nodes);
}
BENCHMARK(BM_Travel_counts_worst_case)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Travel_map_render_worst_case(benchmark::State& state) {
    Routed_work w;
    if (!Prepare(state, w)) return;
    std::vector<int32_t> counts;
    Travel_render r;
    for (auto _ : state) {
        Travel_counts(w.nodes, 1, counts);
        r = Travel_map_render(w.map, w.sets, counts, 1, 1);
        benchmark::DoNotOptimize(r.picture.px.data());
    }
    state.counters["reached"] = double(r.reached);
    state.counters["bands"] = double(r.bands);
    state.counters["width"] = double(r.picture.w);
    state.counters["height"] = double(r.picture.h);
}
BENCHMARK(BM_Travel_map_render_worst_case)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Travel_map_png_worst_case(benchmark::State& state) {
    Routed_work w;
    if (!Prepare(state, w)) return;
    std::vector<int32_t> counts;
    size_t bytes = 0;
    for (auto _ : state) {
        Travel_counts(w.nodes, 1, counts);
        const Travel_render r = Travel_map_render(w.map, w.sets, counts, 1, 1);
        bytes = Png_bytes(r.picture).size();
    }
    state.counters["png_bytes"] = double(bytes);
}
BENCHMARK(BM_Travel_map_png_worst_case)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
