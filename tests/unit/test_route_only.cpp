// What tovi-cli render and compare hold of a piece of work: a load of the
// route alone (the cell table checked and summed but not kept, the aerial
// picture checked but not kept), and the walks taken out of the grid tables
// in their own cost fields before the tables are given up, with the counts
// of the route display's own tracing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include "app/shell.h"
#include "map/grid.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "platform/fake/fake_platform.h"
#include "route/route_trace.h"
#include "route/travel_time.h"
#include "storage/data_files.h"
#include "storage/data_folder.h"
#include "temp_folder.h"

namespace {

size_t Cell(int32_t x, int32_t y) { return size_t(x) + size_t(y) * Grid_w_fixed; }

struct Node {
    int wave;
    int32_t x, y, parent;
};

// Tables as a load may bring them: links into the other table's slots, to
// higher numbers, pixels twice in a wave and in both waves, one off the grid.
const std::vector<Node> Unsound = {
    {0, 20, 20, -1}, {1, 30, 20, -1}, {0, 21, 20, 0},   {1, 29, 20, 1}, {0, 22, 20, 2},  {1, 22, 20, 3},
    {0, 21, 20, 4},  {0, 23, 21, 9},  {0, 24, 21, 5},   {1, 1700, 20, 3}, {0, 25, 21, 8}, {0, 26, 21, 10},
};

// Tables as every wave leaves them: every link -1 or a lower node of its own
// wave, drawn at random within a small window, pixels shared as above.
std::vector<Node> Sound(unsigned seed, int waves) {
    std::mt19937 random(seed);
    std::vector<Node> nodes;
    std::vector<int32_t> of_wave[2];
    for (int32_t n = 0; n < 3000; ++n) {
        const int w = int(random() % unsigned(waves));
        const int32_t x = 10 + int32_t(random() % 40), y = 10 + int32_t(random() % 30);
        int32_t parent = -1;
        if (!of_wave[w].empty() && random() % 50 != 0) parent = of_wave[w][random() % of_wave[w].size()];
        // Now and then a link that ends the walk: to a higher number.
        if (random() % 97 == 0) parent = n + 5;
        nodes.push_back({w, random() % 211 == 0 ? 1650 : x, y, parent});
        of_wave[w].push_back(n);
    }
    return nodes;
}

struct Route_only_test : ::testing::Test {
    Fake_scope scope;
    Temp_folder dir{true};
    void SetUp() override {
        Shell_start();
        Grid_allocate();
        Rec_count = 0;
        Route_markers_sum = 0;
        std::lock_guard lock(Markers_lock);
        Base_data = Base_record{};
        Base_data.Map_rect = {0, 0, 5, 3};
    }
    void TearDown() override {
        Route_index_drop();
        std::lock_guard lock(Markers_lock);
        Base_data = Base_record{};
    }
    static void Put(const std::vector<Node>& nodes, bool cross_slot) {
        Grid_allocate();
        std::memset(Wave_queue[0], 0, size_t(Wave_queue_bytes));
        std::memset(Wave_queue[1], 0, size_t(Wave_queue_bytes));
        std::memset(Rec_kind, 0, size_t(Rec_kind_bytes));
        for (size_t n = 0; n < nodes.size(); ++n) {
            const Node& k = nodes[n];
            Rec_kind[n] = uint8_t(k.wave);
            Wave_queue[k.wave][n] = {uint16_t(k.x), uint16_t(k.y), k.parent, 7, -1};
        }
        // A slot of the first table under a node of the second, walked as the
        // display walks it.
        if (cross_slot) Wave_queue[0][5] = {0, 0, 2, 7, -1};
        Route_index_drop();
    }
};

TEST_F(Route_only_test, WalksTakenInTheCostFieldsAreTheDisplaysAndTheTablesAreGivenUp) {
    struct Case {
        const char* what;
        std::vector<Node> nodes;
        int32_t count;
        bool cross_slot;
    };
    const Case cases[] = {
        {"links no wave makes", Unsound, 11, true},
        {"a wave's links, one place", Sound(1, 1), 3000, false},
        {"a wave's links, two places", Sound(2, 2), 3000, false},
        {"a wave's links, counted short", Sound(3, 2), 1777, false},
    };
    for (const Case& k : cases) {
        for (int two = 0; two < 2; ++two) {
            SCOPED_TRACE(testing::Message() << k.what << (two ? ", two places" : ", one place"));
            Put(k.nodes, k.cross_slot);
            std::vector<int32_t> held, spent;
            Travel_counts(k.count, two, held);
            int32_t reached = 0;
            for (int32_t y = 0; y < 45; ++y)
                for (int32_t x = 0; x < 60; ++x) {
                    Route_path path;
                    Route_trace(x, y, two, k.count, path);
                    ASSERT_EQ(held[Cell(x, y)], path.count) << x << ", " << y;
                    reached += path.count > 0;
                }
            EXPECT_GE(reached, 6);
            // Nothing outside the window: the counts hold no taken marks.
            int64_t sum_held = 0;
            for (int32_t v : held) sum_held += v;
            int64_t sum_window = 0;
            for (int32_t y = 0; y < 45; ++y)
                for (int32_t x = 0; x < 60; ++x) sum_window += held[Cell(x, y)];
            EXPECT_EQ(sum_held, sum_window);

            Rec_count = k.count;
            Route_markers_sum = 99;
            const uint32_t writes = Grid_writes.load();
            Travel_counts_releasing(k.count, two, spent);
            EXPECT_EQ(spent, held);
            EXPECT_EQ(Rec_count.load(), 0);
            EXPECT_EQ(Route_markers_sum.load(), 0u);
            EXPECT_GT(Grid_writes.load(), writes);  // a flood after it redoes the tables whole
#if defined(__linux__)
            // The pages were given back: they read as freshly allocated ones.
            EXPECT_TRUE(std::all_of(Rec_kind, Rec_kind + Rec_kind_bytes, [](uint8_t b) { return b == 0; }));
            EXPECT_EQ(Wave_queue[0][0].cost, 0);
#endif
        }
    }
}

// A saved piece of work whose cell table and aerial picture are not zero.
struct Route_only_load_test : Route_only_test {
    std::vector<uint8_t> cells_saved;
    void Save() {
        Grid_allocate();
        for (int64_t i = 0; i < Cell_map_bytes; ++i) Cell_map[i] = uint8_t(i * 7 + 1);
        Rec_kind[0] = 0;
        Wave_queue[0][0] = {1, 1, -1, 0, -1};
        Rec_count = 1;
        {
            std::lock_guard lock(Markers_lock);
            Base_data.Road_rec_total = 1;
        }
        {
            std::lock_guard lock(Shown_lock);
            Map_image = Image(5, 3, Rgb(255, 255, 255));
            Photo_image = Image(5, 3, Rgb(10, 90, 20));
        }
        ASSERT_EQ(Data_save_to(dir.str()), "");
        cells_saved.assign(Cell_map, Cell_map + Cell_map_bytes);
        // What the grid holds before the load: not the folder's cell table.
        std::memset(Cell_map, 0x5A, size_t(Cell_map_bytes));
        std::memset(Wave_queue[0], 0, size_t(Wave_queue_bytes));
        {
            std::lock_guard lock(Shown_lock);
            Photo_image = Image();
        }
    }
    void Change_d4(void (*change)(std::vector<uint8_t>&)) {
        std::vector<uint8_t> bytes = cells_saved;
        change(bytes);
        std::ofstream(dir.file("d4.dat"), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
};

TEST_F(Route_only_load_test, KeepsTheRouteAloneAfterEveryCheck) {
    Save();
    Folder_content c;
    c.route_only = true;
    ASSERT_TRUE(Folder_load(dir.str(), false, c).empty());
    EXPECT_TRUE(c.complete);
    EXPECT_EQ(Wave_queue[0][0].x, 1);  // the route tables are the folder's
    EXPECT_EQ(Rec_count.load(), 1);
    EXPECT_TRUE(std::all_of(Cell_map, Cell_map + Cell_map_bytes, [](uint8_t b) { return b == 0x5A; }))
        << "the cell table is left as it was";
    EXPECT_TRUE(c.photo.empty());
    {
        std::lock_guard lock(Shown_lock);
        EXPECT_TRUE(Photo_image.empty());
        EXPECT_EQ(Map_image.w, 5);
    }
    // A whole load of the same folder takes both.
    Folder_content whole;
    ASSERT_TRUE(Folder_load(dir.str(), false, whole).empty());
    EXPECT_EQ(std::memcmp(Cell_map, cells_saved.data(), cells_saved.size()), 0);
    std::lock_guard lock(Shown_lock);
    EXPECT_EQ(Photo_image.w, 5);
}

TEST_F(Route_only_load_test, RefusesACellTableTheWholeLoadRefuses) {
    struct Case {
        const char* what;
        void (*change)(std::vector<uint8_t>&);
        bool checksum;  // refused by its checksum alone: loads when checksums are ignored
    };
    const Case cases[] = {
        {"a byte changed in the middle", [](std::vector<uint8_t>& b) { b[b.size() / 2 + 3] ^= 1; }, true},
        {"the last byte changed", [](std::vector<uint8_t>& b) { b.back() ^= 0x80; }, true},
        {"a byte short", [](std::vector<uint8_t>& b) { b.pop_back(); }, false},
        {"a byte too many", [](std::vector<uint8_t>& b) { b.push_back(0); }, false},
    };
    Save();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Change_d4(k.change);
        for (bool route_only : {false, true}) {
            SCOPED_TRACE(route_only ? "route only" : "whole load");
            Folder_content c;
            c.route_only = route_only;
            const Folder_problems problems = Folder_load(dir.str(), false, c);
            ASSERT_EQ(problems.size(), 1u);
            EXPECT_NE(problems[0].detail.find("d4.dat"), std::string::npos) << problems[0].detail;
            EXPECT_EQ(problems[0].checksum, k.checksum);
            Folder_content ignoring;
            ignoring.route_only = route_only;
            EXPECT_EQ(Folder_load(dir.str(), true, ignoring).empty(), k.checksum);
        }
    }
}

}  // namespace
