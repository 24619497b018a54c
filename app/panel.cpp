// Control panel logic. Runs on the control panel's thread: Panel_command is
// called from the dialog procedure, so the commands without a thread of their
// own (capture, route wave, save) keep the panel busy until they return.
#include "app/panel.h"

#include "app/evac_view.h"
#include "app/scale_measure.h"

#include <atomic>

#include "platform/file_read.h"
#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/capture.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/platform.h"
#include "route/display.h"
#include "route/wave.h"
#include "storage/data_folder.h"
#include "route/walk_stats.h"
#include "storage/file_io.h"

std::atomic<uint32_t> Panel_state{0};
std::atomic<int> Route_busy{0};
std::atomic<int> Help_last_id{0};

namespace {

// One row of the enabling table: 'E' enable, 'D' disable, '-' unchanged.
struct Enable_row {
    int state;
    const char* marks;  // controls 1 2 3 4 5 6 7 8 9 10 and the scale pair
    const char* button1_text;
    uint32_t state_bit;
};

constexpr Enable_row Enable_table[] = {
    {1, "E-DDDDDED--", Text_capture, Panel_ready},
    {22, "E-EEDDEEE-D", Text_evac, Panel_map_captured},
    {2, "E-EE--EEE-D", Text_evac, Panel_map_captured},
    {10, "DDDDDDDDDD-", nullptr, Panel_ready},
    {11, "EEEE--EEEE-", nullptr, Panel_ready},
};

// The capture tool's thread body. The tool ends with a map, or without one
// when it was stopped.
void Capture_tool() {
    Map_capture(Tool_cancel_flag());
    if (Panel_state & Panel_map_captured) {
        Markers_redraw();
        Panel_enable(22);
    }
}

}  // namespace

void Panel_init() {
    Panel_state = 0;
    {
        std::lock_guard lock(Markers_lock);
        Base_data.Evac_n = 0;
        Base_data.Cong_n = 0;
        Base_data.Nopass_n = 0;
        Base_data.Road_rec_total = 0;
    }
    Scale_show();
    Panel_enable(1);
}

void Panel_enable(int state) {
    for (const Enable_row& row : Enable_table) {
        if (row.state != state) continue;
        static constexpr int ids[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        for (int i = 0; i < 10; ++i) {
            if (row.marks[i] == 'E') Plat().Enable_control(ids[i], true);
            if (row.marks[i] == 'D') Plat().Enable_control(ids[i], false);
        }
        // The evacuation map needs the route the display needs.
        if (row.marks[5] != '-') Plat().Enable_control(Id_evac_map, row.marks[5] == 'E');
        // The scale is measured on a map, whenever the marking tools may run.
        if (row.marks[2] != '-') Plat().Enable_control(Id_scale_measure, row.marks[2] == 'E');
        if (row.marks[10] != '-') {
            Plat().Enable_control(Id_scale_100, row.marks[10] == 'E');
            Plat().Enable_control(Id_scale_200, row.marks[10] == 'E');
        }
        if (row.button1_text) Plat().Set_control_text(Id_evac, row.button1_text);
        Panel_state |= row.state_bit;
        return;
    }
}

void Route_stale(int flag) {
    Plat().Enable_control(Id_route_check, flag == 0);
    Plat().Enable_control(Id_route_build, flag != 0);
    Plat().Enable_control(Id_evac_map, flag == 0);
}

const char* Help_text(int id, bool map_captured) {
    switch (id) {
    case 9: return " 避難場所、混雑ポイント、通行禁止ポイントの削除。終了は右クリック";
    case 3: return " 災害時、混雑が予想されるポイント。終了は右クリック";
    case 4: return " 災害時、通行禁止が予想されるポイント。終了は右クリック";
    case 1:
        return map_captured ? " 災害時に避難場所となる場所の白色道路上にて、左クリックを押してください。"
                            : " マップ上の白色道路上にて、右クリックを押してください、全道路をチェックします。";
    case 2: return " ﾌﾟﾛｸﾞﾗﾑを終了します。";
    case 8: return " ホルダー名を選択して、セーブされたデータを読み込みます。";
    case 7: return " ホルダー名を指定して、現在のデータを保存します。";
    case 6: return " 避難ルートをカーソルのポイントから表示します。終了は左クリックです。";
    case 1023: return " 地図の縮尺が１００ｍとして計算します。";
    case 1024: return " 地図の縮尺が２００ｍとして計算します。";
    case 1003: return " 歩幅は、１６８cm ＊\u30000.37\u3000として導き出しました。";
    case 1004: return " 距離からｶﾛﾘｰを導きますが、あくまで目安です。";
    case 1005: return " 選択したﾎﾟｲﾝﾄから、ｽﾀｰﾄ地点、あるいは、ｽﾀｰﾄ->目的地までの距離です。";
    case 1031: return " 70ｍ/分として、距離から時間を導き出します。";
    case Id_evac_map: return Evac_help_text;
    case Id_scale_measure: return Scale_help_text;
    default: return nullptr;
    }
}

void Help_line(int id) {
    const char* line = Help_text(id, (Panel_state & Panel_map_captured) != 0);
    if (line && id != Help_last_id) {
        Plat().Set_panel_caption(line);
        Help_last_id = id;
    } else if (!line && id != Help_last_id && Help_last_id != -1) {
        Plat().Set_panel_caption(Help_default);
        Help_last_id = -1;
    }
}

int Panel_command(int id) {
    // Every command but the evacuation map's own and the scale goes back to
    // the plain map first: tools, the route and the files work on it.
    if (id != Id_evac_map && id != Id_scale_100 && id != Id_scale_200) Evac_map_leave();
    switch (id) {
    case Id_evac_map:
        Evac_map_command();
        return 0;
    case Id_evac:
        if ((Panel_state & Panel_map_captured) == 0) {
            Aerial_mode = Plat().Key_down(Vk_shift) ? 1 : 0;
            // The capture waits for its drag on the tool slot's thread, so
            // the panel keeps answering; the button comes back when it ends.
            Plat().Enable_control(Id_evac, false);
            Tool_start(Capture_tool);
        } else if (Evac_full() == 0) {
            Markers_snapshot(0);
            Evac_tool_start();
            Panel_enable(11);
        }
        return 0;
    case Id_cong:
        Markers_snapshot(0);
        Cong_tool_start();
        Panel_enable(11);
        return 0;
    case Id_nopass:
        Markers_snapshot(0);
        Nopass_tool_start();
        Panel_enable(11);
        return 0;
    case Id_delete:
        Markers_snapshot(0);
        Delete_tool_start();
        Panel_enable(11);
        return 0;
    case Id_save: {
        Tool_stop();
        std::string folder;
        if (Folder_pick(Owner_panel, folder, true) != 0) return 0;
        Plat().Set_control_text(Id_save, Text_saving);
        // The page beside the data files only once they are in place.
        if (Save_command() == 0) Evac_page_beside(Data_folder);
        Plat().Set_control_text(Id_save, Text_save);
        return 0;
    }
    case Id_load:
        Tool_stop();
        // The loaded state (Panel_enable(2), the route state) is applied by
        // the load thread, and only once the folder has been loaded: a cancel
        // or a refused folder leaves the panel as it is.
        Load_command(Owner_main);
        return 0;
    case Id_route_check:
        Route_check_start();
        Route_stale(0);
        return 0;
    case Id_quit:
        Quit_request(Owner_panel);
        return 0;
    case Id_route_build: {
        Map_restore();
        Plat().Set_main_caption(Text_route_building);
        if (Route_busy) return 0;
        Route_busy = 1;
        Panel_enable(10);
        const int32_t built = Route_build();
        Panel_enable(11);
        // A wave that ended early leaves the route before in place; the
        // build button stays offered so that the user can try again.
        Route_stale(built == 0 ? 0 : 1);
        Route_busy = 0;
        return 0;
    }
    case Id_scale_100:
    case Id_scale_200:
        // The panel's choice again: a scale measured before no longer counts.
        Scale_flag = id == Id_scale_100 ? 0 : 1;
        Scale_measured_set(0);
        Scale_show();
        Evac_scale_changed();
        return 0;
    case Id_scale_measure:
        Scale_tool_start();
        return 0;
    default:
        return 0;
    }
}

namespace {

// From Session_start on, every change of the markers is kept in the working folder.
std::atomic<bool> Keep_markers{false};

std::string Running_path() { return Path_join(Path_join(Exe_folder, "tovi"), Session_running_file); }

}  // namespace

void Session_start() {
    const std::string running = Running_path();
    const bool ended_badly = File_exists(running);
    if (ended_badly) {
        Folder_content last;
        if (Data_folder_check(Exe_folder, &last).empty() &&
            last.base.Evac_n + last.base.Cong_n + last.base.Nopass_n > 0 &&
            Plat().Message_box(Recover_question, Confirm_caption, Box_yes_no, Owner_panel) == Answer_yes) {
            bool route_current = false;
            if (Data_load_from(Exe_folder, &route_current) == 0) {
                Panel_enable(2);
                Scale_show();
                Route_stale(route_current ? 0 : 1);
            }
        }
    }
    File_replace(running, "", 0);
    Keep_markers = true;
}

void Quit_request(int owner) {
    if (Work_unsaved()) {
        const int answer = Plat().Message_box(Quit_question, Confirm_caption, Box_yes_no_cancel, owner);
        if (answer != Answer_yes && answer != Answer_no) return;
        if (answer == Answer_yes) {
            Tool_stop();
            std::string folder;
            if (Folder_pick(Owner_panel, folder, true) != 0) return;
            Plat().Set_control_text(Id_save, Text_saving);
            const int saved = Save_command();
            if (saved == 0) Evac_page_beside(Data_folder);
            Plat().Set_control_text(Id_save, Text_save);
            if (saved != 0) return;  // the message said why; the work is still here
        }
    }
    File_delete(Running_path());
    Exit_now(1);
}

void Walk_stats(int32_t length) {
    const Walk_figures f = Walk_stats_texts(length, Scale_now());
    Plat().Set_control_text(Id_distance, f.distance);
    Plat().Set_control_text(Id_steps, f.steps);
    Plat().Set_control_text(Id_minutes, f.minutes);
    Plat().Set_control_text(Id_calories, f.calories);
}

void Scale_show() {
    Platform& p = Plat();
    const bool measured = Scale_measured() > 0;
    p.Check_control(Id_scale_100, !measured && Scale_flag == 0);
    p.Check_control(Id_scale_200, !measured && Scale_flag == 1);
    p.Set_control_text(Id_scale_text, Scale_label());
}

void Shell_scale_measured(bool measured) {
    Scale_show();
    const std::string line = measured ? Scale_done_prefix + Scale_text(Scale_now()) : std::string(Help_default);
    Plat().Set_main_caption(line);
    Plat().Set_panel_caption(line);
}

void Shell_markers_changed() {
    Route_stale(1);
    if (Keep_markers) Markers_keep();
}

void Shell_loaded(bool route_current) {
    Panel_enable(2);
    Scale_show();
    // The route display only for a route built for the markers loaded:
    // records of a capture, or a route the markers have since moved away
    // from, wait for "ルート作成".
    Route_stale(route_current ? 0 : 1);
}
