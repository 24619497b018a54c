// Walking time of every pixel: the per-pixel count against the route
// display's own tracing (hand-made tables and a real map), the time against
// tovi-cli walk, band edges, the map picture drawn from it (at the walking
// figures' 70 m a minute in 1-minute bands), and the refusal of folders
// without a route.
#include <gtest/gtest.h>

#include <cstring>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/picture_file.h"
#include "map/pixel_check.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "platform/fake/fake_platform.h"
#include "route/evac_map.h"
#include "route/render.h"
#include "route/route_trace.h"
#include "route/travel_time.h"
#include "route/walk_stats.h"
#include "route/wave.h"
#include "storage/data_files.h"
#include "temp_folder.h"
#include "storage/file_io.h"

namespace {

constexpr uint32_t Land = Rgb(242, 239, 233);
constexpr uint32_t White = Rgb(255, 255, 255);

size_t Cell(int32_t x, int32_t y) { return size_t(x) + size_t(y) * Grid_w_fixed; }

std::string Minutes_text(double minutes) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%3.2f", minutes);
    return buf;
}

struct Travel_test : ::testing::Test {
    Fake_scope scope;
    void SetUp() override { Grid_allocate(); }
    void TearDown() override {
        Route_index_drop();
        Base_data = {};
    }
    static void Node(int32_t n, int wave, int32_t x, int32_t y, int32_t parent) {
        Rec_kind[n] = uint8_t(wave);
        Wave_queue[wave][n] = {uint16_t(x), uint16_t(y), parent, 1, -1};
    }
};

TEST_F(Travel_test, CountOfEveryPixelIsTheDisplaysOnHandMadeTables) {
    // Tables as a load may bring them: a pixel in both waves, the same pixel
    // twice in one wave, a link to a higher node, a link into the other
    // table's slot, a node off the grid and nodes past the count.
    Node(0, 0, 20, 20, -1);
    Node(1, 1, 30, 20, -1);
    Node(2, 0, 21, 20, 0);
    Node(3, 1, 29, 20, 1);
    Node(4, 0, 22, 20, 2);
    Node(5, 1, 22, 20, 3);   // same pixel as node 4, second wave: counted on top
    Node(6, 0, 21, 20, 4);   // a second node at node 2's pixel: node 2 is found first
    Node(7, 0, 23, 21, 9);   // link to a higher number: the walk ends there
    Node(8, 0, 24, 21, 5);   // slot 5 of the first table: walked as the display walks it
    Wave_queue[0][5] = {0, 0, 2, 0, -1};
    Node(9, 1, 1700, 20, 3); // off the grid
    Node(10, 0, 25, 21, 8);
    Node(11, 0, 26, 21, 10); // past the count
    const int32_t count = 11;

    for (int two = 0; two < 2; ++two) {
        SCOPED_TRACE(two ? "two places" : "one place");
        Route_index_drop();
        std::vector<int32_t> counts;
        Travel_counts(count, two, counts);
        ASSERT_EQ(counts.size(), size_t(Grid_cells));
        for (int32_t y = 15; y < 26; ++y) {
            for (int32_t x = 15; x < 35; ++x) {
                Route_path path;
                Route_trace(x, y, two, count, path);
                ASSERT_EQ(counts[Cell(x, y)], path.count) << x << ", " << y;
            }
        }
        EXPECT_EQ(counts[Cell(22, 20)], two ? 3 + 3 : 3);
        EXPECT_EQ(counts[Cell(24, 21)], 4);  // 8, slot 5 of the first table, 2, 0
        EXPECT_EQ(counts[Cell(26, 21)], 0);
    }
    // Counts beyond the tables are kept to them; none gives an empty map.
    std::vector<int32_t> counts;
    Travel_counts(0, 1, counts);
    EXPECT_EQ(std::count(counts.begin(), counts.end(), 0), Grid_cells);
    Travel_counts(-5, 1, counts);
    EXPECT_EQ(std::count(counts.begin(), counts.end(), 0), Grid_cells);
}

TEST_F(Travel_test, MinutesAreTheWalkingFiguresOwn) {
    for (int scale : {0, 1, 2})
        for (int32_t count = 0; count <= 200000; count += (count < 5000 ? 1 : 97))
            ASSERT_EQ(Minutes_text(Travel_minutes(count, scale)), Walk_stats_texts(count, scale).minutes)
                << "count " << count << " scale " << scale;
}

TEST_F(Travel_test, BandEdges) {
    struct Case {
        int scale;
        int32_t count;
        int32_t band_minutes;
        int32_t band;
    } const cases[] = {
        {1, 0, 1, 0},     {1, 10, 1, 0},    {1, 34, 1, 0},   {1, 35, 1, 1},   // 68 m, then 70 m: "1.00"
        {1, 69, 1, 1},    {1, 70, 1, 2},    {0, 69, 1, 0},   {0, 70, 1, 1},   // 100 m: 1 m a pixel
        {0, 139, 1, 1},   {0, 140, 1, 2},   {1, 174, 5, 0},  {1, 175, 5, 1},  // 348 m, 350 m in 5-minute bands
        {1, 349, 5, 1},   {1, 350, 5, 2},   {0, 2099, 30, 0}, {0, 2100, 30, 1},
        {2, 6999, 1, 0},  {2, 7000, 1, 1},  // any other flag: unscaled, a pixel is 1 cm
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << " count " << c.count << " band " << c.band_minutes);
        EXPECT_EQ(Travel_band(Travel_minutes(c.count, c.scale), c.band_minutes), c.band);
    }
}

// ---- A real map ----

Point Open_white_near(const Image& map, int32_t x, int32_t y) {
    for (int32_t r = 0; r < 300; ++r)
        for (int32_t dy = -r; dy <= r; ++dy)
            for (int32_t dx = -r; dx <= r; ++dx) {
                if (std::max(std::abs(dx), std::abs(dy)) != r) continue;
                bool open = true;
                for (int32_t j = -1; j <= 1 && open; ++j)
                    for (int32_t i = -1; i <= 1 && open; ++i) open = map.get(x + dx + i, y + dy + j) == White;
                if (open) return {x + dx, y + dy};
            }
    return {x, y};
}

struct Cli_run {
    int code;
    std::string out, err;
};

std::filesystem::path Cli_path() { return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tovi-cli"; }

std::string Slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

Cli_run Cli(const Temp_folder& out, const std::string& args) {
    const std::string command =
        Q(Cli_path().string()) + " " + args + " >" + Q(out.file("stdout")) + " 2>" + Q(out.file("stderr"));
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out.file("stdout")), Slurp(out.file("stderr"))};
}

// The value after "name: " on its own line of walk's output, or "".
std::string Field(const std::string& out, const std::string& name) {
    const std::string key = name + ": ";
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key, 0) == 0) return line.substr(key.size());
    return "";
}

TEST_F(Travel_test, TimeOfAPixelIsWhatWalkReportsOnARealMap) {
    Image map;
    std::string why;
    ASSERT_TRUE(Picture_read(TOVI_SOURCE_DIR "/resources/maps/kyoto-1600x1200.png", map, why)) << why;
    Base_record sets{};
    sets.Evac_n = 2;
    const Point a = Open_white_near(map, 500, 400), b = Open_white_near(map, 1100, 800);
    sets.Evac_x[0] = a.x, sets.Evac_y[0] = a.y, sets.Evac_x[1] = b.x, sets.Evac_y[1] = b.y;
    const Point c = Open_white_near(map, 800, 600), d = Open_white_near(map, 700, 300);
    sets.Cong_n = 1, sets.Cong_x[0] = c.x, sets.Cong_y[0] = c.y;
    sets.Nopass_n = 1, sets.Nopass_x[0] = d.x, sets.Nopass_y[0] = d.y;
    Image shown = map;
    Markers_paint(shown, sets);
    const Wave_result r = Wave_run(shown, map.w, map.h, 2, a.x, a.y, b.x, b.y);
    ASSERT_EQ(r.status, Wave_completed);
    ASSERT_GT(r.nodes, 50000);

    std::vector<int32_t> counts;
    Travel_counts(r.nodes, 1, counts);

    // A spread of pixels and the pixels of random nodes of both waves, traced
    // as the display traces them, for the figures walk prints.
    std::vector<Point> probes;
    for (int32_t y = 3; y < 1200; y += 23)
        for (int32_t x = 5; x < 1600; x += 29) probes.push_back({x, y});
    std::mt19937 rng(9);
    for (int i = 0; i < 2000; ++i) {
        const int32_t n = int32_t(rng() % uint32_t(r.nodes));
        const Wave_rec& rec = Wave_queue[Rec_kind[n] & 1][n];
        probes.push_back({rec.x, rec.y});
    }
    int reached = 0, far = 0;
    for (Point p : probes) {
        Route_path path;
        Route_trace(p.x, p.y, 1, r.nodes, path);
        const int32_t count = counts[Cell(p.x, p.y)];
        ASSERT_EQ(count, path.count) << p.x << ", " << p.y;
        if (path.count > Route_stats_min) {
            for (int scale : {0, 1})
                ASSERT_EQ(Minutes_text(Travel_minutes(count, scale)), Walk_stats_texts(path.count, scale).minutes);
            far += Travel_minutes(count, 1) >= 5.0;
        }
        reached += count > 0;
    }
    EXPECT_GT(reached, 2000);
    EXPECT_GT(far, 500);

    // The same work saved, and tovi-cli walk and render run on it.
    if (!std::filesystem::exists(Cli_path())) GTEST_SKIP() << "tovi-cli is not built";
    Temp_folder work, out;
    sets.Map_rect = {0, 0, map.w, map.h};
    Base_data = sets;
    Map_image = map;
    Photo_image = Image();
    Route_markers_sum = Markers_sum(sets);  // the route above was built for these markers
    ASSERT_EQ(Data_save_to(work.str()), "");
    const Cli_run render =
        Cli(out, "render " + Q(work.str()) + " " + Q(out.file("map.png")) + " --scale 100 --speed 70 --band 1");
    ASSERT_EQ(render.code, 0) << render.err;
    Image png;
    ASSERT_TRUE(Picture_read(out.file("map.png"), png, why)) << why;
    // The map stands at the picture's top-left at 1:1, the legend beside it.
    const Evac_options figures_speed{70, 1, 0, {0, 0.0}};
    const Image expected = Evac_map_draw(map, sets, counts, figures_speed);
    ASSERT_GT(png.w, expected.w);
    ASSERT_EQ(png.h, expected.h);
    for (int32_t y = 0; y < expected.h; ++y)
        for (int32_t x = 0; x < expected.w; ++x) ASSERT_EQ(png.get(x, y), expected.get(x, y)) << x << ", " << y;

    const Point walks[] = {probes[probes.size() - 1], probes[probes.size() - 2], probes[probes.size() - 3],
                           {b.x + 1, b.y}, {3, 3}};
    for (const Point p : walks) {
        for (int scale : {0, 1}) {
            SCOPED_TRACE(testing::Message() << p.x << ", " << p.y << " scale " << scale);
            const int32_t count = counts[Cell(p.x, p.y)];
            const Cli_run k = Cli(out, "walk " + Q(work.str()) + " " + std::to_string(p.x) + " " +
                                           std::to_string(p.y) + (scale ? " --scale 200" : " --scale 100"));
            EXPECT_EQ(Field(k.out, "pixels"), std::to_string(count));
            if (count > Route_stats_min) {
                EXPECT_EQ(Field(k.out, "minutes"), Minutes_text(Travel_minutes(count, scale)));
            }
            // Away from the markers, which are drawn on top, the picture
            // carries the band of that time (rendered at 100 m).
            bool near_marker = false;
            for (const Point m : {a, b, c, d}) near_marker |= std::abs(m.x - p.x) <= 8 && std::abs(m.y - p.y) <= 8;
            if (count > 0 && !near_marker) {
                EXPECT_EQ(png.get(p.x, p.y),
                          Evac_band_colour(std::min(Travel_band(Travel_minutes(count, 0), 1), Evac_bands - 1)));
            }
        }
    }
}

// ---- The picture ----

// A road along row 20 from a place at its west end, cut by a no-passage
// point: east of the cut the road is a gap.
TEST_F(Travel_test, PictureColoursReachedPixelsMarksGapsAndFadesTheRest) {
    Image map(200, 60, Land);
    for (int32_t x = 5; x < 195; ++x) map.set(x, 20, White), map.set(x, 21, White);
    Base_record sets{};
    sets.Evac_n = 1, sets.Evac_x[0] = 15, sets.Evac_y[0] = 20;
    sets.Nopass_n = 1, sets.Nopass_x[0] = 150, sets.Nopass_y[0] = 20;
    Image shown = map;
    Markers_paint(shown, sets);
    const Wave_result r = Wave_run(shown, map.w, map.h, 1, 15, 20, 0, 0);
    ASSERT_EQ(r.status, Wave_completed);
    std::vector<int32_t> counts;
    Travel_counts(r.nodes, 0, counts);

    // At 100 m a pixel is 1 m: 70 pixels a minute at the figures' speed. Node 0 counts 1.
    const Evac_options figures_speed{70, 1, 0, {0, 0.0}};
    const Image pic = Evac_map_draw(map, sets, counts, figures_speed);
    const Evac_figures f = Evac_figures_of(map, counts, figures_speed);
    EXPECT_EQ(f.reached, r.nodes);
    EXPECT_GT(f.band_pixels[0], 0);
    EXPECT_GT(f.band_pixels[1], 0);
    EXPECT_EQ(f.band_pixels[0] + f.band_pixels[1], f.reached);
    EXPECT_EQ(pic.w, map.w);
    EXPECT_EQ(pic.h, map.h);
    struct Case {
        const char* what;
        int32_t x, y;
        uint32_t colour;
    } const cases[] = {
        {"near end of the first band", 30, 21, Evac_band_colour(0)},
        {"69 pixels: 0.99 min", 15 + 68, 20, Evac_band_colour(0)},
        {"70 pixels: 1.00 min", 15 + 69, 20, Evac_band_colour(1)},
        {"before the cut", 130, 20, Evac_band_colour(1)},
        {"gap behind the cut", 170, 20, Evac_unreached_colour},
        {"no-passage point", 150, 20, Marker_colour(Kind_nopass)},
        {"evacuation place", 15, 21, Marker_colour(Kind_evac)},
        {"ring around the place", 12, 22, Rgb(30, 30, 30)},
        {"land, faded", 100, 40, Travel_faded(Land)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pic.get(c.x, c.y), c.colour);
    }
    EXPECT_NE(Travel_faded(Land), Land);
    EXPECT_EQ(Travel_faded(White), White);
    EXPECT_NE(Evac_band_colour(0), Evac_band_colour(4));

    // Wider bands: one band of 5 minutes covers the whole road.
    const Evac_figures wide = Evac_figures_of(map, counts, {70, 5, 0, {0, 0.0}});
    EXPECT_EQ(wide.band_pixels[0], wide.reached);
    // The PNG round-trips.
    Temp_folder out;
    ASSERT_TRUE(Png_write(pic, out.file("p.png")));
    Image back;
    std::string why;
    ASSERT_TRUE(Picture_read(out.file("p.png"), back, why)) << why;
    EXPECT_TRUE(back.px == pic.px);
}

// ---- Folders without a route ----

struct Render_cli_test : Travel_test {
    Temp_folder out;
    void SetUp() override {
        Travel_test::SetUp();
        if (!std::filesystem::exists(Cli_path())) GTEST_SKIP() << "tovi-cli is not built";
    }
};

Image Town() {
    Image img(160, 120, Land);
    for (int32_t y = 6; y < 116; y += 12)
        for (int32_t x = 4; x < 156; ++x) img.set(x, y, White), img.set(x, y + 1, White);
    for (int32_t x = 6; x < 156; x += 12)
        for (int32_t y = 4; y < 116; ++y) img.set(x, y, White), img.set(x + 1, y, White);
    return img;
}

void Write_base(const Temp_folder& dir, const Base_record& b) {
    std::ofstream(dir.file("base.dat"), std::ios::binary).write(reinterpret_cast<const char*>(&b), sizeof b);
}

Base_record Read_base(const Temp_folder& dir) {
    Base_record b{};
    std::ifstream(dir.file("base.dat"), std::ios::binary).read(reinterpret_cast<char*>(&b), sizeof b);
    return b;
}

TEST_F(Render_cli_test, FoldersWithoutARouteAreRefused) {
    // A capture of the town: its flood's tables and record count, no place.
    Temp_folder captured, placed, routed, no_nodes, no_table;
    Image screen = Town();
    Base_record mark{};
    mark.Evac_n = 1, mark.Evac_x[0] = 30, mark.Evac_y[0] = 18;
    Markers_paint(screen, mark);  // the evacuation colour the capture needs
    ASSERT_TRUE(Png_write(screen, out.file("screen.png")));
    const Cli_run capture = Cli(out, "capture " + Q(out.file("screen.png")) + " 40 19 " + Q(captured.str()));
    ASSERT_EQ(capture.code, 0) << capture.out << capture.err;
    ASSERT_GT(Read_base(captured).Road_rec_total, 0);

    // The same with places set but no route built; then routed.
    const Base_record b = Read_base(captured);
    for (const Temp_folder* dir : {&placed, &routed, &no_nodes, &no_table}) {
        for (const char* name : {"base.dat", "tst.bmp", "d1.dat", "d2.dat", "d3.dat", "d4.dat"})
            std::filesystem::copy_file(captured.file(name), dir->file(name));
        // Two crossings of the town, in the captured picture's own pixels.
        const std::string places = " --evac " + std::to_string(54 - b.Map_rect.left) + "," +
                                   std::to_string(42 - b.Map_rect.top) + " --evac " +
                                   std::to_string(126 - b.Map_rect.left) + "," + std::to_string(90 - b.Map_rect.top);
        ASSERT_EQ(Cli(out, "mark " + Q(dir->str()) + places).code, 0);
    }
    for (const Temp_folder* dir : {&routed, &no_nodes, &no_table})
        ASSERT_EQ(Cli(out, "route " + Q(dir->str())).code, 0);
    // A folder of an earlier version (a tail of zeros) that counts no records.
    Base_record zero = Read_base(no_nodes);
    zero.Road_rec_total = 0;
    std::memset(zero.Base_reserved, 0, sizeof zero.Base_reserved);
    Write_base(no_nodes, zero);
    std::filesystem::remove(no_table.file("d2.dat"));

    const std::string png = Q(out.file("t.png"));
    struct Case {
        std::string args;
        int code;
        std::string err_start;
    } const cases[] = {
        {"render " + Q(routed.str()) + " " + png, 0, ""},
        {"render " + Q(captured.str()) + " " + png, 1, "tovi-cli: " + captured.str() + ": no route built for its markers"},
        {"render " + Q(placed.str()) + " " + png, 1, "tovi-cli: " + placed.str() + ": no route built for its markers"},
        {"render " + Q(no_nodes.str()) + " " + png, 1, "tovi-cli: " + no_nodes.str() + ": no route built for its markers"},
        {"render " + Q(no_table.str()) + " " + png, 2, "tovi-cli: " + no_table.str() + ": d2.dat: missing"},
        {"render " + Q(out.file("none")) + " " + png, 2, "tovi-cli: " + out.file("none") + ": not a folder"},
        {"render " + Q(routed.str()), 2, "tovi-cli: render takes DIR and OUT.png"},
        {"render " + Q(routed.str()) + " " + png + " --band 0", 2, "tovi-cli: --band is a whole number"},
        {"render " + Q(routed.str()) + " " + png + " --band 1.5", 2, "tovi-cli: --band is a whole number"},
        {"render " + Q(routed.str()) + " " + png + " --band", 2, "tovi-cli: --band needs"},
        {"render " + Q(routed.str()) + " " + png + " --scale 150", 2, "tovi-cli: --scale is 100 or 200"},
        {"render " + Q(routed.str()) + " " + Q(out.file("no/such/dir/t.png")), 1, "tovi-cli: cannot write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::filesystem::remove(out.file("t.png"));
        const Cli_run r = Cli(out, c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.err.substr(0, c.err_start.size()), c.err_start) << r.err;
        EXPECT_EQ(std::filesystem::exists(out.file("t.png")), c.code == 0);
        if (c.code == 0) EXPECT_EQ(r.out.rfind("rendered ", 0), 0u) << r.out;
        else EXPECT_EQ(r.out, "");
    }
}

}  // namespace
