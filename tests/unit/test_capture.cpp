// The right-drag capture tool against the scripted fake: the rubber band, the
// release point handed to the flood, waiting after a refused start, and the
// window fitted to the captured map.
#include <gtest/gtest.h>

#include "app/panel.h"
#include "app/shell.h"
#include "map/capture.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "platform/fake/fake_platform.h"
#include "temp_folder.h"

namespace {

// A screen of grey blocks between white streets every 12 pixels, with an
// evacuation-coloured pixel on a street so that a start near it is valid.
void Draw_street_map(Image& screen, int w, int h) {
    screen = Image(400, 300, Rgb(0, 0, 0));
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            bool inside = x >= 20 && y >= 20 && x < 20 + w && y < 20 + h;
            bool street = x % 12 == 0 || y % 12 == 0;
            screen.set(x, y, !inside ? Rgb(0, 0, 0) : street ? Colour_white : Rgb(200, 180, 160));
        }
    screen.set(61, 60, Colour_evac);
}

struct Capture_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    Temp_folder folder;
    void SetUp() override {
        Exe_folder = folder.str();
        Shell_start();
        Panel_state = Panel_ready;
        std::lock_guard lock(Markers_lock);
        Base_data = Base_record{};
    }
};

TEST_F(Capture_test, DragFollowsTheCursorAndFloodsFromTheReleasePoint) {
    Draw_street_map(fake.screen, 200, 150);
    fake.Input_at(200, {50, 50}, Fake_right);
    fake.Input_at(300, {70, 57}, Fake_right);
    fake.Input_at(400, {61, 61}, Fake_right);
    fake.Input_at(500, {61, 61}, 0);  // released: start cell (60, 60), on a street
    Map_capture(nullptr);
    // The band followed both moves, on the capture window, which is closed again.
    EXPECT_EQ(fake.band_moves, 2);
    EXPECT_FALSE(fake.capture_window);
    EXPECT_EQ(fake.snapshots, 1);
    EXPECT_TRUE(Panel_state & Panel_map_captured);
    const Rect32 r = Base_data.Map_rect;
    EXPECT_GT(r.right, r.left);
    EXPECT_EQ(fake.fitted, (Point{r.right - r.left, r.bottom - r.top}));
    EXPECT_TRUE(fake.enabled.at(Id_evac));
    EXPECT_EQ(Stop_request.load(), 0);
    EXPECT_TRUE(std::filesystem::exists(folder.path / "tst.bmp"));
}

TEST_F(Capture_test, RefusedStartWaitsForTheNextDrag) {
    Draw_street_map(fake.screen, 200, 150);
    // First release inside a block (not white): the question, Yes, and wait.
    fake.Input_at(200, {31, 31}, Fake_right);
    fake.Input_at(300, {31, 31}, 0);
    fake.Input_at(1000, {61, 61}, Fake_right);
    fake.Input_at(1100, {61, 61}, 0);
    Map_capture(nullptr);
    ASSERT_GE(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "[0] ERR 道路ではありません（白色でない）。いいえで終了");
    EXPECT_TRUE(Panel_state & Panel_map_captured);
    // Both drags on the one picture taken when the tool started.
    EXPECT_EQ(fake.band_moves, 0);
    EXPECT_EQ(fake.snapshots, 1);
    EXPECT_EQ(fake.capture_opens, 1);
}

TEST_F(Capture_test, NoAnswerToTheQuestionEndsTheProcess) {
    Draw_street_map(fake.screen, 200, 150);
    fake.box_answers = {Answer_no};
    fake.Input_at(200, {31, 31}, Fake_right);
    fake.Input_at(300, {31, 31}, 0);
    EXPECT_THROW(Map_capture(nullptr), Fake_exit);
}

TEST_F(Capture_test, EscEndsTheToolWithoutAMapAndWithoutAMessage) {
    fake.Input_at(300, {5, 5}, Fake_escape);
    Map_capture(nullptr);
    EXPECT_FALSE(Panel_state & Panel_map_captured);
    EXPECT_EQ(Stop_request.load(), 0);
    EXPECT_EQ(fake.fitted, (Point{0, 0}));
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_TRUE(fake.enabled.at(Id_evac));  // the capture is offered again
}

TEST_F(Capture_test, StopRequestEndsTheToolWithoutAMap) {
    Stop_request = 1;
    Map_capture(nullptr);
    EXPECT_FALSE(Panel_state & Panel_map_captured);
    EXPECT_EQ(Stop_request.load(), 0);
    EXPECT_EQ(fake.fitted, (Point{0, 0}));
}

TEST_F(Capture_test, ASnapshotOrWindowThatCannotBeHadSaysSoAndCapturesNothing) {
    struct Case {
        const char* what;
        bool snapshot_fails, window_fails;
    };
    for (const Case& c : {Case{"no snapshot", true, false}, Case{"no capture window", false, true}}) {
        SCOPED_TRACE(c.what);
        Draw_street_map(fake.screen, 200, 150);
        fake.boxes.clear();
        fake.snapshot_fails = c.snapshot_fails;
        fake.capture_window_fails = c.window_fails;
        fake.Input_at(200, {61, 61}, Fake_right);
        fake.Input_at(300, {61, 61}, 0);
        Map_capture(nullptr);
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, "画面を読み取れません。");
        EXPECT_FALSE(Panel_state & Panel_map_captured);
        EXPECT_FALSE(fake.capture_window);
        EXPECT_TRUE(fake.enabled.at(Id_evac));  // offered again
        EXPECT_FALSE(std::filesystem::exists(folder.path / "tst.bmp"));
    }
}

// The question about the aerial view is answered on the live screen: the
// capture window is closed before it is asked.
TEST_F(Capture_test, TheCaptureWindowIsClosedBeforeTheAerialQuestion) {
    Draw_street_map(fake.screen, 200, 150);
    bool open_when_asked = true;
    fake.ask_answers = {1};
    Aerial_mode = 1;
    fake.Input_at(200, {61, 61}, Fake_right);
    fake.Input_at(300, {61, 61}, 0);
    Map_capture(nullptr);
    Aerial_mode = 0;
    ASSERT_EQ(fake.questions.size(), 1u);
    open_when_asked = fake.capture_window_at_question;
    EXPECT_FALSE(open_when_asked);
    EXPECT_TRUE(Panel_state & Panel_map_captured);
}

}  // namespace
