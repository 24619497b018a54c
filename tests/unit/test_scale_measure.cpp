// The map scale measured on the map: the length typed read as metres, the
// scale of a bar, the tool's two clicks and question on the scripted fake,
// the scale named on the panel, used by the walking figures, kept with the
// work (saved, loaded, unsaved until saved) and cleared by the panel's
// 100 m / 200 m.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "app/panel.h"
#include "app/scale_measure.h"
#include "app/shell.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/fake/fake_platform.h"
#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "storage/base_tail.h"
#include "storage/data_files.h"
#include "storage/data_folder.h"
#include "temp_folder.h"

namespace {

constexpr uint32_t White = Rgb(255, 255, 255);
constexpr uint32_t Grey = Rgb(200, 200, 200);

TEST(Scale_length, ReadAsTyped) {
    struct Case {
        const char* text;
        double metres;  // 0: refused
    } cases[] = {
        {"100", 100},        {"１００", 100},       {" 250 m ", 250},     {"\u3000５０ｍ\u3000", 50},
        {"1km", 1000},       {"0.5 ｋｍ", 500},     {"300メートル", 300}, {"2キロ", 2000},
        {"12.5", 12.5},      {"1000000", 1000000},
        {"", 0},             {"0", 0},              {"-5", 0},            {"abc", 0},
        {"1.2.3", 0},        {"100 feet", 0},       {"m", 0},             {"1000001", 0},
        {".", 0},            {"100 m 2", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        double out = -1;
        const std::string why = Scale_length_parse(c.text, out);
        if (c.metres > 0) {
            EXPECT_EQ(why, "");
            EXPECT_DOUBLE_EQ(out, c.metres);
        } else {
            EXPECT_EQ(why, Scale_length_error);
            EXPECT_EQ(out, -1);
        }
    }
}

TEST(Scale_bar, MetresPerPixelOfItsLength) {
    struct Case {
        Point a, b;
        double metres;
        double mpp;         // 0: refused
        const char* why;
    } cases[] = {
        {{10, 10}, {110, 10}, 50, 0.5, ""},
        {{10, 10}, {10, 210}, 500, 2.5, ""},
        {{0, 0}, {30, 40}, 100, 2.0, ""},               // a slanted bar counts its length
        {{110, 10}, {10, 10}, 50, 0.5, ""},             // clicked right end first
        {{10, 10}, {29, 10}, 50, 0, Scale_too_short_text},
        {{10, 10}, {10, 10}, 50, 0, Scale_too_short_text},
        {{0, 0}, {20, 0}, 20001, 0, Scale_too_coarse_text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.metres);
        double out = -1;
        EXPECT_EQ(Scale_of_bar(c.a, c.b, c.metres, out), c.why);
        EXPECT_DOUBLE_EQ(out, c.mpp > 0 ? c.mpp : -1);
    }
}

// A captured map: a street of white pixels on grey in the main window.
struct Scale_tool_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    Temp_folder working;
    std::string exe_before = Exe_folder;

    void SetUp() override {
        Exe_folder = working.str();
        Shell_start();
        Image map(400, 100, Grey);
        for (int32_t y = 48; y < 53; ++y)
            for (int32_t x = 10; x < 390; ++x) map.set(x, y, White);
        Base_record b{};
        b.Map_rect = {0, 0, map.w, map.h};
        {
            std::lock_guard lock(Markers_lock);
            Base_data = b;
        }
        {
            std::lock_guard lock(Shown_lock);
            Map_image = map;
            Shown_map = map;
        }
        Panel_init();
        Panel_enable(22);
        Work_mark_saved();
    }
    void TearDown() override {
        Tool_stop();
        Exe_folder = exe_before;
        Scale_flag = 1;
        std::lock_guard lock(Markers_lock);
        Base_data = Base_record{};
    }
    // Clicks at two map pixels, then the answers of the length box.
    void Measure(Point a, Point b, std::vector<std::optional<std::string>> answers) {
        for (auto& t : answers) fake.text_answers.push_back(t);
        fake.Click_client_at(100, a);
        fake.Click_client_at(300, b);
        Panel_command(Id_scale_measure);
        ASSERT_TRUE(Tool_wait(5000));
    }
    bool Shown_is_map() {
        std::lock_guard lock(Shown_lock);
        return Shown_map.px == Map_image.px;
    }
};

TEST_F(Scale_tool_test, TwoClicksAndALengthSetTheScale) {
    EXPECT_TRUE(fake.enabled[Id_scale_measure]);
    EXPECT_EQ(fake.control_text[Id_scale_text], "縮尺：1画素 = 2 m (200 m)");
    Measure({50, 20}, {250, 20}, {"１００ｍ"});
    EXPECT_DOUBLE_EQ(Scale_measured(), 0.5);
    ASSERT_EQ(fake.text_prompts.size(), 1u);
    EXPECT_EQ(fake.text_prompts[0], Scale_ask_prompt);
    EXPECT_EQ(fake.control_text[Id_scale_text], "縮尺：1画素 = 0.5 m (実測)");
    EXPECT_EQ(fake.panel_caption, "縮尺を設定しました：1画素 = 0.5 m (実測)");
    EXPECT_FALSE(fake.checked[Id_scale_100]);
    EXPECT_FALSE(fake.checked[Id_scale_200]);
    EXPECT_TRUE(fake.boxes.empty());
    // The marks of the clicks are gone from the map shown.
    EXPECT_TRUE(Shown_is_map());
    // The walking figures of 400 pixels at 0.5 m: 200 m.
    Walk_stats(400);
    EXPECT_EQ(fake.control_text[Id_distance], "200");
    EXPECT_EQ(fake.control_text[Id_minutes], "2.86");
    // A change of the work, until saved.
    EXPECT_TRUE(Work_unsaved());
}

TEST_F(Scale_tool_test, AWrongLengthIsAskedAgainAndCancelChangesNothing) {
    Measure({50, 20}, {250, 20}, {"abc", "200"});
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, Scale_length_error);
    EXPECT_EQ(fake.text_prompts.size(), 2u);
    EXPECT_DOUBLE_EQ(Scale_measured(), 1.0);

    // Measured again and cancelled: the scale before stays.
    fake.now = 0;
    fake.script.clear();
    Measure({50, 20}, {150, 20}, {std::nullopt});
    EXPECT_DOUBLE_EQ(Scale_measured(), 1.0);
    EXPECT_TRUE(Shown_is_map());
    EXPECT_EQ(fake.panel_caption, Help_default);
}

TEST_F(Scale_tool_test, ARightClickOrEndsTooCloseMeasureNothing) {
    // A right click before the second end.
    fake.Click_client_at(100, {50, 20});
    fake.Click_client_at(300, {250, 20}, Fake_right);
    Panel_command(Id_scale_measure);
    ASSERT_TRUE(Tool_wait(5000));
    EXPECT_TRUE(fake.text_prompts.empty());
    EXPECT_EQ(Scale_measured(), 0.0);
    EXPECT_TRUE(Shown_is_map());

    fake.now = 0;
    fake.script.clear();
    Measure({50, 20}, {55, 20}, {"100"});
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, Scale_too_short_text);
    EXPECT_TRUE(fake.text_prompts.empty());
    EXPECT_EQ(Scale_measured(), 0.0);
    EXPECT_FALSE(Work_unsaved());
}

TEST_F(Scale_tool_test, ThePanelsChoiceClearsAMeasuredScale) {
    Scale_measured_set(1.37);
    Scale_show();
    EXPECT_EQ(fake.control_text[Id_scale_text], "縮尺：1画素 = 1.37 m (実測)");
    Panel_command(Id_scale_100);
    EXPECT_EQ(Scale_measured(), 0.0);
    EXPECT_EQ(Scale_flag.load(), 0);
    EXPECT_TRUE(fake.checked[Id_scale_100]);
    EXPECT_FALSE(fake.checked[Id_scale_200]);
    EXPECT_EQ(fake.control_text[Id_scale_text], "縮尺：1画素 = 1 m (100 m)");
}

TEST_F(Scale_tool_test, KeptWithTheWorkAndShownAfterALoad) {
    Scale_measured_set(0.75);
    Temp_folder folder;
    ASSERT_EQ(Data_save_to(folder.str()), "");
    std::ifstream in(folder.str() + "/base.dat", std::ios::binary);
    Base_record saved{};
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(&saved), sizeof saved));
    const Base_tail tail = Tail_read(saved);
    EXPECT_TRUE(tail.marked());
    EXPECT_DOUBLE_EQ(tail.metres_per_pixel, 0.75);

    // What a load leaves: the record with its tail, then the panel's loaded state.
    Scale_measured_set(0);
    {
        std::lock_guard lock(Markers_lock);
        Base_data = saved;
    }
    Shell_loaded(false);
    EXPECT_EQ(fake.control_text[Id_scale_text], "縮尺：1画素 = 0.75 m (実測)");
    EXPECT_FALSE(fake.checked[Id_scale_200]);
}

// The safety copy in the working folder keeps a scale measured after it was written.
TEST_F(Scale_tool_test, TheSafetyCopyKeepsTheScale) {
    ASSERT_EQ(Data_save_to(Exe_folder), "");
    const Folder_problems before = Data_folder_check(Exe_folder);
    Scale_measured_set(2.5);
    Markers_keep();
    std::ifstream in(Exe_folder + "/base.dat", std::ios::binary);
    Base_record kept{};
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(&kept), sizeof kept));
    EXPECT_DOUBLE_EQ(Tail_read(kept).metres_per_pixel, 2.5);
    // Still the whole piece of work it was: its checksums hold.
    EXPECT_EQ(Data_folder_check(Exe_folder).size(), before.size());
}

}  // namespace
