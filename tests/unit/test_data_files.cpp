// The working data set: five files, each the byte image of its table.
#include <gtest/gtest.h>

#include <fstream>

#include "app/shell.h"
#include "map/grid.h"
#include "markers/base_data.h"
#include "platform/fake/fake_platform.h"
#include "storage/data_files.h"
#include "temp_folder.h"

namespace {

std::vector<uint8_t> Read_all(const std::string& path) {
    std::vector<uint8_t> bytes(std::filesystem::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}
int32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24);
}

struct Data_files_test : ::testing::Test {
    Fake_scope scope;
    Temp_folder dir;
};

TEST_F(Data_files_test, EachFileIsItsTableByteForByte) {
    Grid_allocate();
    Rec_count = 3;
    Wave_queue[0][2] = {1234, 567, 1, 77, -1};
    Wave_queue[1][5] = {9, 8, 7, 6, 5};
    Rec_kind[5] = 1;
    Cell_visit(30 + 1600 * 40) = Visit_first | Visit_second;
    {
        std::lock_guard lock(Markers_lock);
        Base_data.Road_rec_total = 0;
        Base_data.Evac_n = 1;
        Base_data.Evac_x[0] = 300;
        Base_data.Evac_y[0] = 200;
        Base_data.Map_rect = {10, 20, 1580, 1180};
        Base_data.Cong_n = 2;
        Base_data.Cong_x[1] = 55;
        Base_data.Nopass_n = 1;
        Base_data.Nopass_y[0] = 66;
    }
    ASSERT_EQ(Data_save_to(dir.str()), "");

    const std::vector<uint8_t> base = Read_all(dir.file("base.dat"));
    ASSERT_EQ(base.size(), 5712u);
    EXPECT_EQ(Le32(base, 0), 3);  // Road_rec_total follows Rec_count
    EXPECT_EQ(Le32(base, 4), 300);
    EXPECT_EQ(Le32(base, 44), 200);
    EXPECT_EQ(Le32(base, 84), 1);
    EXPECT_EQ(Le32(base, 88), 10);
    EXPECT_EQ(Le32(base, 92), 20);
    EXPECT_EQ(Le32(base, 96), 1580);
    EXPECT_EQ(Le32(base, 100), 1180);
    EXPECT_EQ(Le32(base, 104 + 4), 55);
    EXPECT_EQ(Le32(base, 904), 2);
    EXPECT_EQ(Le32(base, 1308), 66);
    EXPECT_EQ(Le32(base, 1708), 1);
    EXPECT_EQ(Base_data.Road_rec_total, 3);

    const std::vector<uint8_t> d1 = Read_all(dir.file("d1.dat"));
    ASSERT_EQ(d1.size(), 30720000u);
    const std::vector<uint8_t> rec(d1.begin() + 32, d1.begin() + 48);
    EXPECT_EQ(rec, (std::vector<uint8_t>{0xD2, 0x04, 0x37, 0x02, 1, 0, 0, 0, 77, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    const std::vector<uint8_t> d2 = Read_all(dir.file("d2.dat"));
    ASSERT_EQ(d2.size(), 30720000u);
    EXPECT_EQ(Le32(d2, 5 * 16 + 12), 5);
    const std::vector<uint8_t> d3 = Read_all(dir.file("d3.dat"));
    ASSERT_EQ(d3.size(), 3840000u);
    EXPECT_EQ(d3[5], 1);
    const std::vector<uint8_t> d4 = Read_all(dir.file("d4.dat"));
    ASSERT_EQ(d4.size(), 23040000u);
    EXPECT_EQ(d4[size_t(30 + 1600 * 40) * 4 + 3], Visit_first | Visit_second);

    // Saving the same work again gives the same files.
    ASSERT_EQ(Data_save_to(dir.str()), "");
    EXPECT_EQ(Read_all(dir.file("base.dat")), base);
    EXPECT_EQ(Read_all(dir.file("d3.dat")), d3);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 5);  // no temporaries left
}

TEST_F(Data_files_test, WithoutAGridTheTablesAreEmptyFiles) {
    const int saved = Grid_ready;
    Grid_ready = 0;
    const std::string failed = Data_save_to(dir.str());
    Grid_ready = saved;
    ASSERT_EQ(failed, "");
    EXPECT_EQ(std::filesystem::file_size(dir.file("base.dat")), 5712u);
    for (const char* name : {"d1.dat", "d2.dat", "d3.dat", "d4.dat"})
        EXPECT_EQ(std::filesystem::file_size(dir.file(name)), 0u) << name;
}

TEST_F(Data_files_test, AFailedWriteSaysWhatFailedAndChangesNothing) {
    Grid_allocate();
    // A folder that does not exist: nothing can be written.
    EXPECT_EQ(Data_save_to(dir.file("missing")), dir.file("missing") + " (open: not a folder)");
    // A folder in the place of one file: none of the set is written.
    std::filesystem::create_directory(dir.file("d3.dat"));
    EXPECT_EQ(Data_save_to(dir.str()), "d3.dat (check: not a file)");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}

}  // namespace
