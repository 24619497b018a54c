// The application shell's core: start values of the shared flags and the
// helpers through which workers report to the user. The windows themselves
// live in the platform layer; this file only decides what is said and when.
#include "app/shell.h"

#include "platform/platform.h"
#include "app/panel.h"
#include "app/scale_measure.h"
#include "map/map_pictures.h"
#include "markers/markers.h"
#include "route/display.h"
#include "route/route_trace.h"
#include "storage/data_files.h"
#include "storage/data_folder.h"

#include <cstdio>
#include <fstream>


void Shell_start() {
    Aerial_mode = 0;
    Stop_request = 0;
    Scale_flag = 1;
    // What the program starts with is nothing to lose at the end.
    Work_mark_saved();
    Shell_listen();
}

void Shell_listen() {
    // The features tell the shell what happened through these; none of them
    // knows the panel.
    Capture_listener capture;
    capture.tables_refilled = [] { Route_index_drop(); };
    capture.write_work = [](const Work_pictures& pictures) { return Data_save_to(Exe_folder, pictures); };
    capture.map_captured = [] { Panel_state |= Panel_map_captured; };
    Capture_listen(capture);
    Markers_on_change(Shell_markers_changed);
    Load_on_done(Shell_loaded);
    Display_on_figures(Walk_stats);
    Scale_on_end(Shell_scale_measured);
}

void Fit_main_window(int map_w, int map_h) { Plat().Fit_main_window(map_w, map_h); }


bool Prepare_working_folder(const std::string& exe_folder) {
    const std::string folder = Path_join(exe_folder, "tovi");
    const std::string probe = Path_join(folder, "a");
    auto try_open = [&] {
        std::ofstream f(Fs_path(probe));
        return f.is_open();
    };
    if (!try_open()) {
        std::error_code ec;
        std::filesystem::create_directory(Fs_path(folder), ec);
        if (!try_open()) return false;
    }
    File_delete(probe);
    return true;
}

std::string Working_folder_choose(const std::string& program_folder, const std::string& local_app_data,
                                  bool (*prepare)(const std::string& folder)) {
    if (prepare(program_folder)) return program_folder;
    if (local_app_data.empty()) return "";
    const std::string own = Path_join(local_app_data, "Tovi");
    std::error_code ec;
    std::filesystem::create_directories(Fs_path(own), ec);
    return prepare(own) ? own : "";
}

std::string Folder_error_message(const std::string& program_folder, const std::string& local_app_data) {
    std::string text = Folder_error_text;
    text.append("\n").append(program_folder);
    if (!local_app_data.empty()) text.append("\n").append(Path_join(local_app_data, "Tovi"));
    return text;
}
