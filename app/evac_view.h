// The evacuation map in the program: the panel's "避難地図" shows the map of
// the current work (route/evac_map.h) in the main window, every reached
// street in its band's colour with the legend beside the map, in place of
// the plain map; pressing it again, or any other command of the panel, goes
// back to the plain map. The choices (walking speed, band width, time limit,
// title, source line) are kept with the work in base.dat's tail
// (storage/base_tail.h); a field the work leaves at zero takes the choice
// used last. "画像保存" writes the page that tovi-cli render --paper A4 writes.
//
// What only the system can do (the UI font's bytes, the choices dialog, the
// save dialog, the printer) comes through Evac_seam, which the Win32 layer
// installs and the tests script.
//
// "比較..." in the dialog shows the comparison with another version of the
// work, read from a folder the user picks into memory of its own.
//
// Owns: Evac_last, the shown state and its counts, the other version while
// compared. Runs on the control panel's thread. Called by: the control
// panel, the choices dialog, tests.
#pragma once
#include <atomic>
#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <string>
#include <vector>

#include "map/image.h"
#include "route/evac_map.h"
#include "route/text_render.h"
#include "storage/base_tail.h"

// The choices of the evacuation map.
struct Evac_choices {
    double speed = 43.0;          // metres a minute
    int32_t band_minutes = 3;
    int32_t limit_minutes = 0;    // 0: no limit
    std::string title = "避難地図";
    std::string source;           // the map's source; no source line when empty
    bool operator==(const Evac_choices&) const = default;
};

// The walking speeds and band widths the dialog offers, the default first.
struct Evac_speed_preset {
    double speed;
    const char* text;
};
inline constexpr Evac_speed_preset Evac_speed_presets[] = {
    {43.0, "43 m/分 高齢者"}, {60.0, "60 m/分"}, {70.0, "70 m/分"}, {30.0, "30 m/分 要支援者"}};
inline constexpr int32_t Evac_band_presets[] = {3, 1, 5};
inline constexpr double Evac_speed_max = 1000.0;
inline constexpr int32_t Evac_limit_max = 6000;

// How the dialog shows a speed: the preset's text, or "52.5 m/分".
std::string Evac_speed_text(double speed);
// How it shows a band width: "3分".
std::string Evac_band_text(int32_t minutes);

// The dialog's texts as choices: the speed as a number of metres a minute,
// optionally followed by the rest of a preset's text ("43 m/分 高齢者",
// "50", "50 m/分"); the band width; the limit as whole minutes or empty for
// none; the title (empty: "避難地図") and the source line, each at most what
// the tail holds. "" with the choices in out, otherwise what is wrong, in
// the user's words (out unchanged).
std::string Evac_choices_parse(const std::string& speed, int32_t band_minutes, const std::string& limit,
                               const std::string& title, const std::string& source, Evac_choices& out);

// The work's choices from its tail, a field at zero (or empty) taking the one
// of last; the time limit is the tail's own, 0 (and so any folder of earlier
// versions) being no limit.
Evac_choices Evac_choices_of(const Base_tail& tail, const Evac_choices& last);
// The choices into a tail (marked, so that a save keeps them).
void Evac_choices_into(Base_tail& tail, const Evac_choices& c);

// The choices used last, in this run or an earlier one: read from
// Evac_last_file once, at the first showing of the map, and written there
// when the choices dialog closes with other choices than the file holds.
extern Evac_choices Evac_last;

// The file of the last choices, in the working folder's "tovi" sub-folder:
// UTF-8 lines "speed=43", "band=3", "limit=0", "title=...", "source=...".
inline constexpr const char* Evac_last_file = "evac_map.txt";
// The file's text for the choices, and the choices of a text: false (out
// unchanged) for a text that is not a whole, sound set of choices.
std::string Evac_last_text(const Evac_choices& c);
bool Evac_last_parse(const std::string& text, Evac_choices& out);
// Evac_last from the file; a missing or bad file leaves it as it is (the
// defaults at start) and says nothing: the file is only a convenience.
void Evac_last_read();
// The file from Evac_last; a failure to write is silent for the same reason.
void Evac_last_write();

// What only the system does for the evacuation map.
struct Evac_seam {
    virtual ~Evac_seam() = default;
    // A font with Japanese glyphs for the texts: "" when loaded, else why not.
    virtual std::string Font_load(Text_font& font) = 0;
    // The choices dialog, modal; it calls Evac_apply when a choice changes
    // and Evac_image_save, Evac_print for its buttons. Returns when closed.
    virtual void Choices_dialog(const Evac_choices& now) = 0;
    // The save dialog for a PNG file: true with the path in out.
    virtual bool Save_path_pick(const std::string& suggested, std::string& out) = 0;
    // The system's print dialog: true with the chosen printer's paper,
    // orientation and resolution in setup, the printer kept for Print_page
    // or Print_drop; false when cancelled.
    virtual bool Print_choose(Page_setup& setup) = 0;
    // One page on the printer chosen, fitted to its sheet: "" when printed,
    // else why not. The printer is let go of either way.
    virtual std::string Print_page(const Evac_page& page) = 0;
    // Lets go of the printer chosen without printing.
    virtual void Print_drop() = 0;
};
void Evac_seam_install(Evac_seam* seam);

// Whether the records are a route built for the markers shown.
bool Evac_route_current();
// Whether the main window shows the evacuation map (or its comparison).
bool Evac_shown();
// Whether it shows the comparison with another version of the work.
bool Evac_compared();

// The panel's "避難地図": shows the map and opens the choices dialog, or,
// when it is shown, goes back to the plain map. 0 when shown.
int Evac_map_command();
// Back to the plain map when the evacuation map is shown (any other command).
void Evac_map_leave();
// A choice changed in the dialog: the map is drawn again at once and the
// choices are kept with the work. "" when drawn, otherwise what is wrong
// (the map stays as it was).
std::string Evac_apply(const Evac_choices& c);
// The scale of the map changed on the panel: drawn again when shown.
void Evac_scale_changed();

// "比較..." in the choices dialog: asks for a folder holding another version
// of the work with a built route and shows, in place of the evacuation map,
// where the walks of the current work are shorter or longer than that
// version's, with the figures of both (as tovi-cli compare draws it, the
// folder as the first version, the current work as the second), until
// "避難地図" is pressed again or any other command comes. The other version
// is read into memory of its own: the current work, its tables and the
// folder "保存" writes to stay as they were. A choice changed meanwhile
// draws the comparison again. 0 = shown; 1 = cancelled, or refused with a
// message (nothing changed).
int Evac_compare_command();

// The page of the current work and choices, as tovi-cli render --paper
// draws it, for a paper and resolution; today's date in the page.
Evac_page Evac_page_now(const Page_setup& setup);
// Today as the page shows it: "2026年12月10日".
std::string Evac_today_text();
// "画像保存": asks for a file and writes the A4 landscape page at 150 dpi as
// PNG. 0 = written; 1 = cancelled or failed (a message said why).
int Evac_image_save();
// "印刷": the print dialog, then the page for the chosen paper shown in the
// main window as it will print with a question, then the page at the
// printer's resolution on the printer; the map again after. 0 = printed;
// 1 = cancelled or failed (a message said why).
int Evac_print();
// After a save of the work into folder: with a route built for its markers,
// the page (as "画像保存" writes it) as 避難地図.png beside the data files,
// which are committed by then; a failure is said and leaves them alone
// (a load never reads the page). 0 = written or nothing to write.
int Evac_page_beside(const std::string& folder);

// Texts of the evacuation map in the program.
inline constexpr const char* Evac_button_text = "避難地図";
inline constexpr const char* Evac_help_text = " 避難場所までの徒歩時間で道路を色分けした避難地図を表示します。もう一度押すと地図に戻ります。";
inline constexpr const char* Evac_no_route_text = "ルートがありません。「ルート作成」のあとで表示できます。";
inline constexpr const char* Evac_no_font_text = "日本語の文字を表示できるフォントがありません。";
inline constexpr const char* Evac_draw_failed_text = "避難地図を描けません：";
inline constexpr const char* Evac_save_failed_text = "画像を保存できません。次のファイルを書き込めませんでした：";
inline constexpr const char* Evac_print_failed_text = "印刷できません：";
inline constexpr const char* Evac_image_file = "避難地図.png";
inline constexpr const char* Evac_beside_kept_text = "データは保存されています。";
inline constexpr const char* Evac_print_question = "この内容で印刷しますか？";
inline constexpr const char* Evac_compare_title = "避難地図の比較";
inline constexpr const char* Evac_compare_now_name = "今の作業";
inline constexpr const char* Evac_compare_shown_text = "比較を表示しています。「避難地図」を押すと地図に戻ります。";
inline constexpr const char* Evac_compare_failed_text = "比較できません：";
inline constexpr const char* Evac_compare_no_route_text =
    "このフォルダの作業にはルートがありません。「ルート作成」のあとで保存したフォルダを選んでください。";
inline constexpr const char* Evac_compare_mismatch_question =
    "このフォルダのファイルは、いっしょに保存されたものではないか、前の版の Tovi で保存し直されています。\nそれでも比較しますか？";
inline constexpr const char* Evac_compare_size_text = "地図の大きさが今の作業と違います。同じ地図の作業を選んでください。";
