// tovi-cli route and walk, run as their own process next to this test binary:
// the files a route writes against the same build and save in this process,
// the routes walk finds against the tracing here, the early ends, and the
// refusals of broken folders and command lines.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "platform/fake/fake_platform.h"
#include "route/route_trace.h"
#include "route/walk_stats.h"
#include "route/wave.h"
#include "storage/data_files.h"
#include "temp_folder.h"
#include "storage/file_io.h"

namespace {

constexpr uint32_t Land = Rgb(242, 239, 233);
constexpr uint32_t White = Rgb(255, 255, 255);

struct Cli_run {
    int code;
    std::string out, err;
};

std::filesystem::path Cli_path() { return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tovi-cli"; }

std::string Slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Byte for byte, in blocks: the tables are tens of megabytes.
bool Same_file(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb) return false;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), std::streamsize(ba.size()));
        fb.read(bb.data(), std::streamsize(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (std::memcmp(ba.data(), bb.data(), size_t(fa.gcount())) != 0) return false;
        if (fa.gcount() == 0) return true;
    }
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

// A small town: streets two pixels wide every 12 pixels, on land.
Image Town() {
    Image img(160, 120, Land);
    for (int32_t y = 6; y < 116; y += 12)
        for (int32_t x = 4; x < 156; ++x) img.set(x, y, White), img.set(x, y + 1, White);
    for (int32_t x = 6; x < 156; x += 12)
        for (int32_t y = 4; y < 116; ++y) img.set(x, y, White), img.set(x + 1, y, White);
    return img;
}

Base_record Sets(int32_t places) {
    Base_record s{};
    s.Evac_n = places;
    s.Evac_x[0] = 30, s.Evac_y[0] = 18;
    s.Evac_x[1] = 126, s.Evac_y[1] = 90;
    s.Cong_n = 1, s.Cong_x[0] = 78, s.Cong_y[0] = 54;
    s.Nopass_n = 1, s.Nopass_x[0] = 102, s.Nopass_y[0] = 30;
    s.Map_rect = {100, 200, 260, 320};
    return s;
}

struct Cli_route_test : ::testing::Test {
    Temp_folder out;  // the command's own output
    Fake_scope scope;
    void SetUp() override {
        if (!std::filesystem::exists(Cli_path())) GTEST_SKIP() << "tovi-cli is not built";
    }
    void TearDown() override {
        Base_data = {};
        std::lock_guard lock(Shown_lock);
        Map_image = Image();
        Shown_map = Image();
    }
    Cli_run Run(const std::string& args) {
        const std::string command =
            Q(Cli_path().string()) + " " + args + " >" + Q(out.file("stdout")) + " 2>" + Q(out.file("stderr"));
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out.file("stdout")), Slurp(out.file("stderr"))};
    }
    // A piece of work as an earlier version's save leaves it: the map picture,
    // base.dat with the markers and a tail of zeros, and the tables as this
    // process holds them now (tables true) or as a fresh grid holds them.
    static void Write_work(const Temp_folder& dir, const Image& map, const Base_record& sets, bool tables) {
        ASSERT_TRUE(Bmp_write(map, dir.file("tst.bmp"), 0, 0, map.w, map.h));
        Base_data = sets;
        Map_image = map;
        Photo_image = Image();
        Grid_allocate();
        if (!tables) {
            std::memset(Wave_queue[0], 0, size_t(Wave_queue_bytes));
            std::memset(Wave_queue[1], 0, size_t(Wave_queue_bytes));
            std::memset(Rec_kind, 0, size_t(Rec_kind_bytes));
            std::memset(Cell_map, 0, size_t(Cell_map_bytes));
            Rec_count = 0;
        }
        ASSERT_EQ(Data_save_to(dir.str()), "");
        std::ofstream(dir.file("base.dat"), std::ios::binary).write(reinterpret_cast<const char*>(&sets), sizeof sets);
    }
};

TEST_F(Cli_route_test, RouteWritesWhatTheProgramSavesAndWalkFindsItsRoutes) {
    Temp_folder work, here;
    const Image map = Town();
    const Base_record sets = Sets(2);
    Write_work(work, map, sets, true);  // the tables as this process holds them now

    // The same work built and saved in this process.
    Base_data = sets;
    Map_image = map;
    Map_restore();
    ASSERT_EQ(Route_build(), 0);
    ASSERT_EQ(Data_save_to(here.str()), "");
    const Wave_result built = Wave_last;

    const Cli_run r = Run("route " + Q(work.str()));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "route completed\nnodes " + std::to_string(built.nodes) + "\nhighest cost " +
                         std::to_string(built.highest_cost) + "\n");
    EXPECT_EQ(r.err, "");
    for (const char* name : {"base.dat", "d1.dat", "d2.dat", "d3.dat", "d4.dat"})
        EXPECT_TRUE(Same_file(work.file(name), here.file(name))) << name << " differs from a save";

    struct Walk_case {
        const char* args;
        int32_t x, y;
        int scale;
    } const walks[] = {
        {"90 90", 90, 90, 1},                // in the second place's region, far from it: figures at 200 m
        {"90 90 --scale 100", 90, 90, 0},
        {"--scale 200 31 19", 31, 19, 1},    // next to the first place: 10 pixels or fewer, no figures
        {"3 3", 3, 3, 1},                    // land: no route
    };
    for (const Walk_case& w : walks) {
        SCOPED_TRACE(w.args);
        Route_path path;
        const bool found = Route_trace(w.x, w.y, 1, Rec_count.load(), path);
        std::string expected;
        for (int i = 0; i < 2; ++i)
            expected += std::string(i ? "second" : "first") + " wave: " +
                        (path.node[i] >= 0 ? "node " + std::to_string(path.node[i]) : std::string("none")) + "\n";
        expected += "pixels: " + std::to_string(path.count) + "\n";
        if (path.count > 10) {
            const Walk_figures f = Walk_stats_texts(path.count, w.scale);
            expected += "distance: " + f.distance + "\nsteps: " + f.steps + "\nminutes: " + f.minutes +
                        "\ncalories: " + f.calories + "\n";
        }
        const Cli_run k = Run("walk " + Q(work.str()) + " " + w.args);
        EXPECT_EQ(k.code, found ? 0 : 1) << k.err;
        EXPECT_EQ(k.out, expected);
    }
    // The cases cover each kind of answer.
    Route_path far, near, none;
    ASSERT_TRUE(Route_trace(90, 90, 1, Rec_count.load(), far));
    EXPECT_GE(far.node[1], 0);
    EXPECT_GT(far.count, 10);
    ASSERT_TRUE(Route_trace(31, 19, 1, Rec_count.load(), near));
    EXPECT_GE(near.node[0], 0);
    EXPECT_LE(near.count, 10);
    EXPECT_FALSE(Route_trace(3, 3, 1, Rec_count.load(), none));
}

TEST_F(Cli_route_test, OnePlaceWalkLooksInTheFirstWaveOnly) {
    Temp_folder work;
    Write_work(work, Town(), Sets(1), false);
    ASSERT_EQ(Run("route " + Q(work.str())).code, 0);
    const Cli_run k = Run("walk " + Q(work.str()) + " 126 90");
    EXPECT_EQ(k.code, 0) << k.err;
    EXPECT_EQ(k.out.find("second wave"), std::string::npos);
    EXPECT_EQ(k.out.rfind("first wave: node ", 0), 0u) << k.out;
}

TEST_F(Cli_route_test, EarlyEndsWriteNothing) {
    struct Case {
        const char* name;
        Base_record sets;
        std::string out, err;
    };
    Base_record covered = Sets(1);  // a congestion point painted over the only place
    covered.Cong_x[0] = 30, covered.Cong_y[0] = 18;
    const Case cases[] = {
        {"wrong set points", covered, "route wrong set points\nnodes ", "error: 設定ポイントが正しくないようです。\n"},
        {"no place", Sets(0), "route not built: no evacuation place\n", "error: 設定ポイントが正しくないようです。\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Temp_folder work;
        Write_work(work, Town(), c.sets, false);
        const std::string base = Slurp(work.file("base.dat"));
        const std::string d1 = Slurp(work.file("d1.dat"));
        const Cli_run r = Run("route " + Q(work.str()));
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(Slurp(work.file("base.dat")), base);
        EXPECT_TRUE(Slurp(work.file("d1.dat")) == d1);
    }
}

TEST_F(Cli_route_test, BrokenFoldersAndCommandLinesAreRefused) {
    Temp_folder work, no_tables, short_base;
    Write_work(work, Town(), Sets(1), false);
    Write_work(no_tables, Town(), Sets(1), false);
    std::filesystem::remove(no_tables.file("d1.dat"));
    ASSERT_EQ(Run("route " + Q(work.str())).code, 0);
    Write_work(short_base, Town(), Sets(1), false);
    std::filesystem::resize_file(short_base.file("base.dat"), 100);
    std::filesystem::resize_file(work.file("d2.dat"), 1000);
    const std::string missing = work.file("nothing-here");

    struct Case {
        std::string args;
        std::string err_start;
    } const cases[] = {
        {"route", "tovi-cli: route takes one folder"},
        {"route " + Q(missing), "tovi-cli: " + missing + ": not a folder"},
        {"route " + Q(short_base.str()), "tovi-cli: " + short_base.str() + ": base.dat: 100 bytes, expected 5712"},
        {"walk " + Q(work.str()) + " 1", "tovi-cli: walk takes DIR X Y"},
        {"walk " + Q(work.str()) + " 1 y", "tovi-cli: X and Y must be whole numbers"},
        {"walk " + Q(work.str()) + " 1 2 --scale 150", "tovi-cli: --scale is 100 or 200"},
        {"walk " + Q(work.str()) + " 1 2 --scale", "tovi-cli: --scale needs 100 or 200"},
        {"walk " + Q(no_tables.str()) + " 30 18", "tovi-cli: " + no_tables.str() + ": d1.dat: missing"},
        {"walk " + Q(work.str()) + " 30 18", "tovi-cli: " + work.str() + ": d2.dat: 1000 bytes, expected 30720000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Cli_run r = Run(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err.substr(0, c.err_start.size()), c.err_start) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
