// The travel-time map: composition, legend and PNG file.
#include "route/render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "map/pixel_check.h"
#include "markers/markers.h"
#include "route/travel_time.h"
#include "storage/file_io.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"
#include "stb_easy_font.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "map/grid.h"

namespace {

constexpr uint32_t Ink = Rgb(30, 30, 30);
constexpr uint32_t Rule = Rgb(160, 160, 160);
constexpr uint32_t Paper = Rgb(255, 255, 255);
constexpr int32_t Text_zoom = 2;  // the font's pixels are drawn 2 x 2
constexpr int32_t Swatch_w = 20;
constexpr int32_t Swatch_h = 14;
constexpr int32_t Swatch_gap = 8;

uint32_t Mix(uint32_t a, uint32_t b, double t) {
    auto chan = [&](uint32_t ca, uint32_t cb) { return uint32_t(std::lround(ca + (double(cb) - double(ca)) * t)); };
    return Rgb(chan(Red_of(a), Red_of(b)), chan(Green_of(a), Green_of(b)), chan(Blue_of(a), Blue_of(b)));
}

void Fill_rect(Image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, img.w), y1 = std::min(y1, img.h);
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x) img.px[size_t(y) * size_t(img.w) + size_t(x)] = colour;
}

void Frame_rect(Image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
    Fill_rect(img, x0, y0, x1, y0 + 1, colour);
    Fill_rect(img, x0, y1 - 1, x1, y1, colour);
    Fill_rect(img, x0, y0, x0 + 1, y1, colour);
    Fill_rect(img, x1 - 1, y0, x1, y1, colour);
}

int32_t Text_width(const std::string& text) {
    std::string copy = text;
    return stb_easy_font_width(copy.data()) * Text_zoom;
}

// The font comes as axis-aligned quads on whole font pixels; each becomes a
// block of zoomed pixels.
void Draw_text(Image& img, int32_t x, int32_t y, const std::string& text, uint32_t colour) {
    struct Vertex {
        float x, y, z;
        unsigned char rgba[4];
    };
    static_assert(sizeof(Vertex) == 16, "the font writes 16-byte vertices");
    std::vector<Vertex> quads(text.size() * 64 + 64);
    std::string copy = text;
    const int n = stb_easy_font_print(0, 0, copy.data(), nullptr, quads.data(), int(quads.size() * sizeof(Vertex)));
    for (int q = 0; q < n; ++q) {
        const Vertex* v = &quads[size_t(q) * 4];
        float fx0 = v[0].x, fy0 = v[0].y, fx1 = v[0].x, fy1 = v[0].y;
        for (int k = 1; k < 4; ++k) {
            fx0 = std::min(fx0, v[k].x), fx1 = std::max(fx1, v[k].x);
            fy0 = std::min(fy0, v[k].y), fy1 = std::max(fy1, v[k].y);
        }
        Fill_rect(img, x + int32_t(std::lround(fx0)) * Text_zoom, y + int32_t(std::lround(fy0)) * Text_zoom,
                  x + int32_t(std::lround(fx1)) * Text_zoom, y + int32_t(std::lround(fy1)) * Text_zoom, colour);
    }
}

struct Legend_entry {
    std::string text;
    bool swatch;
    uint32_t colour;  // of the swatch
};

std::vector<Legend_entry> Legend_entries(int32_t bands, int32_t band_minutes, int scale_flag) {
    std::vector<Legend_entry> e;
    e.push_back({"walking time", false, 0});
    e.push_back({"to safety", false, 0});
    for (int32_t k = 0; k < bands; ++k) {
        char text[48];
        std::snprintf(text, sizeof text, "%lld-%lld min", static_cast<long long>(int64_t(k) * band_minutes),
                      static_cast<long long>(int64_t(k + 1) * band_minutes));
        e.push_back({text, true, Travel_band_colour(k, bands)});
    }
    e.push_back({"no route", true, Paper});
    e.push_back({"evacuation place", true, Marker_colour(Kind_evac)});
    e.push_back({"congestion point", true, Marker_colour(Kind_cong)});
    e.push_back({"no passage", true, Marker_colour(Kind_nopass)});
    e.push_back({scale_flag == 0 ? "scale 100 m" : scale_flag == 1 ? "scale 200 m" : "scale 1 m", false, 0});
    return e;
}

// Entries top to bottom in columns as high as the picture; returns the
// panel's width and, when img is given, draws it at x = left.
int32_t Legend_layout(const std::vector<Legend_entry>& entries, int32_t height, Image* img, int32_t left) {
    int32_t text_w = 0;
    for (const Legend_entry& e : entries)
        text_w = std::max(text_w, Text_width(e.text) + (e.swatch ? Swatch_w + Swatch_gap : 0));
    const int32_t column_w = text_w + Legend_pad;
    int32_t x = left + Legend_pad, y = Legend_pad, columns = 1;
    for (const Legend_entry& e : entries) {
        if (y + Legend_row > height - Legend_pad && y > Legend_pad) {
            x += column_w, y = Legend_pad, ++columns;
        }
        if (img) {
            int32_t tx = x;
            if (e.swatch) {
                Fill_rect(*img, x, y + 2, x + Swatch_w, y + 2 + Swatch_h, e.colour);
                Frame_rect(*img, x, y + 2, x + Swatch_w, y + 2 + Swatch_h, Rule);
                tx += Swatch_w + Swatch_gap;
            }
            Draw_text(*img, tx, y + 2, e.text, Ink);
        }
        y += Legend_row;
    }
    return Legend_pad + columns * column_w;
}

void Png_sink(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

uint32_t Travel_band_colour(int32_t band, int32_t bands) {
    constexpr uint32_t Near = Rgb(0, 150, 60), Middle = Rgb(235, 190, 0), Far = Rgb(205, 0, 0);
    if (bands <= 1) return Near;
    const double t = std::clamp(double(band) / double(bands - 1), 0.0, 1.0);
    return t <= 0.5 ? Mix(Near, Middle, t * 2) : Mix(Middle, Far, t * 2 - 1);
}

uint32_t Travel_faded(uint32_t colour) {
    const uint32_t r = Red_of(colour), g = Green_of(colour), b = Blue_of(colour);
    const uint32_t grey = (r * 299 + g * 587 + b * 114) / 1000;
    // Half way to grey, then a little more than half way to white.
    auto fade = [&](uint32_t c) { return 255 - (255 - (c + grey) / 2) * 9 / 20; };
    return Rgb(fade(r), fade(g), fade(b));
}

Travel_render Travel_map_render(const Image& map, const Base_record& sets, const std::vector<int32_t>& counts,
                                int scale_flag, int32_t band_minutes) {
    Travel_render out;
    band_minutes = std::max(band_minutes, 1);
    const bool have_counts = counts.size() >= size_t(Grid_cells);
    auto count_at = [&](int32_t x, int32_t y) -> int32_t {
        if (!have_counts || x >= Grid_w_fixed || y >= Grid_h_fixed) return 0;
        return counts[size_t(x) + size_t(y) * Grid_w_fixed];
    };

    // The scale runs from the nearest band to the farthest that occurs.
    for (int32_t y = 0; y < map.h; ++y)
        for (int32_t x = 0; x < map.w; ++x) out.longest_count = std::max(out.longest_count, count_at(x, y));
    out.bands = out.longest_count > 0 ? Travel_band(Travel_minutes(out.longest_count, scale_flag), band_minutes) + 1 : 0;
    std::vector<uint32_t> band_colour(size_t(std::max(out.bands, 1)));
    for (int32_t k = 0; k < out.bands; ++k) band_colour[size_t(k)] = Travel_band_colour(k, out.bands);

    // The markers as the main window shows them: painted on road pixels only.
    Image marked = map;
    Markers_paint(marked, sets);

    const std::vector<Legend_entry> legend = Legend_entries(std::max(out.bands, 1), band_minutes, scale_flag);
    const int32_t height = std::max(map.h, 2 * Legend_pad + Legend_row);
    const int32_t legend_w = Legend_layout(legend, height, nullptr, 0);
    out.picture = Image(std::max(map.w, 0) + legend_w, height, Paper);
    Image& pic = out.picture;

    for (int32_t y = 0; y < map.h; ++y) {
        for (int32_t x = 0; x < map.w; ++x) {
            const size_t i = size_t(y) * size_t(map.w) + size_t(x);
            const uint32_t c = map.px[i] & 0xFFFFFF;
            const int32_t count = count_at(x, y);
            uint32_t shown;
            if (count > 0) {
                shown = band_colour[size_t(std::min(Travel_band(Travel_minutes(count, scale_flag), band_minutes),
                                                    out.bands - 1))];
                ++out.reached;
            } else if (Pixel_code(c) & Code_road) {
                shown = c;  // a road no route reaches: a gap in the network
            } else {
                shown = Travel_faded(c);
            }
            pic.px[size_t(y) * size_t(pic.w) + size_t(x)] = shown;
        }
    }
    // Markers on top in their own colours, ringed in ink so that an
    // evacuation place stands out from the green around it.
    for (int32_t y = 0; y < map.h; ++y) {
        for (int32_t x = 0; x < map.w; ++x) {
            const size_t i = size_t(y) * size_t(map.w) + size_t(x);
            if (marked.px[i] == map.px[i]) continue;
            for (int32_t dy = -1; dy <= 1; ++dy) {
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t nx = x + dx, ny = y + dy;
                    if (!map.inside(nx, ny)) continue;
                    const size_t j = size_t(ny) * size_t(map.w) + size_t(nx);
                    if (marked.px[j] == map.px[j]) pic.px[size_t(ny) * size_t(pic.w) + size_t(nx)] = Ink;
                }
            }
        }
    }
    for (int32_t y = 0; y < map.h; ++y)
        for (int32_t x = 0; x < map.w; ++x) {
            const size_t i = size_t(y) * size_t(map.w) + size_t(x);
            if (marked.px[i] != map.px[i]) pic.px[size_t(y) * size_t(pic.w) + size_t(x)] = marked.px[i] & 0xFFFFFF;
        }

    Fill_rect(pic, map.w, 0, map.w + 1, pic.h, Rule);
    Legend_layout(legend, height, &pic, std::max(map.w, 0));
    return out;
}

std::vector<uint8_t> Png_bytes(const Image& picture) {
    std::vector<uint8_t> png;
    if (picture.empty()) return png;
    std::vector<uint8_t> rgb(size_t(picture.w) * size_t(picture.h) * 3);
    for (size_t i = 0; i < picture.px.size(); ++i) {
        rgb[i * 3] = uint8_t(Red_of(picture.px[i]));
        rgb[i * 3 + 1] = uint8_t(Green_of(picture.px[i]));
        rgb[i * 3 + 2] = uint8_t(Blue_of(picture.px[i]));
    }
    if (!stbi_write_png_to_func(Png_sink, &png, picture.w, picture.h, 3, rgb.data(), picture.w * 3)) png.clear();
    return png;
}

bool Png_write(const Image& picture, const std::string& path) {
    const std::vector<uint8_t> png = Png_bytes(picture);
    return !png.empty() && File_replace(path, png.data(), png.size());
}
