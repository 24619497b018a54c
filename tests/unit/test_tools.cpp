// The marking tools against the scripted fake: where a click counts, the set
// limits, deletion by colour and distance, clicks beside the map; the tool
// slot (start, stop in the middle, a tool ending itself); and the control
// panel buttons that start and end tools.
//
// Most bodies run straight on the test thread: virtual time moves only with
// their own sleeps, so a script plays identically on every run. The slot
// tests run real tool threads and wait on the fake or on Tool_wait.
#include <gtest/gtest.h>

#include "app/records.h"

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "app/panel.h"
#include "app/shell.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/fake/fake_platform.h"

namespace {

constexpr uint32_t Building = Rgb(242, 239, 233);  // never road
constexpr uint32_t Route_colour = Rgb(0, 255, 255);

struct Counts {
    int32_t evac, cong, nopass;
    bool operator==(const Counts&) const = default;
};

Counts Now_counts() {
    std::lock_guard lock(Markers_lock);
    return {Base_data.Evac_n, Base_data.Cong_n, Base_data.Nopass_n};
}

struct Tools_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;

    // A white 200 x 150 map with one building block at (100..139, 60..99).
    void SetUp() override {
        Records_reset();
        Map_image = Image(200, 150);
        for (int32_t y = 60; y < 100; ++y)
            for (int32_t x = 100; x < 140; ++x) Map_image.set(x, y, Building);
        Shown_map = Map_image;
        fake.client_size = {200, 150};
        Stop_request = 0;
        Panel_state = 0;
    }
    void TearDown() override {
        Tool_stop();
        Records_reset();
    }

    Point Screen(Point client) const { return fake.Client_to_screen(client); }
    void Add_cong(Point p) {
        Base_data.Cong_x[Base_data.Cong_n] = p.x;
        Base_data.Cong_y[Base_data.Cong_n] = p.y;
        ++Base_data.Cong_n;
    }
    // The cursor rests beside a, moves onto it at 150, the left button is
    // held there from 250 to 400, and the right button ends the tool at 700.
    // Every tool sees the press, the evacuation tool too (its passes fall at
    // 100, 200, 300, ...: the move is seen before the press).
    void Tap_script(Point a, bool end_with_right = true) {
        fake.Input_at(0, Screen({a.x, a.y + 5}), 0);
        fake.Input_at(150, Screen(a), 0);
        fake.Input_at(250, Screen(a), Fake_left);
        fake.Input_at(400, Screen(a), 0);
        if (end_with_right) {
            fake.Input_at(700, Screen(a), Fake_right);
            fake.Input_at(800, Screen(a), 0);
        } else {
            fake.Input_at(50000, Screen(a), Fake_right);  // only if the tool failed to end
        }
    }
    bool Route_reported_stale() const {
        return fake.enabled.count(Id_route_build) && fake.enabled.at(Id_route_build) &&
               fake.enabled.count(Id_route_check) && !fake.enabled.at(Id_route_check);
    }
};

struct Body_case {
    const char* name;
    void (*body)();
};

// --- Where a click counts ------------------------------------------------

TEST_F(Tools_test, ThePressPositionDecidesNotTheRelease) {
    struct Case {
        const char* name;
        void (*body)();
        Point press, release;
        Counts after;
        size_t boxes;
    } const cases[] = {
        {"cong, road then building", Cong_tool, {50, 50}, {120, 80}, {0, 2, 0}, 0},
        {"cong, building then road", Cong_tool, {120, 80}, {50, 50}, {0, 1, 0}, 1},
        {"nopass, road then building", Nopass_tool, {50, 50}, {120, 80}, {0, 1, 1}, 0},
        {"delete, marker then road", Delete_tool, {60, 20}, {50, 50}, {0, 0, 0}, 0},
        {"delete, road then marker", Delete_tool, {50, 50}, {60, 20}, {0, 1, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Add_cong({60, 20});
        Map_compose();
        fake.script.clear();
        fake.now = 0;
        fake.boxes.clear();
        fake.Input_at(100, Screen(c.press), Fake_left);
        fake.Input_at(150, Screen(c.release), Fake_left);  // dragged while held
        fake.Input_at(200, Screen(c.release), 0);
        fake.Input_at(400, Screen(c.release), Fake_right);
        c.body();
        EXPECT_EQ(Now_counts(), c.after);
        ASSERT_EQ(fake.boxes.size(), c.boxes);
        if (c.boxes == 1) {
            EXPECT_EQ(fake.boxes[0].text, "設定が道路以外のようです。");
            EXPECT_EQ(fake.boxes[0].caption, "確認");
            EXPECT_EQ(fake.boxes[0].style, Box_ok);
            EXPECT_EQ(fake.boxes[0].owner, Owner_main);
        }
        if (c.after.cong == 2) {
            EXPECT_EQ(Base_data.Cong_x[1], 50);
            EXPECT_EQ(Base_data.Cong_y[1], 50);
            EXPECT_EQ(Shown_map.get(50, 50), Colour_cong);
            EXPECT_EQ(Shown_map.get(120, 80), Building);
        }
        if (c.after.nopass == 1) {
            EXPECT_EQ(Shown_map.get(50, 50), Colour_nopass);
        }
    }
}

TEST_F(Tools_test, RightPressEndsEveryToolAndKeepsWhatWasSet) {
    struct Case {
        Body_case tool;
        Counts after;
        const char* caption;
    } const cases[] = {
        {{"evac", Evac_tool}, {1, 1, 0}, "避難場所セット終了"},
        {{"cong", Cong_tool}, {0, 2, 0}, "マウス左クリックでセット、右クリックでセット終了"},
        {{"nopass", Nopass_tool}, {0, 1, 1}, "マウス左クリックでセット、右クリックでセット終了"},
        {{"delete", Delete_tool}, {0, 1, 0}, "マウス左クリックでセット、右クリックでセット終了"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool.name);
        SetUp();
        Add_cong({20, 20});
        fake.script.clear();
        fake.now = 0;
        Tap_script({50, 50});
        c.tool.body();
        EXPECT_GE(fake.Now(), 700);
        EXPECT_LT(fake.Now(), 800);
        EXPECT_EQ(Now_counts(), c.after);
        EXPECT_EQ(Base_data.Cong_x[0], 20);
        EXPECT_EQ(fake.main_caption, c.caption);
        EXPECT_EQ(fake.panel_caption, c.caption);
        EXPECT_TRUE(fake.boxes.empty());
    }
    EXPECT_EQ(Base_data.Evac_n, 0);  // SetUp cleared the last case's set
}

TEST_F(Tools_test, ClicksBesideTheMapAreIgnoredSilently) {
    // A window over the map hides client (40..69, 40..69); (-3, 50) lies left
    // of the client area, where the map reads as pure white.
    fake.covers = {{Screen({40, 40}), Screen({70, 70})}};
    struct Case {
        Body_case tool;
        Point at;
    } const cases[] = {
        {{"evac under a window", Evac_tool}, {50, 50}},   {{"evac beside", Evac_tool}, {-3, 50}},
        {{"cong under a window", Cong_tool}, {50, 50}},   {{"cong beside", Cong_tool}, {-3, 50}},
        {{"nopass under a window", Nopass_tool}, {50, 50}}, {{"nopass beside", Nopass_tool}, {-3, 50}},
        {{"delete under a window", Delete_tool}, {50, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool.name);
        SetUp();
        Add_cong({50, 50});  // a marker under the window, for the deletion
        Map_compose();
        const Image before = Shown_map;
        fake.script.clear();
        fake.now = 0;
        fake.boxes.clear();
        Tap_script(c.at);
        c.tool.body();
        EXPECT_EQ(Now_counts(), (Counts{0, 1, 0}));
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_TRUE(Shown_map.px == before.px);
    }
}

// --- Limits ----------------------------------------------------------------

TEST_F(Tools_test, HundredthCongestionPointEndsTheToolWithoutAMessage) {
    for (int i = 0; i < 99; ++i) Add_cong({0, 0});
    Tap_script({50, 50}, false);
    Cong_tool();
    EXPECT_LT(fake.Now(), 1000);  // ended by the limit, not by the right button
    EXPECT_EQ(Base_data.Cong_n, 100);
    EXPECT_EQ(Base_data.Cong_x[99], 50);
    EXPECT_EQ(Shown_map.get(50, 50), Colour_cong);
    EXPECT_TRUE(fake.boxes.empty());

    // The button again: the tool ends at once.
    Panel_state = Panel_ready | Panel_map_captured;
    Panel_command(Id_cong);
    EXPECT_TRUE(Tool_wait(5000));
    EXPECT_EQ(Base_data.Cong_n, 100);
    EXPECT_EQ(fake.main_caption, Tool_caption);
}

// A tool left waiting looks twice a second; the evacuation-place tool looks
// at a moving cursor no more often than every 100 ms. Each look waits once.
TEST_F(Tools_test, AWaitingToolLooksTwiceASecondAndAMovingCursorEveryPause) {
    struct Case {
        Body_case tool;
        bool moving;
        int most_looks;
    } const cases[] = {
        {{"evac, at rest", Evac_tool}, false, 11},
        {{"cong, at rest", Cong_tool}, false, 11},
        {{"delete, at rest", Delete_tool}, false, 11},
        {{"evac, the cursor moving every 10 ms", Evac_tool}, true, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool.name);
        SetUp();
        fake.script.clear();
        fake.now = 0;
        fake.input_seen = 0;
        fake.input_waits = 0;
        for (int64_t t = 0; t < 5000; t += c.moving ? 10 : 5000)
            fake.Input_at(t, Screen({30 + int32_t(t / 10 % 50), 30}), 0);
        fake.Input_at(5000, Screen({30, 30}), Fake_right);
        fake.Input_at(5100, Screen({30, 30}), 0);
        c.tool.body();
        EXPECT_GE(fake.Now(), 5000);
        EXPECT_LT(fake.Now(), 5600);
        EXPECT_LE(fake.input_waits, c.most_looks);
        EXPECT_GE(fake.input_waits, 9);
    }
}

TEST_F(Tools_test, SecondEvacuationPlaceEndsTheTool) {
    Base_data.Evac_x[0] = 20;
    Base_data.Evac_y[0] = 20;
    Base_data.Evac_n = 1;
    Tap_script({50, 50}, false);
    Evac_tool();
    EXPECT_LT(fake.Now(), 1000);
    EXPECT_EQ(Base_data.Evac_n, 2);
    EXPECT_EQ(Base_data.Evac_x[1], 50);
    EXPECT_EQ(Base_data.Evac_y[1], 50);
    EXPECT_EQ(Shown_map.get(50, 50), Colour_place_mark);
    EXPECT_EQ(fake.main_caption, "避難場所セット終了");
    EXPECT_EQ(fake.panel_caption, "避難場所セット終了");
    EXPECT_EQ(Stop_request.load(), 0);
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(Tools_test, EvacuationToolReadsTheColourOnlyAfterTheCursorMoved) {
    const Point a{30, 30}, building{120, 80}, b{50, 50};
    fake.Input_at(0, Screen(a), 0);
    fake.Input_at(150, Screen(a), Fake_left);  // seen at 200, before any move: nothing
    fake.Input_at(250, Screen(a), 0);
    fake.Input_at(280, Screen(building), 0);   // the move is seen at 300
    fake.Input_at(350, Screen(building), Fake_left);  // seen at 400: not road, no message
    fake.Input_at(450, Screen(building), 0);
    fake.Input_at(470, Screen(b), 0);          // seen at 500
    fake.Input_at(550, Screen(b), Fake_left);  // seen at 600: the first place
    fake.Input_at(650, Screen(b), 0);
    fake.Input_at(700, Screen(b), Fake_left);  // seen at 750, not moved: the second place
    fake.Input_at(900, Screen(b), 0);
    fake.Input_at(50000, Screen(b), Fake_right);
    Evac_tool();
    EXPECT_EQ(Base_data.Evac_n, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Base_data.Evac_x[i], b.x);
        EXPECT_EQ(Base_data.Evac_y[i], b.y);
    }
    EXPECT_LT(fake.Now(), 1100);
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(Tools_test, StopRequestEndsTheEvacuationTool) {
    Tool_start(Evac_tool);
    // Past its first pause the tool has cleared the flag; raise it now.
    ASSERT_TRUE(fake.Wait_for([&] { return fake.now >= 100; }));
    Stop_request = 1;
    ASSERT_TRUE(Tool_wait(5000));
    EXPECT_EQ(Stop_request.load(), 0);
    EXPECT_EQ(fake.main_caption, Evac_end_caption);
}

// --- Deletion ----------------------------------------------------------------

TEST_F(Tools_test, NearestEntryKeepsTheLowerIndexAndIgnoresTheFar) {
    struct Case {
        const char* name;
        std::vector<Point> points;
        Point click;
        int32_t expect;
    } const cases[] = {
        {"empty set", {}, {5, 5}, -1},
        {"nearest of three", {{0, 0}, {10, 10}, {4, 4}}, {5, 5}, 2},
        {"equal distance", {{10, 0}, {0, 10}}, {0, 0}, 0},
        {"equal after truncation (1.41 and 1)", {{1, 1}, {1, 0}}, {0, 0}, 0},
        {"9999 away", {{9999, 0}}, {0, 0}, 0},
        {"10000 away", {{10000, 0}}, {0, 0}, -1},
        {"far then near", {{20000, 0}, {3, 4}}, {0, 0}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int32_t> xs, ys;
        for (Point p : c.points) {
            xs.push_back(p.x);
            ys.push_back(p.y);
        }
        EXPECT_EQ(Nearest_entry(xs.data(), ys.data(), int32_t(xs.size()), c.click.x, c.click.y), c.expect);
    }
}

TEST_F(Tools_test, DeletionRemovesTheNearestEntryOfTheClickedSetInOrder) {
    struct Case {
        const char* name;
        std::vector<Point> points;
        Point click;
        std::vector<Point> after;
    } const cases[] = {
        // The squares of the first two overlap at x = 46: the nearer centre goes.
        {"overlap", {{40, 40}, {52, 40}, {100, 20}}, {47, 40}, {{40, 40}, {100, 20}}},
        {"tie keeps the lower index", {{46, 40}, {40, 40}}, {43, 40}, {{40, 40}}},
        {"order kept", {{100, 20}, {40, 40}, {60, 110}}, {40, 40}, {{100, 20}, {60, 110}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        for (Point p : c.points) Add_cong(p);
        Map_compose();
        fake.script.clear();
        fake.now = 0;
        fake.Click_client_at(100, c.click);
        fake.Input_at(300, Screen(c.click), Fake_right);
        Delete_tool();
        ASSERT_EQ(Base_data.Cong_n, int32_t(c.after.size()));
        for (size_t i = 0; i < c.after.size(); ++i) {
            EXPECT_EQ(Base_data.Cong_x[i], c.after[i].x) << i;
            EXPECT_EQ(Base_data.Cong_y[i], c.after[i].y) << i;
        }
    }
}

TEST_F(Tools_test, DeletionRestoresTheMapAndRepaintsEveryMarker) {
    Add_cong({40, 40});
    Add_cong({60, 20});
    Base_data.Nopass_x[0] = 40;
    Base_data.Nopass_y[0] = 120;
    Base_data.Nopass_n = 1;
    Map_compose();
    Shown_map.set(150, 130, Route_colour);            // a route shown
    Shown_map.set(20, 130, Colour_place_mark);        // a stray placement mark
    Image expect = Map_image;
    Marker_paint(expect, Marker_size, 40, 40, Kind_cong);
    Marker_paint(expect, Marker_size, 40, 120, Kind_nopass);
    fake.Click_client_at(100, {60, 20});
    fake.Input_at(300, Screen({60, 20}), Fake_right);
    Delete_tool();
    EXPECT_EQ(Base_data.Cong_n, 1);
    EXPECT_TRUE(Shown_map.px == expect.px);
    EXPECT_GE(fake.refreshes, 1);
}

TEST_F(Tools_test, DeletionClickOnAnotherColourDoesNothing) {
    struct Case {
        const char* name;
        uint32_t colour;
        int32_t evac_n;
    } const cases[] = {
        {"evacuation colour, no places set", Colour_evac, 0},
        {"placement mark", Colour_place_mark, 1},
        {"road", Colour_white, 1},
        {"building", Building, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Base_data.Evac_x[0] = 30;
        Base_data.Evac_y[0] = 30;
        Base_data.Evac_n = c.evac_n;
        Shown_map.set(30, 30, c.colour);
        Shown_map.set(150, 130, Route_colour);
        const Image before = Shown_map;
        fake.script.clear();
        fake.now = 0;
        fake.refreshes = 0;
        fake.Click_client_at(100, {30, 30});
        fake.Input_at(300, Screen({30, 30}), Fake_right);
        Delete_tool();
        EXPECT_EQ(Base_data.Evac_n, c.evac_n);
        EXPECT_TRUE(Shown_map.px == before.px);
        EXPECT_EQ(fake.refreshes, 0);
    }
}

// --- Change tracking -----------------------------------------------------------

TEST_F(Tools_test, ChangeReportsAndAnUndoingChangeDoesNot) {
    Markers_snapshot(0);
    fake.Click_client_at(100, {120, 80});  // a building: refused, nothing changes
    fake.Click_client_at(200, {50, 50});
    fake.Input_at(400, Screen({50, 50}), Fake_right);
    fake.Input_at(450, Screen({50, 50}), 0);
    Cong_tool();
    ASSERT_EQ(Base_data.Cong_n, 1);
    EXPECT_TRUE(Route_reported_stale());

    // Deleting the point again gives the snapshot's sets: no new report, and
    // the earlier one stands.
    fake.enabled.clear();
    fake.now = 500;  // the right button is up again
    fake.Click_client_at(600, {50, 50});
    fake.Input_at(800, Screen({50, 50}), Fake_right);
    Delete_tool();
    EXPECT_EQ(Base_data.Cong_n, 0);
    EXPECT_TRUE(fake.enabled.empty());
}

// --- The tool slot ---------------------------------------------------------------

TEST_F(Tools_test, StopWhileWaitingForTheReleaseAddsNothing) {
    fake.Click_client_at(100, {50, 50});
    fake.Input_at(300, Screen({70, 30}), Fake_left);  // held for good
    Tool_start(Cong_tool);
    ASSERT_TRUE(fake.Wait_for([&] {
        std::lock_guard lock(Markers_lock);
        return Base_data.Cong_n == 1 && fake.now > 400;
    }));
    Tool_stop();
    EXPECT_EQ(Tool_thread, nullptr);
    EXPECT_EQ(Now_counts(), (Counts{0, 1, 0}));
    EXPECT_EQ(Shown_map.get(70, 30), Colour_white);
}

TEST_F(Tools_test, StopWhileTheToolWaitsInItsMessageBox) {
    fake.hold_boxes = true;
    fake.Click_client_at(100, {120, 80});
    Tool_start(Nopass_tool);
    ASSERT_TRUE(fake.Wait_for([&] { return fake.boxes.size() == 1; }));
    Tool_stop();
    EXPECT_EQ(Tool_thread, nullptr);
    EXPECT_EQ(Now_counts(), (Counts{0, 0, 0}));
}

std::atomic<int> Probe_ends{0};
void Probe_body() {
    while (!Tool_stopping()) Plat().Sleep_ms(1);
    ++Probe_ends;
}

TEST_F(Tools_test, EachStartEndsThePreviousToolFirst) {
    Probe_ends = 0;
    Tool_start(Probe_body);
    Tool_start(Probe_body);
    EXPECT_EQ(Probe_ends.load(), 1);
    EXPECT_NE(Tool_thread, nullptr);
    EXPECT_FALSE(Tool_idle());
    Tool_stop();
    EXPECT_EQ(Probe_ends.load(), 2);
    EXPECT_EQ(Tool_thread, nullptr);
    Tool_stop();  // nothing recorded: returns at once
}

TEST_F(Tools_test, ToolEndingItselfStaysRecordedUntilTheNextStop) {
    fake.Input_at(100, {0, 0}, Fake_right);
    Tool_start(Delete_tool);
    ASSERT_TRUE(Tool_wait(5000));
    EXPECT_NE(Tool_thread, nullptr);  // the finished thread
    EXPECT_TRUE(Tool_idle());
    Panel_command(Id_save);
    EXPECT_EQ(Tool_thread, nullptr);
    // The next start finds nothing to end and proceeds.
    Tool_start(Cong_tool);
    EXPECT_TRUE(Tool_wait(5000));  // the right button is still down
}

// A platform whose panel caption blocks until released, as a window call does
// when it needs the very thread that waits in Tool_stop.
struct Blocking_fake : Fake_platform {
    std::atomic<bool> block{true}, entered{false};
    void Set_panel_caption(const std::string& text) override {
        entered = true;
        while (block) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Fake_platform::Set_panel_caption(text);
    }
};

bool Real_wait(const std::function<bool()>& pred) {
    for (int i = 0; i < 5000 && !pred(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return pred();
}

TEST_F(Tools_test, StuckToolIsLeftToEndByItself) {
    Blocking_fake stuck;
    Plat_install(&stuck);
    const int patience = Tool_stop_patience_ms;
    Tool_stop_patience_ms = 50;
    Tool_start(Cong_tool);
    ASSERT_TRUE(Real_wait([&] { return stuck.entered.load(); }));
    Tool_record* old = Tool_thread;
    Tool_stop();
    EXPECT_EQ(Tool_thread, nullptr);
    EXPECT_FALSE(old->done);
    stuck.block = false;
    EXPECT_TRUE(Real_wait([&] { return old->done.load(); }));
    EXPECT_EQ(Now_counts(), (Counts{0, 0, 0}));
    Tool_stop_patience_ms = patience;
    Plat_install(&fake);
}

// --- Control panel buttons ---------------------------------------------------

TEST_F(Tools_test, PanelButtonsSnapshotStartTheirToolAndEnableState11) {
    struct Case {
        int id;
        Counts after;
    } const cases[] = {
        {Id_evac, {1, 0, 0}},
        {Id_cong, {0, 1, 0}},
        {Id_nopass, {0, 0, 1}},
        {Id_delete, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        SetUp();
        fake.script.clear();
        fake.enabled.clear();
        {
            std::lock_guard lock(fake.m);
            fake.now = 0;
        }
        Panel_state = Panel_ready | Panel_map_captured;
        Base_snapshot.Cong_n = 7;  // stale: the button must take a fresh one
        Tap_script({50, 50});
        Panel_command(c.id);
        EXPECT_EQ(Base_snapshot.Cong_n, 0);
        ASSERT_TRUE(Tool_wait(5000));
        for (int id : {1, 2, 3, 4, 7, 8, 9, 10}) EXPECT_TRUE(fake.enabled.at(id)) << id;
        EXPECT_EQ(Now_counts(), c.after);
        EXPECT_EQ(Route_reported_stale(), c.id != Id_delete);
        Tool_stop();
    }
}

TEST_F(Tools_test, EvacuationButtonDoesNothingWithTwoPlaces) {
    Panel_state = Panel_ready | Panel_map_captured;
    Base_data.Evac_n = 2;
    Base_snapshot.Cong_n = 7;
    Panel_command(Id_evac);
    EXPECT_EQ(Tool_thread, nullptr);
    EXPECT_EQ(Base_snapshot.Cong_n, 7);
    EXPECT_TRUE(fake.enabled.empty());
}

TEST_F(Tools_test, SaveAndLoadEndTheRunningTool) {
    for (int id : {Id_save, Id_load}) {
        SCOPED_TRACE(id);
        Panel_state = Panel_ready | Panel_map_captured;
        Panel_command(Id_cong);
        ASSERT_TRUE(fake.Wait_for([&] { return fake.panel_caption == Tool_caption; }));
        EXPECT_FALSE(Tool_idle());
        Panel_command(id);
        EXPECT_EQ(Tool_thread, nullptr);
        EXPECT_TRUE(Tool_idle());
    }
}

}  // namespace
