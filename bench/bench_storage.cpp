// Saving and loading a full piece of work against a plain copy of its files.
//
//   Storage/save        Data_save(1): the five data files and both pictures,
//                       each written under a temporary name and put in place
//   Storage/load        Data_load_from: every file read and checked, then put
//                       in place of the work, the route index rebuilt
//   Storage/plain_copy  the same seven files copied as cp copies them (1 MiB
//                       blocks, no checks, no renames) within the same folder,
//                       each file flushed to the disk (fsync) before the next
//   Storage/ratio       the three in turn, each iteration; counters save_ratio
//                       and load_ratio are save and load over the plain copy
//
// The work is the capture of the synthetic street grid released at (801, 601)
// (about 1.64 million records; 88,320,000 bytes of tables, two pictures of
// 1570 x 1170). Files live under TOVI_BENCH_DIR (default: the temporary
// folder), so all three run on the same disk; the map is read from TOVI_MAPS.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <fcntl.h>
#include <unistd.h>

#include "app/shell.h"
#include "map/flood.h"
#include "map/grid.h"
#include "map/picture_file.h"
#include "map/pictures.h"
#include "route/route_trace.h"
#include "platform/fake/fake_platform.h"
#include "storage/data_folder.h"

namespace fs = std::filesystem;

namespace {

const char* const Work_files[] = {"base.dat", "d1.dat", "d2.dat", "d3.dat", "d4.dat", "tst.bmp", "tst1.bmp"};

fs::path Bench_root() {
    const char* dir = std::getenv("TOVI_BENCH_DIR");
    return fs::path(dir ? dir : fs::temp_directory_path().string()) / ("tovi-bench-storage-" + std::to_string(getpid()));
}

std::string Map_path() {
    const char* folder = std::getenv("TOVI_MAPS");
    return std::string(folder ? folder : TOVI_SOURCE_DIR "/resources/maps") + "/street-grid-1600x1200.png";
}

struct Bench_folders {
    fs::path root, exe, saved, copy;
};

// Captures the street grid as the program would and saves it once, so that
// each run starts from the same full piece of work in memory and on disk.
bool Prepare(Fake_platform& fake, Bench_folders& f, std::string& why) {
    f.root = Bench_root();
    f.exe = f.root / "exe";
    f.saved = f.root / "saved";
    f.copy = f.root / "copy";
    for (const fs::path& p : {f.exe, f.saved, f.copy}) fs::create_directories(p);
    if (!Picture_read(Map_path(), fake.screen, why)) return false;
    Exe_folder = f.exe.string();
    Aerial_mode = 0;
    if (Maze_map(801, 601) != 0) {
        why = "the capture failed";
        return false;
    }
    {
        // An aerial picture too: the largest piece of work saves both.
        std::lock_guard lock(Shown_lock);
        Photo_image = Map_image;
    }
    Data_folder = f.saved.string();
    if (Data_save(1) != 0) {
        why = "the first save failed";
        return false;
    }
    return true;
}

void Plain_copy(const fs::path& from, const fs::path& to) {
    static std::vector<char> block(size_t(1) << 20);
    for (const char* name : Work_files) {
        std::ifstream in(from / name, std::ios::binary);
        const int fd = ::open((to / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        while (in) {
            in.read(block.data(), std::streamsize(block.size()));
            for (std::streamsize done = 0, n; done < in.gcount(); done += n)
                if ((n = ::write(fd, block.data() + done, size_t(in.gcount() - done))) <= 0) break;
        }
        ::fsync(fd);
        ::close(fd);
    }
}

int64_t Folder_bytes(const fs::path& p) {
    int64_t n = 0;
    for (const char* name : Work_files) n += int64_t(fs::file_size(p / name));
    return n;
}

enum Storage_op { Op_save, Op_load, Op_copy };

void Storage(benchmark::State& state, Storage_op op) {
    Fake_scope scope;
    Bench_folders f;
    std::string why;
    if (!Prepare(scope.fake, f, why)) {
        fs::remove_all(f.root);
        state.SkipWithError(why.c_str());
        return;
    }
    int failed = 0;
    for (auto _ : state) {
        switch (op) {
        case Op_save: failed |= Data_save(1); break;
        case Op_load: failed |= Data_load_from(f.saved.string()); break;
        case Op_copy: Plain_copy(f.saved, f.copy); break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * Folder_bytes(f.saved));
    state.counters["records"] = Rec_count.load();
    fs::remove_all(f.root);
    if (failed) state.SkipWithError("a save or load failed");
}

void Ratio(benchmark::State& state) {
    Fake_scope scope;
    Bench_folders f;
    std::string why;
    if (!Prepare(scope.fake, f, why)) {
        fs::remove_all(f.root);
        state.SkipWithError(why.c_str());
        return;
    }
    using Clock = std::chrono::steady_clock;
    double copy_s = 0, save_s = 0, load_s = 0;
    int failed = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        Plain_copy(f.saved, f.copy);
        const auto t1 = Clock::now();
        failed |= Data_save(1);
        const auto t2 = Clock::now();
        failed |= Data_load_from(f.saved.string());
        const auto t3 = Clock::now();
        copy_s += std::chrono::duration<double>(t1 - t0).count();
        save_s += std::chrono::duration<double>(t2 - t1).count();
        load_s += std::chrono::duration<double>(t3 - t2).count();
    }
    const double n = double(state.iterations());
    state.counters["copy_ms"] = copy_s / n * 1000;
    state.counters["save_ms"] = save_s / n * 1000;
    state.counters["load_ms"] = load_s / n * 1000;
    state.counters["save_ratio"] = save_s / copy_s;
    state.counters["load_ratio"] = load_s / copy_s;
    state.counters["MB"] = double(Folder_bytes(f.saved)) / 1e6;
    state.counters["indexed"] = Route_index_count();  // the load did all its work
    fs::remove_all(f.root);
    if (failed) state.SkipWithError("a save or load failed");
}

const int Registered = [] {
    benchmark::RegisterBenchmark("Storage/save", Storage, Op_save)->Unit(benchmark::kMillisecond)->Iterations(10);
    benchmark::RegisterBenchmark("Storage/load", Storage, Op_load)->Unit(benchmark::kMillisecond)->Iterations(10);
    benchmark::RegisterBenchmark("Storage/plain_copy", Storage, Op_copy)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(10);
    benchmark::RegisterBenchmark("Storage/ratio", Ratio)->Unit(benchmark::kMillisecond)->Iterations(10);
    return 0;
}();

}  // namespace
