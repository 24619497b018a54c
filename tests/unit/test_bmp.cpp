// The map picture files: the exact 24-bit bitmap layout, the reader's checks
// on broken files, and loading the pictures into memory.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "platform/fake/fake_platform.h"
#include "temp_folder.h"
#include "storage/file_io.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; }
void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A picture whose every pixel has its own colour.
Image Pattern(int32_t w, int32_t h) {
    Image img(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) img.set(x, y, Rgb(uint32_t(x * 7 + 1) & 0xFF, uint32_t(y * 13 + 2) & 0xFF, uint32_t(x + y) & 0xFF));
    return img;
}

void Write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(Bmp, StrideAndFileSize) {
    struct Case {
        int32_t left, top, right, bottom;
        int64_t stride;
        uint32_t file_size;
    };
    const Case cases[] = {
        {100, 50, 300, 250, 600, 120054},  // 200 x 200
        {0, 0, 5, 1, 16, 70},
        {0, 0, 1, 1, 4, 58},
        {0, 0, 2, 3, 8, 78},
        {0, 0, 3, 2, 12, 78},
        {0, 0, 4, 1, 12, 66},
    };
    const Image screen = Pattern(400, 300);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.right - c.left);
        EXPECT_EQ(Bmp_stride(c.right - c.left), c.stride);
        const std::vector<uint8_t> file = Bmp_bytes(screen, c.left, c.top, c.right, c.bottom);
        ASSERT_EQ(file.size(), c.file_size);
        EXPECT_EQ(Le32(file, 2), c.file_size);
        EXPECT_EQ(Le32(file, 34), c.file_size - 54);
    }
}

TEST(Bmp, HeaderFieldsAndBottomUpRows) {
    const Image screen = Pattern(20, 10);
    const std::vector<uint8_t> file = Bmp_bytes(screen, 3, 2, 8, 5);  // 5 x 3, stride 16
    ASSERT_EQ(file.size(), 54u + 16 * 3);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 6), 0u);
    EXPECT_EQ(Le32(file, 10), 54u);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(Le32(file, 18), 5u);
    EXPECT_EQ(Le32(file, 22), 3u);
    EXPECT_EQ(Le16(file, 26), 1u);
    EXPECT_EQ(Le16(file, 28), 24u);
    EXPECT_EQ(Le32(file, 30), 0u);
    for (size_t at : {38u, 42u, 46u, 50u}) EXPECT_EQ(Le32(file, at), 0u) << at;
    for (int r = 0; r < 3; ++r) {
        const int32_t y = 4 - r;  // the bottom row of the rectangle first
        const size_t row = 54 + size_t(r) * 16;
        for (int c = 0; c < 5; ++c) {
            const uint32_t colour = screen.get(3 + c, y);
            EXPECT_EQ(file[row + c * 3 + 0], Blue_of(colour));
            EXPECT_EQ(file[row + c * 3 + 1], Green_of(colour));
            EXPECT_EQ(file[row + c * 3 + 2], Red_of(colour));
        }
        for (int pad = 15; pad < 16; ++pad) EXPECT_EQ(file[row + pad], 0) << "padding";
    }
}

TEST(Bmp, EmptyRectangleGivesNoFile) {
    const Image screen = Pattern(20, 10);
    EXPECT_TRUE(Bmp_bytes(screen, 5, 5, 5, 9).empty());
    EXPECT_TRUE(Bmp_bytes(screen, 5, 5, 9, 5).empty());
    EXPECT_TRUE(Bmp_bytes(screen, 1000000, 1000000, 0, 0).empty());
}

TEST(Bmp, ReadsBackWhatItWrote) {
    const Image screen = Pattern(40, 30);
    for (int32_t w : {1, 2, 3, 4, 5, 17}) {
        SCOPED_TRACE(w);
        const std::vector<uint8_t> file = Bmp_bytes(screen, 6, 4, 6 + w, 4 + 7);
        Image back;
        ASSERT_EQ(Bmp_decode(file.data(), file.size(), back), Bmp_ok);
        ASSERT_EQ(back.w, w);
        ASSERT_EQ(back.h, 7);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < w; ++x) ASSERT_EQ(back.get(x, y), screen.get(6 + x, 4 + y));
    }
}

TEST(Bmp, TopDownRowsAreRead) {
    const Image screen = Pattern(6, 4);
    std::vector<uint8_t> file = Bmp_bytes(screen, 0, 0, 6, 4);
    Set32(file, 22, uint32_t(-4));
    Image back;
    ASSERT_EQ(Bmp_decode(file.data(), file.size(), back), Bmp_ok);
    EXPECT_EQ(back.get(0, 0), screen.get(0, 3));  // the first stored row is now the top one
}

// Every pixel of a top-down file lands where the bottom-up file puts it.
TEST(Bmp, TopDownFilesReadAsTheSamePicture) {
    const Image screen = Pattern(40, 30);
    for (int32_t w : {1, 2, 3, 5, 17})
        for (int32_t h : {1, 2, 7}) {
            SCOPED_TRACE(testing::Message() << w << " x " << h);
            const std::vector<uint8_t> bottom_up = Bmp_bytes(screen, 2, 3, 2 + w, 3 + h);
            const size_t stride = size_t(Bmp_stride(w));
            std::vector<uint8_t> top_down = bottom_up;
            for (int32_t r = 0; r < h; ++r)
                std::copy_n(bottom_up.begin() + long(54 + r * stride), stride,
                            top_down.begin() + long(54 + (h - 1 - r) * stride));
            Set32(top_down, 22, uint32_t(-h));
            Image a, b;
            ASSERT_EQ(Bmp_decode(bottom_up.data(), bottom_up.size(), a), Bmp_ok);
            ASSERT_EQ(Bmp_decode(top_down.data(), top_down.size(), b), Bmp_ok);
            ASSERT_EQ(b.w, w);
            ASSERT_EQ(b.h, h);
            EXPECT_TRUE(a.px == b.px);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) ASSERT_EQ(b.get(x, y), screen.get(2 + x, 3 + y));
        }
}

// A map picture is never larger than the grid: the largest map reads, one
// pixel more either way is refused, stored either way up.
TEST(Bmp, PicturesLargerThanTheGridAreRefused) {
    struct Case {
        int32_t w, h;
        bool top_down;
        Bmp_status expect;
    };
    const Case cases[] = {
        {Grid_w_fixed, Grid_h_fixed, false, Bmp_ok},       {Grid_w_fixed, Grid_h_fixed, true, Bmp_ok},
        {Grid_w_fixed + 1, 1, false, Bmp_damaged},         {1, Grid_h_fixed + 1, false, Bmp_damaged},
        {1, Grid_h_fixed + 1, true, Bmp_damaged},          {Grid_w_fixed + 1, 2, true, Bmp_damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << (c.top_down ? " top-down" : ""));
        std::vector<uint8_t> file = Bmp_bytes(Pattern(c.w, c.h), 0, 0, c.w, c.h);
        ASSERT_FALSE(file.empty());
        if (c.top_down) Set32(file, 22, uint32_t(-c.h));
        Image out(3, 3, 42);
        EXPECT_EQ(Bmp_decode(file.data(), file.size(), out), c.expect);
        EXPECT_EQ(out.w, c.expect == Bmp_ok ? c.w : 3);
    }
}

TEST(Bmp, ReadRefusesFilesLargerThanTheLargestMapAndItsRoom) {
    Temp_folder dir;
    std::vector<uint8_t> file = Bmp_bytes(Pattern(Grid_w_fixed, Grid_h_fixed), 0, 0, Grid_w_fixed, Grid_h_fixed);
    file.resize(Bmp_read_bytes_max, 0);  // trailing bytes up to the limit are ignored
    Write_file(dir.file("full.bmp"), file);
    file.push_back(0);
    Write_file(dir.file("over.bmp"), file);
    Image out;
    EXPECT_EQ(Bmp_read(dir.file("full.bmp"), out), Bmp_ok);
    EXPECT_EQ(out.w, Grid_w_fixed);
    EXPECT_EQ(Bmp_read(dir.file("over.bmp"), out), Bmp_damaged);
    EXPECT_EQ(out.w, Grid_w_fixed);
}

TEST(Bmp, BrokenFilesAreRefusedBeforeAnyCopy) {
    const std::vector<uint8_t> good = Bmp_bytes(Pattern(8, 8), 0, 0, 8, 8);
    struct Case {
        const char* what;
        void (*spoil)(std::vector<uint8_t>&);
        Bmp_status expect;
    };
    const Case cases[] = {
        {"empty", [](std::vector<uint8_t>& b) { b.clear(); }, Bmp_not_bitmap},
        {"not BM", [](std::vector<uint8_t>& b) { b[1] = 'X'; }, Bmp_not_bitmap},
        {"header cut", [](std::vector<uint8_t>& b) { b.resize(53); }, Bmp_damaged},
        {"rows cut", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }, Bmp_damaged},
        {"32 bits", [](std::vector<uint8_t>& b) { b[28] = 32; }, Bmp_unsupported},
        {"8 bits", [](std::vector<uint8_t>& b) { b[28] = 8; }, Bmp_unsupported},
        {"compressed", [](std::vector<uint8_t>& b) { Set32(b, 30, 1); }, Bmp_unsupported},
        {"planes 2", [](std::vector<uint8_t>& b) { b[26] = 2; }, Bmp_damaged},
        {"core header", [](std::vector<uint8_t>& b) { Set32(b, 14, 12); }, Bmp_damaged},
        {"info past end", [](std::vector<uint8_t>& b) { Set32(b, 14, 0x7FFFFFF0); }, Bmp_damaged},
        {"width 0", [](std::vector<uint8_t>& b) { Set32(b, 18, 0); }, Bmp_damaged},
        {"width negative", [](std::vector<uint8_t>& b) { Set32(b, 18, uint32_t(-8)); }, Bmp_damaged},
        {"height 0", [](std::vector<uint8_t>& b) { Set32(b, 22, 0); }, Bmp_damaged},
        {"height most negative", [](std::vector<uint8_t>& b) { Set32(b, 22, 0x80000000u); }, Bmp_damaged},
        {"huge width", [](std::vector<uint8_t>& b) { Set32(b, 18, 0x7FFFFFFF); }, Bmp_damaged},
        {"rows past end", [](std::vector<uint8_t>& b) { Set32(b, 22, 9); }, Bmp_damaged},
        {"offset past end", [](std::vector<uint8_t>& b) { Set32(b, 10, 0xFFFFFFF0u); }, Bmp_damaged},
        {"offset inside header", [](std::vector<uint8_t>& b) { Set32(b, 10, 20); }, Bmp_damaged},
        {"top-down rows past end", [](std::vector<uint8_t>& b) { Set32(b, 22, uint32_t(-9)); }, Bmp_damaged},
        {"largest map's height in a small file", [](std::vector<uint8_t>& b) { Set32(b, 22, 1200); }, Bmp_damaged},
        {"largest map top-down in a small file",
         [](std::vector<uint8_t>& b) { Set32(b, 18, 1600), Set32(b, 22, uint32_t(-1200)); }, Bmp_damaged},
        {"width past the grid", [](std::vector<uint8_t>& b) { Set32(b, 18, 1601); }, Bmp_damaged},
        {"height past the grid", [](std::vector<uint8_t>& b) { Set32(b, 22, 1201); }, Bmp_damaged},
        {"top-down height past the grid", [](std::vector<uint8_t>& b) { Set32(b, 22, uint32_t(-1201)); }, Bmp_damaged},
        {"old reader's largest side", [](std::vector<uint8_t>& b) { Set32(b, 18, 16384), Set32(b, 22, 16384); },
         Bmp_damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = good;
        c.spoil(bad);
        Image out(3, 3, 42);
        EXPECT_EQ(Bmp_decode(bad.data(), bad.size(), out), c.expect);
        EXPECT_EQ(out.w, 3);  // untouched
        EXPECT_EQ(out.get(0, 0), 42u);
    }
}

TEST(Bmp, WriteReplacesAndFailsCleanly) {
    Temp_folder dir;
    const Image screen = Pattern(10, 10);
    const std::string path = dir.file("tst.bmp");
    ASSERT_TRUE(Bmp_write(screen, path, 0, 0, 10, 10));
    ASSERT_TRUE(Bmp_write(screen, path, 0, 0, 3, 2));
    Image back;
    ASSERT_EQ(Bmp_read(path, back), Bmp_ok);
    EXPECT_EQ(back.w, 3);
    EXPECT_EQ(std::filesystem::file_size(path), 54u + 12 * 2);
    EXPECT_FALSE(Bmp_write(screen, dir.file("missing/tst.bmp"), 0, 0, 10, 10));
    EXPECT_EQ(Bmp_read(dir.file("none.bmp"), back), Bmp_cannot_open);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);  // no temporary left
}

struct Load_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    Temp_folder dir;
    void SetUp() override {
        std::lock_guard lock(Shown_lock);
        Map_image = Image();
        Photo_image = Image();
        Shown_map = Image();
        Images_loaded = 0;
    }
    void Put(const char* name, const Image& img) {
        ASSERT_TRUE(Bmp_write(img, dir.file(name), 0, 0, img.w, img.h));
    }
};

TEST_F(Load_test, LoadsBothPicturesAndShowsTheMap) {
    Put("tst.bmp", Pattern(12, 9));
    Put("tst1.bmp", Image(12, 9, Rgb(1, 2, 3)));
    EXPECT_EQ(Map_images_load(dir.str(), false), 0);
    EXPECT_EQ(Images_loaded, 1);
    EXPECT_EQ(Map_image.px, Pattern(12, 9).px);
    EXPECT_EQ(Photo_image.get(4, 4), Rgb(1, 2, 3));
    EXPECT_EQ(Shown_map.px, Map_image.px);
    EXPECT_EQ(fake.refreshes, 1);
    EXPECT_TRUE(fake.boxes.empty());

    // Held pictures are not loaded again unless asked.
    Put("tst.bmp", Image(5, 5));
    EXPECT_EQ(Map_images_load(dir.str(), false), 0);
    EXPECT_EQ(Map_image.w, 12);
    EXPECT_EQ(fake.refreshes, 1);
    EXPECT_EQ(Map_images_load(dir.str(), true), 0);
    EXPECT_EQ(Map_image.w, 5);
}

TEST_F(Load_test, NoAerialPictureIsNoMessage) {
    Put("tst.bmp", Pattern(12, 9));
    EXPECT_EQ(Map_images_load(dir.str(), false), 0);
    EXPECT_TRUE(Photo_image.empty());
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(Load_test, UnreadablePicturesAreReportedAndTheWorkKept) {
    struct Case {
        const char* what;
        std::vector<uint8_t> map_file;  // empty: no tst.bmp at all
        std::vector<uint8_t> photo_file;
        int result;
        const char* reason;
    };
    const std::vector<uint8_t> good = Bmp_bytes(Pattern(7, 7), 0, 0, 7, 7);
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    std::vector<uint8_t> cut = good;
    cut.resize(60);
    const Case cases[] = {
        {"missing map", {}, {}, 1, "ファイルがないか、開けません。"},
        {"map not a bitmap", text, {}, 1, "BMP形式のファイルではありません。"},
        {"map cut short", cut, {}, 1, "ファイルが壊れています。"},
        {"aerial broken", good, text, 0, "BMP形式のファイルではありません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Temp_folder folder;
        if (!c.map_file.empty()) Write_file(folder.file("tst.bmp"), c.map_file);
        if (!c.photo_file.empty()) Write_file(folder.file("tst1.bmp"), c.photo_file);
        {
            std::lock_guard lock(Shown_lock);
            Map_image = Image(3, 3, Rgb(9, 9, 9));
            Photo_image = Image(3, 3, Rgb(8, 8, 8));
        }
        Images_loaded = 1;
        fake.boxes.clear();
        EXPECT_EQ(Map_images_load(folder.str(), true), c.result);
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].caption, "error");
        EXPECT_NE(fake.boxes[0].text.find(Picture_read_failed_text), std::string::npos);
        EXPECT_NE(fake.boxes[0].text.find(c.reason), std::string::npos);
        EXPECT_EQ(Images_loaded, 1);
        if (c.result == 1) {
            EXPECT_EQ(Map_image.get(0, 0), Rgb(9, 9, 9));  // the pictures held before stay
            EXPECT_EQ(Photo_image.get(0, 0), Rgb(8, 8, 8));
        } else {
            EXPECT_EQ(Map_image.w, 7);
            EXPECT_TRUE(Photo_image.empty());
        }
    }
}

}  // namespace
