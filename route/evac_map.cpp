// The evacuation map: colours, figures, legend, page and comparison.
#include "route/evac_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "map/grid.h"
#include "map/pixel_check.h"
#include "markers/markers.h"
#include "route/render.h"

namespace {

constexpr uint32_t Ink = Rgb(30, 30, 30);
constexpr uint32_t Rule = Rgb(120, 120, 120);
constexpr uint32_t Paper_white = Rgb(255, 255, 255);

// Colours in the community's order, chosen so that neighbouring bands also
// differ in lightness (a greyscale copy keeps them apart) and each stays
// clear of the markers' and the unreached roads' colours.
constexpr uint32_t Band_colours[Evac_bands] = {
    Rgb(0, 150, 60),    // green
    Rgb(140, 195, 35),  // yellow-green
    Rgb(255, 228, 0),   // yellow
    Rgb(245, 130, 0),   // orange
    Rgb(215, 20, 30),   // red
    Rgb(165, 95, 205),  // purple
    Rgb(120, 70, 20),   // brown
    Rgb(25, 25, 25),    // black
};

std::string Format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string Number_text(double v) { return Format("%g", v); }

void Fill(Image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, img.w), y1 = std::min(y1, img.h);
    for (int32_t y = y0; y < y1; ++y)
        std::fill(img.px.begin() + ptrdiff_t(size_t(y) * size_t(img.w) + size_t(x0)),
                  img.px.begin() + ptrdiff_t(size_t(y) * size_t(img.w) + size_t(x1)), colour);
}

void Frame(Image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t t, uint32_t colour) {
    Fill(img, x0, y0, x1, y0 + t, colour);
    Fill(img, x0, y1 - t, x1, y1, colour);
    Fill(img, x0, y0, x0 + t, y1, colour);
    Fill(img, x1 - t, y0, x1, y1, colour);
}

// A ring of the given radius and thickness around (cx, cy).
void Ring(Image& img, double cx, double cy, double radius, double thickness, uint32_t colour) {
    const int32_t r = int32_t(std::ceil(radius + thickness));
    for (int32_t y = int32_t(cy) - r; y <= int32_t(cy) + r; ++y)
        for (int32_t x = int32_t(cx) - r; x <= int32_t(cx) + r; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            if (d >= radius && d < radius + thickness) img.set(x, y, colour);
        }
}

int32_t Grid_count(const std::vector<int32_t>& counts, int32_t x, int32_t y) {
    if (counts.size() < size_t(Grid_cells) || x < 0 || y < 0 || x >= Grid_w_fixed || y >= Grid_h_fixed) return 0;
    return counts[size_t(x) + size_t(y) * Grid_w_fixed];
}

// Shares in tenths of a per cent by the largest remainder, so that they add
// up to exactly 100.0 % as printed.
template <size_t N> void Shares(const int64_t (&parts)[N], int64_t total, int32_t (&tenths)[N]) {
    for (size_t k = 0; k < N; ++k) tenths[k] = 0;
    if (total <= 0) return;
    int64_t given = 0;
    int64_t remainder[N];
    for (size_t k = 0; k < N; ++k) {
        tenths[k] = int32_t(parts[k] * 1000 / total);
        remainder[k] = parts[k] * 1000 % total;
        given += tenths[k];
    }
    while (given < 1000) {
        size_t best = 0;
        for (size_t k = 1; k < N; ++k)
            if (remainder[k] > remainder[best]) best = k;
        ++tenths[best];
        remainder[best] = -1;
        ++given;
    }
}

std::string Band_label(int32_t k, int32_t band_minutes) {
    const long long a = (long long)k * band_minutes, b = a + band_minutes;
    char buf[64];
    if (k == Evac_bands - 1) std::snprintf(buf, sizeof buf, "%lld分以上", a);
    else std::snprintf(buf, sizeof buf, "%lld〜%lld分", a, b);
    return buf;
}

std::string Speed_text(const Evac_options& o) {
    return "歩行速度 " + Number_text(o.speed) + " m/分・" + std::to_string(o.band_minutes) + "分ごと";
}

std::string Longest_text(const Evac_figures& f) {
    if (f.reached == 0) return "到達する道路なし";
    return std::to_string(f.longest.metres) + " m・" + Format("%.1f", f.longest.minutes) + "分";
}

// ---- The legend: rows flowed into columns ----

struct Legend_metrics {
    double text_px, title_px;
    int32_t row_h, swatch_w, swatch_h, gap;
};

enum class Item_kind { title, text, swatch, row, marker, scale_bar, north };

struct Legend_item {
    Item_kind kind;
    std::vector<std::string> cells;
    uint32_t colour = 0;
    bool stripes = false;
    int marker = 0;
    bool heading = false;  // starts a group: kept in one column with the row after it (after all the headings that follow)
};

struct Placed {
    int32_t x = 0, y = 0, w = 0, h = 0;
};

struct Legend_plan {
    std::vector<Placed> at;
    std::vector<int32_t> cell_x;  // offsets of the aligned cells of swatch, row and marker items
    int32_t w = 0, h = 0;
    bool fits = true;             // false when an item is taller than the height allowed
};

bool Aligned(Item_kind k) { return k == Item_kind::swatch || k == Item_kind::row || k == Item_kind::marker; }

int32_t Item_height(const Legend_item& it, const Legend_metrics& m, const Text_font& font) {
    switch (it.kind) {
    case Item_kind::title: return Text_measure(font, it.cells[0], m.title_px).height() + m.gap;
    case Item_kind::scale_bar: return m.row_h * 2;
    case Item_kind::north: return m.row_h * 3;
    default: return m.row_h;
    }
}

Legend_plan Legend_flow(const std::vector<Legend_item>& items, const Legend_metrics& m, const Text_font& font,
                        int32_t max_h) {
    Legend_plan p;
    // Cells line up over the whole legend.
    std::vector<int32_t> cell_w;
    for (const Legend_item& it : items) {
        if (!Aligned(it.kind)) continue;
        if (cell_w.size() < it.cells.size()) cell_w.resize(it.cells.size(), 0);
        for (size_t c = 0; c < it.cells.size(); ++c)
            cell_w[c] = std::max(cell_w[c], Text_measure(font, it.cells[c], m.text_px).width);
    }
    int32_t cx = m.swatch_w + m.gap;
    for (size_t c = 0; c < cell_w.size(); ++c) {
        p.cell_x.push_back(cx);
        cx += cell_w[c] + 2 * m.gap;
    }
    const int32_t aligned_w = cell_w.empty() ? m.swatch_w : cx - 2 * m.gap;
    int32_t x = 0, y = 0, column_w = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const Legend_item& it = items[i];
        Placed at;
        at.h = Item_height(it, m, font);
        // A heading goes with the headings after it and the first row under them.
        int32_t keep_h = 0;
        for (size_t j = i + 1; it.heading && j < items.size(); ++j) {
            keep_h += Item_height(items[j], m, font);
            if (!items[j].heading) break;
        }
        switch (it.kind) {
        case Item_kind::title: at.w = Text_measure(font, it.cells[0], m.title_px).width; break;
        case Item_kind::text: at.w = Text_measure(font, it.cells[0], m.text_px).width; break;
        case Item_kind::scale_bar: at.w = m.swatch_w * 4; break;
        case Item_kind::north: at.w = m.swatch_w; break;
        default: at.w = aligned_w; break;
        }
        if (y + at.h + keep_h > max_h && y > 0) {
            x += column_w + 3 * m.gap;
            y = 0, column_w = 0;
        }
        if (at.h > max_h) p.fits = false;
        at.x = x, at.y = y;
        y += at.h;
        column_w = std::max(column_w, at.w);
        p.h = std::max(p.h, y);
        p.w = std::max(p.w, x + column_w);
        p.at.push_back(at);
    }
    return p;
}

// The marker symbol of the legend within a box of side size, as the map
// shows a marker: its colour framed in ink, an evacuation place with a ring
// around it.
void Marker_symbol(Image& img, int kind, int32_t x0, int32_t y0, int32_t size) {
    const int32_t side = std::max(3, size * 11 / 20), in = (size - side) / 2;
    Fill(img, x0 + in, y0 + in, x0 + in + side, y0 + in + side, Marker_colour(kind));
    Frame(img, x0 + in, y0 + in, x0 + in + side, y0 + in + side, std::max(1, size / 16), Ink);
    if (kind == Kind_evac) Ring(img, x0 + size / 2.0, y0 + size / 2.0, size * 0.4, std::max(1.0, size / 10.0), Ink);
}

// The longest round length whose bar fits into max_px at px_per_metre.
double Scale_bar_metres(double px_per_metre, int32_t max_px) {
    static constexpr double nice[] = {1, 2, 5, 10, 20, 50, 100, 200, 250, 500, 1000, 2000, 5000, 10000, 20000, 50000};
    double best = nice[0];
    for (double n : nice)
        if (n * px_per_metre <= max_px) best = n;
    return best;
}

std::string Metres_text(double metres) {
    return metres >= 1000 ? Number_text(metres / 1000) + " km" : Number_text(metres) + " m";
}

// Draws the legend at (ox, oy) and adds its boxes; px_per_metre sizes the scale bar.
void Legend_draw(Image* img, std::vector<Page_box>* boxes, const std::vector<Legend_item>& items,
                 const Legend_plan& p, const Legend_metrics& m, const Text_font& font, int32_t ox, int32_t oy,
                 double px_per_metre) {
    auto text_box = [&](int32_t x, int32_t y, const std::string& s, double size, const char* what) {
        const Text_extent e = Text_measure(font, s, size);
        if (img) Text_draw(*img, font, x, y, s, size, Ink);
        if (boxes) boxes->push_back({x, y, x + e.width, y + e.height(), true, what, s});
    };
    auto graphic_box = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, const char* what) {
        if (boxes) boxes->push_back({x0, y0, x1, y1, false, what, ""});
    };
    const int32_t text_h = Text_measure(font, "分", m.text_px).height();
    for (size_t i = 0; i < items.size(); ++i) {
        const Legend_item& it = items[i];
        const int32_t x = ox + p.at[i].x, y = oy + p.at[i].y;
        const int32_t text_y = y + (m.row_h - text_h) / 2;
        const int32_t sy = y + (m.row_h - m.swatch_h) / 2;
        switch (it.kind) {
        case Item_kind::title: text_box(x, y, it.cells[0], m.title_px, "legend title"); break;
        case Item_kind::text: text_box(x, text_y, it.cells[0], m.text_px, "legend text"); break;
        case Item_kind::swatch:
        case Item_kind::row:
        case Item_kind::marker:
            if (it.kind == Item_kind::swatch) {
                if (img) {
                    Fill(*img, x, sy, x + m.swatch_w, sy + m.swatch_h, it.colour);
                    // The map's stripes, as wide as the swatch's height allows.
                    const int32_t period = std::max(8, m.swatch_h * 2 / 3);
                    if (it.stripes)
                        for (int32_t yy = sy; yy < sy + m.swatch_h; ++yy)
                            for (int32_t xx = x; xx < x + m.swatch_w; ++xx)
                                if ((xx - x + yy - sy) % period * 8 / period < 3) img->set(xx, yy, Evac_stripe_colour);
                    Frame(*img, x, sy, x + m.swatch_w, sy + m.swatch_h, 1, Rule);
                }
                graphic_box(x, sy, x + m.swatch_w, sy + m.swatch_h, "swatch");
            } else if (it.kind == Item_kind::marker) {
                const int32_t size = m.swatch_h;
                const int32_t mx = x + (m.swatch_w - size) / 2;
                if (img) Marker_symbol(*img, it.marker, mx, sy, size);
                graphic_box(mx, sy, mx + size, sy + size, "marker");
            }
            for (size_t c = 0; c < it.cells.size(); ++c)
                if (!it.cells[c].empty()) text_box(x + p.cell_x[c], text_y, it.cells[c], m.text_px, "legend text");
            break;
        case Item_kind::scale_bar: {
            const int32_t max_px = p.at[i].w;
            const double metres = Scale_bar_metres(px_per_metre, max_px);
            const int32_t len = std::clamp(int32_t(std::lround(metres * px_per_metre)), 4, max_px);
            const int32_t bar_h = std::max(4, m.swatch_h / 2);
            const int32_t by = y + m.row_h / 2;
            if (img) {
                for (int s = 0; s < 4; ++s)
                    Fill(*img, x + len * s / 4, by, x + len * (s + 1) / 4, by + bar_h, s % 2 ? Paper_white : Ink);
                Frame(*img, x, by, x + len, by + bar_h, 1, Ink);
            }
            const std::string right = Metres_text(metres);
            graphic_box(x, by, x + len, by + bar_h, "scale bar");
            if (boxes) boxes->back().text_shown = right;
            const int32_t rw = Text_measure(font, right, m.text_px).width;
            text_box(x, by + bar_h + 2, "0", m.text_px, "scale text");
            // The length sits under the bar's end, kept within the bar's item.
            text_box(std::max(x + Text_measure(font, "0", m.text_px).width + m.gap, x + len - rw), by + bar_h + 2,
                     right, m.text_px, "scale text");
            break;
        }
        case Item_kind::north: {
            const int32_t w = m.swatch_w;
            const std::string n = "北";
            const Text_extent e = Text_measure(font, n, m.text_px);
            text_box(x + (w - e.width) / 2, y, n, m.text_px, "north text");
            const int32_t ty = y + e.height() + m.gap / 2, th = m.row_h * 3 - e.height() - m.gap;
            if (img) {
                // A filled triangle pointing up, its right half hollow.
                for (int32_t yy = 0; yy < th; ++yy) {
                    const int32_t half = int32_t(double(w) / 2 * yy / std::max(th, 1));
                    const int32_t mid = x + w / 2;
                    Fill(*img, mid - half, ty + yy, mid + 1, ty + yy + 1, Ink);
                    img->set(mid + half, ty + yy, Ink);
                }
                Fill(*img, x + w / 2 - w / 2, ty + th - 1, x + w, ty + th, Ink);
            }
            graphic_box(x, ty, x + w, ty + th, "north arrow");
            break;
        }
        }
    }
}

std::vector<Legend_item> Band_items(const Evac_figures& f, const Evac_options& o) {
    std::vector<Legend_item> items;
    items.push_back({Item_kind::text, {"避難場所までの徒歩時間"}, 0, false, 0, true});
    for (int32_t k = 0; k < Evac_bands; ++k)
        items.push_back({Item_kind::swatch, {Band_label(k, o.band_minutes), Evac_share_text(f.band_tenths[k])},
                         Evac_band_colour(k)});
    items.push_back({Item_kind::swatch, {"ルートのない道路", ""}, Evac_unreached_colour});
    if (o.limit_minutes > 0)
        items.push_back({Item_kind::swatch,
                         {std::to_string(o.limit_minutes) + "分を超える道路", Evac_share_text(f.beyond_tenths)},
                         Band_colours[4], true});
    items.push_back({Item_kind::text, {"記号"}, 0, false, 0, true});
    items.push_back({Item_kind::marker, {"避難場所"}, 0, false, Kind_evac});
    items.push_back({Item_kind::marker, {"混雑"}, 0, false, Kind_cong});
    items.push_back({Item_kind::marker, {"通行禁止"}, 0, false, Kind_nopass});
    items.push_back({Item_kind::text, {"最長の徒歩 " + Longest_text(f)}});
    return items;
}

// A name kept to 40 characters, its end shown.
std::string Elided(const std::string& name) {
    const std::vector<char32_t> cps = Utf8_decode(name);
    if (cps.size() <= 40) return name;
    std::string out = "…";
    for (size_t i = cps.size() - 39; i < cps.size(); ++i) {
        const char32_t c = cps[i];
        if (c < 0x80) out += char(c);
        else if (c < 0x800) out += char(0xC0 | (c >> 6)), out += char(0x80 | (c & 0x3F));
        else if (c < 0x10000)
            out += char(0xE0 | (c >> 12)), out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
        else
            out += char(0xF0 | (c >> 18)), out += char(0x80 | ((c >> 12) & 0x3F)),
                out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
    }
    return out;
}

std::string Source_text(const Evac_texts& t) { return t.source.empty() ? "" : "出典: " + t.source; }

// Texts of the 1:1 legend may not be wider than this.
constexpr int32_t Legend_text_max = 640;

const Legend_metrics Screen_metrics = {15.0, 22.0, 24, 30, 14, 8};
constexpr int32_t Screen_pad = 12;

// The map picture at the top-left and the legend beside it, as tall as the
// map or the legend in one column of at least the map's height. Beside a
// small map the legend keeps the height of sixteen rows, so that it flows
// into a few columns rather than a row of them wider than the screen.
Image Beside(const Image& drawn, const std::vector<Legend_item>& items, const Text_font& font, double px_per_metre) {
    const int32_t min_h = 2 * Screen_pad + Screen_metrics.row_h * 16;
    const int32_t height = std::max(drawn.h, min_h);
    const Legend_plan plan = Legend_flow(items, Screen_metrics, font, height - 2 * Screen_pad);
    const int32_t h = std::max(height, plan.h + 2 * Screen_pad);
    Image pic(drawn.w + 1 + plan.w + 2 * Screen_pad, h, Paper_white);
    for (int32_t y = 0; y < drawn.h; ++y)
        std::copy(drawn.px.begin() + ptrdiff_t(size_t(y) * size_t(drawn.w)),
                  drawn.px.begin() + ptrdiff_t(size_t(y + 1) * size_t(drawn.w)),
                  pic.px.begin() + ptrdiff_t(size_t(y) * size_t(pic.w)));
    Fill(pic, drawn.w, 0, drawn.w + 1, pic.h, Rule);
    Legend_draw(&pic, nullptr, items, plan, Screen_metrics, font, drawn.w + 1 + Screen_pad, Screen_pad, px_per_metre);
    return pic;
}

std::string Too_wide(const std::vector<Legend_item>& items, const Text_font& font) {
    for (const Legend_item& it : items) {
        const double size = it.kind == Item_kind::title ? Screen_metrics.title_px : Screen_metrics.text_px;
        for (const std::string& s : it.cells)
            if (Text_measure(font, s, size).width > Legend_text_max)
                return "the text \"" + s + "\" is too long for the legend (at most " +
                       std::to_string(Legend_text_max) + " pixels wide)";
    }
    return "";
}

// Markers painted as the main window paints them, ringed in ink, and a ring
// around each evacuation place so that it stands out on a green street.
void Markers_on(Image& out, const Image& map, const Base_record& sets) {
    Image marked = map;
    Markers_paint(marked, sets);
    const int32_t w = std::min(map.w, out.w), h = std::min(map.h, out.h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(map.w) + size_t(x);
            if (marked.px[i] == map.px[i]) continue;
            for (int32_t dy = -1; dy <= 1; ++dy)
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t nx = x + dx, ny = y + dy;
                    if (!map.inside(nx, ny)) continue;
                    const size_t j = size_t(ny) * size_t(map.w) + size_t(nx);
                    if (marked.px[j] == map.px[j]) out.set(nx, ny, Ink);
                }
        }
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(map.w) + size_t(x);
            if (marked.px[i] != map.px[i]) out.px[size_t(y) * size_t(out.w) + size_t(x)] = marked.px[i] & 0xFFFFFF;
        }
    for (int32_t i = 0; i < std::clamp(sets.Evac_n, 0, Evac_capacity); ++i)
        Ring(out, sets.Evac_x[i] + 0.5, sets.Evac_y[i] + 0.5, Marker_size * 0.8, 2.5, Ink);
}

}  // namespace

std::string Evac_options_check(const Evac_options& o) {
    if (!(o.speed > 0) || !std::isfinite(o.speed)) return "the walking speed must be more than 0 m a minute";
    if (o.band_minutes <= 0) return "the band width must be at least 1 minute";
    if (o.limit_minutes < 0) return "the time limit must be 0 (none) or more minutes";
    if (o.scale.metres_per_pixel < 0 || !std::isfinite(o.scale.metres_per_pixel))
        return "the metres per pixel must be more than 0";
    return "";
}

int32_t Evac_band(int32_t count, const Evac_options& o) {
    if (count <= 0) return -1;
    const Walk_length w = Walk_convert(count, o.scale, o.speed);
    return std::min(Travel_band(w.minutes, std::max(o.band_minutes, 1)), Evac_bands - 1);
}

bool Evac_beyond(int32_t count, const Evac_options& o) {
    return count > 0 && o.limit_minutes > 0 && Walk_convert(count, o.scale, o.speed).minutes >= o.limit_minutes;
}

uint32_t Evac_band_colour(int32_t band) { return Band_colours[std::clamp(band, 0, Evac_bands - 1)]; }

std::string Evac_share_text(int32_t tenths) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%d %%", tenths / 10, tenths % 10);
    return buf;
}

Evac_figures Evac_figures_of(const Image& map, const std::vector<int32_t>& counts, const Evac_options& o) {
    Evac_figures f;
    for (int32_t y = 0; y < map.h; ++y)
        for (int32_t x = 0; x < map.w; ++x) {
            const int32_t count = Grid_count(counts, x, y);
            if (count <= 0) {
                if (Pixel_code(map.px[size_t(y) * size_t(map.w) + size_t(x)] & 0xFFFFFF) & Code_road)
                    ++f.unreached_road;
                continue;
            }
            ++f.reached;
            ++f.band_pixels[Evac_band(count, o)];
            f.beyond_pixels += Evac_beyond(count, o);
            f.longest_count = std::max(f.longest_count, count);
        }
    Shares(f.band_pixels, f.reached, f.band_tenths);
    if (f.reached > 0) f.beyond_tenths = int32_t((f.beyond_pixels * 2000 + f.reached) / (2 * f.reached));
    f.longest = Walk_convert(f.longest_count, o.scale, o.speed);
    return f;
}

std::string Evac_figures_json(const Evac_figures& f, const Evac_options& o) {
    std::string s = "{\n";
    s += "  \"speed_m_per_minute\": " + Number_text(o.speed) + ",\n";
    s += "  \"band_minutes\": " + std::to_string(o.band_minutes) + ",\n";
    s += "  \"limit_minutes\": " + (o.limit_minutes > 0 ? std::to_string(o.limit_minutes) : std::string("null")) + ",\n";
    s += "  \"metres_per_pixel\": " + Number_text(Scale_metres_per_pixel(o.scale)) + ",\n";
    s += "  \"reached_pixels\": " + std::to_string(f.reached) + ",\n";
    s += "  \"bands\": [\n";
    for (int32_t k = 0; k < Evac_bands; ++k) {
        s += "    {\"from_minutes\": " + std::to_string(int64_t(k) * o.band_minutes) + ", \"to_minutes\": " +
             (k + 1 < Evac_bands ? std::to_string(int64_t(k + 1) * o.band_minutes) : std::string("null")) +
             ", \"pixels\": " + std::to_string(f.band_pixels[k]) + ", \"percent\": " +
             Format("%.1f", f.band_tenths[k] / 10.0) + "}" + (k + 1 < Evac_bands ? ",\n" : "\n");
    }
    s += "  ],\n";
    s += "  \"longest_walk\": {\"pixels\": " + std::to_string(f.longest_count) + ", \"metres\": " +
         std::to_string(f.longest.metres) + ", \"minutes\": " + Format("%.2f", f.longest.minutes) + "},\n";
    if (o.limit_minutes > 0)
        s += "  \"beyond_limit\": {\"pixels\": " + std::to_string(f.beyond_pixels) + ", \"percent\": " +
             Format("%.1f", f.beyond_tenths / 10.0) + "},\n";
    else
        s += "  \"beyond_limit\": null,\n";
    s += "  \"unreached_road_pixels\": " + std::to_string(f.unreached_road) + "\n}\n";
    return s;
}

namespace {

// What a pixel of the drawn map shows, in the order in which a page that
// draws the map smaller keeps it: a marker over a street over a road no
// route reaches over the background.
enum Map_rank : uint8_t { Rank_background, Rank_unreached, Rank_reached, Rank_marker };

Image Map_draw(const Image& map, const Base_record& sets, const std::vector<int32_t>& counts, const Evac_options& o,
               std::vector<uint8_t>* ranks) {
    Image out(std::max(map.w, 0), std::max(map.h, 0), Paper_white);
    if (map.empty()) return out;
    if (ranks) ranks->assign(out.px.size(), Rank_background);
    // The colour of each route length, worked out once per length.
    int32_t longest = 0;
    for (int32_t y = 0; y < map.h; ++y)
        for (int32_t x = 0; x < map.w; ++x) longest = std::max(longest, Grid_count(counts, x, y));
    std::vector<uint32_t> colour(size_t(longest) + 1);
    std::vector<uint8_t> beyond(size_t(longest) + 1);
    for (int32_t c = 1; c <= longest; ++c) {
        colour[size_t(c)] = Evac_band_colour(Evac_band(c, o));
        beyond[size_t(c)] = Evac_beyond(c, o);
    }
    for (int32_t y = 0; y < map.h; ++y) {
        for (int32_t x = 0; x < map.w; ++x) {
            const size_t i = size_t(y) * size_t(map.w) + size_t(x);
            const uint32_t c = map.px[i] & 0xFFFFFF;
            const int32_t count = Grid_count(counts, x, y);
            uint32_t shown;
            uint8_t rank;
            if (count > 0) {
                shown = beyond[size_t(count)] && Evac_stripe(x, y) ? Evac_stripe_colour : colour[size_t(count)];
                rank = Rank_reached;
            } else if (Pixel_code(c) & Code_road) {
                shown = Evac_unreached_colour, rank = Rank_unreached;
            } else {
                shown = Travel_faded(c), rank = Rank_background;
            }
            out.px[i] = shown;
            if (ranks) (*ranks)[i] = rank;
        }
    }
    if (!ranks) {
        Markers_on(out, map, sets);
        return out;
    }
    const Image bare = out;
    Markers_on(out, map, sets);
    for (size_t i = 0; i < out.px.size(); ++i)
        if (out.px[i] != bare.px[i]) (*ranks)[i] = Rank_marker;
    return out;
}

// The map drawn into the page's box of w x h pixels at (x0, y0), zoom page
// pixels a map pixel. Drawn larger, each page pixel takes its nearest map
// pixel; drawn smaller, the map pixel of the highest rank within its
// footprint (the nearest among equals), so that thin streets and markers
// are not lost. Colours stay exact either way.
void Map_onto_page(Image& page, const Image& drawn, const std::vector<uint8_t>& ranks, double zoom, int32_t x0,
                   int32_t y0, int32_t w, int32_t h) {
    auto source = [&](int32_t v, int32_t size) { return std::clamp(int32_t(v / zoom), 0, size - 1); };
    for (int32_t y = 0; y < h; ++y) {
        const int32_t sy = std::min(int32_t((y + 0.5) / zoom), drawn.h - 1);
        const int32_t fy0 = source(y, drawn.h), fy1 = std::max(fy0 + 1, std::min(source(y + 1, drawn.h), drawn.h));
        uint32_t* dst = page.px.data() + size_t(y0 + y) * size_t(page.w) + size_t(x0);
        for (int32_t x = 0; x < w; ++x) {
            const int32_t sx = std::min(int32_t((x + 0.5) / zoom), drawn.w - 1);
            size_t best = size_t(sy) * size_t(drawn.w) + size_t(sx);
            if (zoom < 1) {
                const int32_t fx0 = source(x, drawn.w), fx1 = std::max(fx0 + 1, std::min(source(x + 1, drawn.w), drawn.w));
                best = size_t(std::clamp(sy, fy0, fy1 - 1)) * size_t(drawn.w) + size_t(std::clamp(sx, fx0, fx1 - 1));
                for (int32_t fy = fy0; fy < fy1 && ranks[best] < Rank_marker; ++fy)
                    for (int32_t fx = fx0; fx < fx1; ++fx) {
                        const size_t i = size_t(fy) * size_t(drawn.w) + size_t(fx);
                        if (ranks[i] > ranks[best]) best = i;
                    }
            }
            dst[x] = drawn.px[best];
        }
    }
}

}  // namespace

Image Evac_map_draw(const Image& map, const Base_record& sets, const std::vector<int32_t>& counts,
                    const Evac_options& o) {
    return Map_draw(map, sets, counts, o, nullptr);
}

Evac_render Evac_map_render(const Image& map, const Base_record& sets, const std::vector<int32_t>& counts,
                            const Evac_options& o, const Evac_texts& texts, const Text_font& font) {
    Evac_render r;
    r.error = Evac_options_check(o);
    if (r.error.empty() && !font.ok()) r.error = "no font to draw the texts with";
    if (!r.error.empty()) return r;
    r.figures = Evac_figures_of(map, counts, o);
    std::vector<Legend_item> items;
    items.push_back({Item_kind::title, {texts.title}});
    if (!texts.date.empty()) items.push_back({Item_kind::text, {texts.date}});
    items.push_back({Item_kind::text, {Speed_text(o)}});
    items.push_back({Item_kind::text, {Scale_text(o.scale)}});
    for (Legend_item& it : Band_items(r.figures, o)) items.push_back(std::move(it));
    if (!texts.source.empty()) items.push_back({Item_kind::text, {Source_text(texts)}});
    items.push_back({Item_kind::scale_bar, {}});
    items.push_back({Item_kind::north, {}});
    r.error = Too_wide(items, font);
    if (!r.error.empty()) return r;
    r.picture = Beside(Evac_map_draw(map, sets, counts, o), items, font, 1.0 / Scale_metres_per_pixel(o.scale));
    return r;
}

// ---- The page ----

void Page_size(const Page_setup& setup, int32_t& w, int32_t& h) {
    const double short_mm = setup.paper == Paper::A3 ? 297.0 : 210.0;
    const double long_mm = setup.paper == Paper::A3 ? 420.0 : 297.0;
    const int32_t s = int32_t(std::lround(short_mm / 25.4 * setup.dpi));
    const int32_t l = int32_t(std::lround(long_mm / 25.4 * setup.dpi));
    w = setup.landscape ? l : s;
    h = setup.landscape ? s : l;
}

Evac_page Evac_page_render(const Page_setup& setup, const Image& map, const Base_record& sets,
                           const std::vector<int32_t>& counts, const Evac_options& o, const Evac_texts& texts,
                           const Text_font& font, bool draw) {
    Evac_page pg;
    pg.error = Evac_options_check(o);
    if (pg.error.empty() && !font.ok()) pg.error = "no font to draw the texts with";
    if (pg.error.empty() && (setup.dpi < Page_dpi_min || setup.dpi > Page_dpi_max))
        pg.error = "the resolution must be " + std::to_string(Page_dpi_min) + " to " + std::to_string(Page_dpi_max) + " dpi";
    if (pg.error.empty() && map.empty()) pg.error = "the map picture is empty";
    if (!pg.error.empty()) return pg;
    Page_size(setup, pg.w, pg.h);
    pg.figures = Evac_figures_of(map, counts, o);

    // Sizes in millimetres, turned into pixels of this resolution.
    const double mm = setup.dpi / 25.4;
    auto px = [&](double v) { return int32_t(std::lround(v * mm)); };
    const int32_t margin = px(10), gap = px(4);
    const double title_px = 8.0 * mm, info_px = 3.6 * mm;
    const Legend_metrics lm = {3.4 * mm, 3.4 * mm, px(6), px(10), px(4.5), px(2)};
    const int32_t content_w = pg.w - 2 * margin;
    auto mm_text = [&](int32_t pixels) { return Format("%.0f mm", pixels / mm); };

    // Header: the title, and the date, speed and scale beside it or below.
    const Text_extent title = Text_measure(font, texts.title, title_px);
    if (title.width > content_w) {
        pg.error = "the title is too long for the page (" + mm_text(title.width) + " wide, the page has " +
                   mm_text(content_w) + ")";
        return pg;
    }
    std::vector<std::string> info;
    if (!texts.date.empty()) info.push_back(texts.date);
    info.push_back(Speed_text(o));
    info.push_back("縮尺 " + Scale_text(o.scale));
    std::string joined;
    for (const std::string& s : info) joined += (joined.empty() ? "" : "　") + s;
    const Text_extent joined_e = Text_measure(font, joined, info_px);
    struct Line {
        std::string text;
        int32_t x, y;
        double size;
        const char* what;
    };
    std::vector<Line> lines;
    lines.push_back({texts.title, margin, margin, title_px, "title"});
    int32_t header_bottom = margin + title.height();
    if (title.width + px(8) + joined_e.width <= content_w) {
        lines.push_back({joined, pg.w - margin - joined_e.width, margin + title.height() - joined_e.height(), info_px, "info"});
    } else {
        std::vector<std::string> rows = {joined};
        if (joined_e.width > content_w) rows = info;
        for (const std::string& s : rows) {
            const Text_extent e = Text_measure(font, s, info_px);
            if (e.width > content_w) {
                pg.error = "the text \"" + s + "\" is too long for the page";
                return pg;
            }
            lines.push_back({s, margin, header_bottom + px(1), info_px, "info"});
            header_bottom += px(1) + e.height();
        }
    }
    // Footer: the source line.
    int32_t body_bottom = pg.h - margin;
    const std::string source = Source_text(texts);
    if (!source.empty()) {
        const Text_extent e = Text_measure(font, source, info_px);
        if (e.width > content_w) {
            pg.error = "the source line is too long for the page (" + mm_text(e.width) + " wide, the page has " +
                       mm_text(content_w) + ")";
            return pg;
        }
        lines.push_back({source, margin, pg.h - margin - e.height(), info_px, "source"});
        body_bottom = pg.h - margin - e.height() - px(3);
    }
    const int32_t body_top = header_bottom + gap;
    const int32_t body_h = body_bottom - body_top;

    std::vector<Legend_item> items = Band_items(pg.figures, o);
    items.push_back({Item_kind::scale_bar, {}});
    items.push_back({Item_kind::north, {}});

    // The legend to the right of the map or below it, whichever leaves the
    // larger map.
    struct Choice {
        Legend_plan plan;
        int32_t lx = 0, ly = 0;
        int32_t ax0 = 0, ay0 = 0, ax1 = 0, ay1 = 0;  // the map's area
        double zoom = 0;
    };
    // The map's frame stands just outside the map, within its area.
    const int32_t frame = 1 + px(0.3);
    auto zoom_of = [&](const Choice& c) {
        const int32_t aw = c.ax1 - c.ax0 - 2 * (frame + 1), ah = c.ay1 - c.ay0 - 2 * (frame + 1);
        if (aw <= 0 || ah <= 0) return 0.0;
        return std::min(double(aw) / map.w, double(ah) / map.h);
    };
    Choice best;
    if (body_h > 0) {
        Choice right;
        right.plan = Legend_flow(items, lm, font, body_h);
        if (right.plan.fits && right.plan.w < content_w) {
            right.lx = pg.w - margin - right.plan.w, right.ly = body_top;
            right.ax0 = margin, right.ay0 = body_top, right.ax1 = right.lx - gap, right.ay1 = body_bottom;
            right.zoom = zoom_of(right);
            if (right.zoom > best.zoom) best = right;
        }
        for (int32_t max_h = lm.row_h * 3; max_h <= body_h; max_h += lm.row_h) {
            Choice below;
            below.plan = Legend_flow(items, lm, font, max_h);
            if (!below.plan.fits || below.plan.w > content_w) continue;
            below.lx = margin, below.ly = body_bottom - below.plan.h;
            below.ax0 = margin, below.ay0 = body_top, below.ax1 = pg.w - margin, below.ay1 = below.ly - gap;
            below.zoom = zoom_of(below);
            if (below.zoom > best.zoom) best = below;
            break;  // the shortest legend that fits the width leaves the most height
        }
    }
    if (!(best.zoom > 0)) {
        pg.error = "the page is too small for the map and its legend";
        return pg;
    }
    pg.zoom = best.zoom;
    const int32_t mw = std::max(1, int32_t(std::floor(map.w * best.zoom)));
    const int32_t mh = std::max(1, int32_t(std::floor(map.h * best.zoom)));
    const int32_t mx = best.ax0 + (best.ax1 - best.ax0 - mw) / 2, my = best.ay0 + frame + 1;
    pg.map = {mx, my, mx + mw, my + mh, false, "map", ""};

    Image* img = nullptr;
    if (draw) {
        pg.picture = Image(pg.w, pg.h, Paper_white);
        img = &pg.picture;
        std::vector<uint8_t> ranks;
        const Image drawn = Map_draw(map, sets, counts, o, &ranks);
        Map_onto_page(pg.picture, drawn, ranks, best.zoom, mx, my, mw, mh);
        Frame(pg.picture, mx - frame - 1, my - frame - 1, mx + mw + frame + 1, my + mh + frame + 1, frame, Ink);
    }
    pg.boxes.push_back({mx - frame - 1, my - frame - 1, mx + mw + frame + 1, my + mh + frame + 1, false, "map frame", ""});
    for (const Line& l : lines) {
        const Text_extent e = Text_measure(font, l.text, l.size);
        if (img) Text_draw(*img, font, l.x, l.y, l.text, l.size, Ink);
        pg.boxes.push_back({l.x, l.y, l.x + e.width, l.y + e.height(), true, l.what, l.text});
    }
    Legend_draw(img, &pg.boxes, items, best.plan, lm, font, best.lx, best.ly,
                best.zoom / Scale_metres_per_pixel(o.scale));
    return pg;
}

// ---- Comparison ----

uint32_t Evac_change_colour(Evac_change c) {
    switch (c) {
    case Change_same: return Rgb(185, 185, 185);
    case Change_shorter: return Rgb(130, 180, 240);
    case Change_much_shorter: return Rgb(0, 80, 200);
    case Change_longer: return Rgb(245, 165, 130);
    case Change_much_longer: return Rgb(200, 20, 20);
    case Change_gained: return Rgb(0, 170, 130);
    case Change_lost: return Rgb(25, 25, 25);
    default: return 0;
    }
}

Evac_comparison Evac_compare_render(const Image& map_a, const std::vector<int32_t>& counts_a, const Image& map_b,
                                    const Base_record& sets_b, const std::vector<int32_t>& counts_b,
                                    const Evac_options& o, const Evac_texts& texts, const std::string& names_a,
                                    const std::string& names_b, const Text_font& font) {
    Evac_comparison r;
    r.error = Evac_options_check(o);
    if (r.error.empty() && !font.ok()) r.error = "no font to draw the texts with";
    if (r.error.empty() && (map_a.w != map_b.w || map_a.h != map_b.h))
        r.error = "the two maps differ in size (" + std::to_string(map_a.w) + " x " + std::to_string(map_a.h) + " and " +
                  std::to_string(map_b.w) + " x " + std::to_string(map_b.h) +
                  "); compare takes two versions of one capture";
    if (!r.error.empty()) return r;
    r.first = Evac_figures_of(map_a, counts_a, o);
    r.second = Evac_figures_of(map_b, counts_b, o);

    Image drawn(map_b.w, map_b.h, Paper_white);
    for (int32_t y = 0; y < map_b.h; ++y)
        for (int32_t x = 0; x < map_b.w; ++x) {
            const int32_t a = Grid_count(counts_a, x, y), b = Grid_count(counts_b, x, y);
            Evac_change c = Change_none;
            if (a > 0 && b > 0) {
                const double d = Walk_convert(b, o.scale, o.speed).minutes - Walk_convert(a, o.scale, o.speed).minutes;
                const bool much = std::fabs(d) >= o.band_minutes;
                c = d == 0 ? Change_same : d < 0 ? (much ? Change_much_shorter : Change_shorter)
                                                 : (much ? Change_much_longer : Change_longer);
            } else if (b > 0) {
                c = Change_gained;
            } else if (a > 0) {
                c = Change_lost;
            }
            ++r.changes[c];
            const size_t i = size_t(y) * size_t(map_b.w) + size_t(x);
            const uint32_t colour = map_b.px[i] & 0xFFFFFF;
            // Roads neither version reaches are no part of the change: faded with the rest.
            drawn.px[i] = c != Change_none ? Evac_change_colour(c) : Travel_faded(colour);
        }
    Markers_on(drawn, map_b, sets_b);

    int64_t either = 0;
    for (int k = Change_same; k < Change_kinds; ++k) either += r.changes[k];
    int64_t parts[Change_kinds - 1];
    for (int k = 1; k < Change_kinds; ++k) parts[k - 1] = r.changes[k];
    int32_t tenths[Change_kinds - 1];
    Shares(parts, either, tenths);

    const std::string band = std::to_string(o.band_minutes) + "分";
    const char* labels[Change_kinds] = {"", "変化なし", "", "", "", "", "新たに到達", "到達しなくなった"};
    const std::string shorter = band + "未満短く", much_shorter = band + "以上短く";
    const std::string longer = band + "未満長く", much_longer = band + "以上長く";
    std::vector<Legend_item> items;
    items.push_back({Item_kind::title, {texts.title}});
    items.push_back({Item_kind::text, {"前: " + Elided(names_a)}});
    items.push_back({Item_kind::text, {"後: " + Elided(names_b)}});
    if (!texts.date.empty()) items.push_back({Item_kind::text, {texts.date}});
    items.push_back({Item_kind::text, {Speed_text(o)}});
    items.push_back({Item_kind::text, {"徒歩時間の変化"}, 0, false, 0, true});
    const Evac_change order[] = {Change_much_shorter, Change_shorter, Change_same, Change_longer,
                                 Change_much_longer, Change_gained, Change_lost};
    for (Evac_change c : order) {
        const std::string label = c == Change_much_shorter ? much_shorter
                                  : c == Change_shorter    ? shorter
                                  : c == Change_longer     ? longer
                                  : c == Change_much_longer ? much_longer
                                                           : std::string(labels[c]);
        items.push_back({Item_kind::swatch, {label, Evac_share_text(tenths[c - 1]), ""}, Evac_change_colour(c)});
    }
    items.push_back({Item_kind::text, {"徒歩時間の割合"}, 0, false, 0, true});
    items.push_back({Item_kind::row, {"", "前", "後"}, 0, false, 0, true});
    for (int32_t k = 0; k < Evac_bands; ++k)
        items.push_back({Item_kind::swatch,
                         {Band_label(k, o.band_minutes), Evac_share_text(r.first.band_tenths[k]),
                          Evac_share_text(r.second.band_tenths[k])},
                         Evac_band_colour(k)});
    if (o.limit_minutes > 0)
        items.push_back({Item_kind::row,
                         {std::to_string(o.limit_minutes) + "分を超える", Evac_share_text(r.first.beyond_tenths),
                          Evac_share_text(r.second.beyond_tenths)}});
    items.push_back({Item_kind::row, {"最長の徒歩", Longest_text(r.first), Longest_text(r.second)}});
    if (!texts.source.empty()) items.push_back({Item_kind::text, {Source_text(texts)}});
    r.error = Too_wide(items, font);
    if (!r.error.empty()) return r;
    r.picture = Beside(drawn, items, font, 1.0 / Scale_metres_per_pixel(o.scale));
    return r;
}
