#include "app/session.h"

#include "app/panel.h"
#include "app/shell.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/platform.h"
#include "storage/data_folder.h"
#include "storage/file_io.h"

namespace {

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
                Route_stale(route_current ? 0 : 1);
            }
        }
    }
    File_replace(running, "", 0);
    Markers_on_change(Markers_keep);
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
            Plat().Set_control_text(Id_save, Text_save);
            if (saved != 0) return;  // the message said why; the work is still here
        }
    }
    File_delete(Running_path());
    Exit_now(1);
}
