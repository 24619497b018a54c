// Data folders: save and load of a whole piece of work, the checks that keep
// a broken folder from replacing anything, the panel's save and load buttons
// and the folder browser around them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "app/panel.h"
#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "platform/fake/fake_files.h"
#include "platform/fake/fake_platform.h"
#include "platform/files.h"
#include "route/route_trace.h"
#include "storage/data_files.h"
#include "storage/data_folder.h"
#include "temp_folder.h"
#include "storage/file_io.h"

namespace fs = std::filesystem;

namespace {

const char* const All_files[] = {"base.dat", "d1.dat", "d2.dat", "d3.dat", "d4.dat", "tst.bmp", "tst1.bmp"};

std::vector<uint8_t> Read_all(const std::string& path) {
    std::vector<uint8_t> bytes(fs::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}
void Write_all(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
void Patch32(const std::string& path, size_t at, int32_t v) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(std::streamoff(at));
    f.write(reinterpret_cast<const char*>(&v), 4);
}

Image Pattern(int32_t w, int32_t h, int seed) {
    Image img(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) img.set(x, y, Rgb((x * 5 + seed) & 255, (y * 7) & 255, (x + y + seed) & 255));
    return img;
}

// A small piece of work: `total` records alternating between the two tables,
// each linked to the record two before it, markers, a map and maybe an aerial
// picture. seed makes two pieces of work differ everywhere.
void Make_work(int seed, int32_t total, int32_t w, int32_t h, bool photo) {
    Grid_allocate();
    for (int32_t n = 0; n < total; ++n) {
        const int kind = n & 1;
        Rec_kind[n] = uint8_t(kind);
        Wave_queue[kind][n] = {uint16_t(20 + n % 30), uint16_t(15 + n / 30), n < 2 ? -1 : n - 2, n + seed, -1};
    }
    Wave_queue[0][total + 3].cost = 4242 + seed;  // beyond the total: saved and loaded all the same
    Cell_visit(123 + seed) = Visit_first;
    Rec_count = total;
    {
        std::lock_guard lock(Markers_lock);
        Base_record b{};
        // Markers on the map (a load refuses markers outside it).
        b.Evac_n = 2;
        b.Evac_x[0] = (12 + seed) % w;
        b.Evac_y[0] = 13 % h;
        b.Evac_x[1] = 22 % w;
        b.Evac_y[1] = (9 + seed) % h;
        b.Map_rect = {100 + seed, 50, 100 + seed + w, 50 + h};
        b.Cong_n = 1;
        b.Cong_x[0] = 5;
        b.Cong_y[0] = (6 + seed) % h;
        b.Cong_x[7] = 77;  // a deleted entry stays in the record
        b.Nopass_n = 3;
        for (int i = 0; i < 3; ++i) b.Nopass_x[i] = b.Nopass_y[i] = (10 * i + seed) % std::min(w, h);
        b.Base_reserved[17] = uint8_t(seed);
        Base_data = b;
        // With records, they are a route built for these markers.
        Route_markers_sum = total > 0 ? Markers_sum(b) : 0;
    }
    std::lock_guard lock(Shown_lock);
    Map_image = Pattern(w, h, seed);
    Photo_image = photo ? Pattern(w, h, seed + 99) : Image();
    Shown_map = Map_image;
    Images_loaded = 1;
}

// Everything a refused load must leave as it was.
struct Work_state {
    Base_record base;
    std::vector<uint8_t> tables;
    int32_t rec_count;
    Image map, photo, shown;
    Point fitted;
    std::map<int, bool> enabled;
    uint32_t panel_state;

    static Work_state Take(const Fake_platform& fake) {
        Work_state s;
        s.base = Base_data;
        s.tables.resize(size_t(Wave_queue_bytes) * 2 + size_t(Rec_kind_bytes) + size_t(Cell_map_bytes));
        uint8_t* p = s.tables.data();
        for (auto [t, n] : {std::pair<const void*, int64_t>{Wave_queue[0], Wave_queue_bytes},
                            {Wave_queue[1], Wave_queue_bytes}, {Rec_kind, Rec_kind_bytes}, {Cell_map, Cell_map_bytes}}) {
            std::memcpy(p, t, size_t(n));
            p += n;
        }
        s.rec_count = Rec_count;
        s.map = Map_image;
        s.photo = Photo_image;
        s.shown = Shown_map;
        s.fitted = fake.fitted;
        s.enabled = fake.enabled;
        s.panel_state = Panel_state;
        return s;
    }
};

void Expect_same(const Work_state& a, const Work_state& b) {
    EXPECT_EQ(std::memcmp(&a.base, &b.base, sizeof a.base), 0);
    EXPECT_TRUE(a.tables == b.tables);
    EXPECT_EQ(a.rec_count, b.rec_count);
    EXPECT_EQ(a.map.px, b.map.px);
    EXPECT_EQ(a.photo.px, b.photo.px);
    EXPECT_EQ(a.shown.px, b.shown.px);
    EXPECT_EQ(a.fitted, b.fitted);
    EXPECT_EQ(a.enabled, b.enabled);
    EXPECT_EQ(a.panel_state, b.panel_state);
}

struct Data_folder_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    Temp_folder exe, dir;
    void SetUp() override {
        Shell_start();
        Exe_folder = exe.str();
        Data_folder = dir.str();
        Panel_state = 0;
    }
    void TearDown() override { EXPECT_TRUE(Load_wait(20000)); }
    std::string Last_box() const { return fake.boxes.empty() ? "" : fake.boxes.back().text; }
};

TEST_F(Data_folder_test, SaveThenLoadGivesBackTheWholeWork) {
    for (bool photo : {true, false}) {
        SCOPED_TRACE(photo);
        Make_work(1, 50, 40, 30, photo);
        const Image map = Map_image, aerial = Photo_image;
        {
            std::lock_guard lock(Markers_lock);
            Capture_origin = {-1280, 40};  // captured on a monitor left of the primary
        }
        ASSERT_EQ(Save_command(), 0) << Last_box();
        const Base_record saved = Base_data;
        EXPECT_EQ(fake.beeps, photo ? 1 : 2);
        for (const char* name : All_files) {
            const bool expected = photo || std::string(name) != "tst1.bmp";
            EXPECT_EQ(fs::exists(dir.file(name)), expected) << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), photo ? 7 : 6);  // no temporaries

        Make_work(5, 9, 20, 10, !photo);  // other work on the screen
        {
            std::lock_guard lock(Markers_lock);
            Capture_origin = {0, 0};
        }
        ASSERT_EQ(Data_load(), 0) << Last_box();
        EXPECT_EQ(Capture_origin, (Point{-1280, 40}));  // where the map stood comes back too

        EXPECT_EQ(std::memcmp(&Base_data, &saved, sizeof saved), 0);
        EXPECT_EQ(Base_data.Road_rec_total, 50);
        EXPECT_EQ(Rec_count.load(), 50);
        EXPECT_EQ(Base_data.Map_rect.right, 141);
        EXPECT_EQ(Read_all(dir.file("d1.dat")),
                  std::vector<uint8_t>((uint8_t*)Wave_queue[0], (uint8_t*)Wave_queue[0] + Wave_queue_bytes));
        EXPECT_EQ(Read_all(dir.file("d2.dat")),
                  std::vector<uint8_t>((uint8_t*)Wave_queue[1], (uint8_t*)Wave_queue[1] + Wave_queue_bytes));
        EXPECT_EQ(Read_all(dir.file("d3.dat")), std::vector<uint8_t>(Rec_kind, Rec_kind + Rec_kind_bytes));
        EXPECT_EQ(Read_all(dir.file("d4.dat")), std::vector<uint8_t>(Cell_map, Cell_map + Cell_map_bytes));
        EXPECT_EQ(Wave_queue[0][53].cost, 4243);
        EXPECT_EQ(Map_image.px, map.px);
        EXPECT_EQ(Photo_image.px, aerial.px);
        EXPECT_EQ(Photo_image.empty(), !photo);
        EXPECT_EQ(Shown_map.w, 40);
        EXPECT_EQ(fake.fitted, (Point{40, 30}));
        EXPECT_EQ(Route_index_count(), 50);
        EXPECT_EQ(Images_loaded.load(), 1);
    }
    // Nothing was written into the current directory or the program folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(exe.path), {}), 0);
}

TEST_F(Data_folder_test, SavingTheSameWorkTwiceGivesIdenticalFiles) {
    Temp_folder other;
    Make_work(2, 30, 17, 11, true);  // width 17: rows padded to the stride
    ASSERT_EQ(Save_command(), 0);
    Data_folder = other.str();
    ASSERT_EQ(Save_command(), 0);
    for (const char* name : All_files) EXPECT_TRUE(Read_all(dir.file(name)) == Read_all(other.file(name))) << name;
    // A load and a save again change nothing either.
    ASSERT_EQ(Data_load(), 0);
    ASSERT_EQ(Save_command(), 0);
    for (const char* name : All_files) EXPECT_TRUE(Read_all(dir.file(name)) == Read_all(other.file(name))) << name;
}

// The tables of a case folder are links to the good folder's; a case that
// harms a table first takes a copy of its own.
void Own(const Temp_folder& d, const char* name) {
    const fs::path p = d.path / name;
    const fs::path good = fs::read_symlink(p);
    fs::remove(p);
    fs::copy_file(good, p);
}

// One broken folder each: what is done to a good folder, and what the message says.
struct Broken_case {
    const char* what;
    std::function<void(const Temp_folder&)> harm;
    const char* message;
};

TEST_F(Data_folder_test, BrokenFoldersAreRefusedWithTheirReasonAndChangeNothing) {
    Make_work(3, 60, 24, 16, true);
    ASSERT_EQ(Save_command(), 0);
    const std::string good = dir.str();
    const size_t rec = 16;
    const Broken_case cases[] = {
        {"no base.dat", [](auto& d) { fs::remove(d.file("base.dat")); }, "base.dat がありません。"},
        {"short base.dat", [](auto& d) { fs::resize_file(d.file("base.dat"), 100); },
         "base.dat の大きさが違います（5712 バイトのはずが 100 バイト）。"},
        {"base.dat a folder", [](auto& d) { fs::remove(d.file("base.dat")); fs::create_directory(d.file("base.dat")); },
         "base.dat がファイルではありません。"},
        {"long d1.dat", [](auto& d) { Own(d, "d1.dat"); fs::resize_file(d.file("d1.dat"), 30720001); },
         "d1.dat の大きさが違います（30720000 バイトのはずが 30720001 バイト）。"},
        {"empty d4.dat", [](auto& d) { Own(d, "d4.dat"); fs::resize_file(d.file("d4.dat"), 0); }, "d4.dat の大きさが違います"},
        {"no d3.dat", [](auto& d) { fs::remove(d.file("d3.dat")); }, "d3.dat がありません。"},
        {"too many congestion points", [](auto& d) { Patch32(d.file("base.dat"), 904, 101); },
         "base.dat の混雑ポイントの数（101）が範囲外です（0 から 100 まで）。"},
        {"negative evacuation count", [](auto& d) { Patch32(d.file("base.dat"), 84, -1); }, "避難場所の数（-1）"},
        {"total beyond the grid", [](auto& d) { Patch32(d.file("base.dat"), 0, 1920001); },
         "道路データの数（1920001）が範囲外"},
        {"empty map rectangle", [](auto& d) { Patch32(d.file("base.dat"), 96, 0); }, "base.dat の地図の範囲"},
        {"parent loop", [=](auto& d) { Own(d, "d1.dat"); Patch32(d.file("d1.dat"), 10 * rec + 4, 10); },
         "d1.dat の記録 10 のつながり（10）が正しくありません。"},
        {"parent in the other table", [=](auto& d) { Own(d, "d2.dat"); Patch32(d.file("d2.dat"), 11 * rec + 4, 8); },
         "d2.dat の記録 11 のつながり（8）"},
        {"no tst.bmp", [](auto& d) { fs::remove(d.file("tst.bmp")); }, "tst.bmp がありません。"},
        {"tst.bmp not a picture", [](auto& d) { Write_all(d.file("tst.bmp"), {'h', 'e', 'l', 'l', 'o'}); },
         "tst.bmp を読めません：BMP形式のファイルではありません。"},
        {"tst.bmp of another size", [](auto& d) { Bmp_write(Pattern(5, 5, 0), d.file("tst.bmp"), 0, 0, 5, 5); },
         "tst.bmp の大きさ（5 × 5）が地図の範囲（24 × 16）と合いません。"},
        {"tst1.bmp cut short", [](auto& d) { fs::resize_file(d.file("tst1.bmp"), 200); },
         "tst1.bmp を読めません：ファイルが壊れています。"},
    };

    Make_work(4, 9, 30, 20, false);  // the work on the screen
    Panel_enable(1);
    const Work_state before = Work_state::Take(fake);
    for (const Broken_case& c : cases) {
        SCOPED_TRACE(c.what);
        Temp_folder d;
        for (const char* name : All_files) {
            const fs::path from = fs::path(good) / name;
            if (fs::file_size(from) > 1000000) fs::create_symlink(from, d.path / name);
            else fs::copy_file(from, d.path / name);
        }
        c.harm(d);
        const size_t boxes = fake.boxes.size();
        const int refreshes = fake.refreshes;
        EXPECT_EQ(Data_load_from(d.str()), 1);
        ASSERT_EQ(fake.boxes.size(), boxes + 1);
        const std::string& text = fake.boxes.back().text;
        EXPECT_EQ(text.rfind(std::string("読み込めません：") + d.str(), 0), 0u) << text;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_NE(text.find(Load_kept_text), std::string::npos);
        EXPECT_EQ(fake.refreshes, refreshes);
        // The same checks, for tovi-cli check.
        const Folder_problems problems = Data_folder_check(d.str());
        ASSERT_FALSE(problems.empty());
        EXPECT_FALSE(problems[0].detail.empty());
    }
    Expect_same(Work_state::Take(fake), before);
}

// A bitmap header that claims a picture far larger than its file.
std::vector<uint8_t> Huge_header() {
    std::vector<uint8_t> b(1024, 0);
    b[0] = 'B', b[1] = 'M';
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put32(10, 54), put32(14, 40), put32(18, 16384), put32(22, 16384);
    b[26] = 1, b[28] = 24;
    return b;
}

TEST_F(Data_folder_test, MixedSetsAndMarkersOffTheMapAreRefused) {
    Make_work(3, 60, 24, 16, true);
    ASSERT_EQ(Save_command(), 0);
    const std::string good = dir.str();
    Temp_folder other;  // another piece of work of the same sizes
    Make_work(15, 61, 24, 16, true);
    Data_folder = other.str();
    ASSERT_EQ(Save_command(), 0);
    const std::string second = other.str();
    auto from_other = [second](const char* name) {
        return [second, name](const Temp_folder& d) {
            fs::remove(d.file(name));
            fs::copy_file(fs::path(second) / name, d.path / name);
        };
    };
    const Broken_case mixed[] = {
        {"d1.dat of other work", from_other("d1.dat"), "d1.dat が、いっしょに保存されたファイルと合いません"},
        {"d4.dat of other work", from_other("d4.dat"), "d4.dat が、いっしょに保存された"},
        {"tst.bmp of other work", from_other("tst.bmp"), "tst.bmp が、いっしょに保存された"},
        {"tst1.bmp of other work", from_other("tst1.bmp"), "tst1.bmp が、いっしょに保存された"},
        // An earlier version keeps the tail it loaded when it saves other markers.
        {"markers changed by an earlier version", [](auto& d) { Patch32(d.file("base.dat"), 104, 7); },
         "base.dat が、いっしょに保存された"},
    };
    const Broken_case damaged[] = {
        {"a third evacuation place", [](auto& d) { Patch32(d.file("base.dat"), 84, 3); },
         "base.dat の避難場所の数（3）が範囲外です（0 から 2 まで）。"},
        {"a place far off the map", [](auto& d) { Patch32(d.file("base.dat"), 4, 65536); },
         "base.dat の避難場所 1 の位置(65536, 13)が地図の外です（地図は 24 × 16）。"},
        {"a no-passage point above the map", [](auto& d) { Patch32(d.file("base.dat"), 1308, -1); },
         "base.dat の通行禁止ポイント 1 の位置"},
        {"a record off the grid", [](auto& d) { Own(d, "d2.dat"); Patch32(d.file("d2.dat"), 5 * 16, 1600); },
         "d2.dat の記録 5 の位置（1600, 0）が範囲外です。"},
        {"a newer version's tail", [](auto& d) { Patch32(d.file("base.dat"), 1712 + 4, 2); },
         "base.dat はこの版より新しい Tovi で保存されています。"},
        {"tst.bmp claims 16384 x 16384 pixels", [](auto& d) { Write_all(d.file("tst.bmp"), Huge_header()); },
         "tst.bmp を読めません"},
        {"tst1.bmp missing", [](auto& d) { fs::remove(d.file("tst1.bmp")); }, "tst1.bmp がありません。"},
    };

    Make_work(4, 9, 30, 20, false);  // the work on the screen
    Panel_enable(1);
    const Work_state before = Work_state::Take(fake);
    auto copy_of_good = [&](const Temp_folder& d) {
        for (const char* name : All_files) {
            const fs::path from = fs::path(good) / name;
            if (fs::file_size(from) > 1000000) fs::create_symlink(from, d.path / name);
            else fs::copy_file(from, d.path / name);
        }
    };
    for (const Broken_case& c : damaged) {
        SCOPED_TRACE(c.what);
        Temp_folder d;
        copy_of_good(d);
        c.harm(d);
        EXPECT_EQ(Data_load_from(d.str()), 1);
        const std::string& text = fake.boxes.back().text;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_EQ(fake.boxes.back().style, int(Box_ok));
        // tovi-cli check says the same, checksums or not.
        EXPECT_FALSE(Data_folder_check(d.str(), nullptr, true).empty());
    }
    Expect_same(Work_state::Take(fake), before);
    for (const Broken_case& c : mixed) {
        SCOPED_TRACE(c.what);
        Temp_folder d;
        copy_of_good(d);
        c.harm(d);
        // Whole files that were not saved together: the user is asked, and No changes nothing.
        fake.box_answers = {Answer_no};
        EXPECT_EQ(Data_load_from(d.str()), 1);
        const std::string& text = fake.boxes.back().text;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_NE(text.find(Load_mismatch_question), std::string::npos) << text;
        EXPECT_EQ(fake.boxes.back().style, int(Box_yes_no));
        Expect_same(Work_state::Take(fake), before);
        // tovi-cli check refuses them, and accepts them with --ignore-checksums.
        const Folder_problems problems = Data_folder_check(d.str());
        ASSERT_FALSE(problems.empty());
        EXPECT_TRUE(problems[0].checksum);
        EXPECT_TRUE(Data_folder_check(d.str(), nullptr, true).empty());
    }
    // Yes loads the mixed folder as it is.
    Temp_folder d;
    copy_of_good(d);
    from_other("d3.dat")(d);
    fake.box_answers = {Answer_yes};
    EXPECT_EQ(Data_load_from(d.str()), 0);
    EXPECT_EQ(Base_data.Road_rec_total, 60);
}

TEST_F(Data_folder_test, AnAerialPictureOfOtherWorkIsLeftAsideWithANote) {
    Make_work(16, 20, 24, 16, false);
    ASSERT_EQ(Save_command(), 0);
    // An older capture's aerial picture, left beside work that has none.
    ASSERT_TRUE(Bmp_write(Pattern(30, 30, 1), dir.file("tst1.bmp"), 0, 0, 30, 30));
    const size_t boxes = fake.boxes.size();
    ASSERT_EQ(Data_load(), 0) << Last_box();
    EXPECT_TRUE(Photo_image.empty());
    ASSERT_EQ(fake.boxes.size(), boxes + 1);
    EXPECT_NE(Last_box().find("航空写真なしで読み込みました"), std::string::npos) << Last_box();
    EXPECT_TRUE(fs::exists(dir.file("tst1.bmp")));  // a load deletes nothing
    // The same in a folder of an earlier version, whose base.dat has no checksums.
    std::vector<uint8_t> base = Read_all(dir.file("base.dat"));
    std::fill(base.begin() + 1712, base.end(), 0);
    Write_all(dir.file("base.dat"), base);
    ASSERT_EQ(Data_load(), 0) << Last_box();
    EXPECT_TRUE(Photo_image.empty());
    EXPECT_NE(Last_box().find("tst1.bmp の大きさ（30 × 30）が地図と合わないため"), std::string::npos) << Last_box();
}

TEST_F(Data_folder_test, TheRouteDisplayIsOfferedOnlyForARouteBuiltForTheMarkersShown) {
    struct Case {
        const char* what;
        std::function<void()> change;
        bool offered;
    } const cases[] = {
        {"a route built for these markers", [] {}, true},
        {"markers moved since", [] { Base_data.Cong_y[0] = 1; }, false},
        {"a capture's records", [] { Route_markers_sum = 0; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make_work(17, 30, 24, 16, false);
        c.change();
        ASSERT_EQ(Save_command(), 0);
        Make_work(18, 5, 20, 10, false);
        fake.folder_answers = {dir.str()};
        Panel_command(Id_load);
        ASSERT_TRUE(Load_wait(20000));
        EXPECT_EQ(Base_data.Road_rec_total, 30);
        EXPECT_EQ(fake.enabled.at(Id_route_check), c.offered);
        EXPECT_EQ(fake.enabled.at(Id_route_build), !c.offered);
    }
}

TEST_F(Data_folder_test, ASaveThatFailsAtAnyStepKeepsTheOldWorkAndSaysWhichFile) {
    Temp_folder folder(true);
    Data_folder = folder.str();
    Make_work(19, 40, 24, 16, true);
    ASSERT_EQ(Save_command(), 0);
    const int ops[] = {Fault_files::Op_create, Fault_files::Op_write, Fault_files::Op_flush, Fault_files::Op_close,
                       Fault_files::Op_rename};
    int failures = 0;
    for (int op : ops) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE("operation " + std::to_string(op) + " #" + std::to_string(n));
            // base.dat carries the checksums of the others: the same base.dat
            // and a folder that passes the checks are the same set of files.
            const std::vector<uint8_t> old_base = Read_all(folder.file("base.dat"));
            std::set<std::string> old_names;
            for (const auto& e : fs::directory_iterator(folder.path)) old_names.insert(e.path().filename().string());
            Make_work(20, 45, 24, 16, false);  // other work, without an aerial picture
            Base_data.Road_rec_total = Rec_count;  // as every save sets it
            const Work_state before = Work_state::Take(fake);
            Fault_files faults;
            faults.fail_op = op;
            faults.fail_at = n;
            Fs_install(&faults);
            const int saved = Save_command();
            Fs_install(nullptr);
            const bool hit = faults.counts[op] >= n;
            if (saved != 0) {
                ++failures;
                // The box names the file that failed; no beep; the work in memory stays.
                const std::string name = fs::path(faults.failed_path).filename().string();
                EXPECT_NE(Last_box().find(name.substr(0, name.find('.') + 4)), std::string::npos) << Last_box();
                EXPECT_NE(Last_box().find(Save_kept_text), std::string::npos);
                Expect_same(Work_state::Take(fake), before);
                // The folder loads as the old work, file for file.
                ASSERT_TRUE(Data_folder_check(folder.str()).empty());
                EXPECT_TRUE(Read_all(folder.file("base.dat")) == old_base);
                std::set<std::string> names;
                for (const auto& e : fs::directory_iterator(folder.path)) names.insert(e.path().filename().string());
                EXPECT_EQ(names, old_names);
            }
            if (!hit) break;
        }
    }
    EXPECT_GT(failures, 30);
}

TEST_F(Data_folder_test, RecordLinksMustLeadToAnEarlierRecordOfTheSameTable) {
    struct Link_case {
        int32_t parent;
        uint8_t parent_kind;
        bool good;
    };
    const Link_case cases[] = {
        {-1, 0, true}, {2, 0, true}, {0, 0, true},  {3, 0, false},  // itself
        {4, 0, false}, {2, 1, false}, {-2, 0, false}, {INT32_MIN, 0, false},
    };
    for (const Link_case& c : cases) {
        SCOPED_TRACE(c.parent);
        // Five start records; record 3 (in d1) carries the case.
        std::vector<uint8_t> d1(5 * 16 + 1), d2(5 * 16 + 1), d3(5, 0);
        for (int n = 0; n < 5; ++n) {
            std::memset(&d1[1 + n * 16 + 4], 0xFF, 4);
            std::memset(&d2[1 + n * 16 + 4], 0xFF, 4);
        }
        std::memcpy(&d1[1 + 3 * 16 + 4], &c.parent, 4);
        if (c.parent >= 0 && c.parent < 5) d3[size_t(c.parent)] = c.parent_kind;
        Folder_problems problems;
        // Unaligned on purpose: the fuzz target hands over bytes as they come.
        Records_check(d1.data() + 1, d2.data() + 1, d3.data(), 5, 5, problems);
        EXPECT_EQ(problems.empty(), c.good);
    }
    Folder_problems problems;
    std::vector<uint8_t> t(16, 0), k(1, 0);
    Records_check(t.data(), t.data(), k.data(), 1, 2, problems);
    EXPECT_EQ(problems.size(), 1u);  // a total beyond the records given
}

TEST_F(Data_folder_test, CountsUpToTheirCapacitiesAreAccepted) {
    Base_record b{};
    b.Map_rect = {0, 0, 1, 1};
    b.Evac_n = 2;  // room for 10 in the record, 2 in use at most
    b.Cong_n = 100;
    b.Nopass_n = 100;
    b.Road_rec_total = Grid_cells;
    Base_record out{};
    Folder_problems problems;
    Base_check(reinterpret_cast<const uint8_t*>(&b), sizeof b, out, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(out.Cong_n, 100);
    b.Nopass_n = 101;
    Base_check(reinterpret_cast<const uint8_t*>(&b), sizeof b, out, problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].detail, "base.dat: Nopass_n 101 outside 0..100");
    b.Nopass_n = 100;
    b.Evac_n = 3;
    problems.clear();
    Base_check(reinterpret_cast<const uint8_t*>(&b), sizeof b, out, problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].detail, "base.dat: Evac_n 3 outside 0..2");
}

TEST_F(Data_folder_test, SaveButtonAsksForTheFolderAndSavesUnlessCancelled) {
    Make_work(6, 12, 16, 8, false);
    const std::string before = Data_folder;
    fake.folder_answers = {std::nullopt};
    Panel_command(Id_save);
    ASSERT_EQ(fake.folder_requests.size(), 1u);
    EXPECT_EQ(fake.folder_requests[0], (std::pair<bool, std::string>{true, Exe_folder}));
    EXPECT_EQ(Data_folder, before);
    EXPECT_EQ(fake.control_text.count(Id_save), 0u);
    EXPECT_EQ(fake.beeps, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 0);

    Temp_folder chosen;
    fake.folder_answers = {chosen.str()};
    Panel_command(Id_save);
    EXPECT_EQ(fake.folder_requests[1], (std::pair<bool, std::string>{true, Exe_folder}));
    EXPECT_EQ(Data_folder, chosen.str());
    EXPECT_EQ(fake.control_text.at(Id_save), "保存");
    EXPECT_EQ(fake.beeps, 1);
    EXPECT_EQ(Data_folder_check(chosen.str()).size(), 0u);
}

TEST_F(Data_folder_test, FailedSaveNamesTheFilesAndDoesNotBeep) {
    Make_work(7, 12, 16, 8, false);
    Data_folder = dir.file("missing");
    EXPECT_EQ(Save_command(), 1);
    EXPECT_EQ(Data_load(), 1);
    EXPECT_NE(Last_box().find("フォルダがありません。"), std::string::npos) << Last_box();
    EXPECT_EQ(Save_command(), 1);
    EXPECT_EQ(fake.beeps, 0);
    EXPECT_NE(Last_box().find(std::string(Save_failed_text) + dir.file("missing") + " (open: not a folder)"),
              std::string::npos)
        << Last_box();

    // A folder where the map picture should go: nothing is saved, the folder keeps what it held.
    Data_folder = dir.str();
    fs::create_directory(dir.file("tst.bmp"));
    EXPECT_EQ(Save_command(), 1);
    EXPECT_EQ(fake.beeps, 0);
    EXPECT_NE(Last_box().find(std::string(Save_failed_text) + "tst.bmp (check: not a file)\nフォルダ：" + dir.str()),
              std::string::npos)
        << Last_box();
    EXPECT_NE(Last_box().find(Save_kept_text), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 1);  // only the folder in the way
}

TEST_F(Data_folder_test, WorkWithoutAnAerialPictureRemovesAnOlderOne) {
    Make_work(8, 12, 16, 8, true);
    ASSERT_EQ(Save_command(), 0);
    Make_work(8, 12, 16, 8, false);
    ASSERT_EQ(Save_command(), 0);
    EXPECT_FALSE(fs::exists(dir.file("tst1.bmp")));
    ASSERT_EQ(Data_load(), 0);
    EXPECT_TRUE(Photo_image.empty());
}

TEST_F(Data_folder_test, LoadButtonAppliesTheLoadedStateOnlyAfterASuccessfulLoad) {
    Make_work(9, 40, 16, 8, false);
    ASSERT_EQ(Save_command(), 0);
    Temp_folder broken;
    for (const char* name : {"base.dat", "d1.dat", "d2.dat", "d3.dat", "tst.bmp"})
        fs::copy_file(dir.path / name, broken.path / name);

    Make_work(10, 5, 20, 10, false);
    Panel_enable(1);
    const Work_state start = Work_state::Take(fake);

    // Cancelled, then refused: the panel and the work stay as they were.
    fake.folder_answers = {std::nullopt, broken.str()};
    Panel_command(Id_load);
    ASSERT_TRUE(Load_wait(20000));
    EXPECT_EQ(fake.folder_requests.back(), (std::pair<bool, std::string>{false, Exe_folder}));
    Panel_command(Id_load);
    ASSERT_TRUE(Load_wait(20000));
    EXPECT_NE(Last_box().find("d4.dat がありません。"), std::string::npos) << Last_box();
    Expect_same(Work_state::Take(fake), start);

    // Loaded: the captured state and, with records, the route display.
    fake.folder_answers = {dir.str()};
    Panel_command(Id_load);
    ASSERT_TRUE(Load_wait(20000));
    EXPECT_EQ(fake.folder_requests.back(), (std::pair<bool, std::string>{false, Exe_folder}));
    EXPECT_EQ(Base_data.Road_rec_total, 40);
    EXPECT_TRUE(Panel_state & Panel_map_captured);
    EXPECT_TRUE(fake.enabled.at(Id_cong));
    EXPECT_FALSE(fake.enabled.at(Id_scale_100));
    EXPECT_TRUE(fake.enabled.at(Id_route_check));
    EXPECT_FALSE(fake.enabled.at(Id_route_build));
}

TEST_F(Data_folder_test, NoRecordsLeavesTheRouteToBeBuilt) {
    Make_work(11, 0, 16, 8, false);
    ASSERT_EQ(Save_command(), 0);
    fake.folder_answers = {dir.str()};
    Panel_command(Id_load);
    ASSERT_TRUE(Load_wait(20000));
    EXPECT_EQ(Base_data.Road_rec_total, 0);
    EXPECT_FALSE(fake.enabled.at(Id_route_check));
    EXPECT_TRUE(fake.enabled.at(Id_route_build));
}

TEST_F(Data_folder_test, FolderNamesWithPercentSignsAndJapaneseWork) {
    for (const char* name : {"作業 100%d %s", "避難データ"}) {
        SCOPED_TRACE(name);
        const std::string folder = dir.file(name);
        fs::create_directory(Fs_path(folder));
        fake.folder_answers = {folder};
        Make_work(12, 20, 16, 8, true);
        Panel_command(Id_save);
        EXPECT_EQ(Data_folder, folder);
        EXPECT_EQ(fake.beeps, std::string(name) == "避難データ" ? 2 : 1) << Last_box();
        Make_work(13, 3, 20, 10, false);
        ASSERT_EQ(Data_load(), 0) << Last_box();
        EXPECT_EQ(Base_data.Road_rec_total, 20);
        EXPECT_EQ(Photo_image.w, 16);
        // A refusal shows the path unchanged.
        fs::remove(Fs_path(Path_join(folder, "tst.bmp")));
        EXPECT_EQ(Data_load(), 1);
        EXPECT_EQ(Last_box().rfind(std::string("読み込めません：") + folder, 0), 0u) << Last_box();
    }
}

TEST_F(Data_folder_test, AFolderWithoutAPathIsNoChoice) {
    const std::string before = Data_folder;
    fake.folder_answers = {std::string()};
    std::string out = "kept";
    EXPECT_EQ(Folder_pick(Owner_main, out, false), 1);
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(Data_folder, before);
    EXPECT_EQ(Last_box(), Folder_no_path_text);
}

TEST_F(Data_folder_test, FileCopyCopiesWholeFilesAndReportsFailure) {
    Write_all(dir.file("a"), {1, 2, 3, 0, 5});
    EXPECT_EQ(File_copy(dir.file("a"), dir.file("b")), 0);
    EXPECT_EQ(Read_all(dir.file("b")), (std::vector<uint8_t>{1, 2, 3, 0, 5}));
    EXPECT_EQ(File_copy(dir.file("none"), dir.file("c")), 1);
    EXPECT_FALSE(fs::exists(dir.file("c")));
    EXPECT_EQ(File_copy(dir.file("a"), dir.file("no/such/folder")), 1);
}

// tovi-cli check, run as its own process next to this test binary.
TEST_F(Data_folder_test, CliCheckPrintsWhatIsWrong) {
    const fs::path cli = fs::read_symlink("/proc/self/exe").parent_path() / "tovi-cli";
    if (!fs::exists(cli)) GTEST_SKIP() << "tovi-cli is not built";
    Temp_folder out;
    // The folder (if any) is quoted for the shell.
    auto run = [&](const std::string& folder, std::string& err) {
        std::string command = cli.string();
        command.insert(0, 1, '\'');
        command += "' check ";
        if (!folder.empty()) command.append(1, '\'').append(folder).append(1, '\'');
        command.append(" >/dev/null 2>").append(out.file("err"));
        const int status = std::system(command.c_str());
        std::stringstream text;
        text << std::ifstream(out.file("err")).rdbuf();
        err = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    Make_work(14, 25, 16, 8, false);
    ASSERT_EQ(Save_command(), 0);
    std::string err;
    EXPECT_EQ(run(dir.str(), err), 0) << err;
    fs::resize_file(dir.file("base.dat"), 100);
    fs::remove(dir.file("tst.bmp"));
    EXPECT_EQ(run(dir.str(), err), 1);
    EXPECT_EQ(err, dir.str() + ": base.dat: 100 bytes, expected 5712\n" + dir.str() + ": tst.bmp: missing\n");
    EXPECT_EQ(run("", err), 2);
}

}  // namespace
