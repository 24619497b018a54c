// The evacuation map in the program: the panel's "避難地図" offered exactly
// for a current route, shown in the main window in place of the plain map
// and back, the choices read and checked as typed, kept with the work and
// defaulting to the last ones used, and "画像保存" writing the page of
// tovi-cli render --paper A4, against the scripted fake platform.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "app/evac_view.h"
#include "app/panel.h"
#include "app/shell.h"
#include "map/grid.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "platform/fake/fake_platform.h"
#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "route/render.h"
#include "route/route_trace.h"
#include "route/travel_time.h"
#include "route/wave.h"
#include "storage/base_tail.h"
#include "storage/data_files.h"
#include "storage/data_folder.h"
#include "temp_folder.h"

namespace {

constexpr uint32_t White = Rgb(255, 255, 255);
constexpr uint32_t Grey = Rgb(200, 200, 200);

std::vector<uint8_t> Bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Japanese_font_path() {
    for (const char* p : {"/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
                          "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf"})
        if (!Bytes_of(p).empty()) return p;
    return "";
}

// The system's part, scripted: the font from a file, the dialog as a script
// of choices, the save dialog's answer.
struct Scripted_seam : Evac_seam {
    std::string font_path = Japanese_font_path();
    std::vector<Evac_choices> dialogs;          // the choices each dialog opened with
    std::function<void()> in_dialog;            // what the user does in it
    std::optional<std::string> save_answer;     // nullopt: cancelled
    std::vector<std::string> save_suggested;
    std::string Font_load(Text_font& font) override {
        if (font_path.empty()) return "no font";
        return Text_font_load(font, Bytes_of(font_path));
    }
    void Choices_dialog(const Evac_choices& now) override {
        dialogs.push_back(now);
        if (in_dialog) in_dialog();
    }
    bool Save_path_pick(const std::string& suggested, std::string& out) override {
        save_suggested.push_back(suggested);
        if (!save_answer) return false;
        out = *save_answer;
        return true;
    }
    std::optional<Page_setup> printer;          // nullopt: the print dialog cancelled
    std::string print_error;                    // what the printer says
    std::vector<Point> pages_printed;           // each page's size
    std::vector<Point> shown_at_print;          // the shown map's size then (the preview)
    int drops = 0;
    bool Print_choose(Page_setup& setup) override {
        if (!printer) return false;
        setup = *printer;
        return true;
    }
    std::string Print_page(const Evac_page& page) override {
        pages_printed.push_back({page.w, page.h});
        std::lock_guard lock(Shown_lock);
        shown_at_print.push_back({Shown_map.w, Shown_map.h});
        return print_error;
    }
    void Print_drop() override { ++drops; }
};

// A street of 300 x 5 white pixels on grey, an evacuation place at its left
// end, its route built as "ルート作成" builds it.
struct Evac_view_test : ::testing::Test {
    Fake_scope scope;
    Fake_platform& fake = scope.fake;
    Scripted_seam seam;
    Image map{320, 60, Grey};
    std::vector<int32_t> counts;
    Temp_folder working;  // the working folder, where the last choices are kept
    std::string exe_before = Exe_folder;

    void SetUp() override {
        if (seam.font_path.empty()) GTEST_SKIP() << "no Japanese font installed (fonts-ipafont-gothic)";
        Exe_folder = working.str();
        Shell_start();
        Evac_seam_install(&seam);
        Evac_last = Evac_choices{};
        for (int32_t y = 28; y < 33; ++y)
            for (int32_t x = 12; x < 308; ++x) map.set(x, y, White);
        Work_on(map, 20);
        ASSERT_TRUE(Evac_route_current());
    }
    // A work on the picture m with its place at (place_x, 30), its route
    // built as "ルート作成" builds it; its walks in counts.
    void Work_on(const Image& m, int32_t place_x) {
        Base_record b{};
        b.Evac_n = 1;
        b.Evac_x[0] = place_x, b.Evac_y[0] = 30;
        b.Map_rect = {0, 0, m.w, m.h};
        {
            std::lock_guard lock(Markers_lock);
            Base_data = b;
        }
        {
            std::lock_guard lock(Shown_lock);
            Map_image = m;
            Photo_image = Image();
        }
        Map_restore();
        Route_index_drop();
        ASSERT_EQ(Route_build(), 0);
        Travel_counts(Base_data.Road_rec_total, 0, counts);
    }
    std::vector<uint32_t> Shown_pixels() {
        std::lock_guard lock(Shown_lock);
        return Shown_map.px;
    }
    void TearDown() override {
        Evac_map_leave();
        Evac_seam_install(nullptr);
        Exe_folder = exe_before;
        Route_index_drop();
        std::lock_guard lock(Markers_lock);
        Base_data = Base_record{};
        Route_markers_sum = 0;
    }
    uint32_t Shown_at(int32_t x, int32_t y) {
        std::lock_guard lock(Shown_lock);
        return Shown_map.get(x, y) & 0xFFFFFF;
    }
    Point Shown_size() {
        std::lock_guard lock(Shown_lock);
        return {Shown_map.w, Shown_map.h};
    }
    Evac_options Options(const Evac_choices& c) const {
        Evac_options o;
        o.speed = c.speed, o.band_minutes = c.band_minutes, o.limit_minutes = c.limit_minutes;
        o.scale.flag = Scale_flag.load();
        return o;
    }
    // The band colour a street pixel must show for the choices.
    uint32_t Expected_colour(int32_t x, int32_t y, const Evac_choices& c) const {
        const int32_t count = counts[size_t(x) + size_t(y) * Grid_w_fixed];
        const Evac_options o = Options(c);
        if (Evac_beyond(count, o) && Evac_stripe(x, y)) return Evac_stripe_colour;
        return Evac_band_colour(Evac_band(count, o)) & 0xFFFFFF;
    }
};

TEST_F(Evac_view_test, OfferedExactlyWhenTheRouteDisplayIs) {
    struct Case {
        const char* what;
        std::function<void()> act;
        bool offered;
    } cases[] = {
        {"route built", [] { Route_stale(0); }, true},
        {"route out of date", [] { Route_stale(1); }, false},
        {"panel at start", [] { Panel_enable(1); }, false},
        {"a map captured", [] { Panel_enable(22); }, false},
        {"route being built", [] { Panel_enable(10); }, false},
        {"a folder loaded whose route is current", [] { Shell_loaded(true); }, true},
        {"a folder loaded whose route is out of date", [] { Shell_loaded(false); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.enabled.erase(Id_evac_map);
        c.act();
        ASSERT_EQ(fake.enabled.count(Id_evac_map), 1u);
        EXPECT_EQ(fake.enabled.at(Id_evac_map), c.offered);
        EXPECT_EQ(fake.enabled.at(Id_evac_map), fake.enabled.count(Id_route_check) ? fake.enabled.at(Id_route_check) : c.offered);
    }
    // Tools and the delete tool leave both as they are.
    fake.enabled.erase(Id_evac_map);
    Panel_enable(11);
    EXPECT_EQ(fake.enabled.count(Id_evac_map), 0u);
    EXPECT_STREQ(Help_text(Id_evac_map, true), Evac_help_text);
}

TEST_F(Evac_view_test, ShownInPlaceOfTheMapAndBackOnASecondPress) {
    Image plain;
    {
        std::lock_guard lock(Shown_lock);
        plain = Shown_map;
    }
    Panel_command(Id_evac_map);
    ASSERT_TRUE(Evac_shown());
    ASSERT_EQ(seam.dialogs.size(), 1u);
    EXPECT_EQ(seam.dialogs[0], Evac_choices{});
    // The map at 1:1 at the top-left, the legend beside it; the window fitted to both.
    const Point size = Shown_size();
    EXPECT_EQ(size.y >= map.h && size.x > map.w, true);
    EXPECT_EQ(fake.fitted, size);
    int checked = 0;
    for (int32_t x = 40; x < 300; x += 7) {
        SCOPED_TRACE(x);
        EXPECT_EQ(Shown_at(x, 30), Expected_colour(x, 30, Evac_choices{}));
        ++checked;
    }
    EXPECT_GT(checked, 30);
    // The far end is beyond the first band (a 300 m street at 2 m a pixel, 43 m a minute).
    EXPECT_NE(Shown_at(300, 30), Shown_at(40, 30));
    // The rest of the map faded, not left as it was.
    EXPECT_NE(Shown_at(5, 5), Grey);

    Panel_command(Id_evac_map);
    EXPECT_FALSE(Evac_shown());
    EXPECT_EQ(seam.dialogs.size(), 1u);
    std::lock_guard lock(Shown_lock);
    EXPECT_EQ(Shown_map.w, map.w);
    EXPECT_EQ(Shown_map.px, plain.px);
    EXPECT_EQ(fake.fitted, (Point{map.w, map.h}));
}

TEST_F(Evac_view_test, AChoiceRedrawsAtOnceAndAnyOtherCommandGoesBack) {
    Evac_choices one;
    one.band_minutes = 1;
    one.limit_minutes = 2;
    one.title = "東町の避難地図";
    one.source = "地理院地図";
    std::string applied = "not called";
    seam.in_dialog = [&] { applied = Evac_apply(one); };
    Panel_command(Id_evac_map);
    EXPECT_EQ(applied, "");
    for (int32_t x = 40; x < 300; x += 11) EXPECT_EQ(Shown_at(x, 30), Expected_colour(x, 30, one)) << x;
    EXPECT_EQ(Evac_last, one);
    const Base_tail tail = Tail_read(Base_data);
    EXPECT_TRUE(tail.marked());
    EXPECT_EQ(tail.speed, 43.0);
    EXPECT_EQ(tail.band_minutes, 1);
    EXPECT_EQ(tail.limit_minutes, 2);
    EXPECT_EQ(tail.title, "東町の避難地図");
    EXPECT_EQ(tail.source, "地理院地図");

    // The scale redraws it too: at 100 m a pixel is half as long.
    const uint32_t before = Shown_at(293, 30);  // off the stripes beyond the limit
    Panel_command(Id_scale_100);
    EXPECT_TRUE(Evac_shown());
    EXPECT_EQ(Shown_at(293, 30), Expected_colour(293, 30, one));
    EXPECT_NE(Shown_at(293, 30), before);
    Panel_command(Id_scale_200);

    // A title too long for the legend: said, and the map stays as it was.
    Evac_choices wide = one;
    wide.title.clear();
    for (int i = 0; i < 60; ++i) wide.title += "避";
    EXPECT_NE(Evac_apply(wide), "");
    EXPECT_EQ(Evac_last, one);

    // "保存" (cancelled in the folder browser) goes back to the plain map first.
    fake.folder_answers = {std::nullopt};
    Panel_command(Id_save);
    EXPECT_FALSE(Evac_shown());
    EXPECT_EQ(Shown_size(), (Point{map.w, map.h}));
}

TEST_F(Evac_view_test, NoMapForARouteOutOfDate) {
    {
        std::lock_guard lock(Markers_lock);
        Base_data.Evac_x[0] = 30;  // moved since the route was built
    }
    EXPECT_FALSE(Evac_route_current());
    EXPECT_EQ(Evac_map_command(), 1);
    EXPECT_FALSE(Evac_shown());
    EXPECT_TRUE(seam.dialogs.empty());
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, Evac_no_route_text);
    EXPECT_EQ(Shown_size(), (Point{map.w, map.h}));
}

TEST_F(Evac_view_test, NoMapWithoutAJapaneseFont) {
    seam.font_path = "/nonexistent";
    Evac_seam_install(&seam);
    EXPECT_EQ(Evac_map_command(), 1);
    EXPECT_FALSE(Evac_shown());
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text.rfind(Evac_no_font_text, 0), 0u);
}

TEST_F(Evac_view_test, ChoicesOfTheWorkOrTheLastUsed) {
    Evac_choices last;
    last.speed = 60, last.band_minutes = 5, last.limit_minutes = 9, last.title = "前の題名", last.source = "前の出典";
    Evac_choices want = last;
    want.limit_minutes = 0;  // a limit of 0 is none
    Base_tail unmarked;
    EXPECT_EQ(Evac_choices_of(unmarked, last), want);
    Base_tail zero;
    zero.mark = Tail_mark, zero.version = Tail_version;
    EXPECT_EQ(Evac_choices_of(zero, last), want);
    Base_tail full = zero;
    Evac_choices own;
    own.speed = 30, own.band_minutes = 1, own.limit_minutes = 12, own.title = "題", own.source = "地理院地図";
    Evac_choices_into(full, own);
    EXPECT_EQ(Evac_choices_of(full, last), own);
    Base_tail fresh;
    Evac_choices_into(fresh, own);
    EXPECT_TRUE(fresh.marked());
    EXPECT_EQ(fresh.version, Tail_version);
    // Out of range in a file: the last used instead.
    Base_tail odd = zero;
    odd.speed = -1, odd.band_minutes = 100000;
    EXPECT_EQ(Evac_choices_of(odd, last).speed, 60);
    EXPECT_EQ(Evac_choices_of(odd, last).band_minutes, 5);

    // The map opens with the last ones used where the work has none.
    Evac_last = last;
    Panel_command(Id_evac_map);
    ASSERT_EQ(seam.dialogs.size(), 1u);
    EXPECT_EQ(seam.dialogs[0], want);
}

TEST_F(Evac_view_test, ChoicesKeptThroughASaveAndALoad) {
    Evac_choices c;
    c.speed = 52.5, c.band_minutes = 5, c.limit_minutes = 15, c.title = "避難地図 北区", c.source = "地理院地図";
    seam.in_dialog = [&] { EXPECT_EQ(Evac_apply(c), ""); };
    Panel_command(Id_evac_map);
    Evac_map_leave();
    Temp_folder dir;
    ASSERT_EQ(Data_save_to(dir.str()), "");
    Evac_last = Evac_choices{};
    bool current = false;
    ASSERT_EQ(Data_load_from(dir.str(), &current), 0);
    EXPECT_TRUE(current);
    seam.in_dialog = nullptr;
    Panel_command(Id_evac_map);
    ASSERT_EQ(seam.dialogs.size(), 2u);
    EXPECT_EQ(seam.dialogs[1], c);
}

TEST_F(Evac_view_test, TheLastChoicesAreKeptForTheNextRun) {
    const std::string file = Path_join(Path_join(working.str(), "tovi"), Evac_last_file);
    Evac_choices c;
    c.speed = 52.5, c.band_minutes = 1, c.limit_minutes = 15, c.title = "東町の避難地図", c.source = "地理院地図";
    seam.in_dialog = [&] { EXPECT_EQ(Evac_apply(c), ""); };
    Panel_command(Id_evac_map);
    Evac_map_leave();
    // Written when the dialog closed, the "tovi" sub-folder made if need be.
    const std::vector<uint8_t> bytes = Bytes_of(file);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Evac_last_text(c));

    // The next run: nothing in memory, a work without choices of its own.
    Evac_last = Evac_choices{};
    Evac_last_read();
    EXPECT_EQ(Evac_last, c);
    {
        std::lock_guard lock(Markers_lock);
        Tail_write(Base_data, Base_tail{});
    }
    seam.in_dialog = nullptr;
    Panel_command(Id_evac_map);
    ASSERT_EQ(seam.dialogs.size(), 2u);
    Evac_choices want = c;
    want.limit_minutes = 0;  // the limit is the work's own
    EXPECT_EQ(seam.dialogs[1], want);
    Evac_map_leave();

    // A bad file, or none: the defaults (the choices of now), and nothing said.
    for (const char* text : {"", "speed=abc\n", "\xFF\xFE garbage"}) {
        SCOPED_TRACE(text);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        Evac_last = Evac_choices{};
        Evac_last_read();
        EXPECT_EQ(Evac_last, Evac_choices{});
    }
    std::filesystem::remove(file);
    Evac_last_read();
    EXPECT_EQ(Evac_last, Evac_choices{});
    // A working folder where nothing can be written: silent too.
    std::ofstream(working.file("a-file")) << "a file where the folder would be";
    Exe_folder = working.file("a-file");
    Evac_last = c;
    Evac_last_write();
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(Evac_view_test, LookingAtTheMapLeavesTheWorkAsItWas) {
    for (bool marked : {false, true}) {
        SCOPED_TRACE(marked);
        if (marked) {
            std::lock_guard lock(Markers_lock);
            Base_tail tail;
            Evac_choices_into(tail, Evac_choices{});
            Tail_write(Base_data, tail);
        }
        Base_record before;
        {
            std::lock_guard lock(Markers_lock);
            before = Base_data;
        }
        // Opened, a choice that is the one shown, closed.
        seam.in_dialog = [&] { EXPECT_EQ(Evac_apply(Evac_choices{}), ""); };
        Panel_command(Id_evac_map);
        Evac_map_leave();
        std::lock_guard lock(Markers_lock);
        EXPECT_EQ(std::memcmp(&Base_data, &before, sizeof before), 0);
    }
}

TEST_F(Evac_view_test, AChangedChoiceIsAChangeThatTheEndAsksAbout) {
    const auto quits = [] {
        try {
            Quit_request(Owner_panel);
        } catch (const Fake_exit&) {
            return true;
        }
        return false;
    };
    Work_mark_saved();
    Panel_command(Id_evac_map);
    Evac_map_leave();
    EXPECT_FALSE(Work_unsaved());
    // Another band width in the dialog: "終了" asks whether to save first.
    Evac_choices five;
    five.band_minutes = 5;
    seam.in_dialog = [&] { EXPECT_EQ(Evac_apply(five), ""); };
    Panel_command(Id_evac_map);
    Evac_map_leave();
    EXPECT_TRUE(Work_unsaved());
    fake.boxes.clear();
    fake.box_answers = {Answer_cancel};
    EXPECT_FALSE(quits());
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, Quit_question);
    // Saved, there is nothing to ask about any more.
    Temp_folder dir;
    fake.folder_answers = {dir.str()};
    Panel_command(Id_save);
    EXPECT_FALSE(Work_unsaved());
}

TEST_F(Evac_view_test, CompareShowsWhereWalksChangedAgainstAnotherVersion) {
    // The other version: the place at the street's far end.
    Temp_folder other;
    Work_on(map, 295);
    ASSERT_EQ(Data_save_to(other.str()), "");
    const std::vector<int32_t> other_counts = counts;
    // The work now: the place back at the near end.
    Work_on(map, 20);
    Data_folder = "/where/保存/goes";
    Work_mark_saved();
    Base_record work;
    {
        std::lock_guard lock(Markers_lock);
        work = Base_data;
    }
    Text_font font;
    ASSERT_EQ(Text_font_load(font, Bytes_of(seam.font_path)), "");
    const auto expected = [&](const Evac_choices& c) {
        Evac_texts texts;
        texts.title = Evac_compare_title;
        texts.source = c.source;
        texts.date = Evac_today_text();
        return Evac_compare_render(map, other_counts, map, work, counts, Options(c), texts, other.str(),
                                   Evac_compare_now_name, font);
    };
    const Evac_comparison want = expected(Evac_choices{});
    ASSERT_EQ(want.error, "");
    // Near the place of now the walks are much shorter, near the other's much longer.
    EXPECT_EQ(want.picture.get(60, 30), Evac_change_colour(Change_much_shorter));
    EXPECT_EQ(want.picture.get(250, 30), Evac_change_colour(Change_much_longer));

    Evac_choices one;
    one.band_minutes = 1;
    one.source = "地理院地図";
    int result = -1;
    seam.in_dialog = [&] {
        fake.folder_answers = {other.str()};
        result = Evac_compare_command();
        EXPECT_TRUE(Evac_compared());
        EXPECT_EQ(Shown_pixels(), want.picture.px);
        EXPECT_EQ(fake.fitted, (Point{want.picture.w, want.picture.h}));
        // A choice changed meanwhile: the comparison again, for it.
        EXPECT_EQ(Evac_apply(one), "");
        EXPECT_TRUE(Evac_compared());
        EXPECT_EQ(Shown_pixels(), expected(one).picture.px);
    };
    Panel_command(Id_evac_map);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(fake.boxes.empty());
    // The work of now as it was: its markers, its tables, the folder "保存" writes to.
    {
        std::lock_guard lock(Markers_lock);
        EXPECT_EQ(std::memcmp(Base_data.Evac_x, work.Evac_x, sizeof work.Evac_x), 0);
        EXPECT_EQ(Base_data.Road_rec_total, work.Road_rec_total);
    }
    std::vector<int32_t> now;
    Travel_counts(work.Road_rec_total, 0, now);
    EXPECT_EQ(now, counts);
    EXPECT_TRUE(Evac_route_current());
    EXPECT_EQ(Data_folder, "/where/保存/goes");

    // "避難地図" again: the plain map.
    Panel_command(Id_evac_map);
    EXPECT_FALSE(Evac_shown());
    EXPECT_FALSE(Evac_compared());
    EXPECT_EQ(Shown_size(), (Point{map.w, map.h}));
    // Any other command too ("保存", cancelled in the folder browser).
    seam.in_dialog = [&] {
        fake.folder_answers = {other.str()};
        EXPECT_EQ(Evac_compare_command(), 0);
    };
    Panel_command(Id_evac_map);
    ASSERT_TRUE(Evac_compared());
    fake.folder_answers = {std::nullopt};
    Panel_command(Id_save);
    EXPECT_FALSE(Evac_shown());
    EXPECT_FALSE(Evac_compared());
    EXPECT_EQ(Shown_size(), (Point{map.w, map.h}));
}

TEST_F(Evac_view_test, CompareWithAFolderThatCannotBeComparedChangesNothing) {
    // A version whose markers moved after its route was built; one on a wider map.
    Temp_folder stale, wider, empty;
    Work_on(map, 295);
    {
        std::lock_guard lock(Markers_lock);
        Base_data.Evac_x[0] = 200;
    }
    ASSERT_EQ(Data_save_to(stale.str()), "");
    Image wide(340, 60, Grey);
    for (int32_t y = 28; y < 33; ++y)
        for (int32_t x = 12; x < 308; ++x) wide.set(x, y, White);
    Work_on(wide, 20);
    ASSERT_EQ(Data_save_to(wider.str()), "");
    Work_on(map, 20);
    Data_folder = "/where/保存/goes";
    struct Case {
        const char* what;
        std::optional<std::string> folder;
        const char* said;  // nullptr: nothing said
    } const cases[] = {
        {"cancelled", std::nullopt, nullptr},
        {"a folder without a piece of work", empty.str(), "base.dat"},
        {"a route out of date", stale.str(), Evac_compare_no_route_text},
        {"a map of another size", wider.str(), Evac_compare_size_text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint32_t> shown;
        int result = -1;
        seam.in_dialog = [&] {
            shown = Shown_pixels();
            fake.boxes.clear();
            fake.folder_answers = {c.folder};
            result = Evac_compare_command();
            EXPECT_FALSE(Evac_compared());
            EXPECT_EQ(Shown_pixels(), shown);
        };
        Panel_command(Id_evac_map);
        EXPECT_EQ(result, 1);
        if (!c.said) {
            EXPECT_TRUE(fake.boxes.empty());
        } else {
            ASSERT_EQ(fake.boxes.size(), 1u);
            const std::string& text = fake.boxes[0].text;
            EXPECT_EQ(text.rfind(std::string(Evac_compare_failed_text) + *c.folder, 0), 0u) << text;
            EXPECT_NE(text.find(c.said), std::string::npos) << text;
            EXPECT_NE(text.find(Load_kept_text), std::string::npos) << text;
        }
        EXPECT_EQ(Data_folder, "/where/保存/goes");
        std::vector<int32_t> now;
        Travel_counts(Base_data.Road_rec_total, 0, now);
        EXPECT_EQ(now, counts);
        EXPECT_TRUE(Evac_route_current());
        Evac_map_leave();
    }
}

TEST_F(Evac_view_test, CompareWithFilesNotSavedTogetherIsTheUsersChoice) {
    Temp_folder other;
    Work_on(map, 295);
    ASSERT_EQ(Data_save_to(other.str()), "");
    {
        // A byte of d4.dat changed since: whole files whose checksum does not match.
        std::fstream f(other.file("d4.dat"), std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(-1, std::ios::end);
        f.put('\x5A');
    }
    ASSERT_FALSE(Data_folder_check(other.str()).empty());
    Work_on(map, 20);
    for (int answer : {Answer_no, Answer_yes}) {
        SCOPED_TRACE(answer);
        int result = -1;
        seam.in_dialog = [&] {
            fake.boxes.clear();
            fake.folder_answers = {other.str()};
            fake.box_answers = {answer};
            result = Evac_compare_command();
        };
        Panel_command(Id_evac_map);
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text.rfind(other.str(), 0), 0u);
        EXPECT_NE(fake.boxes[0].text.find(Evac_compare_mismatch_question), std::string::npos);
        EXPECT_EQ(fake.boxes[0].style, int(Box_yes_no));
        EXPECT_EQ(result, answer == Answer_yes ? 0 : 1);
        EXPECT_EQ(Evac_compared(), answer == Answer_yes);
        Evac_map_leave();
    }
}

TEST(Evac_last, TheFileReadsBackAsWrittenAndAnythingElseIsRefused) {
    Evac_choices odd;
    odd.speed = 43.3, odd.band_minutes = 7, odd.limit_minutes = 6000;
    odd.title = "題 名", odd.source = "";
    for (const Evac_choices& c : {Evac_choices{}, odd}) {
        Evac_choices out;
        out.speed = 1;
        ASSERT_TRUE(Evac_last_parse(Evac_last_text(c), out));
        EXPECT_EQ(out, c);
    }
    Evac_choices out;
    EXPECT_TRUE(Evac_last_parse("source=\r\ntitle=\r\nlimit=0\r\nband=5\r\nspeed=60\r\nlater=1\r\n", out));
    EXPECT_EQ(out.band_minutes, 5);
    EXPECT_EQ(out.speed, 60);
    EXPECT_EQ(out.title, "避難地図");
    const std::string rest = "\nband=3\nlimit=0\ntitle=t\nsource=s\n";
    struct Case {
        const char* what;
        std::string text;
    } bad[] = {
        {"empty", ""},
        {"a speed of 0", "speed=0" + rest},
        {"a negative speed", "speed=-43" + rest},
        {"a speed that is no number", "speed=fast" + rest},
        {"no band", "speed=43\nlimit=0\ntitle=t\nsource=s\n"},
        {"a band of 0", "speed=43\nband=0\nlimit=0\ntitle=t\nsource=s\n"},
        {"a band that is no number", "speed=43\nband=3x\nlimit=0\ntitle=t\nsource=s\n"},
        {"a negative limit", "speed=43\nband=3\nlimit=-1\ntitle=t\nsource=s\n"},
        {"a limit too long", "speed=43\nband=3\nlimit=6001\ntitle=t\nsource=s\n"},
        {"a speed twice", "speed=43\nspeed=60" + rest},
        {"a line without a name", "speed=43" + rest + "what\n"},
        {"a title too long", "speed=43\nband=3\nlimit=0\nsource=s\ntitle=" + std::string(200, 'x') + "\n"},
        {"a control character", "speed=43\nband=3\nlimit=0\nsource=s\ntitle=a\x01b\n"},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.what);
        Evac_choices o;
        o.title = "unchanged";
        EXPECT_FALSE(Evac_last_parse(c.text, o));
        EXPECT_EQ(o.title, "unchanged");
    }
}

TEST(Evac_choices, ParsedAsTyped) {
    struct Case {
        const char* speed;
        int32_t band;
        const char* limit;
        const char* title;
        const char* source;
        bool ok;
        double want_speed;
        int32_t want_limit;
        const char* want_title;
    } cases[] = {
        {"43 m/分 高齢者", 3, "", "", "", true, 43, 0, "避難地図"},
        {"30 m/分 要支援者", 1, "10", "東町", "地理院地図", true, 30, 10, "東町"},
        {"52.5", 5, " 15 ", "  題  ", "", true, 52.5, 15, "題"},
        {"５０", 3, "１２", "x", "", true, 50, 12, "x"},
        {"50 m", 3, "", "x", "", true, 50, 0, "x"},
        {"", 3, "", "", "", false, 0, 0, nullptr},
        {"0", 3, "", "", "", false, 0, 0, nullptr},
        {"-5", 3, "", "", "", false, 0, 0, nullptr},
        {"abc", 3, "", "", "", false, 0, 0, nullptr},
        {"1.2.3", 3, "", "", "", false, 0, 0, nullptr},
        {"1001", 3, "", "", "", false, 0, 0, nullptr},
        {"43 km", 3, "", "", "", false, 0, 0, nullptr},
        {"43", 0, "", "", "", false, 0, 0, nullptr},
        {"43", 3, "0", "", "", false, 0, 0, nullptr},
        {"43", 3, "abc", "", "", false, 0, 0, nullptr},
        {"43", 3, "6001", "", "", false, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed + std::string(" / ") + c.limit);
        Evac_choices out;
        out.title = "unchanged";
        const std::string why = Evac_choices_parse(c.speed, c.band, c.limit, c.title, c.source, out);
        EXPECT_EQ(why.empty(), c.ok) << why;
        if (!c.ok) {
            EXPECT_EQ(out.title, "unchanged");
            continue;
        }
        EXPECT_EQ(out.speed, c.want_speed);
        EXPECT_EQ(out.band_minutes, c.band);
        EXPECT_EQ(out.limit_minutes, c.want_limit);
        EXPECT_EQ(out.title, c.want_title);
        EXPECT_EQ(out.source, c.source);
    }
    // Texts the tail cannot hold whole are refused, as are control characters.
    Evac_choices out;
    std::string long_title;
    for (int i = 0; i < 43; ++i) long_title += "避";
    EXPECT_NE(Evac_choices_parse("43", 3, "", long_title, "", out), "");
    EXPECT_NE(Evac_choices_parse("43", 3, "", "x", long_title, out), "");
    EXPECT_NE(Evac_choices_parse("43", 3, "", "a\nb", "", out), "");
    std::string fits;
    for (int i = 0; i < 42; ++i) fits += "避";
    EXPECT_EQ(Evac_choices_parse("43", 3, "", fits, "", out), "");
    // The dialog's texts read back as the same choice.
    for (const Evac_speed_preset& p : Evac_speed_presets) {
        ASSERT_EQ(Evac_choices_parse(Evac_speed_text(p.speed), 3, "", "", "", out), "");
        EXPECT_EQ(out.speed, p.speed);
    }
    EXPECT_EQ(Evac_speed_text(52.5), "52.5 m/分");
    EXPECT_EQ(Evac_band_text(3), "3分");
}

TEST_F(Evac_view_test, ImageSaveWritesThePageOfTheBatchCommand) {
    Temp_folder dir;
    const std::string path = dir.file("東町.png");
    seam.save_answer = path;
    seam.in_dialog = [&] { EXPECT_EQ(Evac_image_save(), 0); };
    Panel_command(Id_evac_map);
    ASSERT_EQ(seam.save_suggested.size(), 1u);
    EXPECT_NE(seam.save_suggested[0].find(Evac_image_file), std::string::npos);
    Page_setup a4;
    Text_font font;
    ASSERT_EQ(Text_font_load(font, Bytes_of(seam.font_path)), "");
    Evac_texts texts;
    texts.date = Evac_today_text();
    const Evac_page want = Evac_page_render(a4, map, Base_data, counts, Options(Evac_choices{}), texts, font);
    ASSERT_EQ(want.error, "");
    EXPECT_EQ(want.w, 1754);  // A4 landscape at 150 dpi
    EXPECT_EQ(Bytes_of(path), Png_bytes(want.picture));
    // Cancelled: nothing written, nothing said.
    seam.save_answer.reset();
    const size_t boxes = fake.boxes.size();
    EXPECT_EQ(Evac_image_save(), 1);
    EXPECT_EQ(fake.boxes.size(), boxes);
    // A file that cannot be written: said, and nothing else changes.
    seam.save_answer = dir.file("no-such-folder/x.png");
    EXPECT_EQ(Evac_image_save(), 1);
    ASSERT_EQ(fake.boxes.size(), boxes + 1);
    EXPECT_EQ(fake.boxes.back().text.rfind(Evac_save_failed_text, 0), 0u);
}

TEST_F(Evac_view_test, ASaveWritesThePageBesideTheDataFiles) {
    Page_setup a4;
    Text_font font;
    ASSERT_EQ(Text_font_load(font, Bytes_of(seam.font_path)), "");
    Evac_texts texts;
    texts.date = Evac_today_text();
    const Evac_page want = Evac_page_render(a4, map, Base_data, counts, Options(Evac_choices{}), texts, font);
    ASSERT_EQ(want.error, "");
    {
        Temp_folder dir;
        fake.folder_answers = {dir.str()};
        Panel_command(Id_save);
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_EQ(Bytes_of(dir.file(Evac_image_file)), Png_bytes(want.picture));
        bool current = false;
        EXPECT_EQ(Data_load_from(dir.str(), &current), 0);  // the page is no part of the data
        EXPECT_TRUE(current);
    }
    {
        // The page cannot be written: said, and the data files are saved all the same.
        Temp_folder dir;
        std::filesystem::create_directory(dir.file(Evac_image_file));
        fake.folder_answers = {dir.str()};
        Panel_command(Id_save);
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text.rfind(Evac_save_failed_text, 0), 0u);
        EXPECT_NE(fake.boxes[0].text.find(Evac_beside_kept_text), std::string::npos);
        EXPECT_TRUE(Data_folder_check(dir.str()).empty());
        fake.boxes.clear();
    }
    {
        // No route for the markers saved: no page.
        {
            std::lock_guard lock(Markers_lock);
            Base_data.Evac_x[0] = 30;
        }
        Temp_folder dir;
        fake.folder_answers = {dir.str()};
        Panel_command(Id_save);
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_TRUE(std::filesystem::exists(dir.file("base.dat")));
        EXPECT_FALSE(std::filesystem::exists(dir.file(Evac_image_file)));
    }
}

TEST_F(Evac_view_test, PrintShowsThePageForThePaperThenPrintsItAtThePrintersResolution) {
    struct Case {
        const char* what;
        std::optional<Page_setup> printer;
        int answer;
        std::string printer_says;
        int result;
        size_t printed, drops, boxes;
    } cases[] = {
        {"A4 portrait at 300 dpi, yes", Page_setup{Paper::A4, false, 300}, Answer_yes, "", 0, 1, 0, 1},
        {"A3 landscape at 600 dpi, yes", Page_setup{Paper::A3, true, 600}, Answer_yes, "", 0, 1, 0, 1},
        {"the page shown, no", Page_setup{Paper::A4, true, 300}, Answer_no, "", 1, 0, 1, 1},
        {"the print dialog cancelled", std::nullopt, Answer_yes, "", 1, 0, 0, 0},
        {"the printer refuses", Page_setup{Paper::A4, false, 300}, Answer_yes, "out of paper", 1, 1, 0, 2},
    };
    Panel_command(Id_evac_map);
    ASSERT_TRUE(Evac_shown());
    const Point map_shown = Shown_size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        seam.printer = c.printer;
        seam.print_error = c.printer_says;
        seam.pages_printed.clear();
        seam.shown_at_print.clear();
        seam.drops = 0;
        fake.boxes.clear();
        fake.box_answers = {c.answer};
        EXPECT_EQ(Evac_print(), c.result);
        EXPECT_EQ(seam.pages_printed.size(), c.printed);
        EXPECT_EQ(seam.drops, int(c.drops));
        ASSERT_EQ(fake.boxes.size(), c.boxes);
        if (c.boxes > 0) {
            EXPECT_EQ(fake.boxes[0].text, Evac_print_question);
        }
        if (c.boxes > 1) {
            EXPECT_NE(fake.boxes[1].text.find("out of paper"), std::string::npos);
        }
        if (c.printed) {
            int32_t w, h, pw, ph;
            Page_size(*c.printer, w, h);
            EXPECT_EQ(seam.pages_printed[0], (Point{w, h}));
            // Meanwhile the window showed the same sheet at the least resolution.
            Page_size({c.printer->paper, c.printer->landscape, Page_dpi_min}, pw, ph);
            EXPECT_EQ(seam.shown_at_print[0], (Point{pw, ph}));
        }
        // Afterwards the evacuation map again.
        EXPECT_EQ(Shown_size(), map_shown);
        EXPECT_EQ(fake.fitted, map_shown);
    }
}

}  // namespace
