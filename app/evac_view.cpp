// The evacuation map in the program. Runs on the control panel's thread (the
// button, the dialog it opens, the panel's other commands), so the shown
// state needs no lock of its own; the pictures and records it reads are
// taken under their locks.
#include "app/evac_view.h"

#include "app/scale_measure.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "map/grid.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/tools.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/shell_flags.h"
#include "platform/typed_text.h"
#include "route/render.h"
#include "route/travel_time.h"
#include "route/wave.h"
#include "storage/data_folder.h"
#include "storage/file_io.h"

Evac_choices Evac_last;

namespace {

Evac_seam* Seam = nullptr;

// The state while the evacuation map is shown: the walk of every pixel
// (the route cannot change meanwhile: every command that could change it
// goes back to the plain map first) and the font.
bool Shown = false;
std::vector<int32_t> Counts;
Text_font Font;
// Whether Evac_last has been read from its file in this run.
bool Last_read = false;
// The other version while the comparison is shown: its map, the walk of
// every pixel and the folder it came from (its tables are let go of once
// the walks are counted).
struct Other_version {
    bool shown = false;
    Image map;
    std::vector<int32_t> counts;
    std::string name;
} Other;

std::string Number_text(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

Evac_options Options_of(const Evac_choices& c) {
    Evac_options o;
    o.speed = c.speed;
    o.band_minutes = c.band_minutes;
    o.limit_minutes = c.limit_minutes;
    o.scale = Scale_now();
    return o;
}

Evac_choices Choices_now() {
    if (!Last_read) Evac_last_read();
    Base_tail tail;
    {
        std::lock_guard lock(Markers_lock);
        tail = Tail_read(Base_data);
    }
    return Evac_choices_of(tail, Evac_last);
}

// Keeps the choices with the work (its base.dat tail, written by the next
// save) and as the last used. The tail is only written for choices other
// than the ones the work shows already: a change of the tail counts as a
// change of the work that "終了" asks about, and merely looking at the map
// changes nothing.
void Choices_keep(const Evac_choices& c) {
    const Evac_choices before = Evac_last;
    Evac_last = c;
    std::lock_guard lock(Markers_lock);
    Base_tail tail = Tail_read(Base_data);
    if (Evac_choices_of(tail, before) == c) return;
    Evac_choices_into(tail, c);
    Tail_write(Base_data, tail);
}

// The records and sets of now, for a drawing.
void Work_now(Image& map, Base_record& sets) {
    {
        std::lock_guard lock(Markers_lock);
        sets = Base_data;
    }
    std::lock_guard lock(Shown_lock);
    map = Map_image;
}

// A drawn picture becomes the shown map, the main window fitted to it; the
// drawing's error instead when it failed ("" when shown).
std::string Show_drawn(const std::string& error, Image& picture) {
    if (!error.empty()) return error;
    const int32_t w = picture.w, h = picture.h;
    {
        std::lock_guard lock(Shown_lock);
        Shown_map = std::move(picture);
    }
    Plat().Fit_main_window(w, h);
    Plat().Main_window_refresh();
    return "";
}

// Draws the map for the choices into the shown map; "" when drawn.
std::string Draw(const Evac_choices& c) {
    Image map;
    Base_record sets;
    Work_now(map, sets);
    Evac_texts texts;
    texts.title = c.title;
    texts.source = c.source;
    texts.date = Evac_today_text();
    Evac_render r = Evac_map_render(map, sets, Counts, Options_of(c), texts, Font);
    return Show_drawn(r.error, r.picture);
}

// Draws the comparison for the choices into the shown map; "" when drawn.
std::string Draw_compare(const Evac_choices& c) {
    Image map;
    Base_record sets;
    Work_now(map, sets);
    Evac_texts texts;
    texts.title = Evac_compare_title;
    texts.source = c.source;
    texts.date = Evac_today_text();
    Evac_comparison r = Evac_compare_render(Other.map, Other.counts, map, sets, Counts, Options_of(c), texts,
                                            Other.name, Evac_compare_now_name, Font);
    return Show_drawn(r.error, r.picture);
}

// What is shown, drawn again for the choices.
std::string Redraw(const Evac_choices& c) { return Other.shown ? Draw_compare(c) : Draw(c); }

// A drawing's error in the user's words.
std::string Draw_error_text(const std::string& error) {
    if (error.find("too long") != std::string::npos) return "題名か出典が長すぎます。短くしてください。";
    return Evac_draw_failed_text + error;
}

bool Font_ready() {
    if (Font.ok()) return true;
    std::string why = Seam ? Seam->Font_load(Font) : "no font source";
    if (!why.empty()) {
        Plat().Message_box(std::string(Evac_no_font_text) + "\n" + why, Confirm_caption, Box_ok, Owner_panel);
        return false;
    }
    return true;
}

}  // namespace

std::string Evac_speed_text(double speed) {
    for (const Evac_speed_preset& p : Evac_speed_presets)
        if (p.speed == speed) return p.text;
    return Number_text(speed) + " m/分";
}

std::string Evac_band_text(int32_t minutes) { return std::to_string(minutes) + "分"; }

std::string Evac_choices_parse(const std::string& speed_text, int32_t band_minutes, const std::string& limit_text,
                               const std::string& title_text, const std::string& source_text, Evac_choices& out) {
    Evac_choices c;
    // The speed: a number, then nothing, or the unit and a preset's words.
    const std::string speed = Typed_half_width(Typed_trim(speed_text));
    size_t n = 0;
    int dots = 0;
    while (n < speed.size() && ((speed[n] >= '0' && speed[n] <= '9') || speed[n] == '.')) dots += speed[n++] == '.';
    const std::string rest = Typed_trim(speed.substr(n));
    const bool unit_ok = rest.empty() || rest.rfind("m/分", 0) == 0 || rest.rfind("m", 0) == 0;
    double v = 0;
    if (n == 0 || dots > 1 || speed.substr(0, n) == "." || !unit_ok) return "歩行速度は、１分に歩くメートル数を数字で入れてください（例：43）。";
    auto [p, ec] = std::from_chars(speed.data(), speed.data() + n, v);
    if (ec != std::errc() || p != speed.data() + n || !(v > 0) || v > Evac_speed_max || !std::isfinite(v))
        return "歩行速度は、0より大きく1000以下の m/分 で入れてください。";
    c.speed = v;
    if (band_minutes < 1 || band_minutes > 600) return "時間の幅は1分以上で選んでください。";
    c.band_minutes = band_minutes;
    const std::string limit = Typed_half_width(Typed_trim(limit_text));
    if (limit.empty()) {
        c.limit_minutes = 0;
    } else {
        int32_t m = 0;
        auto [q, ec2] = std::from_chars(limit.data(), limit.data() + limit.size(), m);
        if (ec2 != std::errc() || q != limit.data() + limit.size() || m < 1 || m > Evac_limit_max)
            return "制限時間は1から6000までの分数で入れてください（なしは空欄）。";
        c.limit_minutes = m;
    }
    const std::string title = Typed_trim(title_text), source = Typed_trim(source_text);
    c.title = title.empty() ? Evac_choices{}.title : title;
    c.source = source;
    if (c.title.size() >= size_t(Tail_title_bytes)) return "題名が長すぎます（全角で42文字まで）。";
    if (c.source.size() >= size_t(Tail_title_bytes)) return "出典が長すぎます（全角で42文字まで）。";
    // Texts that end within a character when cut would be lost on a save.
    for (const std::string* s : {&c.title, &c.source})
        for (char32_t cp : Utf8_decode(*s))
            if (cp == U'\uFFFD' || cp < 0x20) return "題名と出典には、表示できる文字だけを入れてください。";
    out = c;
    return "";
}

Evac_choices Evac_choices_of(const Base_tail& tail, const Evac_choices& last) {
    Evac_choices c = last;
    // The layout knows no "unset" limit: 0 is none, in every folder.
    c.limit_minutes = 0;
    if (!tail.marked()) return c;
    if (tail.speed > 0 && tail.speed <= Evac_speed_max && std::isfinite(tail.speed)) c.speed = tail.speed;
    if (tail.band_minutes > 0 && tail.band_minutes <= 600) c.band_minutes = tail.band_minutes;
    c.limit_minutes = tail.limit_minutes > 0 && tail.limit_minutes <= Evac_limit_max ? tail.limit_minutes : 0;
    if (!tail.title.empty()) c.title = tail.title;
    if (!tail.source.empty()) c.source = tail.source;
    return c;
}

void Evac_choices_into(Base_tail& tail, const Evac_choices& c) {
    if (!tail.marked()) {
        tail = Base_tail{};
        tail.mark = Tail_mark;
        tail.version = Tail_version;
    }
    tail.speed = c.speed;
    tail.band_minutes = c.band_minutes;
    tail.limit_minutes = c.limit_minutes;
    tail.title = c.title;
    tail.source = c.source;
}

namespace {

std::string Last_path() {
    if (Exe_folder.empty()) return "";
    return Path_join(Path_join(Exe_folder, "tovi"), Evac_last_file);
}

// The largest file of choices that can be sound: five short lines.
constexpr size_t Last_file_max = 4096;

}  // namespace

std::string Evac_last_text(const Evac_choices& c) {
    char speed[64];
    // Enough digits that the speed reads back as the same number.
    std::snprintf(speed, sizeof speed, "%.17g", c.speed);
    return std::string("speed=") + speed + "\nband=" + std::to_string(c.band_minutes) +
           "\nlimit=" + std::to_string(c.limit_minutes) + "\ntitle=" + c.title + "\nsource=" + c.source + "\n";
}

bool Evac_last_parse(const std::string& text, Evac_choices& out) {
    const char* const keys[] = {"speed", "band", "limit", "title", "source"};
    std::string value[5];
    bool seen[5] = {};
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            if (line.empty()) continue;
            return false;
        }
        // Lines of other names (a later version's) are passed over.
        for (int k = 0; k < 5; ++k) {
            if (line.compare(0, eq, keys[k]) != 0 || eq != std::char_traits<char>::length(keys[k])) continue;
            if (seen[k]) return false;
            seen[k] = true;
            value[k] = line.substr(eq + 1);
        }
    }
    for (bool s : seen)
        if (!s) return false;
    int32_t band = 0, limit = 0;
    for (auto [text_of, v] : {std::pair{&value[1], &band}, std::pair{&value[2], &limit}}) {
        const std::string& t = *text_of;
        auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), *v);
        if (t.empty() || ec != std::errc() || p != t.data() + t.size()) return false;
    }
    if (limit < 0) return false;
    Evac_choices c;
    // The same checks as the dialog's: a file can hold nothing the user could not type.
    if (!Evac_choices_parse(value[0], band, limit == 0 ? "" : std::to_string(limit), value[3], value[4], c).empty())
        return false;
    out = c;
    return true;
}

void Evac_last_read() {
    Last_read = true;
    const std::string path = Last_path();
    std::vector<uint8_t> bytes;
    if (path.empty() || !File_read_whole(path, bytes, Last_file_max)) return;
    Evac_choices c;
    if (Evac_last_parse(std::string(bytes.begin(), bytes.end()), c)) Evac_last = c;
}

void Evac_last_write() {
    const std::string path = Last_path();
    if (path.empty()) return;
    const std::string text = Evac_last_text(Evac_last);
    std::vector<uint8_t> bytes;
    if (File_read_whole(path, bytes, Last_file_max) && std::string(bytes.begin(), bytes.end()) == text) return;
    std::error_code ec;
    std::filesystem::create_directories(Fs_path(Path_join(Exe_folder, "tovi")), ec);
    File_replace(path, text.data(), text.size());
}

void Evac_seam_install(Evac_seam* seam) {
    Seam = seam;
    Font = Text_font{};  // the next font comes from this seam
}

bool Evac_route_current() {
    int32_t total;
    uint64_t markers;
    {
        std::lock_guard lock(Markers_lock);
        total = Base_data.Road_rec_total;
        markers = Markers_sum(Base_data);
    }
    return total > 0 && Route_markers_sum.load() == markers;
}

bool Evac_shown() { return Shown; }

bool Evac_compared() { return Shown && Other.shown; }

int Evac_map_command() {
    if (Shown) {
        Evac_map_leave();
        return 1;
    }
    // The route display paints into the shown map: it ends first.
    Tool_stop();
    if (!Evac_route_current()) {
        Plat().Message_box(Evac_no_route_text, Confirm_caption, Box_ok, Owner_panel);
        return 1;
    }
    if (!Font_ready()) return 1;
    int32_t total, two;
    {
        std::lock_guard lock(Markers_lock);
        total = Base_data.Road_rec_total;
        two = Base_data.Evac_n == 2;
    }
    Travel_counts(total, two, Counts);
    const Evac_choices c = Choices_now();
    std::string error = Draw(c);
    if (!error.empty()) {
        // Choices kept with the work that no longer fit: the defaults instead.
        error = Draw(Evac_choices{});
        if (!error.empty()) {
            Counts.clear();
            Plat().Message_box(Draw_error_text(error), Confirm_caption, Box_ok, Owner_panel);
            return 1;
        }
        Choices_keep(Evac_choices{});
    } else {
        Choices_keep(c);
    }
    Shown = true;
    if (Seam) Seam->Choices_dialog(Choices_now());
    Evac_last_write();
    return 0;
}

void Evac_map_leave() {
    if (!Shown) return;
    Shown = false;
    Counts.clear();
    Counts.shrink_to_fit();
    Other = Other_version{};
    Map_restore();
    int32_t w, h;
    {
        std::lock_guard lock(Shown_lock);
        w = Map_image.w, h = Map_image.h;
    }
    Plat().Fit_main_window(w, h);
    Plat().Main_window_refresh();
}

std::string Evac_apply(const Evac_choices& c) {
    if (!Shown) return "";
    const std::string error = Redraw(c);
    if (!error.empty()) return Draw_error_text(error);
    Choices_keep(c);
    return "";
}

void Evac_scale_changed() {
    if (Shown) Redraw(Choices_now());
}

namespace {

void Compare_refused(const std::string& folder, const std::string& why) {
    Plat().Message_box(std::string(Evac_compare_failed_text) + folder + "\n" + why + "\n" + Load_kept_text,
                       Confirm_caption, Box_ok, Owner_panel);
}

}  // namespace

int Evac_compare_command() {
    if (!Shown || !Evac_route_current() || !Font_ready()) return 1;
    // The folder compared with is no folder to save into: "保存" keeps its own.
    const std::string save_folder = Data_folder;
    std::string folder;
    const int picked = Folder_pick(Owner_panel, folder, false);
    Data_folder = save_folder;
    if (picked != 0) return 1;
    Other_version other;
    {
        // Into buffers of its own (not the grid's), let go of at the end of
        // this scope: the 88 MB of tables are needed only for the walks.
        Folder_content content;
        const Folder_problems problems = Data_folder_check(folder, &content);
        bool only_sums = content.complete;
        for (const Folder_problem& p : problems) only_sums &= p.checksum;
        std::string why;
        for (size_t i = 0; i < problems.size() && i < 10; ++i) why += (i ? "\n" : "") + problems[i].text;
        if (!content.complete || (!problems.empty() && !only_sums)) {
            if (why.empty()) why = "このフォルダの作業を読めません。";
            Compare_refused(folder, why);
            return 1;
        }
        // Files that are whole but were not saved together: the user decides,
        // as for a load (a comparison changes nothing either way).
        if (!problems.empty() &&
            Plat().Message_box(folder + "\n" + why + "\n\n" + Evac_compare_mismatch_question, Confirm_caption,
                               Box_yes_no, Owner_panel) != Answer_yes)
            return 1;
        if (!content.route_current) {
            Compare_refused(folder, Evac_compare_no_route_text);
            return 1;
        }
        int32_t w, h;
        {
            std::lock_guard lock(Shown_lock);
            w = Map_image.w, h = Map_image.h;
        }
        if (content.map.w != w || content.map.h != h) {
            Compare_refused(folder, std::string(Evac_compare_size_text) + "（" + std::to_string(content.map.w) + " × " +
                                        std::to_string(content.map.h) + "、今の作業は " + std::to_string(w) + " × " +
                                        std::to_string(h) + "）");
            return 1;
        }
        const Route_tables tables{{reinterpret_cast<const Wave_rec*>(content.tables(0)),
                                   reinterpret_cast<const Wave_rec*>(content.tables(1))},
                                  content.tables(2)};
        Travel_counts_of(tables, content.base.Road_rec_total, content.base.Evac_n == 2, other.counts);
        other.map = std::move(content.map);
    }
    other.name = folder;
    other.shown = true;
    Other_version before = std::move(Other);
    Other = std::move(other);
    const std::string error = Draw_compare(Choices_now());
    if (!error.empty()) {
        // The map stays as it was.
        Other = std::move(before);
        Plat().Message_box(Draw_error_text(error), Confirm_caption, Box_ok, Owner_panel);
        return 1;
    }
    return 0;
}

std::string Evac_today_text() {
    const std::time_t now = std::time(nullptr);
    const std::tm* t = std::localtime(&now);
    if (!t) return "";
    return std::to_string(t->tm_year + 1900) + "年" + std::to_string(t->tm_mon + 1) + "月" + std::to_string(t->tm_mday) + "日";
}

Evac_page Evac_page_now(const Page_setup& setup) {
    Evac_page pg;
    if (!Font.ok() && Seam) Seam->Font_load(Font);
    Image map;
    Base_record sets;
    Work_now(map, sets);
    std::vector<int32_t> counts = Counts;
    if (counts.empty()) Travel_counts(sets.Road_rec_total, sets.Evac_n == 2, counts);
    const Evac_choices c = Choices_now();
    Evac_texts texts;
    texts.title = c.title;
    texts.source = c.source;
    texts.date = Evac_today_text();
    return Evac_page_render(setup, map, sets, counts, Options_of(c), texts, Font);
}

namespace {

// The A4 landscape page at 150 dpi, as tovi-cli render --paper A4 writes it,
// into path. 0 = written; 1 = not (a message said why, ending with tail).
int Page_write(const std::string& path, const std::string& tail) {
    if (!Font_ready()) return 1;
    Page_setup setup;
    setup.paper = Paper::A4;
    setup.landscape = true;
    setup.dpi = 150;
    const Evac_page pg = Evac_page_now(setup);
    if (!pg.error.empty()) {
        Plat().Message_box(Draw_error_text(pg.error) + tail, Confirm_caption, Box_ok, Owner_panel);
        return 1;
    }
    if (!Png_write(pg.picture, path)) {
        Plat().Message_box(std::string(Evac_save_failed_text) + "\n" + path + tail, Confirm_caption, Box_ok,
                           Owner_panel);
        return 1;
    }
    return 0;
}

}  // namespace

int Evac_image_save() {
    if (!Seam || !Evac_route_current()) return 1;
    const std::string folder = Data_folder.empty() ? Exe_folder : Data_folder;
    std::string path;
    if (!Seam->Save_path_pick(Path_join(folder, Evac_image_file), path)) return 1;
    if (Page_write(path, "") != 0) return 1;
    Plat().Beep();
    return 0;
}

int Evac_page_beside(const std::string& folder) {
    if (folder.empty() || !Evac_route_current()) return 0;
    return Page_write(Path_join(folder, Evac_image_file), std::string("\n") + Evac_beside_kept_text);
}

int Evac_print() {
    if (!Seam || !Evac_route_current() || !Font_ready()) return 1;
    Page_setup setup;
    if (!Seam->Print_choose(setup)) return 1;
    // The page for that paper and orientation at the least resolution, so
    // that the whole sheet shows.
    Page_setup preview = setup;
    preview.dpi = Page_dpi_min;
    Evac_page pv = Evac_page_now(preview);
    std::string why = pv.error;
    int answer = Answer_no;
    if (why.empty()) {
        const int32_t w = pv.picture.w, h = pv.picture.h;
        {
            std::lock_guard lock(Shown_lock);
            Shown_map = std::move(pv.picture);
        }
        Plat().Fit_main_window(w, h);
        Plat().Main_window_refresh();
        answer = Plat().Message_box(Evac_print_question, Confirm_caption, Box_yes_no, Owner_panel);
    }
    if (why.empty() && answer == Answer_yes) {
        const Evac_page pg = Evac_page_now(setup);
        why = pg.error.empty() ? Seam->Print_page(pg) : pg.error;
        if (!pg.error.empty()) Seam->Print_drop();
    } else {
        Seam->Print_drop();
    }
    // The evacuation map (or the comparison) again, as it was before the page.
    if (Shown) Redraw(Choices_now());
    if (!why.empty()) {
        Plat().Message_box(std::string(Evac_print_failed_text) + why, Confirm_caption, Box_ok, Owner_panel);
        return 1;
    }
    return answer == Answer_yes ? 0 : 1;
}
