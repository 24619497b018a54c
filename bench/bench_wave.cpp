// The route wave on its worst case, and the same search by scikit-image and
// by scipy.
//
// The worst case is the work captured from the street-grid map released at
// (801, 601): white streets everywhere, about 1.59 million nodes with two
// evacuation places at client (400, 300) and (1200, 900), a congestion point
// at (800, 600) and a no-passage point at (600, 800). Each run starts from
// the same shown map, copied outside the timing; the time includes preparing
// the tables (about 5 ms) and putting the finished route in place.
//
// The comparison writes the same grid (road 1, congestion 10, everything the
// wave never expands skipped) with the same starts for bench/mcp_compare.py,
// which times MCP_Geometric's search alone; the ratio is its time over the
// wave's mean time. The same grid, as a graph of the eight-neighbour steps
// with MCP's step costs, goes to scipy.sparse.csgraph.dijkstra (the graph
// built outside the timing). They need python3 with scikit-image and scipy
// (Debian's python3-skimage, python3-scipy); without them those runs fail.
#include <benchmark/benchmark.h>

#include "bench/bench_common.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "map/flood.h"
#include "map/grid.h"
#include "map/picture_file.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "route/route_trace.h"
#include "route/wave.h"

namespace {

struct Worst_case {
    bool ok = false;
    std::string why;
    Image shown;  // the map picture with its markers, as Map_restore leaves it
    Point place[2] = {Worst_place[0], Worst_place[1]};
};

Worst_case Make_worst_case() {
    Worst_case wc;
    Worst_work w;
    if (!Worst_work_make(w, wc.why)) return wc;
    const Image& map = w.map;
    wc.shown = w.shown;
    // One run outside the timing: the tables are allocated once per process,
    // and their first touch (page faults over 176 MB) is no part of a wave.
    Image warm = wc.shown;
    Wave_run(warm, map.w, map.h, 2, wc.place[0].x, wc.place[0].y, wc.place[1].x, wc.place[1].y);
    wc.ok = true;
    return wc;
}

const Worst_case& Worst() {
    static const Worst_case wc = Make_worst_case();
    return wc;
}

double Wave_mean_seconds = 0;  // of the last wave run, for the ratio

void BM_Route_wave_worst_case(benchmark::State& state) {
    const Worst_case& wc = Worst();
    if (!wc.ok) {
        state.SkipWithError(wc.why.c_str());
        return;
    }
    Image work;
    Wave_result r{};
    double total = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        work = wc.shown;
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        r = Wave_run(work, wc.shown.w, wc.shown.h, 2, wc.place[0].x, wc.place[0].y, wc.place[1].x, wc.place[1].y);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++runs;
    }
    if (r.status != Wave_completed) state.SkipWithError("the wave did not complete");
    Wave_mean_seconds = runs ? total / double(runs) : 0;
    state.counters["nodes"] = double(r.nodes);
    state.counters["highest_cost"] = double(r.highest_cost);
}
BENCHMARK(BM_Route_wave_worst_case)->Unit(benchmark::kMillisecond)->Iterations(20);

// The index the display looks the cursor up in, over the route just built.
void BM_Route_index_build_worst_case(benchmark::State& state) {
    const int32_t count = Rec_count.load();
    if (!Worst().ok || count <= 0) {
        state.SkipWithError("no route built");
        return;
    }
    for (auto _ : state) Route_index_build(count);
    state.counters["nodes"] = double(count);
}
BENCHMARK(BM_Route_index_build_worst_case)->Unit(benchmark::kMillisecond)->Iterations(10);

// The wave's grid for MCP: the classification of the shown map before the
// wave, and only the pixels the wave can reach (expanded or one step beyond).
bool Write_costs(const Image& shown, const std::string& path) {
    std::vector<double> costs(shown.px.size(), -1.0);
    for (int32_t y = Wave_margin - 1; y <= shown.h - Wave_margin + 1 && y < shown.h; ++y) {
        for (int32_t x = Wave_margin - 1; x <= shown.w - Wave_margin + 1 && x < shown.w; ++x) {
            const uint8_t code = Pixel_code(shown.get(x, y));
            if (code & Code_road) costs[size_t(y) * size_t(shown.w) + size_t(x)] = (code & Code_congestion) ? 10.0 : 1.0;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(costs.data()), std::streamsize(costs.size() * sizeof(double)));
    return bool(out);
}

// Runs bench/mcp_compare.py with the given peer on the wave's grid.
void Peer_search(benchmark::State& state, const char* peer, const char* label) {
    const Worst_case& wc = Worst();
    if (!wc.ok || Wave_mean_seconds <= 0) {
        state.SkipWithError("no wave figure to compare with");
        return;
    }
    const std::string grid = (std::filesystem::temp_directory_path() /
                              ("tovi-" + std::string(peer) + "-" + std::to_string(getpid()) + ".f64"))
                                 .string();
    const std::string result = grid + ".txt";
    if (!Write_costs(wc.shown, grid)) {
        state.SkipWithError("cannot write the cost grid");
        return;
    }
    char args[200];
    std::snprintf(args, sizeof args, " %d %d %d %d %d %d --peer %s --runs %d", wc.shown.w, wc.shown.h, wc.place[0].x,
                  wc.place[0].y, wc.place[1].x, wc.place[1].y, peer, std::string(peer) == "mcp" ? 3 : 2);
    const std::string command = Bench_python() + " " + TOVI_SOURCE_DIR + "/bench/mcp_compare.py " + grid + args +
                                " > " + result;
    double seconds = 0;
    long reached = 0;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("mcp_compare.py failed (are python3-skimage and python3-scipy installed?)");
            break;
        }
        std::ifstream in(result);
        std::string word;
        while (in >> word) {
            if (word == "seconds") in >> seconds;
            else if (word == "reached") in >> reached;
        }
        state.SetIterationTime(seconds);
    }
    std::filesystem::remove(grid);
    std::filesystem::remove(result);
    if (seconds <= 0) return;
    state.counters["reached"] = double(reached);
    state.counters["tovi_ms"] = Wave_mean_seconds * 1000.0;
    state.counters["ratio"] = seconds / Wave_mean_seconds;
    std::printf("%s search %.1f ms, Tovi route wave %.1f ms: Tovi is %.1f times faster\n", label, seconds * 1000.0,
                Wave_mean_seconds * 1000.0, seconds / Wave_mean_seconds);
}

void BM_skimage_MCP_Geometric_worst_case(benchmark::State& state) { Peer_search(state, "mcp", "MCP_Geometric"); }
BENCHMARK(BM_skimage_MCP_Geometric_worst_case)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_scipy_dijkstra_worst_case(benchmark::State& state) { Peer_search(state, "dijkstra", "scipy dijkstra"); }
BENCHMARK(BM_scipy_dijkstra_worst_case)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
