// Fuzz target: what tovi-cli route, walk and render do with a folder that
// passed the load's checks, on mutated folders.
//
// One input stands for one folder, cut down as for fuzz_data_folder.cpp,
// with a few points and options before the picture:
//
//   2 bytes    n, little-endian: length of the base.dat part
//   n bytes    base.dat
//   2 bytes    k, little-endian: records in the table prefix (at most 4096)
//   16 k       the first k records of d1.dat
//   16 k       the first k records of d2.dat
//   k bytes    the first k bytes of d3.dat
//   16 bytes   four points to walk from, each x and y as signed 16-bit
//   4 bytes    the evacuation map's options: speed, band, limit, scale
//   the rest   tst.bmp
//
// An input whose base, records (with Road_rec_total within the prefix) and
// picture (of the map's size) all pass is put into the grid tables as a load
// puts it there; then
//   walk:   the route index over the records, and the route from each point
//           and from every marker, against a plain scan and the travel counts;
//   render: the travel counts and the evacuation map with its figures;
//   route:  the wave over the map picture with the markers painted on it, as
//           "ルート作成" runs it, and the walk again over what it built.
// The tables stay allocated between runs; only the records a run wrote are
// cleared for the next, so the rest of each table is the zeros a fresh load
// of a capture this small would leave there, and a run stays fast.
// Seeds: real saved folders cut down this way (tests/fuzz/run.sh).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "map/grid.h"
#include "map/map_pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "route/evac_map.h"
#include "route/route_trace.h"
#include "route/text_render.h"
#include "route/travel_time.h"
#include "route/wave.h"
#include "storage/data_folder.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// Larger pictures only slow the fuzzer down; the input's length keeps them
// smaller than this anyway.
constexpr int64_t Map_pixels_max = 128 * 128;
constexpr size_t Prefix_max = 4096;

// A Japanese font when one is installed (TOVI_FUZZ_FONT or Debian's IPA
// Gothic); without one the render must refuse cleanly.
const Text_font& Font() {
    static const Text_font font = [] {
        Text_font f;
        const char* given = std::getenv("TOVI_FUZZ_FONT");
        for (const std::string path : {std::string(given ? given : ""),
                                       std::string("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf")}) {
            if (path.empty()) continue;
            std::ifstream in(path, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!bytes.empty() && Text_font_load(f, std::move(bytes)).empty()) break;
        }
        return f;
    }();
    return font;
}

// Records 0 to this - 1 of the grid tables in place may be non-zero.
size_t Dirty = 0;

// The tables as a load of this folder leaves them, in their first k records;
// the records beyond are zeros.
void Tables_install(const uint8_t* d1, const uint8_t* d2, const uint8_t* d3, size_t k, int32_t total) {
    Grid_allocate();
    std::lock_guard lock(Route_lock);
    std::memset(static_cast<void*>(Wave_queue[0]), 0, Dirty * sizeof(Wave_rec));
    std::memset(static_cast<void*>(Wave_queue[1]), 0, Dirty * sizeof(Wave_rec));
    std::memset(Rec_kind, 0, Dirty);
    std::memcpy(static_cast<void*>(Wave_queue[0]), d1, k * sizeof(Wave_rec));
    std::memcpy(static_cast<void*>(Wave_queue[1]), d2, k * sizeof(Wave_rec));
    std::memcpy(Rec_kind, d3, k);
    Dirty = k;
    Rec_count.store(total);
}

struct Marker {
    int32_t x, y;
};

std::vector<Marker> Markers_of(const Base_record& b) {
    std::vector<Marker> out;
    for (int32_t i = 0; i < b.Evac_n; ++i) out.push_back({b.Evac_x[i], b.Evac_y[i]});
    for (int32_t i = 0; i < b.Cong_n; ++i) out.push_back({b.Cong_x[i], b.Cong_y[i]});
    for (int32_t i = 0; i < b.Nopass_n; ++i) out.push_back({b.Nopass_x[i], b.Nopass_y[i]});
    return out;
}

// The route from (x, y) as the display and tovi-cli walk find it, checked
// against a plain scan of the records and against the travel counts.
void Walk_check(int32_t x, int32_t y, bool two, int32_t total, const std::vector<int32_t>& counts) {
    Route_path path;
    const bool found = Route_trace(x, y, two, total, path);
    Require(found == (path.node[0] >= 0 || path.node[1] >= 0));
    {
        std::lock_guard lock(Route_lock);
        Require(path.node[0] == Route_find_linear(x, y, 0, total));
        Require(path.node[1] == (two ? Route_find_linear(x, y, 1, total) : -1));
    }
    int32_t sum = 0;
    for (int w = 0; w < 2; ++w) {
        const int32_t node = path.node[w];
        const std::vector<Point>& pixels = path.pixels[w];
        if (node < 0) {
            Require(pixels.empty());
            continue;
        }
        Require(node < total);
        // A walk only ever falls to lower records: never longer than the records.
        Require(!pixels.empty() && int64_t(pixels.size()) <= int64_t(node) + 1);
        Require(pixels.front().x == x && pixels.front().y == y);
        for (const Point& p : pixels) Require(p.x >= 0 && p.y >= 0 && p.x < Grid_w_fixed && p.y < Grid_h_fixed);
        sum += int32_t(pixels.size());
    }
    Require(path.count_first == int32_t(path.pixels[0].size()));
    Require(path.count == sum && path.count <= 2 * total);
    // The travel-time map gives every pixel the count the display would give it.
    if (x >= 0 && y >= 0 && x < Grid_w_fixed && y < Grid_h_fixed)
        Require(counts[size_t(x) + size_t(y) * Grid_w_fixed] == path.count);
    else
        Require(!found);
}

// A scan of every cell: left out of the coverage, which it would only slow down.
__attribute__((no_sanitize("coverage"))) void Counts_check(const std::vector<int32_t>& counts, int32_t total,
                                                           bool two) {
    Require(counts.size() == size_t(Grid_cells));
    int64_t reached = 0;
    for (int32_t c : counts) {
        Require(c >= 0 && int64_t(c) <= int64_t(two ? 2 : 1) * total);
        reached += c > 0;
    }
    Require(reached <= total);
}

void Figures_check(const Evac_figures& f, const Image& map, const std::vector<int32_t>& counts) {
    Require(f.reached >= 0 && f.reached <= int64_t(map.w) * map.h);
    int64_t in_bands = 0;
    int32_t tenths = 0;
    for (int32_t k = 0; k < Evac_bands; ++k) {
        Require(f.band_pixels[k] >= 0 && f.band_tenths[k] >= 0 && f.band_tenths[k] <= 1000);
        in_bands += f.band_pixels[k];
        tenths += f.band_tenths[k];
    }
    Require(in_bands == f.reached);
    Require(f.reached == 0 ? tenths == 0 : tenths == 1000);
    Require(f.beyond_pixels >= 0 && f.beyond_pixels <= f.reached);
    Require(f.beyond_tenths >= 0 && f.beyond_tenths <= 1000);
    Require(f.unreached_road >= 0 && f.reached + f.unreached_road <= int64_t(map.w) * map.h);
    int32_t longest = 0;
    for (int32_t y = 0; y < map.h && y < Grid_h_fixed; ++y)
        for (int32_t x = 0; x < map.w && x < Grid_w_fixed; ++x)
            longest = std::max(longest, counts[size_t(x) + size_t(y) * Grid_w_fixed]);
    Require(f.longest_count <= longest);
}

// The evacuation map as tovi-cli render draws it; with_text, with its legend
// (the texts cost more than the rest, and do not depend on the route).
void Render_check(const Image& map, const Base_record& base, const std::vector<int32_t>& counts,
                  const uint8_t* options, bool with_text) {
    Evac_options o;
    o.speed = double(int32_t(options[0]) - 8);            // some not positive
    o.band_minutes = int32_t(options[1] % 12) - 1;        // some not positive
    o.limit_minutes = int32_t(options[2] % 40) - 2;       // some negative, some none
    o.scale.flag = options[3] % 4;                        // 0, 1 or unscaled
    if (options[3] >= 128) o.scale.metres_per_pixel = (options[3] - 128) / 16.0;
    const std::string why = Evac_options_check(o);
    if (why.empty()) {
        const Evac_figures f = Evac_figures_of(map, counts, o);
        Figures_check(f, map, counts);
        Require(!Evac_figures_json(f, o).empty());
        const Image drawn = Evac_map_draw(map, base, counts, o);
        Require(drawn.w == map.w && drawn.h == map.h && drawn.px.size() == map.px.size());
        for (int32_t y = 0; y < map.h; ++y)
            for (int32_t x = 0; x < map.w; ++x) {
                const int32_t c = counts[size_t(x) + size_t(y) * Grid_w_fixed];
                const int32_t band = Evac_band(c, o);
                Require(band >= -1 && band < Evac_bands && (c > 0) == (band >= 0));
            }
    }
    if (!with_text) return;
    Evac_texts texts;
    texts.date = "2026年12月10日";
    const Evac_render r = Evac_map_render(map, base, counts, o, texts, Font());
    if (!why.empty() || !Font().ok()) {
        Require(!r.error.empty() && r.picture.empty());
        return;
    }
    if (!r.error.empty()) return;  // a legend text too wide: said, nothing drawn
    Require(r.picture.w > map.w && r.picture.h >= map.h);
    Require(r.picture.px.size() == size_t(r.picture.w) * size_t(r.picture.h));
    Figures_check(r.figures, map, counts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    size_t left = size;

    size_t base_n = Take16(p, left);
    const uint8_t* base_bytes = Take(p, left, base_n);
    size_t k = Take16(p, left) % (Prefix_max + 1);
    if (k * 33 > left) k = left / 33;
    size_t d1_n = k * 16, d2_n = k * 16, d3_n = k;
    const uint8_t* d1 = Take(p, left, d1_n);
    const uint8_t* d2 = Take(p, left, d2_n);
    const uint8_t* d3 = Take(p, left, d3_n);
    if (left < 20) return 0;
    int32_t points[4][2];
    for (auto& point : points)
        for (int32_t& v : point) {
            v = int16_t(uint16_t(p[0] | p[1] << 8));
            p += 2;
        }
    const uint8_t* options = p;
    p += 4;
    left -= 20;

    // The load's checks: only a folder they accept goes on.
    Folder_problems problems;
    Base_record base{};
    Base_check(base_bytes, base_n, base, problems);
    if (!problems.empty()) return 0;
    const int64_t map_w = int64_t(base.Map_rect.right) - base.Map_rect.left;
    const int64_t map_h = int64_t(base.Map_rect.bottom) - base.Map_rect.top;
    if (map_w * map_h > Map_pixels_max) return 0;
    const int32_t total = base.Road_rec_total;
    Records_check(d1, d2, d3, int64_t(k), total, problems);
    if (!problems.empty()) return 0;
    Image map;
    Picture_check(Map_picture_file, p, left, &base.Map_rect, map, problems);
    if (!problems.empty()) return 0;
    Require(map.w == map_w && map.h == map_h);

    Tables_install(d1, d2, d3, k, total);
    const bool two = base.Evac_n == 2;

    // walk and render over the folder's records.
    Route_index_build(total);
    Require(Route_index_count() == total);
    std::vector<int32_t> counts;
    Travel_counts(total, two, counts);
    Counts_check(counts, total, two);
    for (const auto& point : points) Walk_check(point[0], point[1], two, total, counts);
    const std::vector<Marker> markers = Markers_of(base);
    for (const Marker& m : markers) Walk_check(m.x, m.y, two, total, counts);
    Render_check(map, base, counts, options, true);

    // route: the wave over the map with its markers painted, as "ルート作成" runs it.
    if (base.Evac_n < 1) return 0;
    {
        std::lock_guard lock(Markers_lock);
        Base_data = base;
    }
    Image surface = map;
    Markers_paint(surface, base);
    const Wave_result r = Wave_run(surface, map.w, map.h, base.Evac_n, base.Evac_x[0], base.Evac_y[0],
                                   base.Evac_x[1], base.Evac_y[1]);
    Require(surface.w == map.w && surface.h == map.h && surface.px.size() == map.px.size());
    if (r.status != Wave_completed) {
        // An early end keeps the records that were there.
        Require(Rec_count.load() == total);
        return 0;
    }
    // Every pixel is taken at most once, besides the places' own nodes.
    const int32_t nodes = r.nodes;
    Require(nodes >= base.Evac_n && int64_t(nodes) <= map_w * map_h + base.Evac_n);
    Require(Rec_count.load() == nodes && Base_data.Road_rec_total == nodes);
    Dirty = std::max(Dirty, size_t(nodes));
    // What the wave built passes the load's checks, and walks back to its places.
    Records_check(reinterpret_cast<const uint8_t*>(Wave_queue[0]), reinterpret_cast<const uint8_t*>(Wave_queue[1]),
                  Rec_kind, Grid_cells, nodes, problems);
    Require(problems.empty());
    Route_index_build(nodes);
    Travel_counts(nodes, two, counts);
    Counts_check(counts, nodes, two);
    for (const auto& point : points) Walk_check(point[0], point[1], two, nodes, counts);
    for (const Marker& m : markers) Walk_check(m.x, m.y, two, nodes, counts);
    {
        Route_path path;
        Require(Route_trace(base.Evac_x[0], base.Evac_y[0], two, nodes, path));
        Require(path.node[0] == 0 && path.count_first == 1);
        if (two) {
            Require(Route_trace(base.Evac_x[1], base.Evac_y[1], two, nodes, path));
            Require(path.node[1] == 1 && int32_t(path.pixels[1].size()) == 1);
        }
    }
    Render_check(map, base, counts, options, false);
    return 0;
}
