// The evacuation map on the worst case: the work captured from the
// street-grid map released at (801, 601), white streets everywhere, with two
// evacuation places at client (400, 300) and (1200, 900), a congestion point
// at (800, 600) and a no-passage point at (600, 800), and its route built:
// about 1.59 million reached pixels on a map of nearly 1600 x 1200.
//
// Travel_counts is the one pass over the route tables; the map render adds
// the picture (bands, fade, markers) with its legend in Japanese text, as the
// window shows it when a choice changes (target < 100 ms); the PNG run adds
// encoding it, which is all tovi-cli render does besides reading the files;
// the page is an A3 landscape sheet at 300 dpi, drawn and encoded.
#include <benchmark/benchmark.h>

#include "bench/bench_common.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "map/flood.h"
#include "map/grid.h"
#include "map/picture_file.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "route/evac_map.h"
#include "route/render.h"
#include "route/text_render.h"
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

// A Japanese font as tovi-cli finds it, once.
const Text_font& Bench_font() {
    static Text_font font = [] {
        Text_font f;
        std::string path;
        if (FILE* p = popen("fc-match -f '%{file}' 'IPAGothic:lang=ja' 2>/dev/null", "r")) {
            char buf[512];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) path.append(buf, n);
            pclose(p);
        }
        std::ifstream in(path, std::ios::binary);
        Text_font_load(f, std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        return f;
    }();
    return font;
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

void BM_Evac_map_draw_worst_case(benchmark::State& state) {
    Routed_work w;
    if (!Prepare(state, w)) return;
    std::vector<int32_t> counts;
    Travel_counts(w.nodes, 1, counts);
    Image drawn;
    for (auto _ : state) {
        drawn = Evac_map_draw(w.map, w.sets, counts, Evac_options{});
        benchmark::DoNotOptimize(drawn.px.data());
    }
}
BENCHMARK(BM_Evac_map_draw_worst_case)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Evac_map_render_worst_case(benchmark::State& state) {
    Routed_work w;
    if (!Prepare(state, w)) return;
    if (!Bench_font().ok()) return state.SkipWithError("no Japanese font (fonts-ipafont-gothic)");
    std::vector<int32_t> counts;
    Evac_render r;
    Evac_texts texts;
    texts.source = "地理院地図";
    for (auto _ : state) {
        Travel_counts(w.nodes, 1, counts);
        r = Evac_map_render(w.map, w.sets, counts, Evac_options{}, texts, Bench_font());
        benchmark::DoNotOptimize(r.picture.px.data());
    }
    state.counters["reached"] = double(r.figures.reached);
    state.counters["width"] = double(r.picture.w);
    state.counters["height"] = double(r.picture.h);
}
BENCHMARK(BM_Evac_map_render_worst_case)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Travel_map_png_worst_case(benchmark::State& state) {
    Routed_work w;
    if (!Prepare(state, w)) return;
    if (!Bench_font().ok()) return state.SkipWithError("no Japanese font (fonts-ipafont-gothic)");
    std::vector<int32_t> counts;
    size_t bytes = 0;
    for (auto _ : state) {
        Travel_counts(w.nodes, 1, counts);
        const Evac_render r = Evac_map_render(w.map, w.sets, counts, Evac_options{}, Evac_texts{}, Bench_font());
        bytes = Png_bytes(r.picture).size();
    }
    state.counters["png_bytes"] = double(bytes);
}
BENCHMARK(BM_Travel_map_png_worst_case)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Evac_page_A3_300dpi_worst_case(benchmark::State& state) {
    Routed_work w;
    if (!Prepare(state, w)) return;
    if (!Bench_font().ok()) return state.SkipWithError("no Japanese font (fonts-ipafont-gothic)");
    std::vector<int32_t> counts;
    Evac_texts texts;
    texts.date = "2026年12月10日";
    texts.source = "地理院地図";
    Evac_page pg;
    for (auto _ : state) {
        Travel_counts(w.nodes, 1, counts);
        pg = Evac_page_render({Paper::A3, true, 300}, w.map, w.sets, counts, Evac_options{}, texts, Bench_font());
        benchmark::DoNotOptimize(pg.picture.px.data());
    }
    state.counters["width"] = double(pg.w);
    state.counters["height"] = double(pg.h);
}
BENCHMARK(BM_Evac_page_A3_300dpi_worst_case)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Evac_page_A3_300dpi_png_worst_case(benchmark::State& state) {
    Routed_work w;
    if (!Prepare(state, w)) return;
    if (!Bench_font().ok()) return state.SkipWithError("no Japanese font (fonts-ipafont-gothic)");
    std::vector<int32_t> counts;
    size_t bytes = 0;
    for (auto _ : state) {
        Travel_counts(w.nodes, 1, counts);
        const Evac_page pg =
            Evac_page_render({Paper::A3, true, 300}, w.map, w.sets, counts, Evac_options{}, Evac_texts{}, Bench_font());
        bytes = Png_bytes(pg.picture).size();
    }
    state.counters["png_bytes"] = double(bytes);
}
BENCHMARK(BM_Evac_page_A3_300dpi_png_worst_case)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
