// The control panel's enabling states, route-state switch, help line and
// scale boxes, against the scripted fake.
#include <gtest/gtest.h>

#include "app/panel.h"
#include "app/shell.h"
#include "markers/base_data.h"
#include "platform/fake/fake_platform.h"

namespace {

struct Panel_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    void SetUp() override {
        Shell_start();
        Help_last_id = 0;
    }
};

// Expected enabling after one state from a panel where everything is enabled:
// 'E' enabled, 'D' disabled, '-' untouched (stays enabled).
struct Enable_case {
    int state;
    const char* expect;  // controls 1..10, then the scale pair
    const char* button1;
    uint32_t bits;
};

TEST_F(Panel_test, EnablingStatesFollowTheTable) {
    const Enable_case cases[] = {
        {1, "E-DDDDDED--", "ﾏｯﾌﾟ初期設定", Panel_ready},
        {22, "E-EEDDEEE-D", "避難場所設定", Panel_map_captured},
        {2, "E-EE--EEE-D", "避難場所設定", Panel_map_captured},
        {10, "DDDDDDDDDD-", nullptr, Panel_ready},
        {11, "EEEE--EEEE-", nullptr, Panel_ready},
    };
    for (const Enable_case& c : cases) {
        SCOPED_TRACE(c.state);
        fake.enabled.clear();
        fake.control_text.clear();
        Panel_state = 0;
        Panel_enable(c.state);
        for (int i = 0; i < 10; ++i) {
            int id = i + 1;
            if (c.expect[i] == '-') EXPECT_EQ(fake.enabled.count(id), 0u) << id;
            else EXPECT_EQ(fake.enabled.at(id), c.expect[i] == 'E') << id;
        }
        if (c.expect[10] == '-') {
            EXPECT_EQ(fake.enabled.count(Id_scale_100), 0u);
        } else {
            EXPECT_FALSE(fake.enabled.at(Id_scale_100));
            EXPECT_FALSE(fake.enabled.at(Id_scale_200));
        }
        if (c.button1) EXPECT_EQ(fake.control_text.at(Id_evac), c.button1);
        else EXPECT_EQ(fake.control_text.count(Id_evac), 0u);
        EXPECT_EQ(Panel_state.load(), c.bits);
    }
}

TEST_F(Panel_test, InitEmptiesMarkersChecksTwoHundredMetresAndTakesStateOne) {
    Base_data.Evac_n = 2;
    Base_data.Cong_n = 5;
    Base_data.Nopass_n = 7;
    Base_data.Road_rec_total = 99;
    Panel_init();
    EXPECT_EQ(Base_data.Evac_n, 0);
    EXPECT_EQ(Base_data.Cong_n, 0);
    EXPECT_EQ(Base_data.Nopass_n, 0);
    EXPECT_EQ(Base_data.Road_rec_total, 0);
    EXPECT_TRUE(fake.checked.at(Id_scale_200));
    EXPECT_FALSE(fake.checked.at(Id_scale_100));
    EXPECT_EQ(Panel_state.load(), Panel_ready);
    EXPECT_TRUE(fake.enabled.at(Id_evac));
    EXPECT_TRUE(fake.enabled.at(Id_load));
    EXPECT_FALSE(fake.enabled.at(Id_save));
}

TEST_F(Panel_test, RouteStaleSwitchesBuildAndDisplay) {
    Route_stale(1);
    EXPECT_TRUE(fake.enabled.at(Id_route_build));
    EXPECT_FALSE(fake.enabled.at(Id_route_check));
    Route_stale(0);
    EXPECT_FALSE(fake.enabled.at(Id_route_build));
    EXPECT_TRUE(fake.enabled.at(Id_route_check));
}

TEST_F(Panel_test, ScaleBoxesBehaveAsOnePair) {
    Panel_init();
    Panel_command(Id_scale_200);  // clicking the checked one keeps it checked
    EXPECT_TRUE(fake.checked.at(Id_scale_200));
    EXPECT_FALSE(fake.checked.at(Id_scale_100));
    EXPECT_EQ(Scale_flag.load(), 1);
    Panel_command(Id_scale_100);
    EXPECT_TRUE(fake.checked.at(Id_scale_100));
    EXPECT_FALSE(fake.checked.at(Id_scale_200));
    EXPECT_EQ(Scale_flag.load(), 0);
}

TEST_F(Panel_test, QuitEndsTheProcessWithCodeOne) {
    try {
        Panel_command(Id_quit);
        FAIL() << "the process should have ended";
    } catch (const Fake_exit& e) {
        EXPECT_EQ(e.code, 1);
    }
}

TEST_F(Panel_test, HelpLineShowsTextDefaultAndTextAgain) {
    Panel_state = Panel_ready;
    Help_line(0);  // nothing shown yet, nothing to take back
    EXPECT_EQ(fake.panel_caption, "");
    Help_line(Id_quit);
    EXPECT_EQ(fake.panel_caption, " ﾌﾟﾛｸﾞﾗﾑを終了します。");
    fake.panel_caption = "unchanged";
    Help_line(Id_quit);  // same control: caption not set again
    EXPECT_EQ(fake.panel_caption, "unchanged");
    Help_line(0);
    EXPECT_EQ(fake.panel_caption, Help_default);
    EXPECT_EQ(Help_last_id.load(), -1);
    fake.panel_caption = "unchanged";
    Help_line(Id_route_build);  // no help text: the default stays
    EXPECT_EQ(fake.panel_caption, "unchanged");
    Help_line(Id_quit);
    EXPECT_EQ(fake.panel_caption, " ﾌﾟﾛｸﾞﾗﾑを終了します。");
}

TEST_F(Panel_test, HelpTextsAsStored) {
    struct Case {
        int id;
        bool captured;
        const char* text;
    } cases[] = {
        {1, false, " マップ上の白色道路上にて、右クリックを押してください、全道路をチェックします。"},
        {1, true, " 災害時に避難場所となる場所の白色道路上にて、左クリックを押してください。"},
        {1003, false, " 歩幅は、１６８cm ＊　0.37　として導き出しました。"},
        {1031, false, " 70ｍ/分として、距離から時間を導き出します。"},
        {5, false, nullptr},
        {10, false, nullptr},
    };
    for (const Case& c : cases) {
        const char* t = Help_text(c.id, c.captured);
        if (!c.text) EXPECT_EQ(t, nullptr) << c.id;
        else EXPECT_STREQ(t, c.text) << c.id;
    }
    EXPECT_STREQ(Help_default, "ｽﾀｰﾄ -> 地図の道路を右ｸﾘｯｸで実行します、ｶﾛﾘｰ等は目安です。 ");
}

TEST_F(Panel_test, MsgConfirmNoEndsTheProcessAndShowsTextVerbatim) {
    fake.box_answers = {Answer_yes, Answer_no};
    Msg_confirm("C:\\100%d\\フォルダ");
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "[0] C:\\100%d\\フォルダ");
    EXPECT_EQ(fake.boxes[0].caption, "確認");
    EXPECT_EQ(fake.boxes[0].style, Box_yes_no);
    EXPECT_EQ(fake.boxes[0].owner, Owner_main);
    EXPECT_THROW(Msg_confirm("x"), Fake_exit);
}

}  // namespace
