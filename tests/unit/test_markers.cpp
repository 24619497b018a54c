// Marker painting into the shown map, the redraw order, the change tracking
// against the snapshot and the placement of evacuation places.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <thread>

#include "app/panel.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "markers/markers.h"
#include "platform/fake/fake_platform.h"

namespace {

constexpr uint32_t Building = Rgb(242, 239, 233);  // never road

struct Markers_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    void SetUp() override {
        Base_data = {};
        Base_snapshot = {};
        Map_image = Image(40, 30);
        Shown_map = Map_image;
    }
    void TearDown() override {
        Base_data = {};
        Base_snapshot = {};
        Map_image = Image();
        Shown_map = Image();
    }
    int Count(uint32_t colour) const {
        int n = 0;
        for (uint32_t c : Shown_map.px) n += c == colour;
        return n;
    }
    bool Route_reported_stale() const {
        return fake.enabled.count(Id_route_build) && fake.enabled.at(Id_route_build) &&
               fake.enabled.count(Id_route_check) && !fake.enabled.at(Id_route_check);
    }
};

TEST_F(Markers_test, MarkerColoursOnlyRoadPixelsOfItsSquare) {
    // A white road three pixels wide through a block of buildings.
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x)
            if (y < 14 || y > 16) Shown_map.set(x, y, Building);
    Marker_draw(Marker_size, 20, 15, Kind_cong);
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const bool in_square = x >= 14 && x <= 26 && y >= 9 && y <= 21;
            const bool road = y >= 14 && y <= 16;
            EXPECT_EQ(Shown_map.get(x, y), in_square && road ? Colour_cong : road ? Colour_white : Building);
        }
    }
    EXPECT_EQ(fake.refreshes, 1);
}

TEST_F(Markers_test, MarkerOverAnotherKindTakesOnlyWhatTheClassifierAccepts) {
    struct Case {
        uint32_t before;
        int kind;
        uint32_t after;
    } const cases[] = {
        {Colour_evac, Kind_cong, Colour_cong},     {Colour_cong, Kind_evac, Colour_evac},
        {Colour_cong, Kind_nopass, Colour_nopass}, {Colour_nopass, Kind_evac, Colour_nopass},
        {Colour_nopass, Kind_cong, Colour_nopass}, {Building, Kind_evac, Building},
        {Colour_white, 0, Colour_white},           {Colour_white, 4, Colour_white},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.before << " kind " << c.kind);
        Shown_map = Image(13, 13, c.before);
        Marker_draw(Marker_size, 6, 6, c.kind);
        EXPECT_EQ(Count(c.after), 13 * 13);
    }
}

TEST_F(Markers_test, MarkerAtTheEdgePaintsOnlyInsideTheMap) {
    Marker_draw(Marker_size, 0, 0, Kind_evac);
    Marker_draw(Marker_size, 39, 29, Kind_nopass);
    Marker_draw(Marker_size, -50, 500, Kind_cong);
    EXPECT_EQ(Count(Colour_evac), 7 * 7);
    EXPECT_EQ(Count(Colour_nopass), 7 * 7);
    EXPECT_EQ(Count(Colour_cong), 0);
    EXPECT_EQ(Shown_map.w, 40);
    EXPECT_EQ(Shown_map.h, 30);
}

// Coordinates a damaged base.dat can hold: what lies inside the 40 x 30 map
// is painted, nothing else, and no sum overflows.
TEST_F(Markers_test, ExtremeCoordinatesPaintOnlyInsideTheMap) {
    struct Case {
        int32_t size, x, y;
        int painted;
    };
    const Case cases[] = {
        {Marker_size, INT_MAX, INT_MAX, 0},
        {Marker_size, INT_MIN, INT_MIN, 0},
        {Marker_size, INT_MAX, 10, 0},
        {Marker_size, 10, INT_MIN, 0},
        {Marker_size, INT_MIN + 3, INT_MAX - 3, 0},
        {Marker_size, 65536, 65536, 0},
        {Marker_size, 65536 + 10, 10, 0},  // would wrap to x = 10 in 16 bits
        {Marker_size, -1, -1, 6 * 6},
        {Marker_size, -1, 15, 6 * 13},
        {Marker_size, 45, 15, 1 * 13},
        {Marker_size, 46, 15, 0},
        {Marker_size, -7, 15, 0},
        {Marker_size, -6, 15, 1 * 13},
        {INT_MAX, 0, 0, 40 * 30},
        {INT_MAX, INT_MAX, INT_MIN, 0},
        {INT_MIN, 10, 10, 0},
        {-5, 10, 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " at " << c.x << "," << c.y);
        Shown_map = Image(40, 30);
        Marker_draw(c.size, c.x, c.y, Kind_cong);
        EXPECT_EQ(Count(Colour_cong), c.painted);
        EXPECT_EQ(Shown_map.px.size(), 40u * 30u);
    }
    // The same coordinates through the sets, as a load hands them over.
    Shown_map = Image(40, 30);
    Base_data.Evac_n = 2;
    Base_data.Evac_x[0] = INT_MAX, Base_data.Evac_y[0] = INT_MIN;
    Base_data.Evac_x[1] = -1, Base_data.Evac_y[1] = -1;
    Base_data.Cong_n = 2;
    Base_data.Cong_x[0] = INT_MIN, Base_data.Cong_y[0] = 65536;
    Base_data.Cong_x[1] = 65536, Base_data.Cong_y[1] = INT_MAX;
    Base_data.Nopass_n = 1;
    Base_data.Nopass_x[0] = INT_MAX - 6, Base_data.Nopass_y[0] = INT_MIN + 6;
    Markers_redraw();
    EXPECT_EQ(Count(Colour_evac), 6 * 6);
    EXPECT_EQ(Count(Colour_white), 40 * 30 - 6 * 6);
    Map_compose();
    EXPECT_EQ(Count(Colour_evac), 6 * 6);
}

TEST_F(Markers_test, ExtremePlacesGetTheirMarkOnlyInsideTheMap) {
    struct Case {
        int32_t x, y;
        int marked;
    };
    const Case cases[] = {
        {INT_MAX, INT_MAX, 0}, {INT_MIN, INT_MIN, 0}, {INT_MAX - 2, 5, 0}, {5, INT_MIN + 3, 0},
        {65536, 10, 0},        {-1, -1, 2 * 2},       {42, 0, 1 * 3},      {39, 29, 4 * 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        Base_data = {};
        Shown_map = Image(40, 30);
        Evac_place_add(c.x, c.y);
        EXPECT_EQ(Base_data.Evac_n, 1);
        EXPECT_EQ(Base_data.Evac_x[0], c.x);
        EXPECT_EQ(Count(Colour_place_mark), c.marked);
    }
}

TEST_F(Markers_test, RedrawWithNoMarkersPaintsNothing) {
    Markers_redraw();
    EXPECT_EQ(Count(Colour_white), 40 * 30);
}

TEST_F(Markers_test, RedrawPaintsEvacuationThenCongestionThenNoPassage) {
    Base_data.Evac_n = 1;
    Base_data.Evac_x[0] = 10, Base_data.Evac_y[0] = 10;
    Base_data.Cong_n = 1;
    Base_data.Cong_x[0] = 14, Base_data.Cong_y[0] = 10;
    Base_data.Nopass_n = 1;
    Base_data.Nopass_x[0] = 20, Base_data.Nopass_y[0] = 10;
    Markers_redraw();
    EXPECT_EQ(Shown_map.get(5, 10), Colour_evac);
    EXPECT_EQ(Shown_map.get(10, 10), Colour_cong);    // congestion over evacuation
    EXPECT_EQ(Shown_map.get(16, 10), Colour_nopass);  // no-passage over congestion
    EXPECT_EQ(Shown_map.get(26, 10), Colour_nopass);
    EXPECT_EQ(Shown_map.get(27, 10), Colour_white);
    // Painted again, the congestion marker cannot take back the no-passage pixels.
    Markers_redraw();
    EXPECT_EQ(Shown_map.get(16, 10), Colour_nopass);
}

TEST_F(Markers_test, DamagedCountsNeverReachPastTheSets) {
    Base_data.Evac_n = -5;
    Base_data.Cong_n = 1000000;
    Base_data.Nopass_n = 101;
    Markers_redraw();  // congestion and no-passage points all at (0, 0)
    EXPECT_EQ(Count(Colour_nopass), 7 * 7);
}

TEST_F(Markers_test, ComposeIsTheMapWithEveryMarkerAsRedrawPaintsIt) {
    for (int32_t x = 0; x < 40; ++x) Map_image.set(x, 3, Building);
    Base_data.Evac_n = 2;
    Base_data.Evac_x[0] = 5, Base_data.Evac_y[0] = 5;
    Base_data.Evac_x[1] = 30, Base_data.Evac_y[1] = 20;
    Base_data.Cong_n = 1;
    Base_data.Cong_x[0] = 8, Base_data.Cong_y[0] = 8;
    Base_data.Nopass_n = 1;
    Base_data.Nopass_x[0] = 33, Base_data.Nopass_y[0] = 22;
    Shown_map = Map_image;
    Markers_redraw();
    const Image expect = Shown_map;

    Shown_map = Image(40, 30, Colour_first_wave);  // a wave's painting, to be wiped
    Map_compose();
    EXPECT_EQ(Shown_map.w, expect.w);
    EXPECT_EQ(Shown_map.h, expect.h);
    EXPECT_TRUE(Shown_map.px == expect.px);
}

// Each step changes the sets, then compares with the snapshot taken at the start.
TEST_F(Markers_test, SnapshotReportsEveryDifferenceOfTheSets) {
    struct Case {
        const char* name;
        void (*change)(Base_record&);
        bool reports;
    } const cases[] = {
        {"nothing", [](Base_record&) {}, false},
        {"one more congestion point", [](Base_record& b) { b.Cong_x[b.Cong_n] = 7, b.Cong_y[b.Cong_n++] = 7; }, true},
        {"one fewer no-passage point", [](Base_record& b) { --b.Nopass_n; }, true},
        {"one fewer evacuation place", [](Base_record& b) { --b.Evac_n; }, true},
        {"a moved point", [](Base_record& b) { ++b.Cong_y[1]; }, true},
        {"the same points in another order",
         [](Base_record& b) { std::swap(b.Cong_x[0], b.Cong_x[1]), std::swap(b.Cong_y[0], b.Cong_y[1]); }, true},
        {"a change past the count", [](Base_record& b) { b.Cong_x[50] = 9; }, false},
        {"road total, region and reserved bytes",
         [](Base_record& b) { b.Road_rec_total = 12, b.Map_rect.right = 99, b.Base_reserved[7] = 1; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Base_data = {};
        Base_data.Evac_n = 1;
        Base_data.Evac_x[0] = 3, Base_data.Evac_y[0] = 4;
        Base_data.Cong_n = 2;
        Base_data.Cong_x[0] = 10, Base_data.Cong_y[0] = 11;
        Base_data.Cong_x[1] = 20, Base_data.Cong_y[1] = 21;
        Base_data.Nopass_n = 1;
        Base_data.Nopass_x[0] = 30, Base_data.Nopass_y[0] = 31;
        Markers_snapshot(0);
        c.change(Base_data);
        fake.enabled.clear();
        Markers_snapshot(1);
        EXPECT_EQ(Route_reported_stale(), c.reports);
        if (!c.reports) {
            EXPECT_TRUE(fake.enabled.empty());
        }
    }
}

TEST_F(Markers_test, ReturningToTheSnapshotDoesNotUndoAReport) {
    Markers_snapshot(0);
    Markers_snapshot(1);
    EXPECT_TRUE(fake.enabled.empty());
    Base_data.Cong_x[0] = 5, Base_data.Cong_y[0] = 6, Base_data.Cong_n = 1;
    Markers_snapshot(1);
    EXPECT_TRUE(Route_reported_stale());
    Base_data.Cong_n = 0;  // deleted again: the sets equal the snapshot
    Markers_snapshot(1);
    EXPECT_TRUE(Route_reported_stale());  // nothing switched back
}

TEST_F(Markers_test, EvacuationPlacesAreAddedUpToTwoWithAMagentaMark) {
    Shown_map = Image(40, 30, Building);  // the mark ignores the classifier
    Markers_snapshot(0);
    EXPECT_EQ(Evac_full(), 0);

    Evac_place_add(10, 12);
    EXPECT_EQ(Base_data.Evac_n, 1);
    EXPECT_EQ(Base_data.Evac_x[0], 10);
    EXPECT_EQ(Base_data.Evac_y[0], 12);
    EXPECT_EQ(Evac_full(), 0);
    EXPECT_TRUE(Route_reported_stale());
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const bool in_mark = x >= 7 && x <= 12 && y >= 9 && y <= 14;
            EXPECT_EQ(Shown_map.get(x, y), in_mark ? Colour_place_mark : Building);
        }

    Evac_place_add(30, 20);
    EXPECT_EQ(Base_data.Evac_n, 2);
    EXPECT_EQ(Evac_full(), 1);
    EXPECT_EQ(Count(Colour_place_mark), 2 * 36);
    EXPECT_TRUE(fake.boxes.empty());

    const Base_record before = Base_data;
    const Image shown_before = Shown_map;
    Evac_place_add(5, 5);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "既に非難は２ヶ所設定されてます。");
    EXPECT_EQ(fake.boxes[0].caption, "確認");
    EXPECT_EQ(fake.boxes[0].style, Box_ok);
    EXPECT_EQ(fake.boxes[0].owner, Owner_main);
    EXPECT_EQ(std::memcmp(&before, &Base_data, sizeof before), 0);
    EXPECT_TRUE(Shown_map.px == shown_before.px);
}

TEST_F(Markers_test, RacingAddsNeverSetAThirdPlace) {
    auto add_many = [] {
        for (int i = 0; i < 50; ++i) Evac_place_add(i % 40, i % 30);
    };
    std::thread a(add_many), b(add_many);
    a.join();
    b.join();
    EXPECT_EQ(Base_data.Evac_n, 2);
    EXPECT_EQ(fake.Box_count(), 98u);
}

}  // namespace
