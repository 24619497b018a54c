// Routes out of the grid tables: the pixel index against the plain scan it
// stands in for (on hand-made tables and on a real map), the walk back to the
// place, damaged parent links, the count over two waves, and an index that
// follows the route it was built for.
#include <gtest/gtest.h>

#include <random>

#include "map/grid.h"
#include "map/picture_file.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "platform/fake/fake_platform.h"
#include "route/route_trace.h"
#include "route/wave.h"

namespace {

constexpr uint32_t Land = Rgb(242, 239, 233);
constexpr uint32_t White = Rgb(255, 255, 255);

struct Trace_test : ::testing::Test {
    Fake_scope scope;
    void SetUp() override { Grid_allocate(); }
    // Node n of the given wave at (x, y), with its parent.
    static void Node(int32_t n, int wave, int32_t x, int32_t y, int32_t parent) {
        Rec_kind[n] = uint8_t(wave);
        Wave_queue[wave][n] = {uint16_t(x), uint16_t(y), parent, 1, -1};
    }
    static int32_t Find(int32_t x, int32_t y, int wave) {
        std::lock_guard lock(Route_lock);
        return Route_find(x, y, wave);
    }
};

TEST_F(Trace_test, IndexGivesTheNodeTheScanFindsFirst) {
    // Tables as a load may bring them: the same pixel twice in one wave, one
    // pixel in both waves, nodes off the grid, and nodes past the count.
    Node(0, 0, 20, 20, -1);
    Node(1, 1, 40, 20, -1);
    Node(2, 0, 21, 20, 0);
    Node(3, 0, 21, 20, 0);      // a second node at (21, 20): the first one counts
    Node(4, 1, 21, 20, 1);      // the same pixel in the other wave
    Node(5, 0, 1700, 20, 2);    // off the grid, to the right
    Node(6, 1, 30, 1300, 1);    // off the grid, below
    Node(7, 0, 1700, 20, 5);    // off the grid again, same pixel
    Node(8, 0, 65535, 65535, 7);
    Node(9, 0, 22, 20, 2);      // past the count
    const int32_t count = 9;
    Route_index_build(count);
    EXPECT_EQ(Route_index_count(), count);

    struct Case {
        int32_t x, y;
        int wave;
        int32_t node;
    } const cases[] = {
        {20, 20, 0, 0},  {20, 20, 1, -1},   {21, 20, 0, 2},     {21, 20, 1, 4},     {40, 20, 1, 1},
        {40, 20, 0, -1}, {1700, 20, 0, 5},  {1700, 20, 1, -1},  {30, 1300, 1, 6},   {30, 1300, 0, -1},
        {65535, 65535, 0, 8}, {22, 20, 0, -1}, {-1, 20, 0, -1}, {20, -1, 0, -1},    {65536 + 20, 20, 0, -1},
        {0, 0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ") wave " << c.wave);
        EXPECT_EQ(Find(c.x, c.y, c.wave), c.node);
        EXPECT_EQ(Route_find_linear(c.x, c.y, c.wave, count), c.node);
    }
    // A count beyond the tables is kept to them.
    Route_index_build(Grid_cells + 5);
    EXPECT_EQ(Route_index_count(), Grid_cells);
    Route_index_drop();
    EXPECT_EQ(Route_index_count(), -1);
    EXPECT_EQ(Find(20, 20, 0), -1);
}

TEST_F(Trace_test, IndexAgreesWithTheScanOnARealMap) {
    Image map;
    std::string why;
    ASSERT_TRUE(Picture_read(TOVI_SOURCE_DIR "/resources/maps/kyoto-1600x1200.png", map, why)) << why;
    // Two places on white street pixels.
    Point place[2];
    const Point near[2] = {{500, 400}, {1100, 800}};
    for (int i = 0; i < 2; ++i) {
        place[i] = near[i];
        for (int32_t r = 0; r < 200 && map.get(place[i].x, place[i].y) != White; ++r) place[i] = {near[i].x + r, near[i].y};
    }
    Base_record sets{};
    sets.Evac_n = 2;
    for (int i = 0; i < 2; ++i) sets.Evac_x[i] = place[i].x, sets.Evac_y[i] = place[i].y;
    Markers_paint(map, sets);
    Image surface = map;
    const Wave_result r = Wave_run(surface, map.w, map.h, 2, place[0].x, place[0].y, place[1].x, place[1].y);
    ASSERT_EQ(r.status, Wave_completed);
    ASSERT_GT(r.nodes, 50000);
    Route_index_build(r.nodes);

    // A spread of pixels, and pixels of random nodes of both waves.
    std::vector<Point> probes;
    for (int32_t y = 3; y < 1200; y += 41)
        for (int32_t x = 5; x < 1600; x += 43) probes.push_back({x, y});
    std::mt19937 rng(11);
    for (int i = 0; i < 300; ++i) {
        const int32_t n = int32_t(rng() % uint32_t(r.nodes));
        const Wave_rec& rec = Wave_queue[Rec_kind[n] & 1][n];
        probes.push_back({rec.x, rec.y});
    }
    int found = 0;
    for (Point p : probes) {
        for (int w = 0; w < 2; ++w) {
            const int32_t expected = Route_find_linear(p.x, p.y, w, r.nodes);
            ASSERT_EQ(Find(p.x, p.y, w), expected) << p.x << ", " << p.y << " wave " << w;
            found += expected >= 0;
        }
    }
    EXPECT_GT(found, 300);
}

TEST_F(Trace_test, WalkGoesBackToThePlace) {
    // A bent road: the route from its far end runs back pixel by pixel.
    Image map(80, 60, Land);
    for (int32_t x = 15; x <= 50; ++x) map.set(x, 20, White);
    for (int32_t y = 20; y <= 45; ++y) map.set(50, y, White);
    Base_record sets{};
    sets.Evac_n = 1;
    sets.Evac_x[0] = 15;
    sets.Evac_y[0] = 20;
    Markers_paint(map, sets);
    Image surface = map;
    ASSERT_EQ(Wave_run(surface, 80, 60, 1, 15, 20, 0, 0).status, Wave_completed);

    Route_path path;
    ASSERT_TRUE(Route_trace(50, 45, 0, Rec_count.load(), path));
    EXPECT_EQ(path.node[1], -1);
    const std::vector<Point>& px = path.pixels[0];
    ASSERT_EQ(int32_t(px.size()), path.count);
    EXPECT_EQ(px.front(), (Point{50, 45}));
    EXPECT_EQ(px.back(), (Point{15, 20}));
    for (size_t i = 1; i < px.size(); ++i)
        EXPECT_LE(std::max(std::abs(px[i].x - px[i - 1].x), std::abs(px[i].y - px[i - 1].y)), 1);
    // The corner is cut diagonally: 35 across and 25 down share one step.
    EXPECT_EQ(path.count, 35 + 25);
    EXPECT_EQ(path.count_first, path.count);

    // Off the road, and with two places asked but one wave only, nothing more.
    EXPECT_FALSE(Route_trace(30, 30, 1, Rec_count.load(), path));
    EXPECT_EQ(path.count, 0);
}

TEST_F(Trace_test, DamagedParentLinksEndTheWalk) {
    struct Case {
        const char* name;
        int32_t parent_of_3;
        int32_t expected;
    } const cases[] = {
        {"sound chain", 2, 4},      // 3 -> 2 -> 1 -> 0
        {"loop to itself", 3, 1},   // stops at once
        {"link forward", 7, 1},
        {"link below -1", -5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Node(0, 0, 100, 100, -1);
        Node(1, 0, 101, 100, 0);
        Node(2, 0, 102, 100, 1);
        Node(3, 0, 103, 100, c.parent_of_3);
        std::vector<Point> out;
        std::lock_guard lock(Route_lock);
        EXPECT_EQ(Route_walk(0, 3, out), c.expected);
        EXPECT_EQ(int32_t(out.size()), c.expected);
    }
    std::vector<Point> out;
    std::lock_guard lock(Route_lock);
    EXPECT_EQ(Route_walk(0, -1, out), 0);
    EXPECT_EQ(Route_walk(0, Grid_cells, out), 0);
}

TEST_F(Trace_test, TwoWavesCountOn) {
    // One pixel with a node in each wave (only tables from elsewhere have
    // that): the second route is counted on from the first.
    Node(0, 0, 100, 100, -1);
    Node(1, 1, 200, 100, -1);
    for (int32_t n = 2; n < 14; ++n) Node(n, 0, 100 + n, 100, n == 2 ? 0 : n - 1);
    Node(14, 1, 113, 100, 1);
    Route_path path;
    ASSERT_TRUE(Route_trace(113, 100, 1, 15, path));
    EXPECT_EQ(path.node[0], 13);
    EXPECT_EQ(path.node[1], 14);
    EXPECT_EQ(path.count_first, 13);
    EXPECT_EQ(path.count, 15);
    ASSERT_TRUE(Route_trace(113, 100, 0, 15, path));
    EXPECT_EQ(path.node[1], -1);
    EXPECT_EQ(path.count, 13);
}

TEST_F(Trace_test, IndexFollowsTheRouteItWasBuiltFor) {
    Image map(80, 40, Land);
    for (int32_t x = 5; x <= 70; ++x) map.set(x, 20, White);
    Base_record sets{};
    sets.Evac_n = 1;
    sets.Evac_x[0] = 15;
    sets.Evac_y[0] = 20;
    Markers_paint(map, sets);
    Image surface = map;
    ASSERT_EQ(Wave_run(surface, 80, 40, 1, 15, 20, 0, 0).status, Wave_completed);
    Route_index_build(Rec_count.load());
    EXPECT_EQ(Find(15, 20, 0), 0);

    // A new route from the other end: the index of the old one no longer holds.
    map = Image(80, 40, Land);
    for (int32_t x = 5; x <= 70; ++x) map.set(x, 20, White);
    sets.Evac_x[0] = 60;
    Markers_paint(map, sets);
    surface = map;
    ASSERT_EQ(Wave_run(surface, 80, 40, 1, 60, 20, 0, 0).status, Wave_completed);
    EXPECT_EQ(Route_index_count(), -1);
    EXPECT_EQ(Find(15, 20, 0), -1);
    Route_path path;
    ASSERT_TRUE(Route_trace(15, 20, 0, Rec_count.load(), path));  // builds the index again
    EXPECT_EQ(path.count, 60 - 15 + 1);
    EXPECT_EQ(Route_index_count(), Rec_count.load());
    EXPECT_EQ(Find(60, 20, 0), 0);
}

}  // namespace
