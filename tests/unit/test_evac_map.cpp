// The evacuation map: the one conversion of a route length, band edges at the
// chosen speed, every pixel's band against an independent computation on a
// sample map's saved route, the figures, the page layout over papers and
// resolutions, real Japanese text (TTC included), the comparison of two
// versions, and tovi-cli render and compare on good and bad input.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
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
#include "route/text_render.h"
#include "route/travel_time.h"
#include "route/walk_stats.h"
#include "route/wave.h"
#include "storage/data_files.h"
#include "temp_folder.h"

namespace {

constexpr uint32_t White = Rgb(255, 255, 255);

size_t Cell(int32_t x, int32_t y) { return size_t(x) + size_t(y) * Grid_w_fixed; }

std::vector<uint8_t> Bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Fc_match(const std::string& pattern) {
    const std::string command = "fc-match -f '%{file}' '" + pattern + "' 2>/dev/null";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// The Japanese font the batch command would find, once per run.
const Text_font& Japanese_font() {
    static Text_font font = [] {
        Text_font f;
        for (const std::string& path : {Fc_match("IPAGothic:lang=ja"), Fc_match(":lang=ja"),
                                        std::string("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf")})
            if (!path.empty() && Text_font_load(f, Bytes_of(path)).empty()) break;
        return f;
    }();
    return font;
}

std::string Latin_font_path() {
    for (const std::string& p : {std::string("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"), Fc_match("DejaVu Sans")})
        if (!p.empty() && std::filesystem::exists(p)) return p;
    return "";
}

#define NEED_FONT() \
    if (!Japanese_font().ok()) GTEST_SKIP() << "no Japanese font installed (fonts-ipafont-gothic)"

// ---- The conversion and the bands ----

TEST(Evac_convert, OneConversionForFiguresAndMap) {
    // The walking figures at 70 m a minute keep their texts.
    for (int flag : {0, 1, 2})
        for (int32_t count = 0; count < 3000; ++count) {
            const Walk_length w = Walk_convert(count, Map_scale{flag, 0.0}, Figures_speed);
            const Walk_figures f = Walk_stats_texts(count, flag);
            ASSERT_EQ(std::to_string(w.metres), f.distance);
            char minutes[32];
            std::snprintf(minutes, sizeof minutes, "%3.2f", w.minutes);
            ASSERT_EQ(minutes, f.minutes);
        }
    struct Case {
        int32_t count;
        Map_scale scale;
        double speed;
        int32_t metres;
        double minutes;
    } const cases[] = {
        {100, {0, 0.0}, 43, 100, 100 / 43.0},
        {100, {1, 0.0}, 43, 200, 200 / 43.0},
        {100, {2, 0.0}, 43, 1, 1 / 43.0},          // unscaled: a pixel is 1 cm
        {100, {1, 1.37}, 43, 137, 137 / 43.0},     // a measured scale replaces the flag
        {3, {0, 0.7}, 60, 2, 2 / 60.0},            // 2.1 m, truncated
        {100, {1, -1.0}, 30, 200, 200 / 30.0},     // no measured scale: the flag
        {2000000000, {1, 0.0}, 70, 5680414, 5680414 / 70.0},     // the figures' 32-bit product wraps
        {2000000000, {1, 5.0}, 70, INT32_MAX, INT32_MAX / 70.0},  // a measured product is kept within 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " px, flag " << c.scale.flag << ", " << c.scale.metres_per_pixel);
        const Walk_length w = Walk_convert(c.count, c.scale, c.speed);
        EXPECT_EQ(w.metres, c.metres);
        EXPECT_DOUBLE_EQ(w.minutes, c.minutes);
    }
    EXPECT_EQ(Scale_metres_per_pixel({0, 0}), 1.0);
    EXPECT_EQ(Scale_metres_per_pixel({1, 0}), 2.0);
    EXPECT_EQ(Scale_metres_per_pixel({1, 1.37}), 1.37);
    EXPECT_EQ(Scale_text({1, 0}), "1画素 = 2 m (200 m)");
    EXPECT_EQ(Scale_text({0, 1.37}), "1画素 = 1.37 m (実測)");
}

TEST(Evac_convert, BandEdgesAtTheChosenSpeed) {
    struct Case {
        int32_t count;
        Evac_options o;
        int32_t band;
        bool beyond;
    } const cases[] = {
        {0, {}, -1, false},
        {1, {}, 0, false},
        {64, {}, 0, false},                             // 128 m at 43 m/分: 2.98 min
        {65, {}, 1, false},                             // 130 m: 3.02 min
        {128, {43, 3, 0, {0, 0}}, 0, false},            // 1 m a pixel
        {129, {43, 3, 0, {0, 0}}, 1, false},            // exactly 3.00 min: the band above
        {257, {43, 3, 0, {0, 0}}, 1, false},
        {258, {43, 3, 0, {0, 0}}, 2, false},
        {902, {43, 3, 0, {0, 0}}, 6, false},            // 20.98 min
        {903, {43, 3, 0, {0, 0}}, 7, false},            // 21.00 min: the last band
        {100000, {43, 3, 0, {0, 0}}, 7, false},         // far beyond: still the last band
        {42, {43, 1, 0, {0, 0}}, 0, false},
        {43, {43, 1, 0, {0, 0}}, 1, false},
        {214, {43, 5, 0, {0, 0}}, 0, false},
        {215, {43, 5, 0, {0, 0}}, 1, false},
        {59, {60, 1, 0, {0, 0}}, 0, false},
        {60, {60, 1, 0, {0, 0}}, 1, false},
        {85, {43, 3, 0, {1, 1.5}}, 0, false},           // 127.5 m: 127 m
        {86, {43, 3, 0, {1, 1.5}}, 1, false},           // 129 m
        {386, {43, 3, 9, {0, 0}}, 2, false},            // 8.98 min, limit 9
        {387, {43, 3, 9, {0, 0}}, 3, true},             // 9.00 min: at the limit is beyond it
        {193, {43, 3, 9, {1, 0}}, 2, false},            // 386 m
        {194, {43, 3, 9, {1, 0}}, 3, true},             // 388 m
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " px at " << c.o.speed << " m/min, band " << c.o.band_minutes);
        EXPECT_EQ(Evac_band(c.count, c.o), c.band);
        EXPECT_EQ(Evac_beyond(c.count, c.o), c.beyond);
    }
    // The convention's colours, all apart, neighbours apart in greyscale too.
    auto grey = [](uint32_t c) { return 0.299 * Red_of(c) + 0.587 * Green_of(c) + 0.114 * Blue_of(c); };
    for (int32_t k = 0; k < Evac_bands; ++k) {
        EXPECT_NE(Evac_band_colour(k), Evac_unreached_colour);
        for (int kind : {Kind_evac, Kind_cong, Kind_nopass}) EXPECT_NE(Evac_band_colour(k), Marker_colour(kind));
        for (int32_t j = 0; j < k; ++j) EXPECT_NE(Evac_band_colour(k), Evac_band_colour(j));
        if (k > 0) {
            EXPECT_GT(std::fabs(grey(Evac_band_colour(k)) - grey(Evac_band_colour(k - 1))), 35.0) << k;
        }
    }
    EXPECT_EQ(Evac_band_colour(99), Evac_band_colour(Evac_bands - 1));
    EXPECT_EQ(Evac_options_check({}), "");
    EXPECT_NE(Evac_options_check({0, 3, 0, {}}), "");
    EXPECT_NE(Evac_options_check({-43, 3, 0, {}}), "");
    EXPECT_NE(Evac_options_check({43, 0, 0, {}}), "");
    EXPECT_NE(Evac_options_check({43, 3, -1, {}}), "");
}

// ---- Text ----

// A collection of two faces, the first without Japanese glyphs: each font's
// tables are copied and their offsets moved to where they now stand.
std::vector<uint8_t> Collection(const std::vector<std::vector<uint8_t>>& fonts) {
    auto be32 = [](const std::vector<uint8_t>& b, size_t at) {
        return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | uint32_t(b[at + 3]);
    };
    auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(v >> (24 - 8 * k));
    };
    std::vector<uint8_t> out(12 + 4 * fonts.size(), 0);
    out[0] = 't', out[1] = 't', out[2] = 'c', out[3] = 'f';
    put32(out, 4, 0x00010000);
    put32(out, 8, uint32_t(fonts.size()));
    for (size_t f = 0; f < fonts.size(); ++f) {
        while (out.size() % 4) out.push_back(0);
        const uint32_t base = uint32_t(out.size());
        put32(out, 12 + 4 * f, base);
        std::vector<uint8_t> font = fonts[f];
        const uint32_t tables = uint32_t(font[4]) << 8 | font[5];
        for (uint32_t t = 0; t < tables; ++t) put32(font, 12 + 16 * t + 8, be32(font, 12 + 16 * t + 8) + base);
        out.insert(out.end(), font.begin(), font.end());
    }
    return out;
}

TEST(Evac_text, JapaneseTextFromAFontFileOrCollection) {
    NEED_FONT();
    const std::string latin = Latin_font_path();
    if (latin.empty()) GTEST_SKIP() << "no DejaVu font to build a collection from";
    Text_font none;
    EXPECT_NE(Text_font_load(none, Bytes_of(latin)).find("no Japanese glyphs"), std::string::npos);
    EXPECT_FALSE(none.ok());
    EXPECT_NE(Text_font_load(none, std::vector<uint8_t>(100, 7)), "");
    EXPECT_NE(Text_font_load(none, {}), "");
    EXPECT_FALSE(none.ok());

    const std::vector<uint8_t> ja = Japanese_font().face ? Bytes_of(Fc_match("IPAGothic:lang=ja")) : std::vector<uint8_t>{};
    ASSERT_FALSE(ja.empty());
    Text_font from_ttc;
    ASSERT_EQ(Text_font_load(from_ttc, Collection({Bytes_of(latin), ja})), "");
    Text_font only_latin;
    EXPECT_NE(Text_font_load(only_latin, Collection({Bytes_of(latin), Bytes_of(latin)})), "");

    // The same text from the collection's second face and from the plain
    // file draws the same pixels; the ink lies within the measured box.
    for (const Text_font* f : {&Japanese_font(), static_cast<const Text_font*>(&from_ttc)}) {
        Image img(300, 60, White);
        const std::string text = "避難地図 0〜3分";
        const Text_extent e = Text_measure(*f, text, 24);
        const int32_t adv = Text_draw(img, *f, 10, 10, text, 24, Rgb(0, 0, 0));
        EXPECT_NEAR(adv, e.width, 1);
        EXPECT_GT(e.width, 150);
        EXPECT_GE(e.height(), 24);
        int64_t ink = 0;
        for (int32_t y = 0; y < img.h; ++y)
            for (int32_t x = 0; x < img.w; ++x)
                if (img.get(x, y) != White) {
                    ++ink;
                    EXPECT_TRUE(x >= 9 && x <= 10 + e.width && y >= 9 && y <= 10 + e.height()) << x << ", " << y;
                }
        EXPECT_GT(ink, 500);
    }
    Image a(300, 60, White), b(300, 60, White);
    Text_draw(a, Japanese_font(), 10, 10, "避難場所", 24, 0);
    Text_draw(b, from_ttc, 10, 10, "避難場所", 24, 0);
    EXPECT_TRUE(a.px == b.px);
    // Off the picture nothing is written and nothing breaks.
    Text_draw(a, from_ttc, -500, -500, "避難", 200, 0);
    Text_draw(a, from_ttc, 290, 50, "避難", 200, 0);

    struct Case {
        std::string utf8;
        std::u32string cps;
    } const cases[] = {
        {"避難", U"避難"},
        {"a\xE9" "b", U"a\uFFFDb"},             // a lone lead byte
        {"\xC0\xAF", U"\uFFFD\uFFFD"},          // overlong
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},  // a surrogate
        {"\xF0\x9F\x97\xBE", U"\U0001F5FE"},
    };
    for (const Case& c : cases) {
        const std::vector<char32_t> got = Utf8_decode(c.utf8);
        EXPECT_EQ(std::u32string(got.begin(), got.end()), c.cps);
    }
}

// ---- A sample map's route ----

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

std::string Q(const std::string& s) { return "'" + s + "'"; }

Cli_run Cli(const Temp_folder& out, const std::string& args) {
    const std::string command =
        Q(Cli_path().string()) + " " + args + " >" + Q(out.file("stdout")) + " 2>" + Q(out.file("stderr"));
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out.file("stdout")), Slurp(out.file("stderr"))};
}

// The band an independent reading of the walking figures gives a route of
// count pixels: metres as the figures show them, minutes at the speed.
int32_t Band_by_hand(int32_t count, int scale_flag, double speed, int32_t band_minutes) {
    const int32_t metres = scale_flag == 0 ? count : count * 2;
    const double minutes = metres / speed;
    return std::min(int32_t(std::floor(minutes / band_minutes)), 7);
}

struct Evac_test : ::testing::Test {
    Fake_scope scope;
    Image map;
    Base_record sets{};
    Point place[2], cong, nopass;
    int32_t nodes = 0;
    std::vector<int32_t> counts;

    void SetUp() override {
        Grid_allocate();
        std::string why;
        ASSERT_TRUE(Picture_read(TOVI_SOURCE_DIR "/resources/maps/kyoto-1600x1200.png", map, why)) << why;
        place[0] = Open_white_near(map, 500, 400), place[1] = Open_white_near(map, 1100, 800);
        cong = Open_white_near(map, 800, 600), nopass = Open_white_near(map, 700, 300);
        Route(place[0], place[1]);
    }
    void Route(Point a, Point b) {
        sets = Base_record{};
        sets.Evac_n = 2;
        sets.Evac_x[0] = a.x, sets.Evac_y[0] = a.y, sets.Evac_x[1] = b.x, sets.Evac_y[1] = b.y;
        sets.Cong_n = 1, sets.Cong_x[0] = cong.x, sets.Cong_y[0] = cong.y;
        sets.Nopass_n = 1, sets.Nopass_x[0] = nopass.x, sets.Nopass_y[0] = nopass.y;
        Image shown = map;
        Markers_paint(shown, sets);
        Route_index_drop();
        const Wave_result r = Wave_run(shown, map.w, map.h, 2, a.x, a.y, b.x, b.y);
        ASSERT_EQ(r.status, Wave_completed);
        ASSERT_GT(r.nodes, 50000);
        nodes = r.nodes;
        Travel_counts(nodes, 1, counts);
    }
    // Saves the work as a save does, with its map picture.
    // The work as a save leaves it: the route above built for these markers.
    void Save(const Temp_folder& dir) {
        Base_record saved = sets;
        saved.Map_rect = {0, 0, map.w, map.h};
        Base_data = saved;
        Map_image = map;
        Photo_image = Image();
        Route_markers_sum = Markers_sum(saved);
        ASSERT_EQ(Data_save_to(dir.str()), "");
    }
    // An open white pixel near (x, y) that the current route reaches.
    Point Reached_near(int32_t x, int32_t y) const {
        for (int32_t r = 0; r < 400; ++r)
            for (int32_t dy = -r; dy <= r; ++dy)
                for (int32_t dx = -r; dx <= r; ++dx) {
                    if (std::max(std::abs(dx), std::abs(dy)) != r) continue;
                    const int32_t px = x + dx, py = y + dy;
                    if (!map.inside(px, py) || counts[Cell(px, py)] <= 0) continue;
                    bool open = true;
                    for (int32_t j = -1; j <= 1 && open; ++j)
                        for (int32_t i = -1; i <= 1 && open; ++i) open = map.get(px + i, py + j) == White;
                    if (open) return {px, py};
                }
        return {x, y};
    }
    bool Near_marker(int32_t x, int32_t y) const {
        for (const Point m : {place[0], place[1], cong, nopass})
            if (std::abs(m.x - x) <= 14 && std::abs(m.y - y) <= 14) return true;
        return false;
    }
    void TearDown() override {
        Route_index_drop();
        Base_data = {};
    }
};

TEST_F(Evac_test, EveryReachedPixelHasTheBandOfItsDisplayedWalk) {
    struct Case {
        int scale;
        double speed;
        int32_t band;
    } const cases[] = {{1, 43, 3}, {0, 43, 3}, {1, 60, 1}, {1, 30, 5}, {0, 70, 1}};
    // Independently: the route the display traces from the pixel, its length
    // in metres as the figures show it, minutes at the speed, the band.
    std::mt19937 rng(4);
    std::vector<Point> probes;
    for (int32_t y = 2; y < map.h; y += 7)
        for (int32_t x = 3; x < map.w; x += 7) probes.push_back({x, y});
    std::vector<int32_t> traced(probes.size());
    int reached = 0;
    for (size_t i = 0; i < probes.size(); ++i) {
        Route_path path;
        Route_trace(probes[i].x, probes[i].y, 1, nodes, path);
        traced[i] = path.count;
        reached += path.count > 0;
    }
    ASSERT_GT(reached, 1500);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << ", " << c.speed << " m/min, bands of " << c.band);
        const Evac_options o{c.speed, c.band, 0, {c.scale, 0.0}};
        const Image drawn = Evac_map_draw(map, sets, counts, o);
        ASSERT_EQ(drawn.w, map.w);
        ASSERT_EQ(drawn.h, map.h);
        int seen[Evac_bands] = {};
        for (size_t i = 0; i < probes.size(); ++i) {
            const Point p = probes[i];
            if (Near_marker(p.x, p.y)) continue;
            const uint32_t shown = drawn.get(p.x, p.y);
            if (traced[i] > 0) {
                const int32_t band = Band_by_hand(traced[i], c.scale, c.speed, c.band);
                ASSERT_EQ(shown, Evac_band_colour(band)) << p.x << ", " << p.y << ": " << traced[i] << " px";
                ++seen[band];
            } else if (Pixel_code(map.get(p.x, p.y) & 0xFFFFFF) & Code_road) {
                ASSERT_EQ(shown, Evac_unreached_colour) << p.x << ", " << p.y;
            } else {
                ASSERT_EQ(shown, Travel_faded(map.get(p.x, p.y) & 0xFFFFFF)) << p.x << ", " << p.y;
            }
        }
        int bands_seen = 0;
        for (int k : seen) bands_seen += k > 0;
        EXPECT_GE(bands_seen, 4);
    }
}

TEST_F(Evac_test, FiguresAddUpAndMatchTheMap) {
    const Evac_options options[] = {{}, {43, 1, 0, {0, 0}}, {60, 5, 10, {1, 0}}, {43, 3, 9, {1, 1.37}}};
    for (const Evac_options& o : options) {
        SCOPED_TRACE(testing::Message() << o.speed << " m/min, bands of " << o.band_minutes << ", limit " << o.limit_minutes);
        const Evac_figures f = Evac_figures_of(map, counts, o);
        int64_t reached = 0, beyond = 0, band_pixels[Evac_bands] = {}, unreached = 0;
        int32_t longest = 0;
        for (int32_t y = 0; y < map.h; ++y)
            for (int32_t x = 0; x < map.w; ++x) {
                const int32_t c = counts[Cell(x, y)];
                if (c <= 0) {
                    unreached += (Pixel_code(map.get(x, y) & 0xFFFFFF) & Code_road) != 0;
                    continue;
                }
                ++reached;
                longest = std::max(longest, c);
                const double minutes = Walk_convert(c, o.scale, o.speed).minutes;
                ++band_pixels[std::min(int32_t(std::floor(minutes / o.band_minutes)), 7)];
                beyond += o.limit_minutes > 0 && minutes >= o.limit_minutes;
            }
        EXPECT_EQ(f.reached, reached);
        EXPECT_EQ(f.unreached_road, unreached);
        EXPECT_EQ(f.beyond_pixels, beyond);
        EXPECT_EQ(f.longest_count, longest);
        EXPECT_EQ(f.longest.metres, Walk_convert(longest, o.scale, o.speed).metres);
        int32_t sum = 0;
        for (int32_t k = 0; k < Evac_bands; ++k) {
            EXPECT_EQ(f.band_pixels[k], band_pixels[k]);
            EXPECT_NEAR(f.band_tenths[k], 1000.0 * double(band_pixels[k]) / double(reached), 1.0);
            sum += f.band_tenths[k];
        }
        EXPECT_EQ(sum, 1000);  // 100.0 % as printed
        EXPECT_NEAR(f.beyond_tenths, 1000.0 * double(beyond) / double(reached), 0.5);
        if (o.limit_minutes) {
            EXPECT_GT(f.beyond_pixels, 0);
            // The streets beyond the limit: striped, their band colour between the stripes.
            const Image drawn = Evac_map_draw(map, sets, counts, o);
            int checked = 0;
            for (int32_t y = 0; y < map.h; y += 3)
                for (int32_t x = 0; x < map.w; x += 5) {
                    const int32_t c = counts[Cell(x, y)];
                    if (c <= 0 || Near_marker(x, y)) continue;
                    const uint32_t band = Evac_band_colour(Evac_band(c, o));
                    const bool stripe = Evac_beyond(c, o) && Evac_stripe(x, y);
                    ASSERT_EQ(drawn.get(x, y), stripe ? Evac_stripe_colour : band) << x << ", " << y;
                    checked += stripe;
                }
            EXPECT_GT(checked, 100);
        }
        const std::string json = Evac_figures_json(f, o);
        EXPECT_NE(json.find("\"reached_pixels\": " + std::to_string(reached) + ","), std::string::npos);
        EXPECT_NE(json.find("\"longest_walk\": {\"pixels\": " + std::to_string(longest)), std::string::npos);
        EXPECT_EQ(json.find("\"beyond_limit\": null") == std::string::npos, o.limit_minutes > 0);
        EXPECT_EQ(json.back(), '\n');
    }
    // No reached pixel: no shares, and nothing divides by zero.
    const Evac_figures none = Evac_figures_of(map, std::vector<int32_t>(size_t(Grid_cells), 0), {43, 3, 9, {}});
    EXPECT_EQ(none.reached, 0);
    for (int32_t t : none.band_tenths) EXPECT_EQ(t, 0);
    EXPECT_EQ(none.beyond_tenths, 0);
}

bool Crosses(const Page_box& a, const Page_box& b) {
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

TEST_F(Evac_test, PageLayoutOverPapersAndResolutions) {
    NEED_FONT();
    Evac_texts texts;
    texts.date = "2026年12月10日";
    texts.source = "地理院地図";
    const Evac_options o{43, 3, 9, {1, 0}};
    for (Paper paper : {Paper::A4, Paper::A3})
        for (bool landscape : {true, false})
            for (int32_t dpi : {72, 96, 150, 200, 300, 600}) {
                SCOPED_TRACE(testing::Message() << (paper == Paper::A3 ? "A3" : "A4") << (landscape ? " landscape " : " portrait ")
                                                << dpi << " dpi");
                const Page_setup setup{paper, landscape, dpi};
                const Evac_page pg = Evac_page_render(setup, map, sets, counts, o, texts, Japanese_font(), false);
                ASSERT_EQ(pg.error, "");
                const double long_mm = paper == Paper::A3 ? 420 : 297, short_mm = paper == Paper::A3 ? 297 : 210;
                EXPECT_EQ(pg.w, std::lround((landscape ? long_mm : short_mm) / 25.4 * dpi));
                EXPECT_EQ(pg.h, std::lround((landscape ? short_mm : long_mm) / 25.4 * dpi));
                // The map keeps its shape and fills a good part of the page.
                EXPECT_NEAR(pg.map.x1 - pg.map.x0, map.w * pg.zoom, 1.0);
                EXPECT_NEAR(pg.map.y1 - pg.map.y0, map.h * pg.zoom, 1.0);
                EXPECT_GT(double(pg.map.x1 - pg.map.x0) * (pg.map.y1 - pg.map.y0), 0.35 * pg.w * pg.h);
                const int32_t margin = int32_t(std::lround(9.5 / 25.4 * dpi));
                std::vector<std::string> have;
                for (size_t i = 0; i < pg.boxes.size(); ++i) {
                    const Page_box& b = pg.boxes[i];
                    SCOPED_TRACE(b.what);
                    have.push_back(b.what);
                    EXPECT_GE(b.x0, margin);
                    EXPECT_GE(b.y0, margin);
                    EXPECT_LE(b.x1, pg.w - margin);
                    EXPECT_LE(b.y1, pg.h - margin);
                    EXPECT_LT(b.x0, b.x1);
                    EXPECT_LT(b.y0, b.y1);
                    if (b.what == "map frame") continue;
                    EXPECT_FALSE(Crosses(b, pg.map)) << b.x0 << "," << b.y0 << " " << b.x1 << "," << b.y1;
                    for (size_t j = 0; j < i; ++j)
                        if (b.text || pg.boxes[j].text) {
                            EXPECT_FALSE(Crosses(b, pg.boxes[j]))
                                << b.what << " " << b.x0 << "," << b.y0 << " " << b.x1 << "," << b.y1 << " crosses "
                                << pg.boxes[j].what << " " << pg.boxes[j].x0 << "," << pg.boxes[j].y0 << " "
                                << pg.boxes[j].x1 << "," << pg.boxes[j].y1;
                        }
                }
                for (const char* need : {"title", "info", "source", "swatch", "marker", "scale bar", "scale text",
                                         "north arrow", "north text", "legend text"})
                    EXPECT_NE(std::find(have.begin(), have.end(), need), have.end()) << need;
                // 8 bands, unreached, limit: 10 swatches; 3 markers.
                EXPECT_EQ(std::count(have.begin(), have.end(), "swatch"), 10);
                EXPECT_EQ(std::count(have.begin(), have.end(), "marker"), 3);
            }
    // A title that does not fit the page is refused, naming the page; one that fits is kept.
    Evac_texts long_title = texts;
    long_title.title = std::string();
    for (int i = 0; i < 40; ++i) long_title.title += "避難";
    const Evac_page refused = Evac_page_render({Paper::A4, false, 150}, map, sets, counts, o, long_title, Japanese_font(), false);
    EXPECT_EQ(refused.error.rfind("the title is too long for the page", 0), 0u) << refused.error;
    EXPECT_TRUE(refused.picture.empty());
    long_title.title = long_title.title.substr(0, 3 * 20);
    EXPECT_EQ(Evac_page_render({Paper::A3, true, 150}, map, sets, counts, o, long_title, Japanese_font(), false).error, "");
    EXPECT_NE(Evac_page_render({Paper::A4, true, 50}, map, sets, counts, o, texts, Japanese_font(), false).error, "");
}

TEST_F(Evac_test, PageShowsTheMapAtItsScale) {
    NEED_FONT();
    Evac_texts texts;
    texts.source = "地理院地図";
    const Evac_options o{};
    const Image drawn = Evac_map_draw(map, sets, counts, o);
    const Page_setup setups[] = {{Paper::A4, true, 100}, {Paper::A4, false, 72}, {Paper::A3, true, 150}};
    bool larger = false, smaller = false;
    for (const Page_setup& setup : setups) {
        SCOPED_TRACE(testing::Message() << setup.dpi << " dpi");
        const Evac_page pg = Evac_page_render(setup, map, sets, counts, o, texts, Japanese_font());
        ASSERT_EQ(pg.error, "");
        ASSERT_EQ(pg.picture.w, pg.w);
        ASSERT_EQ(pg.picture.h, pg.h);
        for (int32_t y = pg.map.y0; y < pg.map.y1; y += 3)
            for (int32_t x = pg.map.x0; x < pg.map.x1; x += 3) {
                const uint32_t shown = pg.picture.get(x, y);
                if (pg.zoom >= 1) {
                    // Drawn larger: every page pixel is its nearest map pixel.
                    const int32_t sx = std::min(int32_t((x - pg.map.x0 + 0.5) / pg.zoom), map.w - 1);
                    const int32_t sy = std::min(int32_t((y - pg.map.y0 + 0.5) / pg.zoom), map.h - 1);
                    ASSERT_EQ(shown, drawn.get(sx, sy)) << x << ", " << y;
                    continue;
                }
                // Drawn smaller: a colour of the map pixels under the page
                // pixel, and a street wherever one lies under it.
                const int32_t fx0 = int32_t((x - pg.map.x0) / pg.zoom), fy0 = int32_t((y - pg.map.y0) / pg.zoom);
                const int32_t fx1 = std::max(fx0 + 1, int32_t((x + 1 - pg.map.x0) / pg.zoom));
                const int32_t fy1 = std::max(fy0 + 1, int32_t((y + 1 - pg.map.y0) / pg.zoom));
                bool found = false, street = false;
                for (int32_t fy = fy0; fy < std::min(fy1, map.h); ++fy)
                    for (int32_t fx = fx0; fx < std::min(fx1, map.w); ++fx) {
                        found |= drawn.get(fx, fy) == shown;
                        street |= counts[Cell(fx, fy)] > 0;
                    }
                ASSERT_TRUE(found) << x << ", " << y;
                if (street) {
                    bool band = false;
                    for (int32_t k = 0; k < Evac_bands; ++k) band |= shown == Evac_band_colour(k);
                    ASSERT_TRUE(band || Near_marker(fx0, fy0)) << x << ", " << y;
                }
            }
        larger |= pg.zoom >= 1, smaller |= pg.zoom < 1;
        // Nothing is drawn outside the boxes and the map.
        for (int32_t y = 0; y < pg.h; y += 2)
            for (int32_t x = 0; x < pg.w; x += 2) {
                bool inside = x >= pg.map.x0 && x < pg.map.x1 && y >= pg.map.y0 && y < pg.map.y1;
                for (const Page_box& b : pg.boxes) inside |= x >= b.x0 - 2 && x < b.x1 + 2 && y >= b.y0 - 2 && y < b.y1 + 2;
                if (!inside) {
                    ASSERT_EQ(pg.picture.get(x, y), White) << x << ", " << y;
                }
            }
        // The scale bar stands for the metres it is labelled with: a map
        // pixel of 2 m is pg.zoom page pixels.
        int bars = 0;
        for (const Page_box& b : pg.boxes)
            if (b.what == "scale bar") {
                ++bars;
                const std::string label = b.text_shown;  // the length it stands for, e.g. "500 m"
                const double metres = std::stod(label) * (label.find("km") != std::string::npos ? 1000 : 1);
                EXPECT_NEAR((b.x1 - b.x0) / pg.zoom * 2.0, metres, 2 * 2.0 / pg.zoom + 1) << label;
            }
        EXPECT_EQ(bars, 1);
    }
    EXPECT_TRUE(larger);
    EXPECT_TRUE(smaller);
}

TEST_F(Evac_test, MapPictureHasTheMapAtItsTopLeftAndTheLegendBeside) {
    NEED_FONT();
    const Evac_options o{43, 3, 9, {1, 0}};
    const Evac_render r = Evac_map_render(map, sets, counts, o, Evac_texts{}, Japanese_font());
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.picture.h, map.h);
    EXPECT_GT(r.picture.w, map.w + 150);
    const Image drawn = Evac_map_draw(map, sets, counts, o);
    for (int32_t y = 0; y < map.h; ++y)
        for (int32_t x = 0; x < map.w; ++x) ASSERT_EQ(r.picture.get(x, y), drawn.get(x, y)) << x << ", " << y;
    // Every band colour appears as a swatch in the legend.
    for (int32_t k = 0; k < Evac_bands; ++k) {
        bool found = false;
        for (int32_t y = 0; y < r.picture.h && !found; ++y)
            for (int32_t x = map.w + 1; x < r.picture.w && !found; ++x) found = r.picture.get(x, y) == Evac_band_colour(k);
        EXPECT_TRUE(found) << k;
    }
    Evac_texts wide;
    wide.title = std::string(300, 'W');
    EXPECT_NE(Evac_map_render(map, sets, counts, o, wide, Japanese_font()).error.find("too long"), std::string::npos);
    EXPECT_NE(Evac_map_render(map, sets, counts, o, Evac_texts{}, Text_font{}).error, "");
    EXPECT_NE(Evac_map_render(map, sets, counts, {0, 3, 0, {}}, Evac_texts{}, Japanese_font()).error, "");
}

TEST_F(Evac_test, CompareShowsNoChangeForTheSameWorkAndWhereWalksChanged) {
    NEED_FONT();
    const Evac_options o{};
    const Evac_comparison same = Evac_compare_render(map, counts, map, sets, counts, o, {}, "a", "a", Japanese_font());
    ASSERT_EQ(same.error, "");
    const Evac_figures f = Evac_figures_of(map, counts, o);
    EXPECT_EQ(same.changes[Change_same], f.reached);
    for (Evac_change c : {Change_shorter, Change_much_shorter, Change_longer, Change_much_longer, Change_gained, Change_lost})
        EXPECT_EQ(same.changes[c], 0) << int(c);
    for (int32_t k = 0; k < Evac_bands; ++k) EXPECT_EQ(same.first.band_tenths[k], same.second.band_tenths[k]);
    for (int32_t y = 0; y < map.h; y += 3)
        for (int32_t x = 0; x < map.w; x += 3)
            if (counts[Cell(x, y)] > 0 && !Near_marker(x, y)) {
                ASSERT_EQ(same.picture.get(x, y), Evac_change_colour(Change_same));
            }

    // The second place moved into the first place's streets: walks near its
    // new spot become shorter, and its old streets are no longer reached;
    // the comparison the other way round shows the same pixels the other way.
    const std::vector<int32_t> before = counts;
    const Point moved = Reached_near(900, 500);
    Route(place[0], moved);
    const Evac_comparison c = Evac_compare_render(map, before, map, sets, counts, o, {}, "a", "b", Japanese_font());
    ASSERT_EQ(c.error, "");
    EXPECT_GT(c.changes[Change_much_shorter], 1000);
    EXPECT_GT(c.changes[Change_lost], 1000);
    const Evac_comparison back = Evac_compare_render(map, counts, map, sets, before, o, {}, "b", "a", Japanese_font());
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.changes[Change_much_longer], c.changes[Change_much_shorter]);
    EXPECT_EQ(back.changes[Change_longer], c.changes[Change_shorter]);
    EXPECT_EQ(back.changes[Change_gained], c.changes[Change_lost]);
    EXPECT_EQ(back.changes[Change_same], c.changes[Change_same]);
    for (int32_t y = 0; y < map.h; y += 5)
        for (int32_t x = 0; x < map.w; x += 5) {
            const int32_t a = before[Cell(x, y)], b = counts[Cell(x, y)];
            if (a <= 0 || b <= 0 || std::abs(x - moved.x) < 15 || Near_marker(x, y)) continue;
            const double d = Walk_convert(b, o.scale, o.speed).minutes - Walk_convert(a, o.scale, o.speed).minutes;
            const Evac_change want = d == 0 ? Change_same : d < 0 ? (d <= -3 ? Change_much_shorter : Change_shorter)
                                                                  : (d >= 3 ? Change_much_longer : Change_longer);
            ASSERT_EQ(c.picture.get(x, y), Evac_change_colour(want)) << x << ", " << y;
        }
    Image smaller(map.w - 1, map.h, White);
    EXPECT_NE(Evac_compare_render(smaller, before, map, sets, counts, o, {}, "a", "b", Japanese_font()).error, "");
}

TEST_F(Evac_test, CountsOfTablesHeldApartAreTheGridsOwn) {
    // A copy of the tables as another version's would be held.
    std::vector<Wave_rec> q0(Wave_queue[0], Wave_queue[0] + Grid_cells), q1(Wave_queue[1], Wave_queue[1] + Grid_cells);
    std::vector<uint8_t> kind(Rec_kind, Rec_kind + Grid_cells);
    const Route_tables apart{{q0.data(), q1.data()}, kind.data()};
    for (int two : {1, 0}) {
        SCOPED_TRACE(two);
        std::vector<int32_t> grid, held;
        Travel_counts(nodes, two, grid);
        Travel_counts_of(apart, nodes, two, held);
        EXPECT_EQ(held, grid);
    }
    // The grid's tables rebuilt for other places leave the copy's walks alone.
    const std::vector<int32_t> before = counts;
    const int32_t nodes_before = nodes;
    Route(place[0], Reached_near(900, 500));
    ASSERT_NE(counts, before);
    std::vector<int32_t> held;
    Travel_counts_of(apart, nodes_before, 1, held);
    EXPECT_EQ(held, before);
    // No tables: nothing reached.
    Travel_counts_of(Route_tables{}, nodes, 1, held);
    EXPECT_EQ(held, std::vector<int32_t>(size_t(Grid_cells), 0));
}

TEST(Evac_legend, BesideASmallMapTheLegendFlowsIntoAFewColumns) {
    NEED_FONT();
    // A street of 180 pixels on a map 200 pixels wide and 60 high, walks growing along it.
    Image small(200, 60, Rgb(200, 200, 200));
    std::vector<int32_t> a(size_t(Grid_cells), 0), b(size_t(Grid_cells), 0);
    for (int32_t x = 10; x < 190; ++x) {
        small.set(x, 30, White);
        a[Cell(x, 30)] = x;
        b[Cell(x, 30)] = 200 - x;
    }
    const Evac_options o{};
    const Evac_render r = Evac_map_render(small, Base_record{}, a, o, Evac_texts{}, Japanese_font());
    const Evac_comparison c = Evac_compare_render(small, a, small, Base_record{}, b, o, {}, "a", "b", Japanese_font());
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(c.error, "");
    for (const Image* pic : {&r.picture, &c.picture}) {
        // Taller than the map, and narrow enough to be seen whole on a screen.
        EXPECT_GT(pic->h, small.h * 5);
        EXPECT_LT(pic->w, 1280);
        // The map at the top-left as drawn.
        EXPECT_EQ(pic->get(100, 30), pic == &r.picture ? Evac_band_colour(Evac_band(100, o))
                                                         : Evac_change_colour(Change_same));
    }
}

// ---- tovi-cli render and compare ----

struct Evac_cli_test : Evac_test {
    Temp_folder work, out;
    void SetUp() override {
        if (!std::filesystem::exists(Cli_path())) GTEST_SKIP() << "tovi-cli is not built";
        if (!Japanese_font().ok()) GTEST_SKIP() << "no Japanese font installed";
        Evac_test::SetUp();
        Save(work);
    }
};

TEST_F(Evac_cli_test, RenderGivesTheMapItsFiguresAndThePage) {
    const Cli_run r = Cli(out, "render " + Q(work.str()) + " " + Q(out.file("m.png")) + " --speed 60 --band 1 --limit 10 "
                                 "--figures " + Q(out.file("f.json")));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("rendered ", 0), 0u);
    Image png;
    std::string why;
    ASSERT_TRUE(Picture_read(out.file("m.png"), png, why)) << why;
    const Evac_options o{60, 1, 10, {1, 0}};
    const Image drawn = Evac_map_draw(map, sets, counts, o);
    for (int32_t y = 0; y < map.h; ++y)
        for (int32_t x = 0; x < map.w; ++x) ASSERT_EQ(png.get(x, y), drawn.get(x, y)) << x << ", " << y;
    EXPECT_EQ(Slurp(out.file("f.json")), Evac_figures_json(Evac_figures_of(map, counts, o), o));

    // Defaults: 3-minute bands at 43 m a minute, 200 m.
    ASSERT_EQ(Cli(out, "render " + Q(work.str()) + " " + Q(out.file("d.png"))).code, 0);
    ASSERT_TRUE(Picture_read(out.file("d.png"), png, why)) << why;
    const Image standard = Evac_map_draw(map, sets, counts, Evac_options{});
    for (int32_t y = 0; y < map.h; y += 2)
        for (int32_t x = 0; x < map.w; x += 2) ASSERT_EQ(png.get(x, y), standard.get(x, y)) << x << ", " << y;

    // A measured scale.
    ASSERT_EQ(Cli(out, "render " + Q(work.str()) + " " + Q(out.file("s.png")) + " --metres-per-pixel 1.37 --figures " +
                       Q(out.file("s.json"))).code, 0);
    const Evac_options measured{43, 3, 0, {1, 1.37}};
    EXPECT_EQ(Slurp(out.file("s.json")), Evac_figures_json(Evac_figures_of(map, counts, measured), measured));

    // A page.
    const Cli_run page = Cli(out, "render " + Q(work.str()) + " " + Q(out.file("p.png")) +
                                      " --paper A3 --portrait --dpi 100 --title 'テスト町 避難地図' --source 地理院地図");
    ASSERT_EQ(page.code, 0) << page.err;
    ASSERT_TRUE(Picture_read(out.file("p.png"), png, why)) << why;
    EXPECT_EQ(png.w, std::lround(297 / 25.4 * 100));
    EXPECT_EQ(png.h, std::lround(420 / 25.4 * 100));
}

TEST_F(Evac_cli_test, CompareOfIdenticalFoldersShowsNoChange) {
    Temp_folder copy;
    for (const auto& e : std::filesystem::directory_iterator(work.path))
        std::filesystem::copy_file(e.path(), copy.path / e.path().filename());
    const Cli_run r = Cli(out, "compare " + Q(work.str()) + " " + Q(copy.str()) + " " + Q(out.file("c.png")) +
                                   " --figures " + Q(out.file("c.json")));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("changed pixels 0\n"), std::string::npos) << r.out;
    const std::string json = Slurp(out.file("c.json"));
    EXPECT_NE(json.find("\"shorter\": 0, \"much_shorter\": 0, \"longer\": 0, \"much_longer\": 0, \"gained\": 0, \"lost\": 0"),
              std::string::npos) << json;
    Image png;
    std::string why;
    ASSERT_TRUE(Picture_read(out.file("c.png"), png, why)) << why;
    EXPECT_GT(png.w, map.w);
    for (int32_t y = 0; y < map.h; y += 4)
        for (int32_t x = 0; x < map.w; x += 4)
            if (counts[Cell(x, y)] > 0 && !Near_marker(x, y)) {
                ASSERT_EQ(png.get(x, y), Evac_change_colour(Change_same));
            }

    // A version with the second place moved shows changes.
    Route(place[0], Reached_near(900, 500));
    Temp_folder moved;
    Save(moved);
    const Cli_run m = Cli(out, "compare " + Q(work.str()) + " " + Q(moved.str()) + " " + Q(out.file("c.png")));
    ASSERT_EQ(m.code, 0) << m.err;
    EXPECT_EQ(m.out.find("changed pixels 0\n"), std::string::npos) << m.out;
}

TEST_F(Evac_cli_test, BadInputIsRefusedAndWritesNoFile) {
    // A folder of an earlier version (a tail of zeros) that counts no records.
    Temp_folder no_route;
    for (const auto& e : std::filesystem::directory_iterator(work.path))
        std::filesystem::copy_file(e.path(), no_route.path / e.path().filename());
    Base_record b = sets;
    b.Map_rect = {0, 0, map.w, map.h};
    b.Road_rec_total = 0;
    std::ofstream(no_route.file("base.dat"), std::ios::binary).write(reinterpret_cast<const char*>(&b), sizeof b);
    Temp_folder small;  // another capture's size, saved whole
    {
        Image cut(map.w - 10, map.h, White);
        Base_record s = sets;
        s.Map_rect = {0, 0, cut.w, cut.h};
        Base_data = s;
        Map_image = cut;
        Route_markers_sum = Markers_sum(s);
        ASSERT_EQ(Data_save_to(small.str()), "");
    }

    std::string title;
    for (int i = 0; i < 40; ++i) title += "避難";
    const std::string latin = Latin_font_path();
    const std::string w = Q(work.str()), png = Q(out.file("t.png")), json = " --figures " + Q(out.file("t.json"));
    struct Case {
        std::string args;
        int code;
        std::string err_start;
    } const cases[] = {
        {"render " + w + " " + png + json + " --colour red", 2, "tovi-cli: unknown option --colour"},
        {"render " + w + " " + png + json + " --speed 0", 2, "tovi-cli: --speed is metres a minute"},
        {"render " + w + " " + png + json + " --speed -43", 2, "tovi-cli: --speed is metres a minute"},
        {"render " + w + " " + png + json + " --speed fast", 2, "tovi-cli: --speed is metres a minute"},
        {"render " + w + " " + png + json + " --speed", 2, "tovi-cli: --speed needs a value"},
        {"render " + w + " " + png + json + " --band 0", 2, "tovi-cli: --band is a whole number"},
        {"render " + w + " " + png + json + " --limit 0", 2, "tovi-cli: --limit is a whole number"},
        {"render " + w + " " + png + json + " --metres-per-pixel 0", 2, "tovi-cli: --metres-per-pixel is"},
        {"render " + w + " " + png + json + " --paper A5", 2, "tovi-cli: --paper is A4 or A3"},
        {"render " + w + " " + png + json + " --dpi 300", 2, "tovi-cli: --landscape, --portrait and --dpi belong"},
        {"render " + w + " " + png + json + " --paper A4 --dpi 20", 2, "tovi-cli: --dpi is a whole number"},
        {"render " + w + " " + png + json + " --paper A4 --landscape --portrait", 2, "tovi-cli: --landscape and --portrait"},
        {"render " + w + " " + png + json + " --paper A4 --title " + Q(title), 2, "tovi-cli: the title is too long for the page"},
        {"render " + w + " " + png + json + " --title " + Q(title + title), 2, "tovi-cli: the text \""},
        {"render " + w + " " + png + json + " --font " + Q(latin), 2, "tovi-cli: " + latin + ": the font has no Japanese glyphs"},
        {"render " + w + " " + png + json + " --font " + Q(out.file("none.ttf")), 2, "tovi-cli: " + out.file("none.ttf") + ": cannot read"},
        {"render " + Q(no_route.str()) + " " + png + json, 1, "tovi-cli: " + no_route.str() + ": no route built for its markers"},
        {"render " + w + " " + png + " --figures " + png, 2, "tovi-cli: --figures must name another file"},
        {"compare " + w + " " + png + json, 2, "tovi-cli: compare takes DIR_A, DIR_B and OUT.png"},
        {"compare " + w + " " + w + " " + png + json + " --paper A4", 2, "tovi-cli: compare draws the map at 1:1"},
        {"compare " + w + " " + Q(no_route.str()) + " " + png + json, 1, "tovi-cli: " + no_route.str() + ": no route built for its markers"},
        {"compare " + w + " " + Q(small.str()) + " " + png + json, 2, "tovi-cli: the two maps differ in size"},
        {"compare " + w + " " + w + " " + png + json + " --speed 0", 2, "tovi-cli: --speed is metres a minute"},
        {"compare " + w + " " + w + " " + png + json + " --font " + Q(latin), 2, "tovi-cli: " + latin + ": the font has no"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        if (latin.empty() && c.args.find("--font") != std::string::npos) continue;
        const Cli_run r = Cli(out, c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.err.substr(0, c.err_start.size()), c.err_start) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::filesystem::exists(out.file("t.png")));
        EXPECT_FALSE(std::filesystem::exists(out.file("t.json")));
    }
}

}  // namespace
