// The control panel's logic: which buttons respond in which state, the help
// line in its caption, and the dispatch of its commands to the subsystems.
// The dialog itself (dialog 107) is the platform's; it calls Panel_init when
// the dialog starts, Help_line for the control under the cursor and
// Panel_command for every button.
//
// Owns: Panel_state, Route_busy, Help_last_id.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "resources/resource_ids.h"

// Control ids of dialog 107 (resources/resource_ids.h).
enum Panel_control : int {
    Id_evac = Rid_evac,
    Id_quit = Rid_quit,
    Id_cong = Rid_cong,
    Id_nopass = Rid_nopass,
    Id_route_build = Rid_route_build,
    Id_route_check = Rid_route_check,
    Id_save = Rid_save,
    Id_load = Rid_load,
    Id_delete = Rid_delete,
    Id_about = Rid_about,
    Id_steps = Rid_steps,
    Id_calories = Rid_calories,
    Id_distance = Rid_distance,
    Id_minutes = Rid_minutes,
    Id_scale_100 = Rid_scale_100,
    Id_scale_200 = Rid_scale_200,
    Id_evac_map = Rid_evac_map,  // "避難地図": offered exactly when "ルート検証" is
    Id_scale_measure = Rid_scale_measure,  // "縮尺測定": offered with the marking tools
    Id_scale_text = Rid_scale_text,
};

// Panel_state bits.
inline constexpr uint32_t Panel_ready = 1;         // set up by an enabling state
inline constexpr uint32_t Panel_map_captured = 2;  // a map has been captured or loaded

extern std::atomic<uint32_t> Panel_state;
extern std::atomic<int> Route_busy;
extern std::atomic<int> Help_last_id;

// WM_INITDIALOG's share of the core: empty marker sets, scale boxes, state 1.
void Panel_init();

// Enabling states 1, 2, 10, 11 and 22 of the control panel.
void Panel_enable(int state);

// 1: the route is out of date (build enabled, display disabled); 0: current.
void Route_stale(int flag);

// The help text of a control, or nullptr when it has none.
const char* Help_text(int id, bool map_captured);
inline constexpr const char* Help_default =
    "ｽﾀｰﾄ -> 地図の道路を右ｸﾘｯｸで実行します、ｶﾛﾘｰ等は目安です。 ";

// The cursor stands on the control with this id (0: on no control).
void Help_line(int id);

// A button of the panel was pressed. Returns what the dialog procedure returns.
int Panel_command(int id);

// Texts of the panel.
inline constexpr const char* Text_capture = "ﾏｯﾌﾟ初期設定";
inline constexpr const char* Text_evac = "避難場所設定";
inline constexpr const char* Text_save = "保存";
inline constexpr const char* Text_saving = "保存中...";
inline constexpr const char* Text_route_building = "ルート作成中...";

// What the features tell the shell, installed by Shell_start: the marker sets
// changed (the route is out of date; the markers are kept), a load finished.
void Shell_markers_changed();
void Shell_loaded(bool route_current);

// Shows the scale on the panel: its name, and the 100 m / 200 m boxes
// checked as the flag says unless a scale measured on the map replaces them.
void Scale_show();
// The end of a measurement of the scale ("縮尺測定"): the panel shows the
// scale and the help line says what was set.
void Shell_scale_measured(bool measured);

// Writes the walking figures of a route of `length` pixels, for the current
// Scale_flag, into the panel's fields, in the order distance, steps, time,
// calories. The route display calls it (its figures listener).
void Walk_stats(int32_t length);

// The run as the user sees it end to end: at start, an offer of the last
// work when the run before did not end regularly (a crash, a power cut), and
// at the end a question when there are changes that were not saved. The
// working folder (the program folder) holds the last capture, and the
// markers are kept there after every change (Markers_keep), so the last work
// survives a crash. A file "running" in the working sub-folder "tovi" says
// that a run has not ended regularly yet. Session_start is called once the
// panel is up; Quit_request for "終了" and either close box.
// Offers the last work if the run before did not end regularly, then marks
// this run as running, and has the markers kept in the working folder.
void Session_start();

// A regular end asked for: with unsaved changes, asks whether to save them
// first (はい: save, then end; いいえ: end; キャンセル: go on). Returns only
// when the program goes on (cancelled, or the save did not happen).
void Quit_request(int owner);

inline constexpr const char* Session_running_file = "running";
inline constexpr const char* Quit_question = "保存されていない変更があります。終了する前に保存しますか？";
inline constexpr const char* Recover_question =
    "前回の Tovi は正しく終了しませんでした。最後に取り込んだ地図と設定を読み込みますか？";
