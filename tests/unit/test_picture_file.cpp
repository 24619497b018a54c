// The screen picture reader: PNG and BMP files decoded as before, and every
// header whose size the limits or the file's data cannot back refused before
// the decoder takes memory for it.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>

#include "map/map_pictures.h"
#include "map/picture_file.h"
#include "route/render.h"
#include "temp_folder.h"
#include "storage/file_io.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put_be32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void Set_le32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

void Chunk(Bytes& png, const char* type, const Bytes& data) {
    Put_be32(png, uint32_t(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Put_be32(png, Crc32(png.data() + start, png.size() - start));
}

// The rows as a zlib stream of stored (uncompressed) blocks.
Bytes Zlib_stored(const Bytes& raw) {
    Bytes z = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(uint8_t(n)), z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n)), z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
    Put_be32(z, b << 16 | a);
    return z;
}

// A PNG with the given header and image data (none: no IDAT chunk).
Bytes Png(uint32_t w, uint32_t h, uint8_t depth, uint8_t colour, const Bytes& idat) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    Put_be32(ihdr, w);
    Put_be32(ihdr, h);
    ihdr.insert(ihdr.end(), {depth, colour, 0, 0, 0});
    Chunk(png, "IHDR", ihdr);
    if (!idat.empty()) Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", {});
    return png;
}

// A picture whose every pixel has its own colour.
Image Pattern(int32_t w, int32_t h) {
    Image img(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) img.set(x, y, Rgb(uint32_t(x * 41 + 3) & 0xFF, uint32_t(y * 29 + 5) & 0xFF, uint32_t(x * y + 7) & 0xFF));
    return img;
}

// The bitmap of the picture with its rows stored top-down (negative height).
Bytes Bmp_top_down(const Image& picture) {
    Bytes file = Bmp_bytes(picture, 0, 0, picture.w, picture.h);
    const size_t stride = size_t(Bmp_stride(picture.w));
    Bytes flipped = file;
    for (int32_t r = 0; r < picture.h; ++r)
        std::copy_n(file.begin() + long(54 + r * stride), stride, flipped.begin() + long(54 + (picture.h - 1 - r) * stride));
    Set_le32(flipped, 22, uint32_t(-picture.h));
    return flipped;
}

// A bitmap header of the given fields followed by filler up to size bytes.
Bytes Bmp_header(int32_t w, int32_t h, uint16_t bits, uint32_t compression, size_t size) {
    Bytes b(std::max<size_t>(size, 54), 0);
    b[0] = 'B', b[1] = 'M';
    Set_le32(b, 2, uint32_t(b.size()));
    Set_le32(b, 10, 54);
    Set_le32(b, 14, 40);
    Set_le32(b, 18, uint32_t(w));
    Set_le32(b, 22, uint32_t(h));
    b[26] = 1, b[28] = uint8_t(bits), b[29] = uint8_t(bits >> 8);
    Set_le32(b, 30, compression);
    return b;
}

// The old 12-byte core header: 2 x 2 pixels, rows bottom-up.
Bytes Bmp_core_2x2(const Image& picture) {
    const Bytes info = Bmp_bytes(picture, 0, 0, 2, 2);
    Bytes b = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 2, 0, 2, 0, 1, 0, 24, 0};
    b.insert(b.end(), info.begin() + 54, info.end());
    return b;
}

void Expect_same(const Image& a, const Image& b) {
    ASSERT_EQ(a.w, b.w);
    ASSERT_EQ(a.h, b.h);
    EXPECT_TRUE(a.px == b.px);
}

TEST(Picture_file, ValidPicturesDecode) {
    const Image picture = Pattern(5, 3);
    Bytes missing_padding = Bmp_bytes(picture, 0, 0, 5, 3);  // rows of 15 bytes and 1 of padding
    missing_padding.pop_back();
    // The same picture as 16-bit RGBA rows: each byte doubled, alpha opaque.
    Bytes rgba16;
    for (int32_t y = 0; y < 3; ++y) {
        rgba16.push_back(0);  // filter: none
        for (int32_t x = 0; x < 5; ++x) {
            const uint32_t c = picture.get(x, y);
            for (uint32_t v : {Red_of(c), Green_of(c), Blue_of(c), 255u}) rgba16.push_back(uint8_t(v)), rgba16.push_back(uint8_t(v));
        }
    }
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case cases[] = {
        {"PNG, 8-bit RGB", Png_bytes(picture)},
        {"PNG, 16-bit RGBA, stored blocks", Png(5, 3, 16, 6, Zlib_stored(rgba16))},
        {"BMP, bottom-up", Bmp_bytes(picture, 0, 0, 5, 3)},
        {"BMP, top-down", Bmp_top_down(picture)},
        {"BMP, last row's padding missing", missing_padding},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image out;
        std::string why;
        ASSERT_TRUE(Picture_decode(c.file.data(), c.file.size(), out, why)) << why;
        Expect_same(out, picture);
    }
    Image out;
    std::string why;
    const Bytes core = Bmp_core_2x2(picture);
    ASSERT_TRUE(Picture_decode(core.data(), core.size(), out, why)) << why;
    Image corner(2, 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 2; ++x) corner.set(x, y, picture.get(x, y));
    Expect_same(out, corner);
}

TEST(Picture_file, HeadersTheLimitsOrTheDataCannotBackAreRefused) {
    const Image picture = Pattern(5, 3);
    Bytes pixel_missing = Bmp_bytes(picture, 0, 0, 5, 3);
    pixel_missing.resize(pixel_missing.size() - 2);
    Bytes chunk_past_end = Png_bytes(picture);
    chunk_past_end.resize(60);  // inside the image data
    Bytes offset_inside = Bmp_bytes(picture, 0, 0, 5, 3);
    Set_le32(offset_inside, 10, 40);
    const Bytes kilobyte(1000, 0x55);
    // 7680 x 4320 grey at 1 bit: 4,151,520 bytes of raw rows, which 4023
    // bytes of deflate data can just reach and 4022 cannot.
    const Bytes just_enough(4023, 0), one_short(4022, 0);
    struct Case {
        const char* what;
        Bytes file;
        const char* why;  // a part of the reason
    };
    const Case cases[] = {
        {"empty", {}, "neither PNG nor BMP"},
        {"text", {'h', 'e', 'l', 'l', 'o'}, "neither PNG nor BMP"},
        {"PNG without a header", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}, "no image header"},
        {"PNG 16384 x 16384 RGBA in 1 KB", Png(16384, 16384, 8, 6, kilobyte), "larger than the largest screen"},
        {"PNG wider than any side", Png(16385, 1, 8, 2, kilobyte), "larger than the largest screen"},
        {"PNG width 2^31", Png(0x80000000u, 1, 8, 2, kilobyte), "larger than the largest screen"},
        {"PNG one row more than 8K", Png(7680, 4321, 1, 0, just_enough), "larger than the largest screen"},
        {"PNG width 0", Png(0, 5, 8, 2, kilobyte), "out of range"},
        {"PNG 8K RGB in 1 KB", Png(7680, 4320, 8, 2, kilobyte),
         "needs 99537120 bytes of raw pixel rows, more than 1000 bytes of compressed image data"},
        {"PNG 8K grey, deflate one byte short", Png(7680, 4320, 1, 0, one_short), "needs 4151520 bytes"},
        {"PNG 8K grey, deflate long enough but broken", Png(7680, 4320, 1, 0, just_enough), "cannot decode"},
        {"PNG without image data", Png(3, 3, 8, 2, {}), "more than 0 bytes of compressed image data"},
        {"PNG chunk past the end", chunk_past_end, "runs past the end of the file"},
        {"PNG colour type 5", Png(3, 3, 8, 5, kilobyte), "colour type 5"},
        {"PNG bit depth 3", Png(3, 3, 3, 2, kilobyte), "bit depth 3"},
        {"PNG 1 x 1 inflating to 3 MB", Png(1, 1, 8, 0, Zlib_stored(Bytes(3 << 20, 0))), "comes to more than a 1 x 1"},
        {"BMP 20000 x 20000", Bmp_header(20000, 20000, 24, 0, 1000), "larger than the largest screen"},
        {"BMP most negative height", Bmp_header(100, INT_MIN, 24, 0, 1000), "larger than the largest screen"},
        {"BMP negative width", Bmp_header(-100, 10, 24, 0, 1000), "out of range"},
        {"BMP 4000 x 3000 in 1 KB", Bmp_header(4000, 3000, 24, 0, 1000),
         "needs 36000054 bytes of pixel rows, more than 1000 bytes of file"},
        {"BMP top-down 4000 x 3000 in 1 KB", Bmp_header(4000, -3000, 32, 0, 1000), "more than 1000 bytes of file"},
        {"BMP one pixel byte missing", pixel_missing, "more than 100 bytes of file"},
        {"BMP pixel data offset inside the header", offset_inside, "offset 40 inside the header"},
        {"BMP header cut short", Bytes{'B', 'M', 0, 0}, "header cut short"},
        {"BMP run-length 4000 x 3000", Bmp_header(4000, 3000, 8, 1, 1000), "RLE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image out(2, 2, 42);
        std::string why;
        EXPECT_FALSE(Picture_decode(c.file.data(), c.file.size(), out, why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(out.w, 2);  // untouched
        EXPECT_EQ(out.get(0, 0), 42u);
    }
}

TEST(Picture_file, ReadsFilesThroughTheSameDecode) {
    Temp_folder dir;
    const Image picture = Pattern(9, 4);
    ASSERT_TRUE(Png_write(picture, dir.file("a.png")));
    Image out;
    std::string why;
    ASSERT_TRUE(Picture_read(dir.file("a.png"), out, why)) << why;
    Expect_same(out, picture);

    const Bytes huge = Png(16384, 16384, 8, 6, Bytes(1000, 0));
    std::ofstream(dir.file("huge.png"), std::ios::binary).write(reinterpret_cast<const char*>(huge.data()), long(huge.size()));
    EXPECT_FALSE(Picture_read(dir.file("huge.png"), out, why));
    EXPECT_NE(why.find("16384 x 16384"), std::string::npos) << why;
    EXPECT_FALSE(Picture_read(dir.file("none.png"), out, why));
    EXPECT_EQ(why, "cannot read the file");
    EXPECT_EQ(out.w, 9);
}

}  // namespace
