// The route display against the scripted fake, on routes built by the real
// wave: the route drawn and counted from the cursor, the figures only above
// 10 pixels, one place against two, the place's own pixel, the route taken
// back when the cursor moves on, which presses and requests end it, Space
// with and without an aerial picture, and the start from the control panel
// on the tool slot.
//
// The display runs straight on the test thread where it can: virtual time
// moves only with its own pauses, so a script plays the same on every run.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "app/panel.h"
#include "app/shell.h"
#include "map/flood.h"
#include "map/grid.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/fake/fake_platform.h"
#include "route/display.h"
#include "route/route_trace.h"
#include "route/walk_stats.h"
#include "route/wave.h"

namespace {

constexpr uint32_t Land = Rgb(242, 239, 233);  // never road
constexpr uint32_t White = Rgb(255, 255, 255);
constexpr uint32_t Cyan = Route_colour_first;
constexpr uint32_t Yellow = Route_colour_second;

void Fill(Image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t c) {
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x) img.set(x, y, c);
}

// Row 30 is a road from x = 5 to 135 (reached from 9 to 131), with a branch
// down column 60 to row 52. Along the row a route from (x, 30) to a place at
// (15, 30) has x - 15 + 1 pixels.
Image Street() {
    Image map(140, 60, Land);
    Fill(map, 5, 30, 136, 31, White);
    Fill(map, 60, 30, 61, 53, White);
    return map;
}

// A fake whose pauses can also do what the main window's thread would do at
// a given virtual millisecond: press Space, or let the test look at the map.
struct Timed_fake : Fake_platform {
    std::multimap<int64_t, std::function<void()>> at;
    void Sleep_ms(int ms) override {
        Fake_platform::Sleep_ms(ms);
        const int64_t t = Now();
        for (auto [i, end] = at.equal_range(t); i != end; ++i) i->second();
    }
    // What happens at a given millisecond is input to the main window: it
    // ends a wait there, as a scripted mouse state does.
    void Input_wait(int timeout_ms) override {
        const int64_t t = Now();
        int64_t until = t + std::max(timeout_ms, 1);
        const auto next = at.upper_bound(t);
        if (next != at.end()) until = std::min(until, next->first);
        {
            std::lock_guard lock(m);
            for (const Input_state& s : script)
                if (s.at > t) {
                    until = std::min(until, s.at);
                    break;
                }
        }
        Sleep_ms(int(until - t));
    }
};

struct Display_test : ::testing::Test {
    Timed_fake fake;

    void SetUp() override {
        Plat_install(&fake);
        Shell_listen();  // figures and route state reach the fake panel as in the program
        // Not where the Win32 frame of the default window would put it: the
        // cursor must be converted by the window, not by a fixed offset.
        fake.client_origin = {57, 211};
        fake.client_size = {140, 60};
        Stop_request = 0;
        Space_request = 0;
        Photo_shown = 0;
        Scale_flag = 1;
        std::lock_guard lock(Shown_lock);
        Photo_image = Image();
    }
    void TearDown() override {
        Tool_stop();
        Stop_request = 0;
        Space_request = 0;
        Photo_shown = 0;
        Scale_flag = 1;
        {
            std::lock_guard lock(Markers_lock);
            Base_data = {};
        }
        {
            std::lock_guard lock(Shown_lock);
            Map_image = Image();
            Photo_image = Image();
            Shown_map = Image();
        }
        Plat_install(nullptr);
    }

    // The route built as "ルート作成" builds it: the clean map with its
    // markers, the wave, the map restored.
    void Build(const Image& map, std::vector<Point> places, std::vector<Point> cong = {}) {
        // A press left in the script would end the wave.
        fake.script.clear();
        fake.now = 0;
        {
            std::lock_guard lock(Markers_lock);
            Base_data = {};
            Base_data.Evac_n = int32_t(places.size());
            for (size_t i = 0; i < places.size(); ++i) {
                Base_data.Evac_x[i] = places[i].x;
                Base_data.Evac_y[i] = places[i].y;
            }
            Base_data.Cong_n = int32_t(cong.size());
            for (size_t i = 0; i < cong.size(); ++i) {
                Base_data.Cong_x[i] = cong[i].x;
                Base_data.Cong_y[i] = cong[i].y;
            }
        }
        {
            std::lock_guard lock(Shown_lock);
            Map_image = map;
        }
        Map_restore();
        ASSERT_EQ(Route_build(), 0);
        base = Shown();
        fake.control_text.clear();
    }

    static Image Shown() {
        std::lock_guard lock(Shown_lock);
        return Shown_map;
    }
    // The picture with the route from a pixel painted as the display paints it.
    static Image With_route(Image img, Point from, int two_places) {
        Route_path path;
        EXPECT_TRUE(Route_trace(from.x, from.y, two_places, Rec_count.load(), path));
        for (int w = 0; w < 2; ++w)
            for (Point p : path.pixels[w]) Route_square(img, 3, p.x, p.y, w == 0 ? Cyan : Yellow);
        return img;
    }
    void Cursor(int64_t t, Point client, unsigned keys = 0) { fake.Input_at(t, fake.Client_to_screen(client), keys); }
    void Click(int64_t t, Point client) {
        Cursor(t, client, Fake_left);
        Cursor(t + 20, client);
    }
    std::vector<std::string> Fields() {
        return {fake.control_text[Id_distance], fake.control_text[Id_steps], fake.control_text[Id_minutes],
                fake.control_text[Id_calories]};
    }
    static std::vector<std::string> Figures(int32_t count, int scale) {
        const Walk_figures f = Walk_stats_texts(count, scale);
        return {f.distance, f.steps, f.minutes, f.calories};
    }
    // Runs the display as the control panel would, on this thread; the
    // virtual millisecond at which it ended.
    int64_t Run() {
        Route_check();
        return fake.Now();
    }

    Image base;  // the shown map after the route was built
};

const std::vector<std::string> No_figures = {"", "", "", ""};

// --- The route and its figures ---------------------------------------------

TEST_F(Display_test, RouteCountAndFigures) {
    Build(Street(), {{15, 30}});
    struct Case {
        Point at;
        int scale;
        std::vector<std::string> fields;
    } const cases[] = {
        {{24, 30}, 1, No_figures},                  // 10 pixels: drawn, no figures
        {{25, 30}, 1, Figures(11, 1)},              // 11 pixels: Walk_stats(11)
        {{25, 30}, 0, {"11", "17", "0.16", "0.45"}},
        {{114, 30}, 0, {"100", "160", "1.43", "4.13"}},
        {{16, 30}, 1, No_figures},                  // beside the place: 2 pixels
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.at.x << ", " << c.at.y << ") scale " << c.scale);
        Map_compose();
        fake.script.clear();
        fake.now = 0;
        fake.control_text.clear();
        Scale_flag = c.scale;
        Cursor(0, {-30, -30});  // on the control panel, off the map
        Cursor(10, c.at);
        Click(50, c.at);
        EXPECT_EQ(Run(), 50);
        EXPECT_EQ(fake.main_caption, "終了は、マウス左クリック");
        Image want = base;
        for (int32_t x = 15; x <= c.at.x; ++x) Route_square(want, 3, x, 30, Cyan);
        EXPECT_TRUE(Shown().px == want.px);
        EXPECT_EQ(Fields(), c.fields);
    }
}

TEST_F(Display_test, TwoPlacesDrawEachRouteInItsWavesColour) {
    // Places at both ends of the row: (70, 30) lies 55 steps from each and
    // goes to the first wave, whose node reaches it first.
    Build(Street(), {{15, 30}, {125, 30}});
    struct Case {
        Point at;
        uint32_t colour;
        int32_t from_x, to_x, count;
    } const cases[] = {
        {{40, 30}, Cyan, 15, 40, 26},
        {{100, 30}, Yellow, 100, 125, 26},
        {{70, 30}, Cyan, 15, 70, 56},
        {{71, 30}, Yellow, 71, 125, 55},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.at.x << ", " << c.at.y << ")");
        Map_compose();
        fake.script.clear();
        fake.now = 0;
        fake.control_text.clear();
        Cursor(0, {-30, -30});
        Cursor(10, c.at);
        Click(50, c.at);
        EXPECT_EQ(Run(), 50);
        Image want = base;
        for (int32_t x = c.from_x; x <= c.to_x; ++x) Route_square(want, 3, x, 30, c.colour);
        EXPECT_TRUE(Shown().px == want.px);
        EXPECT_EQ(Fields(), Figures(c.count, 1));
    }
}

TEST_F(Display_test, ThePlacesOwnPixelKeepsTheRouteWithOnePlaceOnly) {
    struct Case {
        const char* name;
        std::vector<Point> places;
        bool kept;
    } const cases[] = {
        {"one place", {{15, 30}}, true},
        {"two places", {{15, 30}, {125, 30}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Build(Street(), c.places);
        fake.script.clear();
        fake.now = 0;
        Cursor(0, {-30, -30});
        Cursor(10, {40, 30});
        Cursor(100, {15, 30});
        Click(200, {15, 30});
        EXPECT_EQ(Run(), 200);
        const Image want = c.kept ? With_route(base, {40, 30}, 0) : With_route(base, {15, 30}, 2);
        EXPECT_TRUE(Shown().px == want.px);
        // A route of one pixel never shows figures: the last ones stay.
        EXPECT_EQ(Fields(), Figures(26, 1));
    }
}

// --- One route at a time ---------------------------------------------------

TEST_F(Display_test, MovingOnTakesThePreviousRouteBack) {
    // A congestion point on the branch: its colour must come back exactly.
    Build(Street(), {{15, 30}}, {{60, 42}});
    ASSERT_EQ(base.get(60, 42), Colour_cong);
    std::map<int64_t, Image> seen;
    for (int64_t t : {90, 190, 290}) fake.at.emplace(t, [&seen, t] { seen[t] = Shown(); });
    Cursor(0, {-30, -30});
    Cursor(10, {60, 45});
    Cursor(100, {60, 50});
    Cursor(200, {30, 20});  // off the road: the route stays
    Cursor(250, {30, 30});
    Click(300, {30, 30});
    EXPECT_EQ(Run(), 300);
    EXPECT_TRUE(seen[90].px == With_route(base, {60, 45}, 0).px);
    EXPECT_TRUE(seen[190].px == With_route(base, {60, 50}, 0).px);
    EXPECT_TRUE(seen[290].px == With_route(base, {30, 30}, 0).px);
    EXPECT_TRUE(Shown().px == seen[290].px);  // the last route stays after the end
    EXPECT_GT(fake.refreshes, 0);
}

TEST(Route_square, PaintsAndTakesBackExactly) {
    Image img(6, 5, White);
    img.set(1, 1, Land);
    Paint_log log;
    Route_square(img, 3, 0, 0, Cyan, &log);  // clipped to (0..1, 0..1)
    EXPECT_EQ(log.writes.size(), 4u);
    Route_square(img, 3, 1, 1, Yellow, &log);  // overlaps the first block
    EXPECT_EQ(img.get(1, 1), Yellow);
    EXPECT_EQ(img.get(2, 2), Yellow);
    EXPECT_EQ(img.get(3, 3), White);
    img.set(2, 2, Land);  // painted over by someone else meanwhile
    Route_unpaint(img, log);
    EXPECT_TRUE(log.writes.empty());
    Image want(6, 5, White);
    want.set(1, 1, Land);
    want.set(2, 2, Land);
    EXPECT_TRUE(img.px == want.px);

    // A surface of another size (a new map) is left as it is.
    Route_square(img, 3, 3, 3, Cyan, &log);
    Image other(4, 4, White);
    Route_unpaint(other, log);
    EXPECT_TRUE(log.writes.empty());
    EXPECT_EQ(other.get(3, 3), White);
}

// --- What ends the display -------------------------------------------------

TEST_F(Display_test, PressesAndStopRequestsEndItOnlyOnAReachedPixel) {
    Build(Street(), {{15, 30}});
    struct Case {
        const char* name;
        std::function<void()> script;
        int stop_request;
        int64_t end;
        Point route;  // the route shown at the end
    } const cases[] = {
        {"click on the road", [&] { Cursor(10, {40, 30}); Click(60, {40, 30}); }, 0, 60, {40, 30}},
        {"click beside the map, then onto a road",
         [&] {
             Cursor(10, {40, 30});
             Cursor(100, {40, 20});  // land
             Click(120, {40, 20});
             Cursor(140, {-30, -30});  // off the window
             Click(160, {-30, -30});
             Cursor(300, {50, 30});  // ends here, before drawing this route
             Click(2000, {50, 30});
         },
         0, 300, {40, 30}},
        // A stop is seen at the next look: one wait (500 ms) after the cursor reached the road.
        {"stop request on the road", [&] { Cursor(10, {40, 30}); Click(2000, {40, 30}); }, 1, 510, {40, 30}},
        {"stop request off the road",
         [&] {
             Cursor(10, {40, 20});
             Cursor(400, {45, 30});
             Click(2000, {45, 30});
         },
         1, 900, {45, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Map_compose();
        fake.script.clear();
        fake.now = 0;
        Cursor(0, {-30, -30});
        c.script();
        Stop_request = c.stop_request;
        EXPECT_EQ(Run(), c.end);
        EXPECT_TRUE(Shown().px == With_route(base, c.route, 0).px);
        EXPECT_EQ(Stop_request.load(), c.stop_request);  // only read
    }
}

// --- Space -----------------------------------------------------------------

TEST_F(Display_test, SpaceWithoutAnAerialPicture) {
    Build(Street(), {{15, 30}});
    // A route left by an earlier use of the display.
    Image earlier = With_route(base, {100, 30}, 0);
    {
        std::lock_guard lock(Shown_lock);
        Shown_map = earlier;
    }
    std::map<int64_t, Image> seen;
    for (int64_t t : {90, 190, 290}) fake.at.emplace(t, [&seen, t] { seen[t] = Shown(); });
    fake.at.emplace(100, [] { Space_request = 1; });
    fake.at.emplace(200, [] { Space_request = 1; });
    Cursor(0, {-30, -30});
    Cursor(10, {40, 30});
    Click(300, {40, 30});
    EXPECT_EQ(Run(), 300);
    const Image route_on_earlier = With_route(earlier, {40, 30}, 0);
    EXPECT_TRUE(seen[90].px == route_on_earlier.px);
    EXPECT_TRUE(seen[190].px == route_on_earlier.px);   // the first press shows nothing new
    EXPECT_TRUE(seen[290].px == With_route(base, {40, 30}, 0).px);  // map and markers again
    EXPECT_EQ(seen[190].get(80, 30), Cyan);  // the earlier route stayed until then
    EXPECT_EQ(Space_request.load(), 0);
    EXPECT_EQ(Photo_shown.load(), 0);
}

TEST_F(Display_test, SpaceSwitchesToTheAerialPictureAndBack) {
    Build(Street(), {{15, 30}});
    Image photo(140, 60, Rgb(30, 90, 40));
    Fill(photo, 0, 0, 140, 5, Rgb(200, 10, 10));
    {
        std::lock_guard lock(Shown_lock);
        Photo_image = photo;
    }
    std::map<int64_t, Image> seen;
    for (int64_t t : {190, 290}) fake.at.emplace(t, [&seen, t] { seen[t] = Shown(); });
    fake.at.emplace(100, [] { Space_request = 1; });
    fake.at.emplace(150, [] { Space_request = 1; });  // off the road: waits for a reached pixel
    Cursor(0, {-30, -30});
    Cursor(10, {40, 30});
    Cursor(120, {40, 20});
    Cursor(180, {40, 30});
    Cursor(250, {50, 30});
    Click(300, {50, 30});
    EXPECT_EQ(Run(), 300);
    EXPECT_TRUE(seen[190].px == With_route(base, {40, 30}, 0).px);  // second press: the map again
    EXPECT_EQ(Photo_shown.load(), 0);

    // Photo_shown outlives a use: end with the aerial picture shown, and the
    // first press of the next use brings the map back.
    fake.at.clear();
    fake.script.clear();
    fake.now = 0;
    fake.at.emplace(100, [] { Space_request = 1; });
    fake.at.emplace(190, [&seen] { seen[190] = Shown(); });
    Cursor(0, {-30, -30});
    Cursor(10, {40, 30});
    Cursor(150, {50, 30});
    Click(200, {50, 30});
    EXPECT_EQ(Run(), 200);
    EXPECT_TRUE(seen[190].px == With_route(photo, {50, 30}, 0).px);  // the route moved on over the picture
    EXPECT_EQ(Photo_shown.load(), 1);

    fake.at.clear();
    fake.script.clear();
    fake.now = 0;
    fake.at.emplace(100, [] { Space_request = 1; });
    Cursor(0, {-30, -30});
    Cursor(10, {60, 30});
    Click(200, {60, 30});
    EXPECT_EQ(Run(), 200);
    EXPECT_TRUE(Shown().px == With_route(base, {60, 30}, 0).px);
    EXPECT_EQ(Photo_shown.load(), 0);
}

// --- On the tool slot ------------------------------------------------------

TEST_F(Display_test, ThePanelStartsItOnTheToolSlot) {
    Build(Street(), {{15, 30}, {125, 30}});
    Rec_count = 7;  // whatever a flood or an earlier run left
    Cursor(0, {-30, -30});
    Cursor(10, {100, 30});
    Click(200, {100, 30});
    EXPECT_EQ(Panel_command(Id_route_check), 0);
    EXPECT_TRUE(fake.enabled.at(Id_route_check));
    EXPECT_FALSE(fake.enabled.at(Id_route_build));
    ASSERT_TRUE(Tool_wait(5000));
    EXPECT_NE(Tool_thread, nullptr);  // ended by itself
    EXPECT_EQ(Rec_count.load(), Base_data.Road_rec_total);
    EXPECT_EQ(fake.main_caption, "終了は、マウス左クリック");
    EXPECT_TRUE(Shown().px == With_route(base, {100, 30}, 2).px);  // yellow: the second wave
    EXPECT_EQ(Fields(), Figures(26, 1));
}

TEST_F(Display_test, WithoutRecordsItWaitsUntilTheSlotStopsIt) {
    Build(Street(), {{15, 30}});
    {
        std::lock_guard lock(Markers_lock);
        Base_data.Road_rec_total = 0;
    }
    Cursor(0, {40, 30});
    Cursor(10, {50, 30});
    Click(50, {50, 30});
    Route_check_start();
    ASSERT_TRUE(fake.Wait_for([&] { return fake.now > 200; }));
    EXPECT_FALSE(Tool_idle());
    Tool_stop();
    EXPECT_EQ(Tool_thread, nullptr);
    EXPECT_TRUE(Shown().px == base.px);
}

TEST_F(Display_test, AFloodForgetsTheRouteIndex) {
    Build(Street(), {{15, 30}});
    Route_index_build(Rec_count.load());
    ASSERT_GE(Route_index_count(), 0);
    Stop_request = 1;  // the fill clears the tables, then stops at once
    EXPECT_EQ(Maze_map(60, 41), 1);
    EXPECT_EQ(Route_index_count(), -1);
}

}  // namespace
