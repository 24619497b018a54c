// Placement of the panel and the main window over tables of DPIs, monitor
// layouts and work areas: the panel inside the work area, the main window
// below the panel's real bottom without overlapping it, inside the work area,
// showing the map 1:1 or scrolling; and the rules after a change of DPI.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "platform/placement.h"

std::ostream& operator<<(std::ostream& os, const Place_rect& r) {
    return os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
std::ostream& operator<<(std::ostream& os, const Place_size& s) { return os << s.w << "x" << s.h; }

namespace {

// What the windows measure at each DPI: the panel's outer size (measured under
// Wine at 96, 144 and 192 DPI; 120 between them) and the main window's frame
// (borders, caption, scroll bars).
struct Dpi_case {
    int dpi;
    Place_size panel;
    Main_frame frame;
};

const Dpi_case Dpis[] = {
    {96, {694, 111}, {3, 26, 3, 3, 17, 17}},
    {120, {868, 134}, {4, 31, 4, 4, 21, 21}},
    {144, {1087, 157}, {4, 37, 4, 4, 26, 26}},
    {192, {1382, 208}, {6, 50, 6, 6, 34, 34}},
};

const Dpi_case& At_dpi(int dpi) {
    for (const Dpi_case& d : Dpis)
        if (d.dpi == dpi) return d;
    return Dpis[0];
}

// Monitor layouts: the monitor the panel stands on, with its work area.
struct Layout_case {
    const char* name;
    Monitor_area monitor;
};

const Layout_case Layouts[] = {
    {"one monitor, taskbar at the bottom", {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}},
    {"one monitor, taskbar at the left", {{0, 0, 1920, 1080}, {62, 0, 1920, 1080}}},
    {"one monitor, taskbar at the top", {{0, 0, 1920, 1080}, {0, 40, 1920, 1080}}},
    {"one monitor of 1600 x 1000, no taskbar", {{0, 0, 1600, 1000}, {0, 0, 1600, 1000}}},
    {"laptop 1366 x 768, taskbar at the bottom", {{0, 0, 1366, 768}, {0, 0, 1366, 728}}},
    {"second monitor right of the primary", {{1920, 0, 3200, 1024}, {1920, 0, 3200, 984}}},
    {"second monitor left of the primary", {{-1280, 0, 0, 1024}, {-1280, 0, 0, 984}}},
    {"second monitor above the primary", {{0, -1080, 1920, 0}, {0, -1080, 1920, 0}}},
    {"second monitor left and above, taskbar at the left", {{-1600, -300, 0, 900}, {-1540, -300, 0, 900}}},
};

// Client sizes of maps: a small one, the usual ones, one of 970 rows, the
// whole grid, and the caption-only strip before any map.
const Place_size Maps[] = {{300, 200}, {1000, 700}, {1024, 768}, {1000, 970}, {1600, 1200}, {688, 0}};

Place_size Outer_size(const Main_place& p, const Main_frame& f) {
    return {p.client.w + f.left + f.right + (p.scroll_y ? f.vscroll_w : 0),
            p.client.h + f.top + f.bottom + (p.scroll_x ? f.hscroll_h : 0)};
}

// Every DPI on every layout with every map: the rules hold.
TEST(Placement, PanelAndMainOverDpisLayoutsAndMaps) {
    for (const Dpi_case& d : Dpis) {
        for (const Layout_case& l : Layouts) {
            const Place_rect& work = l.monitor.work;
            const Place_rect panel = Panel_place(l.monitor, d.panel);
            SCOPED_TRACE(testing::Message() << d.dpi << " DPI, " << l.name << ", panel " << panel);
            EXPECT_EQ(panel.left, work.left);
            EXPECT_EQ(panel.top, work.top);
            EXPECT_EQ((Place_size{panel.Width(), panel.Height()}), d.panel);
            if (d.panel.w <= work.Width()) {
                EXPECT_TRUE(Rect_inside(panel, work));
            }

            for (const Place_size& map : Maps) {
                SCOPED_TRACE(testing::Message() << "map " << map);
                const Main_place m = Main_place_below(l.monitor, panel, map, d.frame);
                const Main_frame& f = d.frame;
                EXPECT_TRUE(Rect_inside(m.outer, work)) << m.outer;
                EXPECT_FALSE(Rects_overlap(m.outer, panel)) << m.outer;
                EXPECT_EQ(m.outer.top, panel.bottom) << "right below the panel's real bottom";
                EXPECT_EQ(m.outer.left, panel.left);
                EXPECT_EQ(Outer_size(m, f), (Place_size{m.outer.Width(), m.outer.Height()}));
                // 1:1 where the map fits, scrolling exactly where it does not.
                const bool fits_w = map.w + f.left + f.right <= work.Width();
                const bool fits_h = map.h + f.top + f.bottom <= work.bottom - panel.bottom;
                EXPECT_EQ(m.scroll_x || m.scroll_y, !(fits_w && fits_h));
                if (!m.scroll_x) {
                    EXPECT_EQ(m.client.w, map.w);
                }
                if (!m.scroll_y) {
                    EXPECT_EQ(m.client.h, map.h);
                }
                if (m.scroll_x) {
                    EXPECT_LT(m.client.w, map.w);
                    EXPECT_EQ(m.outer.right, work.right) << "a scrolled map takes the whole width";
                }
                if (m.scroll_y) {
                    EXPECT_LT(m.client.h, map.h);
                    EXPECT_EQ(m.outer.bottom, work.bottom) << "a scrolled map takes the height left";
                }
            }
        }
    }
}

// Exact answers for the cases that went wrong or sit at an edge.
struct Exact_case {
    const char* name;
    int dpi;
    Place_rect work;
    Place_size map;
    Place_rect panel;
    Place_rect main;
    bool scroll_x;
    bool scroll_y;
    Place_size client;
};

TEST(Placement, ExactPlacements) {
    const Exact_case cases[] = {
        {"970 rows on a 1000-pixel screen scroll instead of leaving it", 96, {0, 0, 1600, 1000}, {1000, 970},
         {0, 0, 694, 111}, {0, 111, 1023, 1000}, false, true, {1000, 860}},
        {"the same at 144 DPI starts below the taller panel", 144, {0, 0, 1600, 1000}, {1000, 970},
         {0, 0, 1087, 157}, {0, 157, 1034, 1000}, false, true, {1000, 802}},
        {"192 DPI with the taskbar at the top: 1:1 below the panel", 192, {0, 40, 1920, 1080}, {1000, 700},
         {0, 40, 1382, 248}, {0, 248, 1012, 1004}, false, false, {1000, 700}},
        {"the whole grid on a monitor left of the primary scrolls both ways", 120, {-1280, 0, 0, 984},
         {1600, 1200}, {-1280, 0, -412, 134}, {-1280, 134, 0, 984}, true, true, {1251, 794}},
        {"taskbar at the left", 96, {62, 0, 1920, 1080}, {300, 200}, {62, 0, 756, 111}, {62, 111, 368, 340}, false,
         false, {300, 200}},
        {"a monitor above the primary", 192, {0, -1080, 1920, 0}, {1600, 1200}, {0, -1080, 1382, -872},
         {0, -872, 1646, 0}, false, true, {1600, 816}},
        {"the map exactly as large as the room: no scroll bar", 96, {0, 0, 1600, 1000}, {1594, 860},
         {0, 0, 694, 111}, {0, 111, 1600, 1000}, false, false, {1594, 860}},
        {"one column too wide: the horizontal bar makes the vertical one needed", 96, {0, 0, 1600, 1000},
         {1595, 860}, {0, 0, 694, 111}, {0, 111, 1600, 1000}, true, true, {1577, 843}},
        {"too little room below the panel: right of it", 96, {0, 0, 1600, 200}, {300, 200}, {0, 0, 694, 111},
         {694, 0, 1017, 200}, false, true, {300, 171}},
        {"no room beside the panel anywhere: the whole work area", 96, {0, 0, 700, 150}, {300, 200},
         {0, 0, 694, 111}, {0, 0, 323, 150}, false, true, {300, 121}},
    };
    for (const Exact_case& c : cases) {
        SCOPED_TRACE(c.name);
        const Dpi_case& d = At_dpi(c.dpi);
        const Monitor_area monitor{c.work, c.work};
        const Place_rect panel = Panel_place(monitor, d.panel);
        EXPECT_EQ(panel, c.panel);
        const Main_place m = Main_place_below(monitor, panel, c.map, d.frame);
        EXPECT_EQ(m.outer, c.main);
        EXPECT_EQ(m.scroll_x, c.scroll_x);
        EXPECT_EQ(m.scroll_y, c.scroll_y);
        EXPECT_EQ(m.client, c.client);
    }
}

// The panel moved or dragged elsewhere: the main window still goes below it,
// or beside it on the monitor, never over it.
TEST(Placement, MainFollowsAPanelThatMoved) {
    const Monitor_area monitor{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}};
    const Main_frame& f = At_dpi(96).frame;
    struct Case {
        Place_rect panel;
        Place_rect main;
    } cases[] = {
        {{400, 300, 1094, 411}, {400, 411, 1423, 1040}},     // in the middle: below it, scrolling
        {{1500, 0, 2194, 111}, {914, 111, 1920, 840}},       // partly off the right: below, moved in
        {{0, 950, 694, 1061}, {694, 311, 1700, 1040}},       // at the bottom: right of it
        {{-2000, 0, -1306, 111}, {0, 0, 1006, 729}},         // on another monitor: no part blocked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "panel " << c.panel);
        const Main_place m = Main_place_below(monitor, c.panel, {1000, 700}, f);
        EXPECT_EQ(m.outer, c.main);
        EXPECT_TRUE(Rect_inside(m.outer, monitor.work));
        EXPECT_FALSE(Rects_overlap(m.outer, c.panel));
    }
}

// After WM_DPICHANGED: the suggested position, the map 1:1 in the new frame,
// inside the work area of the new monitor, clear of the panel.
struct Dpi_change_case {
    const char* name;
    int dpi;
    Monitor_area monitor;
    Place_rect panel;
    Place_rect suggested;
    Place_size map;
    Place_rect main;
    bool scroll_x;
    bool scroll_y;
};

TEST(Placement, MainAfterDpiChange) {
    const Monitor_area right{{1920, 0, 3200, 1024}, {1920, 0, 3200, 1024}};
    const Monitor_area primary{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}};
    const Monitor_area left_up{{-1280, -200, 0, 824}, {-1280, -200, 0, 824}};
    const Dpi_change_case cases[] = {
        {"moved to a monitor of 144 DPI: the suggested place, the map's size", 144, right, {0, 0, 1087, 157},
         {2000, 100, 3500, 1200}, {1000, 700}, {2000, 100, 3008, 841}, false, false},
        {"a suggested rect past the edge is moved in", 144, right, {0, 0, 1087, 157}, {2500, 500, 4000, 1600},
         {1000, 700}, {2192, 283, 3200, 1024}, false, false},
        {"a suggested rect over the panel goes below it", 192, primary, {0, 0, 1382, 208}, {100, 50, 1600, 1200},
         {1000, 700}, {100, 208, 1112, 964}, false, false},
        {"a map too large for the new monitor scrolls, on negative coordinates", 96, left_up, {0, 0, 694, 111},
         {-1000, -150, 700, 1200}, {1600, 1200}, {-1280, -200, 0, 824}, true, true},
        {"a suggested rect smaller than the map does not shrink it", 120, primary, {0, 0, 868, 134},
         {500, 300, 700, 400}, {1000, 700}, {500, 300, 1508, 1035}, false, false},
    };
    for (const Dpi_change_case& c : cases) {
        SCOPED_TRACE(c.name);
        const Main_frame& f = At_dpi(c.dpi).frame;
        const Main_place m = Main_dpi_changed(c.monitor, c.panel, c.suggested, c.map, f);
        EXPECT_EQ(m.outer, c.main);
        EXPECT_EQ(m.scroll_x, c.scroll_x);
        EXPECT_EQ(m.scroll_y, c.scroll_y);
        EXPECT_TRUE(Rect_inside(m.outer, c.monitor.work));
        EXPECT_FALSE(Rects_overlap(m.outer, c.panel));
        EXPECT_EQ(Outer_size(m, f), (Place_size{m.outer.Width(), m.outer.Height()}));
    }
}

// Every suggested place on every layout at every DPI: the rules hold.
TEST(Placement, MainAfterDpiChangeOverLayouts) {
    for (const Dpi_case& d : Dpis) {
        for (const Layout_case& l : Layouts) {
            const Place_rect& work = l.monitor.work;
            const Place_rect panel = Panel_place(l.monitor, d.panel);
            const Place_rect suggested[] = {
                {work.left + 10, work.top + 10, work.left + 500, work.top + 400},  // over the panel
                {work.right - 50, work.bottom - 50, work.right + 900, work.bottom + 700},
                {work.left - 3000, work.top - 3000, work.left - 2000, work.top - 2000},
                {work.left + 200, panel.bottom + 30, work.left + 900, panel.bottom + 500},
            };
            for (const Place_rect& s : suggested) {
                for (const Place_size& map : Maps) {
                    SCOPED_TRACE(testing::Message() << d.dpi << " DPI, " << l.name << ", suggested " << s
                                                    << ", map " << map);
                    const Main_place m = Main_dpi_changed(l.monitor, panel, s, map, d.frame);
                    EXPECT_TRUE(Rect_inside(m.outer, work)) << m.outer;
                    EXPECT_FALSE(Rects_overlap(m.outer, panel)) << m.outer;
                    EXPECT_EQ(Outer_size(m, d.frame), (Place_size{m.outer.Width(), m.outer.Height()}));
                    if (!m.scroll_x) {
                        EXPECT_EQ(m.client.w, map.w);
                    }
                    if (!m.scroll_y) {
                        EXPECT_EQ(m.client.h, map.h);
                    }
                }
            }
        }
    }
}

TEST(Placement, PanelAfterDpiChange) {
    struct Case {
        Place_rect work;
        Place_rect suggested;
        Place_rect panel;
    } cases[] = {
        {{0, 0, 1920, 1040}, {1800, 900, 2887, 1057}, {833, 883, 1920, 1040}},       // past the corner
        {{0, 0, 1920, 1040}, {100, 50, 1187, 207}, {100, 50, 1187, 207}},           // inside: as suggested
        {{-1280, -200, 0, 824}, {-100, -300, 594, -189}, {-694, -200, 0, -89}},     // negative coordinates
        {{0, 40, 1920, 1080}, {10, 0, 704, 111}, {10, 40, 704, 151}},               // under a top taskbar
        {{1920, 0, 3200, 984}, {1900, 10, 3282, 218}, {1920, 10, 3302, 218}},       // wider than the monitor
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "suggested " << c.suggested);
        EXPECT_EQ(Panel_dpi_changed({c.work, c.work}, c.suggested), c.panel);
    }
}

}  // namespace
