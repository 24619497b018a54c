// The walking figures: arithmetic, formats, scale and the order in which the
// panel's fields are written.
#include <gtest/gtest.h>

#include <vector>

#include "app/panel.h"
#include "app/shell.h"
#include "platform/fake/fake_platform.h"
#include "route/walk_stats.h"

namespace {

struct Walk_case {
    int32_t length;
    int scale;
    const char* distance;
    const char* steps;
    const char* minutes;
    const char* calories;
};

TEST(Walk_stats, FiguresAndFormats) {
    const Walk_case cases[] = {
        {100, 0, "100", "160", "1.43", "4.13"},  // 10000 / 62.16 = 160.87
        {100, 1, "200", "321", "2.86", "8.27"},
        {50, 0, "50", "80", "0.71", "2.07"},     // at least three characters, two decimals
        {11, 0, "11", "17", "0.16", "0.45"},     // the shortest route that is shown
        {1000, 1, "2000", "3217", "28.57", "82.67"},
        {0, 0, "0", "0", "0.00", "0.00"},
        {100, 2, "1", "1", "0.01", "0.04"},      // an unknown scale leaves the length unscaled
        {-100, 0, "-100", "-160", "-1.43", "-4.13"},  // truncation toward zero
    };
    for (const Walk_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " px, scale " << c.scale);
        const Walk_figures f = Walk_stats_texts(c.length, c.scale);
        EXPECT_EQ(f.distance, c.distance);
        EXPECT_EQ(f.steps, c.steps);
        EXPECT_EQ(f.minutes, c.minutes);
        EXPECT_EQ(f.calories, c.calories);
    }
}

// A fake that also remembers the order of the control writes.
struct Ordered_fake : Fake_platform {
    std::vector<std::pair<int, std::string>> writes;
    void Set_control_text(int id, const std::string& text) override {
        writes.emplace_back(id, text);
        Fake_platform::Set_control_text(id, text);
    }
};

TEST(Walk_stats, WritesThePanelFieldsInOrderForTheCurrentScale) {
    Ordered_fake fake;
    Plat_install(&fake);
    Scale_flag = 0;
    Walk_stats(100);
    Scale_flag = 1;
    Walk_stats(100);
    Plat_install(nullptr);
    Scale_flag = 1;
    const std::vector<std::pair<int, std::string>> expect = {
        {Id_distance, "100"}, {Id_steps, "160"}, {Id_minutes, "1.43"}, {Id_calories, "4.13"},
        {Id_distance, "200"}, {Id_steps, "321"}, {Id_minutes, "2.86"}, {Id_calories, "8.27"},
    };
    EXPECT_EQ(fake.writes, expect);
}

}  // namespace
