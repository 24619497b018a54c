// The route wave: exact agreement with the pixel-by-pixel procedure on small
// fixtures and a real map, ties between two waves, congestion and no-passage
// markers, the margins, every early end with its words and what it leaves in
// place, the caption, and the control panel's button around it.
#include <gtest/gtest.h>

#include <cstring>

#include "app/panel.h"
#include "app/shell.h"
#include "map/flood.h"
#include "map/grid.h"
#include "map/picture_file.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "platform/fake/fake_platform.h"
#include "route/route_trace.h"
#include "route/wave.h"

namespace {

constexpr uint32_t Land = Rgb(242, 239, 233);  // never road
constexpr uint32_t White = Rgb(255, 255, 255);
constexpr uint32_t Orange = Rgb(255, 153, 0);  // road, and the evacuation proof among the first nodes
constexpr int32_t N = Grid_cells;

void Fill(Image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t c) {
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x) img.set(x, y, c);
}

// ---- The procedure as written, one Pixel_check per neighbour, in place ----

struct Reference {
    Wave_status status = Wave_completed;
    int32_t count = 0;
    int32_t evac_seen = 0;
    std::vector<Wave_rec> q[2];
    std::vector<uint8_t> kind, visit;
    Image painted;
};

// Fills r, whose tables are reused from call to call: fresh ones would cost
// more in page faults than the procedure itself.
void Reference_wave(Reference& r, Image s, int32_t pw, int32_t ph, int32_t places, int32_t x1, int32_t y1,
                    int32_t x2, int32_t y2) {
    static constexpr int32_t Dx[8] = {1, -1, 0, 0, 1, -1, 1, -1};
    static constexpr int32_t Dy[8] = {0, 0, 1, -1, 1, 1, -1, -1};
    const int32_t saved_count = Rec_count.load();
    r.status = Wave_completed;
    r.q[0].assign(N, Wave_rec{0, 0, 0, 0, -1});
    r.q[1].assign(N, Wave_rec{0, 0, 0, 0, -1});
    r.kind.assign(N, 0);
    r.visit.assign(N, 0);
    static std::vector<int32_t> head, tail;
    head.assign(Bucket_count, -1);
    tail.assign(Bucket_count, -1);

    Evac_seen = 0;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    Pixel_check(s, x1, y1);
    int32_t count = 0;
    r.q[0][0] = {uint16_t(x1), uint16_t(y1), -1, 1, -1};
    head[1] = tail[1] = 0;
    count = 1;
    int32_t wave_end = 2;
    if (places == 2) {
        r.kind[1] = 1;
        r.q[1][1] = {uint16_t(x2), uint16_t(y2), -1, 1, -1};
        r.q[0][0].next = 1;
        tail[1] = 1;
        count = 2;
    }
    auto out_of_area = [&](int32_t x, int32_t y) {
        return x > pw - 10 || y > ph - 10 || x > 1600 - 10 || x < 10 || y > 1200 - 10 || y < 10;
    };
    for (int32_t i = 1; i < wave_end && r.status == Wave_completed; ++i) {
        if (i > 999900) {
            r.status = Wave_cost_too_high;
            break;
        }
        for (int32_t node = head[i]; node != -1; node = r.q[r.kind[node] & 1][node].next) {
            if (Evac_seen == 0 && count > 51) {
                r.status = Wave_no_evac;
                break;
            }
            const int w = r.kind[node] & 1;
            const int32_t x = r.q[w][node].x, y = r.q[w][node].y;
            if (out_of_area(x, y)) continue;
            const uint32_t colour = w ? Colour_second_wave : Colour_first_wave;
            const uint8_t bit = w ? 4 : 2;
            s.set(x, y, colour);
            for (int k = 0; k < 8; ++k) {
                const int32_t nx = x + Dx[k], ny = y + Dy[k];
                uint8_t& visit = r.visit[size_t(nx + ny * 1600)];
                Rec_count.store(count);  // the classifier's orange rule reads it
                if (Pixel_check(s, nx, ny) == 1) {
                    if (visit & bit) continue;
                    visit |= bit;
                    const int32_t n = count;
                    r.kind[n] = uint8_t(w);
                    const int32_t cost = i + Pixel_weight;
                    r.q[w][n] = {uint16_t(nx), uint16_t(ny), node, cost, -1};
                    if (head[cost] == -1) head[cost] = n;
                    else r.q[r.kind[tail[cost]] & 1][tail[cost]].next = n;
                    tail[cost] = n;
                    if (cost >= wave_end) wave_end = cost + 1;
                    ++count;
                    s.set(nx, ny, colour);
                } else {
                    visit |= bit;
                }
            }
        }
    }
    r.count = count;
    r.evac_seen = Evac_seen;
    r.painted = std::move(s);
    Rec_count.store(saved_count);
}

// The grid tables in place agree with the reference, record for record.
void Expect_tables_match(const Reference& ref) {
    ASSERT_EQ(Rec_count.load(), ref.count);
    int mismatches = 0;
    for (int32_t n = 0; n < ref.count && mismatches < 5; ++n) {
        const int w = ref.kind[n] & 1;
        const Wave_rec& a = Wave_queue[w][n];
        const Wave_rec& b = ref.q[w][n];
        if ((Rec_kind[n] & 1) != w || a.x != b.x || a.y != b.y || a.parent != b.parent || a.cost != b.cost ||
            a.next != b.next) {
            ADD_FAILURE() << "node " << n << ": wave " << (Rec_kind[n] & 1) << " (" << a.x << ", " << a.y << ") parent "
                          << a.parent << " cost " << a.cost << " next " << a.next << "; expected wave " << w << " ("
                          << b.x << ", " << b.y << ") parent " << b.parent << " cost " << b.cost << " next " << b.next;
            ++mismatches;
        }
    }
    for (int32_t i = 0; i < N && mismatches < 5; ++i) {
        if (Cell_visit(i) != ref.visit[size_t(i)]) {
            ADD_FAILURE() << "visit bits of cell (" << i % 1600 << ", " << i / 1600 << "): " << int(Cell_visit(i))
                          << ", expected " << int(ref.visit[size_t(i)]);
            ++mismatches;
        }
    }
}

struct Run_case {
    const char* name;
    Image map;
    int32_t places;
    Point p1, p2;
};

// Runs the wave and the reference on the same picture and compares the
// outcome, the tables, the painting and the evacuation proof.
void Expect_same_as_reference(const Run_case& c, Wave_status expected) {
    SCOPED_TRACE(c.name);
    static Reference ref;
    Reference_wave(ref, c.map, c.map.w, c.map.h, c.places, c.p1.x, c.p1.y, c.p2.x, c.p2.y);
    Image surface = c.map;
    const Wave_result r = Wave_run(surface, c.map.w, c.map.h, c.places, c.p1.x, c.p1.y, c.p2.x, c.p2.y);
    EXPECT_EQ(r.status, expected);
    EXPECT_EQ(ref.status, expected);
    EXPECT_EQ(r.nodes, ref.count);
    EXPECT_EQ(Evac_seen, ref.evac_seen);
    if (r.status == Wave_completed) {
        Expect_tables_match(ref);
        EXPECT_TRUE(surface.px == ref.painted.px) << "painting differs";
    }
}

// A small town: streets two pixels wide every 12 pixels, on land.
Image Town(int32_t w, int32_t h) {
    Image img(w, h, Land);
    for (int32_t y = 6; y < h - 4; y += 12) Fill(img, 4, y, w - 4, y + 2, White);
    for (int32_t x = 6; x < w - 4; x += 12) Fill(img, x, 4, x + 2, h - 4, White);
    return img;
}

Image With_markers(Image img, const Base_record& sets) {
    Markers_paint(img, sets);
    return img;
}

Base_record Sets(std::initializer_list<Point> evac, std::initializer_list<Point> cong = {},
                 std::initializer_list<Point> nopass = {}) {
    Base_record s{};
    for (Point p : evac) s.Evac_x[s.Evac_n] = p.x, s.Evac_y[s.Evac_n++] = p.y;
    for (Point p : cong) s.Cong_x[s.Cong_n] = p.x, s.Cong_y[s.Cong_n++] = p.y;
    for (Point p : nopass) s.Nopass_x[s.Nopass_n] = p.x, s.Nopass_y[s.Nopass_n++] = p.y;
    return s;
}

// A white pixel with white all round, near (x, y), on a real map.
Point Open_white_near(const Image& img, int32_t x, int32_t y) {
    for (int32_t r = 0; r < 200; ++r)
        for (int32_t dy = -r; dy <= r; ++dy)
            for (int32_t dx = -r; dx <= r; ++dx) {
                bool all = true;
                for (int32_t j = -1; j <= 1; ++j)
                    for (int32_t i = -1; i <= 1; ++i) all = all && img.get(x + dx + i, y + dy + j) == White;
                if (all) return {x + dx, y + dy};
            }
    return {x, y};
}

struct Wave_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    void SetUp() override {
        Stop_request = 0;
        Base_data = {};
        Route_busy = 0;
    }
    void TearDown() override {
        Stop_request = 0;
        Base_data = {};
        std::lock_guard lock(Shown_lock);
        Map_image = Image();
        Shown_map = Image();
    }
    // The work as the program holds it after a capture and some marking.
    void Work(const Image& map, const Base_record& sets) {
        {
            std::lock_guard lock(Markers_lock);
            Base_data = sets;
        }
        std::lock_guard lock(Shown_lock);
        Map_image = map;
        Shown_map = With_markers(map, sets);
    }
    Image Shown_with_markers() const { return With_markers(Map_image, Base_data); }
    // The node of a wave at a pixel, as the display finds it.
    static int32_t Node_at(int32_t x, int32_t y, int wave) {
        std::lock_guard lock(Route_lock);
        return Route_find(x, y, wave);
    }
    static const Wave_rec& Rec(int32_t node) { return Wave_queue[Rec_kind[node] & 1][node]; }
};

// ---- Agreement with the procedure ----

TEST_F(Wave_test, AgreesWithThePixelByPixelProcedure) {
    const Image town = Town(160, 120);
    Image orange_start = town;
    orange_start.set(31, 19, Orange);  // beside the start, among the first nodes
    Image orange_late = town;
    orange_late.set(100, 90, Orange);  // met only when far more than 50 nodes exist
    const Run_case completed[] = {
        {"one place", With_markers(town, Sets({{30, 18}})), 1, {30, 18}, {0, 0}},
        {"two places, markers of every kind",
         With_markers(town, Sets({{30, 18}, {126, 90}}, {{78, 54}, {30, 66}}, {{102, 30}, {54, 102}})), 2, {30, 18},
         {126, 90}},
        {"second place slot ignored with one place", With_markers(town, Sets({{30, 18}})), 1, {30, 18}, {126, 90}},
        {"evacuation proved by an orange pixel", orange_start, 1, {30, 18}, {0, 0}},
        {"places side by side", With_markers(town, Sets({{30, 18}, {31, 18}})), 2, {30, 18}, {31, 18}},
        {"negative first place raised to 0", town, 1, {-5, -7}, {0, 0}},
        {"start in the margin", With_markers(town, Sets({{6, 6}})), 1, {6, 6}, {0, 0}},
    };
    for (const Run_case& c : completed) Expect_same_as_reference(c, Wave_completed);
    const Run_case failing[] = {
        {"no evacuation colour", town, 1, {30, 18}, {0, 0}},
        {"orange met too late", orange_late, 1, {30, 18}, {0, 0}},
    };
    for (const Run_case& c : failing) Expect_same_as_reference(c, Wave_no_evac);
}

TEST_F(Wave_test, AgreesWithTheProcedureOnARealMap) {
    Image map;
    std::string why;
    ASSERT_TRUE(Picture_read(TOVI_SOURCE_DIR "/resources/maps/kyoto-1600x1200.png", map, why)) << why;
    const Point a = Open_white_near(map, 500, 400), b = Open_white_near(map, 1100, 800);
    const Point c = Open_white_near(map, 800, 600), d = Open_white_near(map, 700, 300);
    const Run_case real{"kyoto", With_markers(map, Sets({a, b}, {c}, {d})), 2, a, b};
    Expect_same_as_reference(real, Wave_completed);
    EXPECT_GT(Rec_count.load(), 50000);
}

// ---- What the wave gives on small fixtures ----

TEST_F(Wave_test, OnePlaceAlongARoad) {
    // Road along row 20 from x = 5 to 55 in a 60 x 40 map: the expansion area
    // is x 10..50, so the wave reaches x = 9 and 51 and no further.
    Image map(60, 40, Land);
    Fill(map, 5, 20, 56, 21, White);
    Work(map, Sets({{15, 20}}));
    ASSERT_EQ(Route_wave(1, 15, 20, 0, 0), 0);
    EXPECT_EQ(Rec_count.load(), 43);
    EXPECT_EQ(Base_data.Road_rec_total, 43);
    for (int32_t x = 5; x <= 55; ++x) {
        SCOPED_TRACE(x);
        const int32_t n = Node_at(x, 20, 0);
        if (x < 9 || x > 51) {
            EXPECT_EQ(n, -1);
            EXPECT_EQ(Shown_map.get(x, 20), White);
            continue;
        }
        ASSERT_GE(n, 0);
        EXPECT_EQ(Rec(n).cost, 1 + std::abs(x - 15));
        EXPECT_EQ(Shown_map.get(x, 20), Colour_first_wave);
        EXPECT_EQ(Node_at(x, 20, 1), -1);
    }
    // East before west: node 1 is the east neighbour of the place.
    EXPECT_EQ(Rec(1).x, 16);
    EXPECT_EQ(Rec(2).x, 14);
    for (int32_t n = 0; n < 43; ++n) EXPECT_EQ(Rec_kind[n] & 1, 0);
    EXPECT_EQ(fake.main_caption, "37 - 1920000   43 - 1919900");  // the last bucket's figures
}

TEST_F(Wave_test, TwoPlacesSplitTheMapAndTiesGoToTheEarlierNode) {
    Image map(60, 40, Land);
    Fill(map, 5, 20, 56, 21, White);
    struct Tie {
        Point first, second;
        int owner_of_25;  // the wave that takes (25, 20), 5 steps from each place
    } const ties[] = {{{20, 20}, {30, 20}, 0}, {{30, 20}, {20, 20}, 0}};
    for (const Tie& t : ties) {
        Work(map, Sets({t.first, t.second}));
        ASSERT_EQ(Route_wave(2, t.first.x, t.first.y, t.second.x, t.second.y), 0);
        EXPECT_GE(Node_at(25, 20, t.owner_of_25), 0);
        EXPECT_EQ(Node_at(25, 20, 1 - t.owner_of_25), -1);
        EXPECT_EQ(Rec(Node_at(25, 20, t.owner_of_25)).cost, 6);
    }

    // On a town: every reached pixel belongs to exactly one wave, and the two
    // regions meet somewhere.
    const Image town = Town(160, 120);
    Work(town, Sets({{30, 18}, {126, 90}}));
    ASSERT_EQ(Route_wave(2, 30, 18, 126, 90), 0);
    int both = 0, touching = 0, first = 0, second = 0;
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 160; ++x) {
            const bool a = Node_at(x, y, 0) >= 0, b = Node_at(x, y, 1) >= 0;
            both += a && b;
            first += a;
            second += b;
            if (a && (Node_at(x + 1, y, 1) >= 0 || Node_at(x, y + 1, 1) >= 0)) ++touching;
        }
    EXPECT_EQ(both, 0);
    EXPECT_GT(touching, 0);
    EXPECT_EQ(first + second, Rec_count.load());
    EXPECT_GT(first, 1000);
    EXPECT_GT(second, 1000);
}

TEST_F(Wave_test, CongestionCostsTenAPixel) {
    // A road along row 30; a congestion point at (40, 30) turns its 13 pixels
    // x = 34..46 into congestion.
    Image map(100, 60, Land);
    Fill(map, 5, 30, 96, 31, White);
    Work(map, Sets({{15, 30}}, {{40, 30}}));
    ASSERT_EQ(Route_wave(1, 15, 30, 0, 0), 0);
    // Crossed straight: 13 pixels cost 130 instead of 13.
    EXPECT_EQ(Rec(Node_at(33, 30, 0)).cost, 1 + 18);
    EXPECT_EQ(Rec(Node_at(46, 30, 0)).cost, 1 + 18 + 130);
    EXPECT_EQ(Rec(Node_at(60, 30, 0)).cost, 1 + 45 - 13 + 130);

    // A way round over row 20 (x = 30..50) costs far less than 130: the route
    // from (60, 30) takes it and never touches the congestion.
    Fill(map, 30, 20, 31, 31, White);
    Fill(map, 30, 20, 51, 21, White);
    Fill(map, 50, 20, 51, 31, White);
    Work(map, Sets({{15, 30}}, {{40, 30}}));
    ASSERT_EQ(Route_wave(1, 15, 30, 0, 0), 0);
    Route_path path;
    ASSERT_TRUE(Route_trace(60, 30, 0, Rec_count.load(), path));
    const Image shown = Shown_with_markers();
    bool through_congestion = false, over_row_20 = false;
    for (Point p : path.pixels[0]) {
        through_congestion = through_congestion || shown.get(p.x, p.y) == Colour_cong;
        over_row_20 = over_row_20 || (p.y == 20 && p.x == 40);
    }
    EXPECT_FALSE(through_congestion);
    EXPECT_TRUE(over_row_20);
    // Every pixel of that route cost 1, the place included.
    EXPECT_EQ(Rec(path.node[0]).cost, path.count);
    EXPECT_LT(path.count, 1 + 45 - 13 + 130);
}

TEST_F(Wave_test, NoPassageCutsTheRoad) {
    Image map(100, 60, Land);
    Fill(map, 5, 30, 96, 31, White);
    Work(map, Sets({{15, 30}}, {}, {{40, 30}}));
    ASSERT_EQ(Route_wave(1, 15, 30, 0, 0), 0);
    EXPECT_GE(Node_at(33, 30, 0), 0);
    for (int32_t x = 34; x < 96; ++x) EXPECT_EQ(Node_at(x, 30, 0), -1) << x;
    EXPECT_EQ(Cell_visit(34 + 30 * 1600), Visit_first);  // looked at as an obstacle
    EXPECT_EQ(Cell_visit(35 + 30 * 1600), 0);
    EXPECT_EQ(Rec_count.load(), 33 - 9 + 1);
}

TEST_F(Wave_test, PlaceInTheMarginReachesNothing) {
    Image map(60, 40, Land);
    Fill(map, 2, 20, 56, 21, White);
    Work(map, Sets({{6, 20}, {30, 20}}));
    ASSERT_EQ(Route_wave(2, 6, 20, 30, 20), 0);
    EXPECT_EQ(Node_at(6, 20, 0), 0);
    EXPECT_EQ(Node_at(7, 20, 0), -1);
    // The second wave takes the whole road it can reach, one pixel into the margin.
    EXPECT_GE(Node_at(9, 20, 1), 0);
    EXPECT_EQ(Node_at(8, 20, 1), -1);
    EXPECT_EQ(Rec_count.load(), 1 + 43);
}

TEST_F(Wave_test, ClearingKeepsWhatTheWaveNeverWrites) {
    Grid_allocate();
    // Whatever an earlier run or a load left in the tables.
    for (int32_t i = 0; i < N; ++i) {
        Wave_queue[0][i] = {uint16_t(i % 7), uint16_t(i % 11), 5, 6, 7};
        Wave_queue[1][i] = {3, uint16_t(i % 13), 5, 6, 7};
        Rec_kind[i] = 0xFE;
        std::memset(Cell_map + size_t(i) * 4, 0xAB, 4);
    }
    std::memset(Rec_kind + N, 0x5A, size_t(Rec_kind_bytes - N));
    std::memset(Cell_map + size_t(N) * 4, 0xA5, size_t(Cell_map_bytes - int64_t(N) * 4));

    Image map(60, 40, Land);
    Fill(map, 5, 20, 56, 21, White);
    Work(map, Sets({{15, 20}}));
    ASSERT_EQ(Route_wave(1, 15, 20, 0, 0), 0);
    const int32_t count = Rec_count.load();
    int bad = 0;
    for (int32_t i = 0; i < N && bad < 5; ++i) {
        const Wave_rec& a = Wave_queue[0][i];
        const Wave_rec& b = Wave_queue[1][i];
        const bool first_ok = i < count ? true : a.x == i % 7 && a.y == i % 11 && a.parent == 0 && a.cost == 0 && a.next == -1;
        const bool second_ok = b.x == 0 && b.y == i % 13 && b.parent == 0 && b.cost == 0 && b.next == -1;
        const bool kind_ok = Rec_kind[i] == 0;  // one wave: every node of the first
        const bool cell_ok = Cell_map[size_t(i) * 4] == 0xAB && Cell_map[size_t(i) * 4 + 1] == 0xAB &&
                             Cell_map[size_t(i) * 4 + 2] == 0xAB &&
                             (Cell_visit(i) & ~(Visit_first | Visit_second)) == 0;
        if (!first_ok || !second_ok || !kind_ok || !cell_ok) {
            ADD_FAILURE() << "slot " << i;
            ++bad;
        }
    }
    EXPECT_EQ(Rec_kind[N], 0x5A);
    EXPECT_EQ(Rec_kind[Rec_kind_bytes - 1], 0x5A);
    EXPECT_EQ(Cell_map[size_t(N) * 4], 0xA5);
    EXPECT_EQ(Cell_map[Cell_map_bytes - 1], 0xA5);

    // Leave no pattern behind for later tests that save data sets.
    for (int32_t i = 0; i < N; ++i) std::memset(Cell_map + size_t(i) * 4, 0, 3);
    std::memset(Rec_kind + N, 0, size_t(Rec_kind_bytes - N));
    std::memset(Cell_map + size_t(N) * 4, 0, size_t(Cell_map_bytes - int64_t(N) * 4));
}

// ---- Early ends: the words, and the route before kept whole ----

struct Kept {
    int32_t count, total;
    const Wave_rec* tables;
    std::vector<Wave_rec> first_nodes;
    static Kept Now() {
        Kept k{Rec_count.load(), Base_data.Road_rec_total, Wave_queue[0], {}};
        k.first_nodes.assign(Wave_queue[0], Wave_queue[0] + std::max(k.count, 0));
        return k;
    }
    void Expect_unchanged() const {
        EXPECT_EQ(Rec_count.load(), count);
        EXPECT_EQ(Base_data.Road_rec_total, total);
        EXPECT_EQ(Wave_queue[0], tables);
        EXPECT_EQ(std::memcmp(Wave_queue[0], first_nodes.data(), first_nodes.size() * sizeof(Wave_rec)), 0);
    }
};

TEST_F(Wave_test, EarlyEndsKeepTheRouteBefore) {
    // An open square of white: thousands of nodes, so the wave polls the mouse.
    Image map(140, 120, Land);
    Fill(map, 8, 8, 132, 112, White);
    const Base_record sets = Sets({{70, 60}});
    struct Case {
        const char* name;
        bool mark_place;   // the place's marker painted (the evacuation proof)
        bool left_press;   // the left button held from the start
        bool stop;         // Stop_request raised
        const char* text;  // the box shown, or nullptr
        const char* caption;
        int style;
    } const cases[] = {
        {"wrong set points", false, false, false, "設定ポイントが正しくないようです。", "error", Box_ok},
        {"stop request", true, false, true, "[0] STOP", "確認", Box_yes_no},
        {"left press", true, true, false, nullptr, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Work(map, sets);
        ASSERT_EQ(Route_build(), 0);  // the route before
        const Kept before = Kept::Now();
        Route_path route_before;
        ASSERT_TRUE(Route_trace(100, 90, 0, Rec_count.load(), route_before));

        Fake_platform local;
        Plat_install(&local);
        if (c.left_press) local.Input_at(0, {500, 500}, Fake_left);
        if (c.stop) Stop_request = 1;
        if (!c.mark_place) {
            std::lock_guard lock(Markers_lock);
            Base_data.Evac_x[0] = 71;  // the marker stays at (70, 60), the place moved off it
            Base_data.Evac_y[0] = 30;
        }
        Shown_map = Map_image;  // the wave starts from whatever is shown; the place's pixel is white
        if (c.mark_place) Shown_map = Shown_with_markers();
        EXPECT_EQ(Route_wave(1, Base_data.Evac_x[0], Base_data.Evac_y[0], 0, 0), 1);
        Stop_request = 0;
        Plat_install(&fake);
        ASSERT_EQ(local.boxes.size(), c.text ? 1u : 0u);
        if (c.text) {
            EXPECT_EQ(local.boxes[0].text, c.text);
            EXPECT_EQ(local.boxes[0].caption, c.caption);
            EXPECT_EQ(local.boxes[0].style, c.style);
        }
        before.Expect_unchanged();
        Route_path route_after;
        ASSERT_TRUE(Route_trace(100, 90, 0, Rec_count.load(), route_after));
        EXPECT_EQ(route_after.count, route_before.count);
    }
}

TEST_F(Wave_test, LeftPressDuringTheBuildCancelsIt) {
    Image map(140, 120, Land);
    Fill(map, 8, 8, 132, 112, White);
    const Base_record sets = Sets({{70, 60}}, {{40, 40}}, {{100, 80}});
    Work(map, sets);
    ASSERT_EQ(Route_build(), 0);
    const Kept before = Kept::Now();
    fake.Input_at(0, {500, 500}, Fake_left);
    EXPECT_EQ(Route_build(), 1);
    before.Expect_unchanged();
    EXPECT_EQ(fake.boxes.size(), 0u);
    EXPECT_EQ(fake.beeps, 2);
    Base_record kept = sets;
    kept.Road_rec_total = before.total;
    EXPECT_EQ(std::memcmp(&Base_data, &kept, sizeof kept), 0);
    EXPECT_TRUE(Shown_map.px == Shown_with_markers().px);  // the map restored, markers on it
}

TEST_F(Wave_test, OverWaveAsksAndEndsTheRunOnly) {
    // A serpentine of one-pixel roads over the whole grid, slowed by a
    // hundred congestion points: the far end costs more than 999,900.
    Image map(1600, 1200, Land);
    for (int32_t y = 10; y <= 1190; y += 2) Fill(map, 10, y, 1591, y + 1, White);
    for (int32_t y = 11; y < 1190; y += 2) map.set((y / 2) % 2 ? 1590 : 10, y, White);
    Base_record sets = Sets({{10, 10}});
    for (int i = 0; i < 100; ++i) sets.Cong_x[i] = 100 + 14 * i, sets.Cong_y[i] = 20 + (i % 80) * 14;
    sets.Cong_n = 100;
    Work(map, sets);
    Grid_allocate();  // the tables must exist before what they hold is kept for comparison
    const Kept before = Kept::Now();
    EXPECT_EQ(Route_wave(1, 10, 10, 0, 0), 1);
    EXPECT_EQ(Wave_last.status, Wave_cost_too_high);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "[0] OVER WAVE");
    before.Expect_unchanged();
    EXPECT_EQ(fake.main_caption, "999901 - 1920000   " + std::to_string(Wave_last.caption_nodes) + " - 1919900");
}

// ---- The caption and the shown map while the wave runs ----

// A clock that moves 40 ms each time it is read, so the poll finds time
// passing as it would on a real machine.
struct Ticking_fake : Fake_platform {
    int64_t Now_ms() override {
        std::lock_guard lock(m);
        now += 40;
        return now;
    }
};

TEST_F(Wave_test, CaptionCountsAtAReadableRateAndKeepsTheLastFigures) {
    Ticking_fake ticking;
    Plat_install(&ticking);
    Image map(300, 300, Land);
    Fill(map, 8, 8, 292, 292, White);
    Work(map, Sets({{150, 150}}));
    // A window over the main window changes nothing: the wave reads memory.
    ticking.screen = Image(400, 400, Land);
    ticking.covers.push_back({{0, 0}, {2000, 2000}});
    ASSERT_EQ(Route_wave(1, 150, 150, 0, 0), 0);
    const std::vector<std::string>& captions = ticking.main_captions;
    ASSERT_GE(captions.size(), 4u);
    EXPECT_EQ(captions.front(), "1 - 1920000   1 - 1919900");
    // About one caption per 100 ms: with 40 ms a poll, every third poll.
    const size_t polls = size_t(Rec_count.load()) / Wave_poll_nodes;
    EXPECT_LE(captions.size(), polls / 2 + 2);
    int32_t last_cost = 0;
    for (const std::string& c : captions) {
        int32_t cost = 0, n = 0, cap = 0, limit = 0;
        ASSERT_EQ(std::sscanf(c.c_str(), "%d - %d   %d - %d", &cost, &cap, &n, &limit), 4) << c;
        EXPECT_GE(cost, last_cost);
        EXPECT_EQ(cap, 1920000);
        EXPECT_EQ(limit, 1919900);
        last_cost = cost;
    }
    EXPECT_EQ(captions.back(), std::to_string(Wave_last.caption_cost) + " - 1920000   " +
                                   std::to_string(Wave_last.caption_nodes) + " - 1919900");
    EXPECT_EQ(Wave_last.caption_nodes, Rec_count.load());
    EXPECT_GE(ticking.refreshes, int(captions.size()) - 1);
    EXPECT_EQ(Rec_count.load(), 283 * 283);  // x and y 9..291: the expansion area and one pixel beyond
    Plat_install(&fake);
}

// ---- The control panel's button ----

TEST_F(Wave_test, RouteBuildButton) {
    Image map(60, 40, Land);
    Fill(map, 5, 20, 56, 21, White);
    Work(map, Sets({{15, 20}}));
    Shown_map.set(30, 20, Colour_first_wave);  // left over from something: restored first
    EXPECT_EQ(Panel_command(Id_route_build), 0);
    EXPECT_EQ(fake.main_captions.front(), "ルート作成中...");
    EXPECT_EQ(fake.main_caption, "37 - 1920000   43 - 1919900");
    EXPECT_EQ(Base_data.Road_rec_total, 43);
    for (int id = 1; id <= 10; ++id) {
        if (id != Id_route_build && id != Id_route_check) {
            EXPECT_TRUE(fake.enabled[id]) << id;
        }
    }
    EXPECT_FALSE(fake.enabled[Id_route_build]);
    EXPECT_TRUE(fake.enabled[Id_route_check]);
    EXPECT_EQ(Route_busy.load(), 0);
    EXPECT_EQ(fake.beeps, 1);
    EXPECT_TRUE(Shown_map.px == Shown_with_markers().px);

    // While a wave runs, a queued press only restores the map and the caption.
    Route_busy = 1;
    fake.main_captions.clear();
    Base_data.Road_rec_total = 7;
    EXPECT_EQ(Panel_command(Id_route_build), 0);
    EXPECT_EQ(fake.main_captions, std::vector<std::string>{"ルート作成中..."});
    EXPECT_EQ(Base_data.Road_rec_total, 7);
    EXPECT_EQ(fake.beeps, 1);
    Route_busy = 0;

    // Without an evacuation place the build says so and stays offered.
    Base_data.Evac_n = 0;
    EXPECT_EQ(Panel_command(Id_route_build), 0);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "設定ポイントが正しくないようです。");
    EXPECT_TRUE(fake.enabled[Id_route_build]);
    EXPECT_FALSE(fake.enabled[Id_route_check]);
    EXPECT_EQ(fake.beeps, 2);
}

TEST(Wave_area, OutOfArea) {
    struct Case {
        int32_t x, y, w, h, out;
    } const cases[] = {
        {10, 10, 100, 80, 0},     {9, 40, 100, 80, 1},      {40, 9, 100, 80, 1},   {90, 40, 100, 80, 0},
        {91, 40, 100, 80, 1},     {40, 70, 100, 80, 0},     {40, 71, 100, 80, 1},  {1590, 1190, 2000, 2000, 0},
        {1591, 500, 2000, 2000, 1}, {500, 1191, 2000, 2000, 1}, {15, 15, 20, 20, 1}, {10, 10, 20, 20, 0},
        {-1, 40, 100, 80, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Wave_out_of_area(c.x, c.y, c.w, c.h), c.out) << c.x << "," << c.y << " in " << c.w << "x" << c.h;
}

}  // namespace
