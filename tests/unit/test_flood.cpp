// The road-network flood: its refusals and failures with their messages, the
// record order, the margins, a completed capture with its files, and a check
// that the fill over the screen picture gives exactly the records, visit bits
// and box of the pixel-by-pixel procedure on the live screen.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "app/panel.h"
#include "app/shell.h"
#include "map/flood.h"
#include "map/geometry.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/picture_file.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "platform/fake/fake_platform.h"
#include "temp_folder.h"

namespace {

constexpr uint32_t Land = Rgb(242, 239, 233);  // not road
constexpr uint32_t White = Rgb(255, 255, 255);
constexpr uint32_t Orange = Rgb(255, 153, 0);
constexpr uint32_t Green = Rgb(0, 255, 0);

void Fill(Image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t c) {
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x) img.set(x, y, c);
}

// A horizontal white road along row y from x0 to x1 - 1, on land.
Image Road_row(int32_t w, int32_t h, int32_t y, int32_t x0, int32_t x1) {
    Image img(w, h, Land);
    Fill(img, x0, y, x1, y + 1, White);
    return img;
}

// The procedure as written for the live screen: one Pixel_check per
// neighbour on a surface that is painted as the fill goes, without shortcuts.
struct Reference {
    Flood_status status = Flood_completed;
    Rect32 box{1000000, 1000000, 0, 0};
    int32_t obstacles = 0;
    std::vector<Wave_rec> records;
    std::vector<uint8_t> visit;
};

Reference Reference_flood(Image screen, int32_t rx, int32_t ry) {
    constexpr int32_t N = Grid_cells, W = Grid_w_fixed, H = Grid_h_fixed;
    Reference r;
    r.visit.assign(N, 0);
    r.records.assign(N, Wave_rec{});
    Evac_seen = 0;
    const int32_t sx = std::max(rx - 1, 0), sy = std::max(ry - 1, 0);
    int32_t count = 0;
    r.records[0] = {uint16_t(sx), uint16_t(sy), -1, 0, 0};
    count = 1;
    static constexpr int dx[8] = {1, -1, 0, 0, 1, -1, 1, -1};
    static constexpr int dy[8] = {0, 0, 1, -1, 1, 1, -1, -1};
    for (int32_t j = 0; j < count; ++j) {
        if (Evac_seen == 0 && count > 51) {
            r.status = Flood_no_evac;
            break;
        }
        if (Stop_request == 1) {
            r.status = Flood_stopped;
            break;
        }
        if (j == 2000 && r.obstacles < 5) {
            r.status = Flood_too_open;
            break;
        }
        if (count > N - 100 || j > N - 100) break;
        const int32_t x = r.records[j].x, y = r.records[j].y;
        if (x > screen.w - 20 || y > screen.h - 20 || x > W - 20 || x < 10 || y > H - 20 || y < 10 ||
            x + (y + 1) * W + 101 > N)
            continue;
        r.box.left = std::min(r.box.left, x);
        r.box.top = std::min(r.box.top, y);
        r.box.right = std::max(r.box.right, x);
        r.box.bottom = std::max(r.box.bottom, y);
        screen.set(x, y, Green);
        for (int k = 0; k < 8; ++k) {
            const int32_t nx = x + dx[k], ny = y + dy[k];
            Rec_count = count;
            const int32_t road = Pixel_check(screen, nx, ny);
            uint8_t& v = r.visit[size_t(nx + ny * W)];
            if (road == 1 && !(v & Visit_first)) {
                v |= Visit_first;
                r.records[count++] = {uint16_t(nx), uint16_t(ny), j, 0, 0};
                screen.set(nx, ny, Green);
            } else if (road == 0 && !(v & Visit_first)) {
                v |= Visit_first;
                ++r.obstacles;
            }
        }
    }
    r.records.resize(size_t(count));
    return r;
}

// Runs the fill over the picture of the screen region that a capture takes
// and compares everything it leaves with the reference on the whole screen.
void Expect_same_as_reference(const Image& screen, int32_t rx, int32_t ry) {
    SCOPED_TRACE(testing::Message() << "release (" << rx << ", " << ry << ")");
    const int32_t w = std::min(screen.w, Grid_w_fixed), h = std::min(screen.h, Grid_h_fixed);
    Image region(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) region.set(x, y, screen.get(x, y));
    const Flood_result got = Flood_fill(region, rx, ry);
    const Reference want = Reference_flood(screen, rx, ry);
    EXPECT_EQ(got.status, want.status);
    EXPECT_EQ(got.obstacles, want.obstacles);
    EXPECT_EQ(got.box.left, want.box.left);
    EXPECT_EQ(got.box.top, want.box.top);
    EXPECT_EQ(got.box.right, want.box.right);
    EXPECT_EQ(got.box.bottom, want.box.bottom);
    ASSERT_EQ(got.records, int32_t(want.records.size()));
    ASSERT_EQ(Rec_count, got.records);
    for (int32_t k = 0; k < got.records; ++k) {
        const Wave_rec& a = Wave_queue[0][k];
        const Wave_rec& b = want.records[size_t(k)];
        ASSERT_TRUE(a.x == b.x && a.y == b.y && a.parent == b.parent) << "record " << k;
        ASSERT_EQ(Rec_kind[k], 0);
    }
    for (int32_t i = 0; i < Grid_cells; ++i) ASSERT_EQ(Cell_visit(i), want.visit[size_t(i)]) << "cell " << i;
}

struct Flood_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    Temp_folder dir;
    void SetUp() override {
        Shell_start();
        Exe_folder = dir.str();
        Panel_state = 0;
        Rec_count = 0;
        {
            std::lock_guard lock(Markers_lock);
            Base_data = Base_record{};
            Base_data.Map_rect = {1, 2, 3, 4};
        }
        std::lock_guard lock(Shown_lock);
        Map_image = Image();
        Photo_image = Image();
        Shown_map = Image();
        Images_loaded = 0;
    }
    void TearDown() override {
        Stop_request = 0;
        Aerial_mode = 0;
    }
    bool Nothing_captured() {
        std::lock_guard lock(Markers_lock);
        return Panel_state == 0 && Base_data.Map_rect.left == 1 && Base_data.Map_rect.bottom == 4 &&
               Base_data.Road_rec_total == 0 && !std::filesystem::exists(dir.file("tst.bmp"));
    }
};

TEST_F(Flood_test, StartMustBePureWhite) {
    struct Case {
        uint32_t colour;
        int answer;
    };
    for (const Case& c : {Case{Rgb(250, 250, 250), Answer_yes}, Case{Rgb(100, 250, 100), Answer_yes},
                          Case{Rgb(250, 250, 250), Answer_no}}) {
        SCOPED_TRACE(c.colour);
        fake.screen = Road_row(120, 80, 40, 0, 120);
        fake.screen.set(59, 39, c.colour);  // release at (60, 40): the pixel up and left of it
        fake.boxes.clear();
        fake.box_answers = {c.answer};
        if (c.answer == Answer_no) {
            try {
                Maze_map(60, 40);
                FAIL() << "the process goes on after No";
            } catch (const Fake_exit& e) {
                EXPECT_EQ(e.code, 1);
            }
        } else {
            EXPECT_EQ(Maze_map(60, 40), 1);
        }
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, "[0] ERR 道路ではありません（白色でない）。いいえで終了");
        EXPECT_EQ(fake.boxes[0].caption, "確認");
        EXPECT_EQ(fake.boxes[0].style, Box_yes_no);
        EXPECT_TRUE(Nothing_captured());
    }
}

TEST_F(Flood_test, EvacuationColourMustBeMetEarly) {
    struct Case {
        const char* what;
        int32_t mark_x, mark_y;  // -1: no mark
        uint32_t mark;
        Flood_status expect;
    };
    // A road along row 40 from x 20 to 99; the release at (60, 41) starts the
    // fill at (59, 40), from where it runs both ways, one record a pixel.
    const Case cases[] = {
        {"no mark", -1, -1, 0, Flood_no_evac},
        {"evacuation colour beside the start", 59, 41, Colour_evac, Flood_completed},
        {"evacuation colour far along", 95, 41, Colour_evac, Flood_no_evac},
        {"orange beside the start", 60, 39, Orange, Flood_completed},
        {"orange met when 50 records exist", 84, 41, Orange, Flood_no_evac},
        {"orange met when 48 records exist", 83, 41, Orange, Flood_completed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image screen = Road_row(120, 80, 40, 20, 100);
        if (c.mark_x >= 0) screen.set(c.mark_x, c.mark_y, c.mark);
        Image region = screen;
        const Flood_result r = Flood_fill(region, 60, 41);
        EXPECT_EQ(r.status, c.expect);
        if (c.mark_x < 0) EXPECT_EQ(r.records, 52);  // the first turn that finds 52 records
        Expect_same_as_reference(screen, 60, 41);
    }

    fake.screen = Road_row(120, 80, 40, 20, 100);
    EXPECT_EQ(Maze_map(60, 41), 1);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "設定ポイントが正しくないようです。");
    EXPECT_EQ(fake.boxes[0].caption, "error");
    EXPECT_EQ(fake.boxes[0].style, Box_ok);
    EXPECT_EQ(fake.boxes[0].owner, Owner_none);
    EXPECT_TRUE(Nothing_captured());
}

TEST_F(Flood_test, TooOpenAStartIsRefusedWithAMessage) {
    fake.screen = Image(200, 200, Land);
    Fill(fake.screen, 20, 20, 180, 180, White);
    fake.screen.set(101, 100, Colour_evac);
    Image region = fake.screen;
    const Flood_result r = Flood_fill(region, 100, 100);
    EXPECT_EQ(r.status, Flood_too_open);
    EXPECT_LT(r.obstacles, 5);
    EXPECT_EQ(Maze_map(100, 100), 1);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, Too_open_text);
    EXPECT_TRUE(Nothing_captured());
}

TEST_F(Flood_test, StopRequestEndsTheFill) {
    fake.screen = Road_row(120, 80, 40, 20, 100);
    fake.screen.set(59, 41, Colour_evac);
    Stop_request = 1;
    EXPECT_EQ(Maze_map(60, 41), 1);
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_TRUE(Nothing_captured());
}

TEST_F(Flood_test, NeighboursInTheirFixedOrder) {
    Image screen(100, 100, Land);
    Fill(screen, 40, 40, 60, 60, White);
    screen.set(45, 44, Colour_evac);
    Image region = screen;
    Flood_fill(region, 51, 51);  // start cell (50, 50)
    const Point expect[] = {{50, 50}, {51, 50}, {49, 50}, {50, 51}, {50, 49}, {51, 51}, {49, 51}, {51, 49}, {49, 49}};
    for (int k = 0; k < 9; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(Wave_queue[0][k].x, expect[k].x);
        EXPECT_EQ(Wave_queue[0][k].y, expect[k].y);
        EXPECT_EQ(Wave_queue[0][k].parent, k == 0 ? -1 : 0);
    }
    // Record 1 looked back at the painted start and counted it as an obstacle.
    EXPECT_EQ(Wave_queue[0][9].parent, 1);
    EXPECT_NE(Cell_visit(50 + 50 * Grid_w_fixed) & Visit_first, 0);
    EXPECT_EQ(region.get(50, 50), Green);
    Expect_same_as_reference(screen, 51, 51);
}

TEST_F(Flood_test, MarginsBoundTheBox) {
    // Roads running off all four sides of a small screen, crossing at (40, 30).
    Image screen(80, 60, Land);
    Fill(screen, 0, 30, 80, 31, White);
    Fill(screen, 40, 0, 41, 60, White);
    screen.set(41, 29, Colour_evac);
    Image region = screen;
    const Flood_result r = Flood_fill(region, 41, 31);
    ASSERT_EQ(r.status, Flood_completed);
    EXPECT_EQ(r.box.left, 10);
    EXPECT_EQ(r.box.top, 10);
    EXPECT_EQ(r.box.right, 80 - 20);
    EXPECT_EQ(r.box.bottom, 60 - 20);
    bool nine = false, beyond = false;
    for (int32_t k = 0; k < r.records; ++k) {
        nine |= Wave_queue[0][k].x == 9 || Wave_queue[0][k].y == 9;
        beyond |= Wave_queue[0][k].x < 9 || Wave_queue[0][k].x > 61;
    }
    EXPECT_TRUE(nine);  // recorded and painted, never processed
    EXPECT_FALSE(beyond);
    EXPECT_EQ(region.get(9, 30), Green);
    EXPECT_EQ(region.get(8, 30), White);
    Expect_same_as_reference(screen, 41, 31);
}

TEST_F(Flood_test, StartsOutsideTheMarginsAreRefused) {
    struct Case {
        const char* what;
        int32_t x, y;
    };
    const Case cases[] = {
        {"release at (0, 0)", 0, 0},
        {"release at (1, 1), the same cell", 1, 1},
        {"row 9", 40, 10},
        {"release at the smallest int", std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min()},
        {"release at the largest int", std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()},
        {"smallest x, largest y", std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.screen = Image(1920, 1200, White);  // every start is white
        fake.boxes.clear();
        Image region(1600, 1200, White);
        const Flood_result r = Flood_fill(region, c.x, c.y);
        EXPECT_EQ(r.status, Flood_completed);
        EXPECT_EQ(r.records, 1);
        EXPECT_EQ(r.box.left, 1000000);
        EXPECT_EQ(r.box.right, 0);
        EXPECT_EQ(Maze_map(c.x, c.y), 1);
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, Empty_map_text);
        EXPECT_EQ(fake.boxes[0].caption, "error");
        EXPECT_TRUE(Nothing_captured());
    }
}

TEST(Flood_window, TheWholeScreenUpToTheGridElseAGridWindowAroundTheRelease) {
    struct Case {
        const char* what;
        int32_t w, h;
        Point release;
        Rect32 expect;
    };
    const Case cases[] = {
        {"a screen of the grid's size", 1600, 1200, {1590, 1190}, {0, 0, 1600, 1200}},
        {"a smaller screen", 1024, 768, {5, 5}, {0, 0, 1024, 768}},
        {"wide, release near the left", 1920, 1200, {300, 600}, {0, 0, 1600, 1200}},
        {"wide, release in the middle", 1920, 1200, {1000, 600}, {200, 0, 1800, 1200}},
        {"wide, release near the right", 1920, 1200, {1900, 600}, {320, 0, 1920, 1200}},
        {"two monitors, release on the second", 3840, 1080, {2900, 500}, {2100, 0, 3700, 1080}},
        {"4K, release low right", 3840, 2160, {3800, 2100}, {2240, 960, 3840, 2160}},
        {"release outside the screen", 3840, 2160, {-50000, 90000}, {0, 960, 1600, 2160}},
        {"release at the extremes", 3840, 2160, {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
         {0, 960, 1600, 2160}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Rect32 r = Flood_window(c.w, c.h, c.release);
        EXPECT_EQ(r.left, c.expect.left);
        EXPECT_EQ(r.top, c.expect.top);
        EXPECT_EQ(r.right, c.expect.right);
        EXPECT_EQ(r.bottom, c.expect.bottom);
    }
}

TEST(Flood_start_cell, OnePixelUpAndLeftNotBelowZero) {
    constexpr int32_t Min = std::numeric_limits<int32_t>::min(), Max = std::numeric_limits<int32_t>::max();
    struct Case {
        int32_t x, y;
        Point expect;
    };
    const Case cases[] = {{60, 40, {59, 39}}, {1, 1, {0, 0}}, {0, 0, {0, 0}}, {-5, 3, {0, 2}},
                          {Min, Min, {0, 0}}, {Max, Max, {Max - 1, Max - 1}}, {Min, Max, {0, Max - 1}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        const Point p = Flood_start_cell(c.x, c.y);
        EXPECT_EQ(p.x, c.expect.x);
        EXPECT_EQ(p.y, c.expect.y);
    }
}

TEST_F(Flood_test, StartPixelIsReadOnTheScreenBeyondTheRegion) {
    fake.screen = Image(1920, 1200, White);
    fake.screen.set(1699, 499, Rgb(10, 20, 30));
    EXPECT_EQ(Maze_map(1700, 500), 1);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].caption, "確認");
}

TEST_F(Flood_test, ARoadOfOneRowGivesNoMap) {
    fake.screen = Road_row(120, 80, 40, 30, 90);
    fake.screen.set(61, 40, Colour_evac);
    EXPECT_EQ(Maze_map(60, 41), 1);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, Empty_map_text);
    EXPECT_TRUE(Nothing_captured());
}

// A small street map: a grid of white streets on land, an evacuation mark.
Image Street_fixture() {
    Image img(160, 120, Land);
    for (int32_t y = 15; y < 110; y += 12) Fill(img, 12, y, 150, y + 2, White);
    for (int32_t x = 12; x < 150; x += 16) Fill(img, x, 15, x + 2, 110, White);
    img.set(30, 40, Colour_evac);
    return img;
}

TEST_F(Flood_test, CompletedCaptureWritesAndShowsTheMap) {
    fake.screen = Street_fixture();
    const Image before = fake.screen;
    ASSERT_EQ(Maze_map(30, 40), 0);
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_NE(Panel_state & Panel_map_captured, 0u);

    Rect32 rect;
    int32_t total;
    {
        std::lock_guard lock(Markers_lock);
        rect = Base_data.Map_rect;
        total = Base_data.Road_rec_total;
    }
    EXPECT_EQ(rect.left, 12);
    EXPECT_EQ(rect.top, 15);
    EXPECT_EQ(rect.right, 140);
    EXPECT_EQ(rect.bottom, 100);
    EXPECT_EQ(total, Rec_count);
    EXPECT_EQ(fake.fitted, (Point{rect.right - rect.left, rect.bottom - rect.top}));
    EXPECT_GE(fake.capture_shows, 1);
    EXPECT_GE(fake.refreshes, 1);

    // The picture keeps the map's own colours: the roads are not painted.
    ASSERT_EQ(Images_loaded, 1);
    ASSERT_EQ(Map_image.w, rect.right - rect.left);
    ASSERT_EQ(Map_image.h, rect.bottom - rect.top);
    for (int32_t y = 0; y < Map_image.h; ++y)
        for (int32_t x = 0; x < Map_image.w; ++x)
            ASSERT_EQ(Map_image.get(x, y), before.get(rect.left + x, rect.top + y));
    EXPECT_EQ(Shown_map.px, Map_image.px);
    EXPECT_TRUE(Photo_image.empty());
    for (const char* name : {"tst.bmp", "base.dat", "d1.dat", "d2.dat", "d3.dat", "d4.dat"})
        EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
    EXPECT_FALSE(std::filesystem::exists(dir.file("tst1.bmp")));
    EXPECT_TRUE(fake.questions.empty());
    Expect_same_as_reference(before, 30, 40);
}

TEST_F(Flood_test, AerialModeAsksAndCutsTheSecondPicture) {
    for (int answer : {0, 1}) {
        SCOPED_TRACE(answer);
        Temp_folder folder;
        Exe_folder = folder.str();
        Images_loaded = 0;
        fake.screen = Street_fixture();
        fake.questions.clear();
        fake.ask_answers = {answer};
        Aerial_mode = 1;
        ASSERT_EQ(Maze_map(30, 40), 0);
        ASSERT_EQ(fake.questions.size(), 1u);
        EXPECT_EQ(fake.questions[0],
                  "航空写真との合成は、地図の右上の航空写真のボタンを押して、画面が航空写真に変わったらＹＥＳを押す。");
        EXPECT_EQ(std::filesystem::exists(folder.file("tst1.bmp")), answer == 0);
        if (answer == 0) {
            // Taken from the screen after the answer, at the map's rectangle.
            EXPECT_EQ(Photo_image.w, Map_image.w);
            EXPECT_EQ(Photo_image.h, Map_image.h);
        }
    }
}

TEST_F(Flood_test, SameAsThePixelByPixelProcedure) {
    // Random maps with every kind of colour the classifier knows.
    const uint32_t palette[] = {White, White, White, White, White, White, White, Land, Rgb(151, 151, 151),
                                Rgb(250, 250, 250), Orange, Colour_evac, Colour_cong, Colour_nopass,
                                Rgb(0, 0, 255), Rgb(244, 209, 102), Rgb(30, 30, 30), Green};
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 rng(seed);
        Image screen(300, 200, White);
        for (uint32_t& c : screen.px) c = palette[rng() % std::size(palette)];
        for (int32_t y = 0; y < 200; y += 1 + int32_t(rng() % 6)) Fill(screen, 0, y, 300, y + 1, Land);
        for (int32_t s = 0; s < 6; ++s) Expect_same_as_reference(screen, 15 + int32_t(rng() % 270), 15 + int32_t(rng() % 170));
    }
}

TEST_F(Flood_test, SameAsThePixelByPixelProcedureOnARealMap) {
    Image kyoto;
    std::string why;
    ASSERT_TRUE(Picture_read(TOVI_SOURCE_DIR "/resources/maps/kyoto-1600x1200.png", kyoto, why)) << why;
    // Completed, refused for want of an evacuation colour, and a one-column road.
    for (Point p : {Point{819, 114}, Point{1311, 410}, Point{245, 595}, Point{983, 891}, Point{327, 1002}, Point{204, 41}})
        Expect_same_as_reference(kyoto, p.x, p.y);
}

// A byte that tells the table and the place it stands at, for tables filled
// before a fill and checked after it.
uint8_t Stale(int table, size_t at) { return uint8_t(at * 131 + at / 977 + size_t(table) * 29 + 1); }

TEST_F(Flood_test, ClearsOnlyWhatItClearsAndKeepsEveryOtherByte) {
    // Tables full of earlier content, as a loaded data set or a route leaves them.
    Grid_allocate();
    auto fill = [](int table, uint8_t* bytes, int64_t n) {
        for (size_t i = 0; i < size_t(n); ++i) bytes[i] = Stale(table, i);
    };
    fill(0, reinterpret_cast<uint8_t*>(Wave_queue[0]), Wave_queue_bytes);
    fill(1, reinterpret_cast<uint8_t*>(Wave_queue[1]), Wave_queue_bytes);
    fill(2, Rec_kind, Rec_kind_bytes);
    fill(3, Cell_map, Cell_map_bytes);

    const Image screen = Street_fixture();
    Image region = screen;
    const Flood_result got = Flood_fill(region, 30, 40);
    ASSERT_EQ(got.status, Flood_completed);
    const Reference want = Reference_flood(screen, 30, 40);
    ASSERT_EQ(got.records, int32_t(want.records.size()));

    auto stale16 = [](int table, size_t at) { return uint16_t(Stale(table, at) | Stale(table, at + 1) << 8); };
    auto stale32 = [](int table, size_t at) {
        return int32_t(uint32_t(Stale(table, at)) | uint32_t(Stale(table, at + 1)) << 8 |
                       uint32_t(Stale(table, at + 2)) << 16 | uint32_t(Stale(table, at + 3)) << 24);
    };
    for (size_t k = 0; k < size_t(Grid_cells); ++k) {
        const size_t at = k * 16;
        const Wave_rec& a = Wave_queue[0][k];
        const Wave_rec& b = Wave_queue[1][k];
        const bool own = k < want.records.size();
        const Wave_rec& w = own ? want.records[k] : a;
        ASSERT_TRUE(a.x == (own ? w.x : stale16(0, at)) && a.y == (own ? w.y : stale16(0, at + 2)) &&
                    a.parent == (own ? w.parent : 0) && a.cost == stale32(0, at + 8) && a.next == stale32(0, at + 12))
            << "first queue, record " << k;
        ASSERT_TRUE(b.x == 0 && b.y == stale16(1, at + 2) && b.parent == 0 && b.cost == stale32(1, at + 8) &&
                    b.next == stale32(1, at + 12))
            << "second queue, record " << k;
    }
    for (size_t i = 0; i < size_t(Rec_kind_bytes); ++i)
        ASSERT_EQ(Rec_kind[i], i < size_t(Grid_cells) ? 0 : Stale(2, i)) << "record kind " << i;
    for (size_t i = 0; i < size_t(Cell_map_bytes); ++i) {
        const bool visit = i < size_t(Grid_cells) * 4 && i % 4 == 3;
        ASSERT_EQ(Cell_map[i], visit ? want.visit[i / 4] : Stale(3, i)) << "cell byte " << i;
    }
}

TEST_F(Flood_test, ProgressIsOfferedEvery4096RecordsAndChangesNothing) {
    Image kyoto;
    std::string why;
    ASSERT_TRUE(Picture_read(TOVI_SOURCE_DIR "/resources/maps/kyoto-1600x1200.png", kyoto, why)) << why;
    Image quiet = kyoto;
    const Flood_result want = Flood_fill(quiet, 245, 595);
    ASSERT_EQ(want.status, Flood_completed);
    ASSERT_GT(want.records, 3 * 4096);
    const std::vector<Wave_rec> records(Wave_queue[0], Wave_queue[0] + want.records);

    struct Offers {
        std::vector<int32_t> counts;
        std::vector<Rect32> parts;
    } offers;
    const Flood_progress progress{[](void* context, const Image&, const Rect32& part) {
                                      auto* o = static_cast<Offers*>(context);
                                      o->counts.push_back(Rec_count.load());
                                      o->parts.push_back(part);
                                  },
                                  &offers};
    Image shown = kyoto;
    const Flood_result got = Flood_fill(shown, 245, 595, &progress);
    EXPECT_EQ(got.status, want.status);
    EXPECT_EQ(got.records, want.records);
    EXPECT_EQ(got.obstacles, want.obstacles);
    EXPECT_EQ(got.box.left, want.box.left);
    EXPECT_EQ(got.box.bottom, want.box.bottom);
    EXPECT_EQ(shown.px, quiet.px);
    for (int32_t k = 0; k < got.records; ++k) {
        const Wave_rec& a = Wave_queue[0][k];
        ASSERT_TRUE(a.x == records[size_t(k)].x && a.y == records[size_t(k)].y && a.parent == records[size_t(k)].parent)
            << "record " << k;
    }
    // Records 4096, 8192, ... each offer the picture once, with the records
    // found so far and a painted part that only grows within the final box.
    ASSERT_EQ(offers.counts.size(), size_t((got.records - 1) / 4096));
    for (size_t i = 0; i < offers.counts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GT(offers.counts[i], int32_t(i + 1) * 4096);
        const Rect32& p = offers.parts[i];
        EXPECT_GE(p.left, got.box.left - 1);
        EXPECT_GE(p.top, got.box.top - 1);
        EXPECT_LE(p.right, got.box.right + 2);
        EXPECT_LE(p.bottom, got.box.bottom + 2);
        if (i > 0) {
            EXPECT_GT(offers.counts[i], offers.counts[i - 1]);
            EXPECT_LE(p.left, offers.parts[i - 1].left);
            EXPECT_GE(p.right, offers.parts[i - 1].right);
        }
    }
}

TEST(Point_distance, TruncatedEuclidean) {
    struct Case {
        int32_t x1, y1, x2, y2, expect;
    };
    const Case cases[] = {{0, 0, 3, 4, 5}, {0, 0, 1, 1, 1}, {7, 7, 7, 7, 0}, {3, 4, 0, 0, 5}, {-5, 0, 5, 0, 10}, {0, 0, 2, 2, 2}};
    for (const Case& c : cases) EXPECT_EQ(Point_distance(c.x1, c.y1, c.x2, c.y2), c.expect);
}

// A map right of the grid's width on a wide screen left of which a second
// monitor stands: the flood runs in the window around the release, the map's
// pictures and rectangle are in that window's coordinates and the window's
// screen position is kept with the work.
TEST_F(Flood_test, AMapAnywhereOnTheVirtualScreenIsCaptured) {
    const Image streets = Street_fixture();
    fake.screen = Image(3840, 1200, Rgb(40, 40, 40));
    fake.screen_origin = {-1920, 0};
    for (int32_t y = 0; y < streets.h; ++y)
        for (int32_t x = 0; x < streets.w; ++x) fake.screen.set(3500 + x, 700 + y, streets.get(x, y));
    // Screen x of picture x 3500 is 3500 - 1920 = 1580.
    ASSERT_EQ(Maze_map(1580 + 30, 700 + 40), 0);
    const Rect32 r = Base_data.Map_rect;
    // The window is (2240, 0)-(3840, 1200) of the picture: the map at x 1260.
    EXPECT_GE(r.left, 1260);
    EXPECT_LE(r.right, 1260 + streets.w);
    EXPECT_EQ(Capture_origin, (Point{-1920 + 2240, 0}));
    Image saved;
    ASSERT_EQ(Bmp_read((dir.path / "tst.bmp").string(), saved), Bmp_ok);
    for (int32_t y = 0; y < saved.h; ++y)
        for (int32_t x = 0; x < saved.w; ++x)
            ASSERT_EQ(saved.get(x, y), streets.get(r.left - 1260 + x, r.top - 700 + y)) << x << ", " << y;
}

// The aerial picture is taken where the map stood on the screen, wherever
// the monitors stand when the question is answered; a map whose monitor has
// gone gives a message and no aerial picture, and the work is written.
TEST_F(Flood_test, TheAerialPictureIsTakenWhereTheMapStood) {
    const Image streets = Street_fixture();
    Image aerial_view(streets.w, streets.h);
    for (size_t i = 0; i < aerial_view.px.size(); ++i) aerial_view.px[i] = Rgb(uint8_t(i % 200), 90, 40);
    struct Case {
        const char* what;
        Point origin_after;  // where the screen's top-left stands once asked
        int32_t w_after;
        Point map_at;        // where the aerial view then stands in the picture
        bool photo;
    };
    const Case cases[] = {
        {"nothing moved", {0, 0}, 1920, {0, 0}, true},
        {"a monitor added left of the primary", {-1280, 0}, 3200, {1280, 0}, true},
        {"the map's monitor gone", {0, 0}, 100, {0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Temp_folder folder;
        Exe_folder = folder.str();
        Images_loaded = 0;
        fake.boxes.clear();
        fake.screen = Image(1920, 1200, Rgb(40, 40, 40));
        fake.screen_origin = {0, 0};
        for (int32_t y = 0; y < streets.h; ++y)
            for (int32_t x = 0; x < streets.w; ++x) fake.screen.set(x, y, streets.get(x, y));
        Image after(c.w_after, 1200, Rgb(40, 40, 40));
        for (int32_t y = 0; y < aerial_view.h; ++y)
            for (int32_t x = 0; x < aerial_view.w; ++x) after.set(c.map_at.x + x, c.map_at.y + y, aerial_view.get(x, y));
        fake.screen_after_ask = std::make_pair(after, c.origin_after);
        fake.ask_answers = {0};
        Aerial_mode = 1;
        ASSERT_EQ(Maze_map(30, 40), 0);
        fake.screen_after_ask.reset();
        EXPECT_EQ(std::filesystem::exists(folder.file("tst1.bmp")), c.photo);
        EXPECT_TRUE(std::filesystem::exists(folder.file("tst.bmp")));
        if (c.photo) {
            const Rect32 r = Base_data.Map_rect;
            Image photo;
            ASSERT_EQ(Bmp_read(folder.file("tst1.bmp"), photo), Bmp_ok);
            for (int32_t y = 0; y < photo.h; ++y)
                for (int32_t x = 0; x < photo.w; ++x)
                    ASSERT_EQ(photo.get(x, y), aerial_view.get(r.left + x, r.top + y)) << x << ", " << y;
            EXPECT_TRUE(fake.boxes.empty());
        } else {
            ASSERT_EQ(fake.boxes.size(), 1u);
            EXPECT_EQ(fake.boxes[0].text.rfind(Picture_write_failed_text, 0), 0u);
        }
    }
    Aerial_mode = 0;
}

}  // namespace
