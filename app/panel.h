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

// Control ids of dialog 107.
enum Panel_control : int {
    Id_evac = 1,        // "ﾏｯﾌﾟ初期設定" until a map exists, then "避難場所設定"
    Id_quit = 2,        // "終了"
    Id_cong = 3,        // "混雑設定"
    Id_nopass = 4,      // "通行禁止"
    Id_route_build = 5, // "ルート作成"
    Id_route_check = 6, // "ルート検証"
    Id_save = 7,        // "保存"
    Id_load = 8,        // "読み込み"
    Id_delete = 9,      // "設定削除"
    Id_about = 10,      // "About"
    Id_steps = 1003,
    Id_calories = 1004,
    Id_distance = 1005,
    Id_minutes = 1031,
    Id_scale_100 = 1023,
    Id_scale_200 = 1024,
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
