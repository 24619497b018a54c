// Text in a real font through stb_truetype.
#include "route/text_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include "stb_truetype.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

struct Font_face {
    std::vector<uint8_t> bytes;  // the font file; info points into it
    stbtt_fontinfo info{};
    int ascent = 0, descent = 0, line_gap = 0;  // font units
};

namespace {

// Characters every face that is to draw the map's texts must have.
constexpr char32_t Japanese_probe[] = {U'避', U'難', U'地', U'図', U'分', U'あ', U'ア'};

bool Has_japanese(const stbtt_fontinfo& info) {
    for (char32_t c : Japanese_probe)
        if (stbtt_FindGlyphIndex(&info, int(c)) == 0) return false;
    return true;
}

uint32_t Blend(uint32_t under, uint32_t over, uint32_t alpha) {
    auto chan = [&](uint32_t a, uint32_t b) { return (a * (255 - alpha) + b * alpha + 127) / 255; };
    return Rgb(chan(Red_of(under), Red_of(over)), chan(Green_of(under), Green_of(over)),
               chan(Blue_of(under), Blue_of(over)));
}

}  // namespace

std::vector<char32_t> Utf8_decode(const std::string& utf8) {
    std::vector<char32_t> out;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool good = len > 0 && i + size_t(len) <= n;
        for (int k = 1; good && k < len; ++k) {
            if ((s[i + size_t(k)] & 0xC0) != 0x80) good = false;
            else cp = (cp << 6) | (s[i + size_t(k)] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed too.
        static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (good && (cp < least[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)) good = false;
        if (!good) {
            out.push_back(U'\uFFFD');
            ++i;
            continue;
        }
        out.push_back(cp);
        i += size_t(len);
    }
    return out;
}

std::string Text_font_load(Text_font& font, std::vector<uint8_t> bytes) {
    font.face.reset();
    if (bytes.size() < 12) return "not a font file (too short)";
    auto face = std::make_shared<Font_face>();
    face->bytes = std::move(bytes);
    const unsigned char* data = face->bytes.data();
    const int faces = stbtt_GetNumberOfFonts(data);
    if (faces <= 0) return "not a TrueType or OpenType font";
    bool parsed = false;
    for (int k = 0; k < faces; ++k) {
        const int offset = stbtt_GetFontOffsetForIndex(data, k);
        if (offset < 0 || size_t(offset) >= face->bytes.size()) continue;
        stbtt_fontinfo info{};
        if (!stbtt_InitFont(&info, data, offset)) continue;
        parsed = true;
        if (!Has_japanese(info)) continue;
        face->info = info;
        stbtt_GetFontVMetrics(&info, &face->ascent, &face->descent, &face->line_gap);
        face->descent = -face->descent;
        font.face = std::move(face);
        return "";
    }
    return parsed ? "the font has no Japanese glyphs (a font such as IPAGothic is needed)"
                  : "not a TrueType or OpenType font";
}

Text_extent Text_measure(const Text_font& font, const std::string& utf8, double size_px) {
    Text_extent e;
    if (!font.ok() || !(size_px > 0)) return e;
    const Font_face& f = *font.face;
    const float scale = stbtt_ScaleForMappingEmToPixels(&f.info, float(size_px));
    double pen = 0;
    const std::vector<char32_t> cps = Utf8_decode(utf8);
    for (size_t i = 0; i < cps.size(); ++i) {
        int advance = 0, lsb = 0;
        stbtt_GetCodepointHMetrics(&f.info, int(cps[i]), &advance, &lsb);
        pen += advance * double(scale);
        if (i + 1 < cps.size()) pen += stbtt_GetCodepointKernAdvance(&f.info, int(cps[i]), int(cps[i + 1])) * double(scale);
    }
    e.width = int32_t(std::ceil(pen));
    e.ascent = int32_t(std::ceil(f.ascent * double(scale)));
    e.descent = int32_t(std::ceil(f.descent * double(scale)));
    return e;
}

int32_t Text_draw(Image& img, const Text_font& font, int32_t x, int32_t top, const std::string& utf8, double size_px,
                  uint32_t colour) {
    if (!font.ok() || !(size_px > 0)) return 0;
    const Font_face& f = *font.face;
    const float scale = stbtt_ScaleForMappingEmToPixels(&f.info, float(size_px));
    const int32_t baseline = top + int32_t(std::ceil(f.ascent * double(scale)));
    double pen = x;
    const std::vector<char32_t> cps = Utf8_decode(utf8);
    std::vector<unsigned char> glyph;
    for (size_t i = 0; i < cps.size(); ++i) {
        const int cp = int(cps[i]);
        int advance = 0, lsb = 0;
        stbtt_GetCodepointHMetrics(&f.info, cp, &advance, &lsb);
        const float shift = float(pen - std::floor(pen));
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBoxSubpixel(&f.info, cp, scale, scale, shift, 0, &x0, &y0, &x1, &y1);
        const int gw = x1 - x0, gh = y1 - y0;
        if (gw > 0 && gh > 0) {
            glyph.assign(size_t(gw) * size_t(gh), 0);
            stbtt_MakeCodepointBitmapSubpixel(&f.info, glyph.data(), gw, gh, gw, scale, scale, shift, 0, cp);
            const int32_t ox = int32_t(std::floor(pen)) + x0, oy = baseline + y0;
            for (int gy = 0; gy < gh; ++gy) {
                const int32_t py = oy + gy;
                if (py < 0 || py >= img.h) continue;
                for (int gx = 0; gx < gw; ++gx) {
                    const int32_t px = ox + gx;
                    const uint32_t a = glyph[size_t(gy) * size_t(gw) + size_t(gx)];
                    if (a == 0 || px < 0 || px >= img.w) continue;
                    uint32_t& p = img.px[size_t(py) * size_t(img.w) + size_t(px)];
                    p = Blend(p, colour, a);
                }
            }
        }
        pen += advance * double(scale);
        if (i + 1 < cps.size()) pen += stbtt_GetCodepointKernAdvance(&f.info, cp, int(cps[i + 1])) * double(scale);
    }
    return int32_t(std::ceil(pen)) - x;
}
