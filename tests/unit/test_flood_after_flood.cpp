// A fill right after another fill, over the tables as that one left them,
// redoes only what the two touch: every byte of the four tables comes out as
// when a write announced between the two makes it clear all it clears.
#include <gtest/gtest.h>

#include <cstring>

#include "map/flood.h"
#include "map/grid.h"
#include "map/picture_file.h"
#include "platform/checksum.h"
#include "platform/fake/fake_platform.h"

namespace {

struct Tables_sum {
    uint64_t sum[4];
    bool operator==(const Tables_sum& o) const { return std::memcmp(sum, o.sum, sizeof sum) == 0; }
};

Tables_sum Sum_of_tables() {
    return {{Checksum(Wave_queue[0], size_t(Wave_queue_bytes)), Checksum(Wave_queue[1], size_t(Wave_queue_bytes)),
             Checksum(Rec_kind, size_t(Rec_kind_bytes)), Checksum(Cell_map, size_t(Cell_map_bytes))}};
}

// Tables full of other content, written as every writer but the flood does:
// after Grid_allocate.
void Stale_tables(uint8_t seed) {
    Grid_allocate();
    auto fill = [&](void* table, int64_t n) {
        uint8_t* const b = static_cast<uint8_t*>(table);
        for (size_t i = 0; i < size_t(n); ++i) b[i] = uint8_t(i * 7 + i / 1001 + seed);
    };
    fill(Wave_queue[0], Wave_queue_bytes);
    fill(Wave_queue[1], Wave_queue_bytes);
    fill(Rec_kind, Rec_kind_bytes);
    fill(Cell_map, Cell_map_bytes);
}

Flood_result Fill(const Image& map, Point release) {
    Image painted = map;
    return Flood_fill(painted, release.x, release.y);
}

TEST(Flood_after_flood, LeavesTheTablesAsAFillOverAnyTables) {
    Fake_scope scope;
    Image kyoto;
    std::string why;
    ASSERT_TRUE(Picture_read(TOVI_SOURCE_DIR "/resources/maps/kyoto-1600x1200.png", kyoto, why)) << why;
    // More records than the one before, fewer, a refusal before and after,
    // and the same fill twice.
    struct Case {
        Point first, second;
    };
    const Case cases[] = {{{819, 114}, {245, 595}}, {{245, 595}, {819, 114}}, {{1311, 410}, {819, 114}},
                          {{819, 114}, {1311, 410}}, {{245, 595}, {245, 595}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.first.x << ", " << c.first.y << ") then (" << c.second.x << ", "
                                        << c.second.y << ")");
        Stale_tables(3);
        Fill(kyoto, c.first);
        const Flood_result after = Fill(kyoto, c.second);
        const Tables_sum got = Sum_of_tables();

        // The same two fills with a write announced between them: the second
        // then clears everything it clears.
        Stale_tables(3);
        Fill(kyoto, c.first);
        Grid_allocate();
        const Flood_result swept = Fill(kyoto, c.second);
        EXPECT_EQ(after.status, swept.status);
        EXPECT_EQ(after.records, swept.records);
        EXPECT_EQ(after.obstacles, swept.obstacles);
        EXPECT_EQ(after.box.left, swept.box.left);
        EXPECT_EQ(after.box.top, swept.box.top);
        EXPECT_EQ(after.box.right, swept.box.right);
        EXPECT_EQ(after.box.bottom, swept.box.bottom);
        EXPECT_TRUE(Sum_of_tables() == got);
    }
}

}  // namespace
