// The road colour table, the hue conversion and the side results of the
// classifier, and the fast classification against a plain reading of the
// table for every colour there is.
#include <gtest/gtest.h>

#include <cmath>

#include "map/grid.h"
#include "map/pixel_check.h"

namespace {

struct Pixel_check_test : ::testing::Test {
    void SetUp() override {
        Evac_seen = 0;
        Rec_count = 0;
    }
    void TearDown() override { Rec_count = 0; }
};

struct Hue_case {
    uint32_t colour;
    int32_t hue;
};

TEST(Rgb_to_hsv, ReferenceHues) {
    const Hue_case cases[] = {
        {Rgb(0, 255, 0), 224},   {Rgb(255, 0, 0), 113},   {Rgb(0, 0, 255), 352},
        {Rgb(255, 153, 0), 152}, {Rgb(250, 50, 11), 123},
        // The edges of the road bands, used by the classification table below.
        {Rgb(12, 9, 5), 150},    {Rgb(17, 12, 5), 151},   {Rgb(14, 9, 0), 154},
        {Rgb(23, 15, 0), 155},   {Rgb(0, 48, 55), 300},   {Rgb(0, 30, 35), 301},
    };
    for (const Hue_case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour);
        int32_t value = -1, hue = -1, chroma = -1;
        Rgb_to_hsv(int32_t(Red_of(c.colour)), int32_t(Green_of(c.colour)), int32_t(Blue_of(c.colour)), value, hue,
                   chroma);
        EXPECT_EQ(hue, c.hue);
    }
}

TEST(Rgb_to_hsv, DegenerateColoursGiveZeros) {
    struct Case {
        int32_t r, g, b, value, hue, chroma;
    } const cases[] = {
        {0, 0, 0, 0, 0, 0},          // black
        {1, 0, 0, 0, 0, 0},          // chroma below 1
        {200, 200, 200, 0, 0, 0},    // a grey: both differences exactly 0
        {255, 255, 255, 0, 0, 0},
        {0, 255, 0, 33, 224, 212},   // and one ordinary colour for contrast
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
        int32_t value = -1, hue = -1, chroma = -1;
        Rgb_to_hsv(c.r, c.g, c.b, value, hue, chroma);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(hue, c.hue);
        EXPECT_EQ(chroma, c.chroma);
    }
}

struct Check_case {
    const char* name;
    uint32_t colour;
    int32_t rec_count;
    int32_t road;
    int32_t weight;
    int32_t evac_seen;
};

TEST_F(Pixel_check_test, ColourTable) {
    const Check_case cases[] = {
        {"row 1", Rgb(242, 239, 233), 0, 0, 1, 0},
        {"row 2", Rgb(232, 214, 180), 0, 0, 1, 0},
        {"grey 151", Rgb(151, 151, 151), 0, 0, 1, 0},
        {"grey 150", Rgb(150, 150, 150), 0, 1, 1, 0},
        {"grey 152", Rgb(152, 152, 152), 0, 1, 1, 0},
        {"white", Rgb(255, 255, 255), 0, 1, 1, 0},
        {"black", Rgb(0, 0, 0), 0, 1, 1, 0},
        {"no-passage", Colour_nopass, 0, 0, 1, 0},
        {"no-passage + 1 blue", Rgb(250, 50, 11), 0, 0, 1, 0},
        {"evacuation", Colour_evac, 0, 1, 1, 1},
        {"evacuation, many records", Colour_evac, 5000, 1, 1, 1},
        {"congestion", Colour_cong, 0, 1, 10, 0},
        {"row 7", Rgb(244, 209, 102), 0, 1, 1, 0},
        {"row 8", Rgb(255, 247, 165), 0, 1, 1, 0},
        {"row 9", Rgb(254, 107, 95), 0, 1, 1, 0},
        {"orange, 49 records", Rgb(255, 153, 0), 49, 1, 1, 1},
        {"orange, 50 records", Rgb(255, 153, 0), 50, 1, 1, 0},
        {"first wave", Colour_first_wave, 0, 0, 1, 0},
        {"second wave", Colour_second_wave, 0, 0, 1, 0},
        {"pure blue, hue 352", Rgb(0, 0, 255), 0, 1, 1, 0},
        {"hue 150", Rgb(12, 9, 5), 0, 0, 1, 0},
        {"hue 151", Rgb(17, 12, 5), 0, 1, 1, 1},
        {"hue 154", Rgb(14, 9, 0), 0, 1, 1, 1},
        {"hue 155", Rgb(23, 15, 0), 0, 0, 1, 0},
        {"hue 300", Rgb(0, 48, 55), 0, 0, 1, 0},
        {"hue 301", Rgb(0, 30, 35), 0, 1, 1, 0},
        {"chroma 0", Rgb(1, 0, 0), 0, 0, 1, 0},
    };
    for (const Check_case& c : cases) {
        SCOPED_TRACE(c.name);
        Image img(1, 1, c.colour);
        Rec_count = c.rec_count;
        Evac_seen = 0;
        Pixel_weight = 99;
        EXPECT_EQ(Pixel_check(img, 0, 0), c.road);
        EXPECT_EQ(Pixel_weight, c.weight);
        EXPECT_EQ(Evac_seen, c.evac_seen);
        // The colour read is kept whatever the answer.
        EXPECT_EQ(Last_rgb[0], int32_t(Red_of(c.colour)));
        EXPECT_EQ(Last_rgb[1], int32_t(Green_of(c.colour)));
        EXPECT_EQ(Last_rgb[2], int32_t(Blue_of(c.colour)));
    }
}

TEST_F(Pixel_check_test, SideResultsDescribeTheLastCallOnlyButEvacSeenStays) {
    Image img(3, 1);
    img.set(0, 0, Colour_evac);
    img.set(1, 0, Colour_cong);
    img.set(2, 0, Colour_nopass);
    EXPECT_EQ(Pixel_check(img, 0, 0), 1);
    EXPECT_EQ(Pixel_check(img, 1, 0), 1);
    EXPECT_EQ(Pixel_weight, 10);
    EXPECT_EQ(Pixel_check(img, 2, 0), 0);
    EXPECT_EQ(Pixel_weight, 1);
    EXPECT_EQ(Evac_seen, 1);  // only the flood and the wave clear it
    EXPECT_EQ(Last_rgb[0], 250);
    EXPECT_EQ(Last_rgb[1], 50);
    EXPECT_EQ(Last_rgb[2], 10);
}

TEST_F(Pixel_check_test, OutsideTheSurfaceReadsAsWhiteRoad) {
    Image img(2, 2, Colour_nopass);
    const int32_t outside[][2] = {{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {-100000, 100000}};
    for (const auto& p : outside) {
        Last_rgb[0] = Last_rgb[1] = Last_rgb[2] = 0;
        EXPECT_EQ(Pixel_check(img, p[0], p[1]), 1);
        EXPECT_EQ(Last_rgb[0], 255);
        EXPECT_EQ(Last_rgb[1], 255);
        EXPECT_EQ(Last_rgb[2], 255);
    }
    EXPECT_EQ(Pixel_check(Image(), 0, 0), 1);
    EXPECT_EQ(Pixel_code(Unreadable_colour), Code_road);
}

// The table read plainly, row by row, with the full conversion for every
// colour that reaches the hue rule.
uint8_t Reference_code(uint32_t colour) {
    const int32_t r = int32_t(Red_of(colour)), g = int32_t(Green_of(colour)), b = int32_t(Blue_of(colour));
    auto is = [&](int32_t R, int32_t G, int32_t B) { return r == R && g == G && b == B; };
    if (is(242, 239, 233)) return 0;
    if (is(232, 214, 180)) return 0;
    if (is(151, 151, 151)) return 0;
    if (is(250, 50, 10)) return 0;
    if (is(100, 250, 100)) return Code_road | Code_evac;
    if (is(250, 200, 20)) return Code_road | Code_congestion;
    if (is(244, 209, 102)) return Code_road;
    if (is(255, 247, 165)) return Code_road;
    if (is(254, 107, 95)) return Code_road;
    if (r == g && g == b) return Code_road;
    int32_t value, hue, chroma;
    Rgb_to_hsv(r, g, b, value, hue, chroma);
    if (hue > 150 && hue < 155) return Code_road | Code_orange;
    if (hue > 300) return Code_road;
    return 0;
}

TEST(Pixel_code, AgreesWithThePlainTableForEveryColour) {
    uint32_t mismatches = 0, first_mismatch = 0;
    for (uint32_t c = 0; c < (1u << 24); ++c) {
        const uint8_t expect = Reference_code(c);
        // The first call decides the colour, the second finds it decided.
        if (Pixel_code(c) != expect || Pixel_code(c) != expect) {
            if (mismatches++ == 0) first_mismatch = c;
        }
    }
    EXPECT_EQ(mismatches, 0u) << "first at 0x" << std::hex << first_mismatch;
}

}  // namespace
