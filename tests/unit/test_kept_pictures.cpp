// A load that keeps the picture files' bytes for writing them back (tovi-cli
// route): it keeps exactly the files a save of the decoded picture would
// write byte for byte, and the work saved from them is the work saved from
// the pictures.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "platform/fake/fake_platform.h"
#include "storage/data_files.h"
#include "storage/data_folder.h"
#include "temp_folder.h"

namespace {

std::vector<uint8_t> Read_all(const std::string& path) {
    std::vector<uint8_t> bytes(std::filesystem::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}
void Write_all(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Kept_pictures_test : ::testing::Test {
    Fake_scope scope;
    Temp_folder dir{true};
    void SetUp() override {
        Shell_start();
        Grid_allocate();
        Rec_count = 0;
        std::lock_guard lock(Markers_lock);
        Base_data = Base_record{};
        Base_data.Map_rect = {0, 0, 5, 3};  // 15 bytes a row: one byte of padding
    }
    // Writes a piece of work with a 5 x 3 map and aerial picture into dir.
    void Save() {
        {
            std::lock_guard lock(Shown_lock);
            Map_image = Image(5, 3);
            Photo_image = Image(5, 3);
            for (int32_t i = 0; i < 15; ++i) {
                Map_image.px[size_t(i)] = Rgb(uint8_t(i * 17), 200, uint8_t(255 - i));
                Photo_image.px[size_t(i)] = Rgb(9, uint8_t(i * 13), 77);
            }
        }
        ASSERT_EQ(Data_save_to(dir.str()), "");
    }
    Folder_content Load() {
        Folder_content c;
        c.keep_picture_files = true;
        EXPECT_TRUE(Data_folder_check(dir.str(), &c, true).empty());
        return c;
    }
};

TEST_F(Kept_pictures_test, FilesAsASaveWritesThemAreKeptByteForByte) {
    Save();
    const Folder_content c = Load();
    EXPECT_EQ(c.map_file, Read_all(dir.file("tst.bmp")));
    EXPECT_EQ(c.photo_file, Read_all(dir.file("tst1.bmp")));
    EXPECT_EQ(c.map_file, Bmp_bytes(c.map, 0, 0, c.map.w, c.map.h));
    EXPECT_EQ(c.photo_file, Bmp_bytes(c.photo, 0, 0, c.photo.w, c.photo.h));
    // Without being asked, a load keeps no bytes.
    Folder_content plain;
    ASSERT_TRUE(Data_folder_check(dir.str(), &plain, true).empty());
    EXPECT_TRUE(plain.map_file.empty());
    EXPECT_TRUE(plain.photo_file.empty());
}

TEST_F(Kept_pictures_test, FilesASaveWouldWriteOtherwiseAreNotKeptButStillLoad) {
    struct Case {
        const char* what;
        void (*change)(std::vector<uint8_t>& file);
    };
    const Case cases[] = {
        {"padding that is not zero", [](std::vector<uint8_t>& f) { f[54 + 15] = 1; }},
        {"a byte after the rows", [](std::vector<uint8_t>& f) { f.push_back(0); }},
        {"a resolution in the header", [](std::vector<uint8_t>& f) { f[38] = 0x13; }},
        {"reserved header bytes", [](std::vector<uint8_t>& f) { f[6] = 1; }},
        {"rows stored top down", [](std::vector<uint8_t>& f) {
             std::vector<uint8_t> rows(f.begin() + 54, f.end());
             for (size_t r = 0; r < 3; ++r) std::copy_n(rows.begin() + ptrdiff_t((2 - r) * 16), 16, f.begin() + ptrdiff_t(54 + r * 16));
             const int32_t up = -3;
             std::memcpy(&f[22], &up, 4);
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Save();
        const std::vector<uint8_t> saved = Read_all(dir.file("tst.bmp"));
        std::vector<uint8_t> changed = saved;
        k.change(changed);
        Write_all(dir.file("tst.bmp"), changed);
        const Folder_content c = Load();
        EXPECT_TRUE(c.map_file.empty());
        EXPECT_FALSE(c.photo_file.empty());  // the untouched aerial picture is kept
        // The picture itself is the one saved.
        EXPECT_EQ(Bmp_bytes(c.map, 0, 0, c.map.w, c.map.h), saved);
    }
}

}  // namespace
