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

#include "bench/bench_common.h"

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
    Worst_work worst;
    if (!Worst_work_make(worst, w.why)) return w;
    w.map = worst.map;
    w.sets = worst.sets;
    Image shown = worst.shown;
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
