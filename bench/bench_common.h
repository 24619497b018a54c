// What several benches share: the worst case of the route benches, and a
// platform whose pauses really sleep, for measuring the processor time of a
// polling tool at rest.
//
// The worst case is the work captured from the street-grid map released at
// (801, 601): white streets everywhere, with two evacuation places at client
// (400, 300) and (1200, 900), a congestion point at (800, 600) and a
// no-passage point at (600, 800); its route has about 1.59 million nodes.
#pragma once
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "map/flood.h"
#include "map/picture_file.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/fake/fake_platform.h"

// The interpreter for the peers' scripts (bench/*_compare.py): TOVI_PYTHON,
// else Debian's own, which carries python3-skimage, python3-scipy and
// python3-opencv where a python3 earlier in PATH (a virtual environment,
// pyenv) may not.
inline std::string Bench_python() {
    if (const char* p = std::getenv("TOVI_PYTHON")) return p;
    if (std::filesystem::exists("/usr/bin/python3")) return "/usr/bin/python3";
    return "python3";
}

inline constexpr Point Worst_place[2] = {{400, 300}, {1200, 900}};

struct Worst_work {
    Image map;        // the map picture, as tst.bmp holds it
    Base_record sets{};
    Image shown;      // the map with its markers, as Map_restore leaves it
};

// Captures the street grid as the program would and marks it. False with
// the reason when the sample map cannot be read or the flood fails.
inline bool Worst_work_make(Worst_work& w, std::string& why) {
    Image screen;
    const std::string path = std::string(TOVI_SOURCE_DIR) + "/resources/maps/street-grid-1600x1200.png";
    if (!Picture_read(path, screen, why)) {
        why = path + ": " + why;
        return false;
    }
    Image painted = screen;
    const Flood_result flood = Flood_fill(painted, 801, 601);
    if (flood.status != Flood_completed) {
        why = "the capture's flood did not complete";
        return false;
    }
    // The map picture is the flood's box cut from the unpainted screen.
    const Rect32 box = flood.box;
    w.map = Image(box.right - box.left, box.bottom - box.top);
    for (int32_t y = 0; y < w.map.h; ++y)
        for (int32_t x = 0; x < w.map.w; ++x) w.map.set(x, y, screen.get(box.left + x, box.top + y));

    w.sets = Base_record{};
    w.sets.Evac_n = 2;
    for (int i = 0; i < 2; ++i) {
        w.sets.Evac_x[i] = Worst_place[i].x;
        w.sets.Evac_y[i] = Worst_place[i].y;
    }
    w.sets.Cong_n = 1, w.sets.Cong_x[0] = 800, w.sets.Cong_y[0] = 600;
    w.sets.Nopass_n = 1, w.sets.Nopass_x[0] = 600, w.sets.Nopass_y[0] = 800;
    w.shown = w.map;
    Markers_paint(w.shown, w.sets);
    return true;
}

struct Sleeping_fake : Fake_platform {
    std::atomic<int64_t> pauses{0};
    void Sleep_ms(int ms) override {
        ++pauses;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        Fake_platform::Sleep_ms(ms);
    }
    // The tools wait for input this way between looks: as long in real time.
    void Input_wait(int ms) override {
        ++pauses;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        Fake_platform::Input_wait(ms);
    }
};

// Starts a tool on the slot, lets it rest for 2 s of real time and reports
// the process's processor time as a share of that time, and the polls per second.
template <class Start> void Measure_idle(benchmark::State& state, Sleeping_fake& fake, Start start) {
    for (auto _ : state) {
        const std::clock_t cpu0 = std::clock();
        const auto t0 = std::chrono::steady_clock::now();
        start();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        Tool_stop();
        const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
        state.counters["cpu_percent"] = 100.0 * cpu / real;
        state.counters["polls_per_s"] = double(fake.pauses.load()) / real;
    }
}
