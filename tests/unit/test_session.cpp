// The run end to end: the question at a regular end with unsaved changes,
// the markers kept in the working folder, and the offer of the last work
// after a run that did not end regularly.
#include <gtest/gtest.h>

#include <fstream>

#include "app/panel.h"
#include "app/records.h"
#include "app/panel.h"
#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "platform/fake/fake_platform.h"
#include "storage/data_files.h"
#include "storage/data_folder.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

namespace {

struct Session_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    Temp_folder exe, chosen;
    void SetUp() override {
        Records_reset();
        Exe_folder = exe.str();
        fs::create_directories(exe.path / "tovi");
        Grid_allocate();
    }
    void TearDown() override { Markers_on_change(nullptr); }

    // A capture as the flood leaves it: the map and its working set in the program folder.
    void Capture() {
        Image map(40, 30, Rgb(255, 255, 255));
        // Three records of a flood, each a start.
        for (int32_t n = 0; n < 3; ++n) {
            Wave_queue[0][n] = {uint16_t(n), 0, -1, 0, -1};
            Rec_kind[n] = 0;
        }
        Rec_count = 3;
        {
            std::lock_guard lock(Shown_lock);
            Map_image = map;
            Shown_map = map;
        }
        Images_loaded = 1;
        ASSERT_EQ(Map_images_save(map, 0, 0, 40, 30), 0);
    }
    void Add_place(int32_t x, int32_t y) {
        Markers_snapshot(0);
        {
            std::lock_guard lock(Markers_lock);
            Base_data.Evac_x[Base_data.Evac_n] = x;
            Base_data.Evac_y[Base_data.Evac_n] = y;
            ++Base_data.Evac_n;
        }
        Markers_snapshot(1);
    }
    // Quit_request, and whether the process ended.
    bool Quits(int owner = Owner_panel) {
        try {
            Quit_request(owner);
        } catch (const Fake_exit& e) {
            EXPECT_EQ(e.code, 1);
            return true;
        }
        return false;
    }
};

TEST_F(Session_test, NothingToLoseEndsAtOnce) {
    const size_t boxes = fake.boxes.size();
    EXPECT_TRUE(Quits());
    EXPECT_EQ(fake.boxes.size(), boxes);
}

TEST_F(Session_test, UnsavedChangesAreAskedAboutFirst) {
    Capture();
    Add_place(5, 5);
    struct Case {
        const char* what;
        int answer;
        std::optional<std::string> folder;
        bool quits, saved;
    } const cases[] = {
        {"cancel: the work goes on", Answer_cancel, std::nullopt, false, false},
        {"yes, but no folder chosen", Answer_yes, std::nullopt, false, false},
        {"yes: saved, then the end", Answer_yes, chosen.str(), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.box_answers = {c.answer};
        fake.folder_answers = {c.folder};
        EXPECT_EQ(Quits(), c.quits);
        EXPECT_EQ(fake.boxes.back().text, Quit_question);
        EXPECT_EQ(fake.boxes.back().style, int(Box_yes_no_cancel));
        EXPECT_EQ(Data_folder_check(chosen.str()).empty(), c.saved);
    }
    // Saved: nothing more to ask.
    const size_t boxes = fake.boxes.size();
    EXPECT_TRUE(Quits());
    EXPECT_EQ(fake.boxes.size(), boxes);
    // No: the end without a save.
    Add_place(6, 6);
    fake.box_answers = {Answer_no};
    EXPECT_TRUE(Quits(Owner_main));
    EXPECT_EQ(fake.boxes.size(), boxes + 1);
}

TEST_F(Session_test, TheLastMarkersSurviveACrashAndAreOfferedAtTheNextStart) {
    Session_start();  // this run is running
    EXPECT_TRUE(fs::exists(exe.path / "tovi" / Session_running_file));
    Capture();
    Add_place(7, 8);
    Add_place(20, 9);
    // The working folder now holds the markers with its capture, whole.
    Folder_content kept;
    const Folder_problems problems = Data_folder_check(Exe_folder, &kept);
    ASSERT_TRUE(problems.empty()) << problems[0].detail;
    EXPECT_EQ(kept.base.Evac_n, 2);
    EXPECT_EQ(kept.base.Evac_x[1], 20);

    // The process dies; the next start finds the running file and offers the work.
    {
        std::lock_guard lock(Markers_lock);
        Base_data = Base_record{};
    }
    fake.box_answers = {Answer_yes};
    Session_start();
    EXPECT_EQ(fake.boxes.back().text, Recover_question);
    EXPECT_EQ(Base_data.Evac_n, 2);
    EXPECT_EQ(Base_data.Evac_y[0], 8);
    EXPECT_TRUE(fake.enabled.at(Id_cong));

    // A regular end removes the running file: the start after it asks nothing.
    EXPECT_TRUE(Quits());
    EXPECT_FALSE(fs::exists(exe.path / "tovi" / Session_running_file));
    const size_t boxes = fake.boxes.size();
    Session_start();
    EXPECT_EQ(fake.boxes.size(), boxes);
}

}  // namespace
