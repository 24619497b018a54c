// The cell table across a wave: a wave built in the spare set (the program,
// which can cancel it) writes the same cell bytes as one built in place
// (tovi-cli), its visit bits and nothing else, and one that ends early
// leaves every cell byte as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "map/grid.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "platform/fake/fake_platform.h"
#include "platform/shell_flags.h"
#include "route/wave.h"

namespace {

constexpr uint32_t Land = Rgb(242, 239, 233);
constexpr uint32_t White = Rgb(255, 255, 255);

struct Wave_cells_test : ::testing::Test {
    Fake_scope scope;
    Base_record sets{};
    void SetUp() override {
        Stop_request = 0;
        Grid_allocate();
        sets.Evac_n = 1;
        sets.Evac_x[0] = 70;
        sets.Evac_y[0] = 60;
        {
            std::lock_guard lock(Markers_lock);
            Base_data = sets;
        }
        Image map(140, 120, Land);
        for (int32_t y = 8; y < 112; ++y)
            for (int32_t x = 8; x < 132; ++x) map.set(x, y, White);
        std::lock_guard lock(Shown_lock);
        Map_image = map;
        Shown_map = map;
        Markers_paint(Shown_map, sets);
    }
    void TearDown() override {
        Wave_in_place(false);
        Stop_request = 0;
        std::lock_guard lock(Shown_lock);
        Map_image = Image();
        Shown_map = Image();
    }
    // Cells no wave wrote: every byte but the visit bits, and the tail.
    static std::vector<uint8_t> Cells_before() {
        for (int64_t i = 0; i < Cell_map_bytes; ++i) Cell_map[i] = uint8_t(i * 13 + 5);
        for (int32_t i = 0; i < Grid_cells; ++i) Cell_visit(i) = 0;
        return std::vector<uint8_t>(Cell_map, Cell_map + Cell_map_bytes);
    }
    Wave_result Run() {
        Image shown;
        {
            std::lock_guard lock(Shown_lock);
            shown = Shown_map;
        }
        return Wave_run(shown, shown.w, shown.h, 1, sets.Evac_x[0], sets.Evac_y[0], 0, 0);
    }
};

TEST_F(Wave_cells_test, SpareSetAndInPlaceWriteTheSameCells) {
    std::vector<uint8_t> cells[2];
    for (int in_place = 0; in_place < 2; ++in_place) {
        SCOPED_TRACE(in_place ? "in place" : "spare set");
        Wave_in_place(in_place != 0);
        const std::vector<uint8_t> before = Cells_before();
        ASSERT_EQ(Run().status, Wave_completed);
        cells[in_place].assign(Cell_map, Cell_map + Cell_map_bytes);
        int64_t visited = 0;
        for (int64_t i = 0; i < Cell_map_bytes; ++i) {
            if (i < int64_t(Grid_cells) * 4 && i % 4 == 3) {
                visited += cells[in_place][size_t(i)] != 0;
                continue;
            }
            ASSERT_EQ(cells[in_place][size_t(i)], before[size_t(i)]) << "byte " << i;
        }
        EXPECT_GT(visited, 10000);
    }
    EXPECT_TRUE(cells[0] == cells[1]);
}

TEST_F(Wave_cells_test, AWaveEndedEarlyLeavesEveryCellByte) {
    Wave_in_place(false);
    ASSERT_EQ(Run().status, Wave_completed);  // the route before, in the grid
    const std::vector<uint8_t> before(Cell_map, Cell_map + Cell_map_bytes);
    Fake_platform local;
    Plat_install(&local);
    local.Input_at(0, {500, 500}, Fake_left);  // a left press ends the build
    EXPECT_EQ(Route_wave(1, sets.Evac_x[0], sets.Evac_y[0], 0, 0), 1);
    Plat_install(&scope.fake);
    EXPECT_EQ(std::memcmp(Cell_map, before.data(), before.size()), 0);
}

}  // namespace
