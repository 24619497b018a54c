// The capture's flood and the whole capture as tovi-cli runs it.
//
//   Flood/street_grid   the worst case: the synthetic street grid released at
//                       (801, 601), about 1.64 million records
//   Flood/kyoto_*       a real map from two streets
//   Flood/*_after_route the same after a route wave or a load: every byte the
//                       fill clears holds something, so the fill writes it
//   Capture/street_grid picture read, flood, tst.bmp, the 88 MB working data
//                       set, and the picture loaded back, as `tovi-cli capture`
//   Flood_peers/street_grid  OpenCV and scipy on the same road mask: the
//                       pixels the program's flood reached, dumped as a white
//                       on black picture for bench/flood_compare.py, which
//                       times cv2.inRange + cv2.floodFill, cv2.floodFill
//                       alone and scipy.ndimage.label (8-connected); needs
//                       python3-opencv and python3-scipy
//
// The flood runs over a fresh copy of the picture each time (the copy is not
// timed), with the grid tables already allocated and touched, as in every
// capture after the first in a process. The maps are read from TOVI_MAPS
// (default: resources/maps); without them the runs are skipped.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

#include "bench/bench_common.h"

#include "app/shell.h"
#include "map/flood.h"
#include "map/grid.h"
#include "map/picture_file.h"
#include "platform/fake/fake_platform.h"

namespace {

std::string Map_path(const char* name) {
    const char* folder = std::getenv("TOVI_MAPS");
    return std::string(folder ? folder : TOVI_SOURCE_DIR "/resources/maps") + "/" + name;
}

const Image* Map(const char* name) {
    static std::map<std::string, Image> loaded;
    auto it = loaded.find(name);
    if (it == loaded.end()) {
        Image img;
        std::string why;
        if (!Picture_read(Map_path(name), img, why)) return nullptr;
        it = loaded.emplace(name, std::move(img)).first;
    }
    return &it->second;
}

// Leaves something in every byte a fill clears, as a route wave or a load does
// (each calls Grid_allocate before it writes the tables).
void Dirty_grid() {
    Grid_allocate();
    std::memset(Wave_queue[0], 0x11, size_t(Wave_queue_bytes));
    std::memset(Wave_queue[1], 0x11, size_t(Wave_queue_bytes));
    std::memset(Rec_kind, 0x01, size_t(Rec_kind_bytes));
    std::memset(Cell_map, 0x06, size_t(Cell_map_bytes));
}

void Flood(benchmark::State& state, const char* name, int32_t x, int32_t y, bool after_route) {
    const Image* map = Map(name);
    if (!map) {
        state.SkipWithError("sample map not found");
        return;
    }
    Image painted;
    Flood_result r{};
    for (auto _ : state) {
        state.PauseTiming();
        painted = *map;
        if (after_route) Dirty_grid();
        state.ResumeTiming();
        r = Flood_fill(painted, x, y);
        benchmark::DoNotOptimize(r);
    }
    if (r.status != Flood_completed) state.SkipWithError("the flood did not complete");
    state.counters["records"] = r.records;
    state.counters["records/s"] = benchmark::Counter(double(r.records), benchmark::Counter::kIsIterationInvariantRate);
}

void Capture(benchmark::State& state, const char* name, int32_t x, int32_t y) {
    if (!Map(name)) {
        state.SkipWithError("sample map not found");
        return;
    }
    const std::filesystem::path out =
        std::filesystem::temp_directory_path() / ("tovi-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(out);
    Fake_scope scope;
    Exe_folder = out.string();
    int32_t result = 1;
    for (auto _ : state) {
        std::string why;
        Picture_read(Map_path(name), scope.fake.screen, why);
        result = Maze_map(x, y);
    }
    std::filesystem::remove_all(out);
    if (result != 0) state.SkipWithError("the capture failed");
    state.counters["records"] = Rec_count.load();
}

// The road mask of the flood from (x, y): white where the flood painted the
// picture, black elsewhere, 3 bytes a pixel, and the peers' figures on it.
void Flood_peers(benchmark::State& state, const char* name, int32_t x, int32_t y) {
    const Image* map = Map(name);
    if (!map) {
        state.SkipWithError("sample map not found");
        return;
    }
    Image painted = *map;
    const Flood_result r = Flood_fill(painted, x, y);
    if (r.status != Flood_completed) {
        state.SkipWithError("the flood did not complete");
        return;
    }
    std::vector<uint8_t> mask(painted.px.size() * 3, 0);
    int64_t flooded = 0;
    for (size_t i = 0; i < painted.px.size(); ++i) {
        if (painted.px[i] == map->px[i]) continue;
        std::memset(&mask[i * 3], 255, 3);
        ++flooded;
    }
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("tovi-flood-mask-" + std::to_string(getpid()) + ".rgb"))
                                 .string();
    const std::string result = file + ".txt";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(mask.data()), std::streamsize(mask.size()));
        if (!out) {
            state.SkipWithError("cannot write the mask");
            return;
        }
    }
    const Point start = Flood_start_cell(x, y);
    char args[120];
    std::snprintf(args, sizeof args, " %d %d %d %d", painted.w, painted.h, start.x, start.y);
    const std::string command =
        Bench_python() + " " + TOVI_SOURCE_DIR + "/bench/flood_compare.py " + file + args + " > " + result;
    std::map<std::string, double> figures;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("flood_compare.py failed (are python3-opencv and python3-scipy installed?)");
            break;
        }
        std::ifstream in(result);
        std::string word;
        double v;
        while (in >> word >> v) figures[word] = v;
        state.SetIterationTime(figures["inrange_floodfill_seconds"]);
    }
    std::filesystem::remove(file);
    std::filesystem::remove(result);
    state.counters["inrange_floodfill_ms"] = figures["inrange_floodfill_seconds"] * 1000;
    state.counters["floodfill_ms"] = figures["floodfill_seconds"] * 1000;
    state.counters["label_ms"] = figures["label_seconds"] * 1000;
    state.counters["area"] = figures["area"];
    state.counters["label_area"] = figures["label_area"];
    state.counters["flooded_pixels"] = double(flooded);
    state.counters["records"] = r.records;
}

void Touch_grid() {
    // The first use of the tables pays for their pages once per process.
    Grid_allocate();
    std::memset(Wave_queue[0], 0, size_t(Wave_queue_bytes));
    std::memset(Wave_queue[1], 0, size_t(Wave_queue_bytes));
    std::memset(Rec_kind, 0, size_t(Rec_kind_bytes));
    std::memset(Cell_map, 0, size_t(Cell_map_bytes));
}

const int Registered = [] {
    Touch_grid();
    benchmark::RegisterBenchmark("Flood/street_grid", Flood, "street-grid-1600x1200.png", 801, 601, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Flood/kyoto_33k", Flood, "kyoto-1600x1200.png", 819, 114, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Flood/kyoto_146k", Flood, "kyoto-1600x1200.png", 245, 595, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Flood/street_grid_after_route", Flood, "street-grid-1600x1200.png", 801, 601, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Flood/kyoto_33k_after_route", Flood, "kyoto-1600x1200.png", 819, 114, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Flood_peers/street_grid", Flood_peers, "street-grid-1600x1200.png", 801, 601)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1);
    benchmark::RegisterBenchmark("Capture/street_grid", Capture, "street-grid-1600x1200.png", 801, 601)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    return 0;
}();

}  // namespace
