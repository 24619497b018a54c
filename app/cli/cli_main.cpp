// tovi-cli: the subcommands and the process entry.
//
//   tovi-cli capture MAP X Y OUTDIR [--photo PHOTO]
//   tovi-cli route DIR
//   tovi-cli walk DIR X Y [--scale 100|200]
//   tovi-cli check DIR [--ignore-checksums]
//   tovi-cli mark DIR [--clear] [--evac X,Y]... [--cong X,Y]... [--nopass X,Y]...
//   tovi-cli render DIR OUT.png [--scale 100|200] [--band MINUTES]
//
// capture: MAP (PNG or BMP) is the screen, its top-left pixel at screen
// (0, 0); the right button is released at (X, Y). The capture's own flood
// runs, and what a capture writes into the program folder is written into
// OUTDIR: tst.bmp, base.dat, d1.dat to d4.dat, and with --photo tst1.bmp cut
// from PHOTO, which stands for the screen after switching to the aerial view.
// The other subcommands work on a saved piece of work (see cli_route.cpp,
// cli_check.cpp, cli_mark.cpp and cli_render.cpp). Exit codes: 0 done, 1 the
// program refused or a file could not be written, 2 a wrong command line or
// a folder or file that cannot be used.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "app/cli/cli.h"
#include "app/cli/cli_args.h"
#include "app/cli/cli_check.h"
#include "app/cli/cli_mark.h"
#include "app/cli/cli_platform.h"
#include "app/cli/cli_render.h"
#include "app/cli/cli_route.h"
#include "app/shell.h"
#include "map/flood.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/picture_file.h"
#include "markers/base_data.h"

namespace {

constexpr const char* Capture_usage = "tovi-cli capture MAP X Y OUTDIR [--photo PHOTO]";

int Capture_command(const std::vector<std::string>& args) {
    const Cli_args a = Cli_parse(args, {{"--photo", true, "--photo needs a picture file"}});
    if (!a.error.empty()) return Cli_usage_error(a.error, Capture_usage);
    std::string photo_path;
    for (const auto& [name, value] : a.options) photo_path = value;
    const std::vector<std::string>& plain = a.plain;
    if (plain.size() != 4) return Cli_usage_error("capture takes MAP X Y OUTDIR", Capture_usage);
    int32_t x = 0, y = 0;
    if (!Cli_parse_int(plain[1], x) || !Cli_parse_int(plain[2], y))
        return Cli_usage_error("X and Y must be whole numbers", Capture_usage);

    static Cli_platform platform;
    std::string why;
    if (!Picture_read(plain[0], platform.screen, why)) return Cli_usage_error(plain[0] + ": " + why, Capture_usage);
    if (!photo_path.empty()) {
        if (!Picture_read(photo_path, platform.aerial, why))
            return Cli_usage_error(photo_path + ": " + why, Capture_usage);
        if (platform.aerial.w != platform.screen.w || platform.aerial.h != platform.screen.h)
            return Cli_usage_error("the aerial picture must have the size of the map", Capture_usage);
    }
    std::error_code ec;
    std::filesystem::create_directories(Fs_path(plain[3]), ec);
    if (!std::filesystem::is_directory(Fs_path(plain[3]), ec))
        return Cli_usage_error(plain[3] + ": cannot make the folder", Capture_usage);

    Plat_install(&platform);
    Shell_start();
    Exe_folder = plain[3];
    Aerial_mode = photo_path.empty() ? 0 : 1;
    // Maze_map on the picture itself, at screen (0, 0), rather than on a
    // snapshot copied from it; and of the finish only what the folder needs:
    // no window to fit and no pictures to read back for showing.
    Capture_outcome c;
    if (Maze_map_on(platform.screen, {0, 0}, {x, y}, c) != 0) return 1;
    platform.screen = Image();  // the aerial picture takes its place for the aerial question
    Rec_count_to_base();
    {
        std::lock_guard lock(Markers_lock);
        Capture_origin = c.origin;
    }
    if (Map_images_save(c.picture, c.box.left, c.box.top, c.box.right, c.box.bottom) != 0) return 1;

    Rect32 rect;
    int32_t total;
    {
        std::lock_guard lock(Markers_lock);
        rect = Base_data.Map_rect;
        total = Base_data.Road_rec_total;
    }
    std::printf("Map_rect %d %d %d %d\nRoad_rec_total %d\n", rect.left, rect.top, rect.right, rect.bottom, total);
    return 0;
}

struct Cli_command {
    const char* name;
    const char* usage;
    int (*run)(const std::vector<std::string>& args);
};

constexpr Cli_command Commands[] = {
    {"capture", Capture_usage, Capture_command},
    {"route", Route_usage, Route_command},
    {"walk", Walk_usage, Walk_command},
    {"check", Check_usage, Check_command},
    {"mark", Mark_usage, Mark_command},
    {"render", Render_usage, Render_command},
    {"compare", Compare_usage, Compare_command},
};

}  // namespace

int Cli_main(const std::vector<std::string>& args) {
    if (!args.empty()) {
        for (const Cli_command& c : Commands)
            if (args[0] == c.name) return c.run(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    std::fprintf(stderr, "usage:\n");
    for (const Cli_command& c : Commands) std::fprintf(stderr, "  %s\n", c.usage);
    return 2;
}

#ifndef _WIN32
// On Windows the entry point is platform/win32/cli/, which reads the
// command line as wide text so that any path works.
int main(int argc, char** argv) {
    const int code = Cli_main(std::vector<std::string>(argv + 1, argv + argc));
    // Every file is written and closed by now; the hundreds of megabytes of
    // tables go back to the system with the process, without a teardown.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}
#endif

