// tovi-cli capture, run as its own process next to this test binary: the
// worst-case sample map, the program's refusals on standard error, the
// aerial picture, and usage errors.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "map/map_pictures.h"
#include "map/pixel_check.h"
#include "temp_folder.h"
#include "storage/file_io.h"

namespace {

struct Cli_run {
    int code;
    std::string out, err;
};

std::filesystem::path Cli_path() { return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tovi-cli"; }

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Cli_run Run_cli(const std::string& args, const Temp_folder& dir) {
    const std::string command = "'" + Cli_path().string() + "' " + args + " >'" + dir.file("stdout") + "' 2>'" +
                                dir.file("stderr") + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir.file("stdout")), Slurp(dir.file("stderr"))};
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

struct Cli_test : ::testing::Test {
    Temp_folder dir;
    void SetUp() override {
        if (!std::filesystem::exists(Cli_path())) GTEST_SKIP() << "tovi-cli is not built";
    }
    // A small street map: white streets on land, an evacuation mark at (30, 40).
    std::string Fixture(const char* name, uint32_t streets, bool mark) {
        Image img(160, 120, Rgb(242, 239, 233));
        for (int32_t y = 15; y < 110; y += 12)
            for (int32_t x = 12; x < 150; ++x) img.set(x, y, streets), img.set(x, y + 1, streets);
        for (int32_t x = 12; x < 150; x += 16)
            for (int32_t y = 15; y < 110; ++y) img.set(x, y, streets), img.set(x + 1, y, streets);
        if (mark) img.set(30, 40, Colour_evac);
        const std::string path = dir.file(name);
        EXPECT_TRUE(Bmp_write(img, path, 0, 0, img.w, img.h));
        return path;
    }
};

TEST_F(Cli_test, CapturesTheWorstCaseMap) {
    const std::string out = dir.file("out");
    const Cli_run r = Run_cli("capture " + Q(TOVI_SOURCE_DIR "/resources/maps/street-grid-1600x1200.png") + " 801 601 " + Q(out), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Map_rect 10 10 1580 1180\nRoad_rec_total 1640769\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::filesystem::file_size(out + "/tst.bmp"), 54u + 4712u * 1170u);
    EXPECT_EQ(std::filesystem::file_size(out + "/base.dat"), 5712u);
    EXPECT_EQ(std::filesystem::file_size(out + "/d1.dat"), 30720000u);
    EXPECT_EQ(std::filesystem::file_size(out + "/d2.dat"), 30720000u);
    EXPECT_EQ(std::filesystem::file_size(out + "/d3.dat"), 3840000u);
    EXPECT_EQ(std::filesystem::file_size(out + "/d4.dat"), 23040000u);
    EXPECT_FALSE(std::filesystem::exists(out + "/tst1.bmp"));
    const std::string base = Slurp(out + "/base.dat");
    int32_t head[1], rect[4];
    std::memcpy(head, base.data(), 4);
    std::memcpy(rect, base.data() + 88, 16);
    EXPECT_EQ(head[0], 1640769);
    EXPECT_EQ(rect[0], 10);
    EXPECT_EQ(rect[3], 1180);
}

TEST_F(Cli_test, AerialPictureIsCutFromThePhoto) {
    const std::string map = Fixture("map.bmp", Rgb(255, 255, 255), true);
    const std::string photo = Fixture("photo.bmp", Rgb(1, 2, 3), false);
    const std::string out = dir.file("out");
    const Cli_run r = Run_cli("capture " + Q(map) + " 30 40 " + Q(out) + " --photo " + Q(photo), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Map_rect 12 15 140 100\nRoad_rec_total ", 0), 0u) << r.out;
    Image tst, tst1;
    ASSERT_EQ(Bmp_read(out + "/tst.bmp", tst), Bmp_ok);
    ASSERT_EQ(Bmp_read(out + "/tst1.bmp", tst1), Bmp_ok);
    EXPECT_EQ(tst.w, 128);
    EXPECT_EQ(tst1.w, 128);
    EXPECT_EQ(tst.get(0, 0), Rgb(255, 255, 255));  // (12, 15), a street corner
    EXPECT_EQ(tst1.get(0, 0), Rgb(1, 2, 3));
}

TEST_F(Cli_test, RefusalsExitWithTheProgramsMessage) {
    const std::string good = Fixture("good.bmp", Rgb(255, 255, 255), true);
    const std::string unmarked = Fixture("unmarked.bmp", Rgb(255, 255, 255), false);
    // A wide white square with a mark: no road structure around the start.
    Image open_img(200, 200, Rgb(242, 239, 233));
    for (int32_t y = 20; y < 180; ++y)
        for (int32_t x = 20; x < 180; ++x) open_img.set(x, y, Rgb(255, 255, 255));
    open_img.set(101, 100, Colour_evac);
    const std::string open = dir.file("open.bmp");
    ASSERT_TRUE(Bmp_write(open_img, open, 0, 0, open_img.w, open_img.h));
    struct Case {
        const char* what;
        std::string args;
        std::string err;
    };
    const Case cases[] = {
        {"start not white", Q(good) + " 5 5", "確認: [0] ERR 道路ではありません（白色でない）。いいえで終了\n"},
        {"no evacuation colour", Q(unmarked) + " 30 40", "error: 設定ポイントが正しくないようです。\n"},
        {"too open", Q(open) + " 100 100",
         "error: 道路のまわりに建物や区画が見つからず、道路網として読み取れません。地図の白色道路の上で右ボタンを離してください。\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = dir.file("refused");
        const Cli_run r = Run_cli("capture " + c.args + " " + Q(out), dir);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(std::filesystem::exists(out + "/tst.bmp"));
    }
}

TEST_F(Cli_test, ACaptureThatCannotWriteItsWorkExitsOneAndKeepsTheFolder) {
    const std::string good = Fixture("good.bmp", Rgb(255, 255, 255), true);
    const std::string out = dir.file("blocked");
    std::filesystem::create_directories(out + "/d2.dat");  // a folder where a table goes
    const Cli_run r = Run_cli("capture " + Q(good) + " 30 40 " + Q(out), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("作業データを書き込めません。"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("d2.dat (check: not a file)"), std::string::npos) << r.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1);  // nothing written
}

TEST_F(Cli_test, UsageErrors) {
    const std::string map = Fixture("map.bmp", Rgb(255, 255, 255), true);
    Image small(10, 10);
    ASSERT_TRUE(Bmp_write(small, dir.file("small.bmp"), 0, 0, 10, 10));
    const std::string out = Q(dir.file("out"));
    const char* cases[] = {
        "",
        "paint",
        "capture",
        "capture MAP 1 2",
        "capture MAP x 2 OUT",
        "capture MAP 1 2 OUT --photo",
    };
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        const Cli_run r = Run_cli(args, dir);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("capture MAP X Y OUTDIR"), std::string::npos);
    }
    for (const std::string& args : {"capture " + Q(dir.file("none.png")) + " 30 40 " + out,
                                     "capture " + Q(dir.file("stdout")) + " 30 40 " + out,
                                     "capture " + Q(map) + " 30 40 " + out + " --photo " + Q(dir.file("small.bmp"))}) {
        SCOPED_TRACE(args);
        const Cli_run r = Run_cli(args, dir);
        EXPECT_EQ(r.code, 2);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out/tst.bmp")));
    }
}

}  // namespace
