// What a running marking tool costs the processor while the user does
// nothing: a tool polls the mouse for as long as it runs, which may be all
// afternoon. Each run starts one tool on a platform whose pauses really sleep,
// leaves it alone for 2 s of real time and reports the process's processor
// time as a share of that time, and how many polls the tool made per second.
// "held" keeps the left button down over a road the whole time, so the tool
// sits in its wait for the release.
#include <benchmark/benchmark.h>

#include "bench/bench_common.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/tools.h"
#include "platform/fake/fake_platform.h"

namespace {

void Idle_tool(benchmark::State& state, void (*body)(), bool held) {
    Sleeping_fake fake;
    Plat_install(&fake);
    Base_data = {};
    Map_image = Image(200, 150);
    Shown_map = Map_image;
    fake.client_size = {200, 150};
    const Point road = fake.Client_to_screen({50, 50});
    fake.Input_at(0, road, held ? unsigned(Fake_left) : 0u);
    Measure_idle(state, fake, [body] { Tool_start(body); });
    Plat_install(nullptr);
    Base_data = {};
    Map_image = Image();
    Shown_map = Image();
}

}  // namespace

BENCHMARK_CAPTURE(Idle_tool, cong, Cong_tool, false)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Idle_tool, cong_held, Cong_tool, true)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Idle_tool, delete, Delete_tool, false)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Idle_tool, evac, Evac_tool, false)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
