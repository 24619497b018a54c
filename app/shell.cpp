// The application shell's core: start values of the shared flags and the
// helpers through which workers report to the user. The windows themselves
// live in the platform layer; this file only decides what is said and when.
#include "app/shell.h"

#include "platform/platform.h"
#include "storage/data_folder.h"

#include <cstdio>
#include <fstream>


void Shell_start() {
    Aerial_mode = 0;
    Stop_request = 0;
    Scale_flag = 1;
    // What the program starts with is nothing to lose at the end.
    Work_mark_saved();
}

void Fit_main_window(int map_w, int map_h) { Plat().Fit_main_window(map_w, map_h); }

void File_delete(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(Fs_path(path), ec);
}

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
