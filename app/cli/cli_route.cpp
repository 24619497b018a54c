// tovi-cli route and walk.
//
//   tovi-cli route DIR
//   tovi-cli walk DIR X Y [--scale 100|200]
//
// route: loads the work in DIR as the program's Load does (every file, every
// check), restores the shown map with its markers, runs "ルート作成" and, when
// the wave completes, writes the work back into DIR as a save does. Prints
// the outcome, the node count and the highest cost.
//
// walk: from the route saved in DIR, built for its markers, the route from
// client pixel (X, Y): the node found in each wave, the pixel count and, for
// more than 10 pixels, the four figures as the control panel shows them,
// at the scale measured on the map when the work has one (as the program
// uses it), otherwise at --scale (200 m unless told); a --scale given
// replaces a measured scale.
#include "app/cli/cli_route.h"

#include <cstdio>
#include <mutex>

#include "app/cli/cli_args.h"
#include "app/cli/cli_folder.h"
#include "app/cli/cli_platform.h"
#include "app/shell.h"
#include "map/flood.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "platform/shell_flags.h"
#include "route/route_trace.h"
#include "route/walk_stats.h"
#include "route/wave.h"
#include "storage/base_tail.h"
#include "storage/data_files.h"

namespace {

const char* Outcome_text(Wave_status s) {
    switch (s) {
    case Wave_completed: return "completed";
    case Wave_no_evac: return "wrong set points";
    case Wave_stopped: return "stopped";
    case Wave_cancelled: return "cancelled";
    case Wave_too_many: return "too many nodes";
    case Wave_node_too_high: return "node number too high";
    case Wave_cost_too_high: return "cost too high";
    }
    return "?";
}

Cli_platform& Console() {
    static Cli_platform platform;
    Plat_install(&platform);
    Shell_start();
    return platform;
}

}  // namespace

int Route_command(const std::vector<std::string>& args) {
    const Cli_args a = Cli_parse(args, {});
    if (!a.error.empty()) return Cli_usage_error(a.error, Route_usage);
    if (a.plain.size() != 1) return Cli_usage_error("route takes one folder", Route_usage);
    const std::string& dir = args[0];
    Console();

    Folder_content content;
    // The pictures do not change: the save writes their files as read.
    content.keep_picture_files = true;
    if (!Cli_folder_load(dir, false, content)) return 2;
    // Nothing cancels the wave here: build it in the grid tables themselves.
    Wave_in_place(true);
    Base_record sets;
    {
        std::lock_guard lock(Markers_lock);
        sets = Base_data;
    }
    const int32_t places = sets.Evac_n;
    if (places < 1) {
        // Without a place the wave would start from a stale slot.
        Error_box(No_evac_text);
        std::printf("route not built: no evacuation place\n");
        return 1;
    }
    // "ルート作成" as the panel runs it, less what only a window uses: the
    // cursor's route index and the shown map put back after the wave (a save
    // writes the map picture, never the shown map).
    Map_restore();
    Wave_result r;
    {
        std::lock_guard shown(Shown_lock);
        r = Wave_run(Shown_map, Map_image.w, Map_image.h, places, sets.Evac_x[0], sets.Evac_y[0], sets.Evac_x[1],
                     sets.Evac_y[1]);
    }
    const int built = Wave_refusal(r.status);
    if (built == 0) Route_markers_sum = Markers_sum(sets);
    std::printf("route %s\nnodes %d\nhighest cost %d\n", Outcome_text(r.status), r.nodes, r.highest_cost);
    if (built != 0) return 1;
    Work_pictures pictures;
    {
        std::lock_guard shown(Shown_lock);
        pictures.map = !content.map_file.empty() ? std::move(content.map_file)
                                                 : Bmp_bytes(Map_image, 0, 0, Map_image.w, Map_image.h);
        if (!content.photo_file.empty()) pictures.photo = std::move(content.photo_file);
        else if (!Photo_image.empty()) pictures.photo = Bmp_bytes(Photo_image, 0, 0, Photo_image.w, Photo_image.h);
    }
    const std::string failed = Data_save_to(dir, pictures);
    if (!failed.empty()) {
        std::fprintf(stderr, "tovi-cli: cannot write %s in %s; the folder holds the work as before\n", failed.c_str(),
                     dir.c_str());
        return 1;
    }
    return 0;
}

int Walk_command(const std::vector<std::string>& args) {
    const Cli_args a = Cli_parse(args, {{"--scale", true, "--scale needs 100 or 200"}});
    if (!a.error.empty()) return Cli_usage_error(a.error, Walk_usage);
    int scale = 1;  // 200 m, the program's own start value
    bool scale_told = false;
    for (const auto& [name, v] : a.options) {
        scale_told = true;
        if (v == "100") scale = 0;
        else if (v == "200") scale = 1;
        else return Cli_usage_error("--scale is 100 or 200", Walk_usage);
    }
    const std::vector<std::string>& plain = a.plain;
    if (plain.size() != 3) return Cli_usage_error("walk takes DIR X Y", Walk_usage);
    int32_t x = 0, y = 0;
    if (!Cli_parse_int(plain[1], x) || !Cli_parse_int(plain[2], y))
        return Cli_usage_error("X and Y must be whole numbers", Walk_usage);
    const std::string& dir = plain[0];
    Console();
    Scale_flag = scale;

    Folder_content content;
    if (!Cli_folder_load(dir, false, content)) return 2;
    if (!content.route_current) return Cli_no_route(dir);
    int32_t count, places;
    Map_scale map_scale{scale, 0.0};
    {
        std::lock_guard lock(Markers_lock);
        count = Base_data.Road_rec_total;
        places = Base_data.Evac_n;
        const Base_tail tail = Tail_read(Base_data);
        if (!scale_told && tail.marked()) map_scale.metres_per_pixel = tail.metres_per_pixel;
    }
    Route_index_build(count);

    Route_path path;
    const bool found = Route_trace(x, y, places == 2, count, path);
    auto node_line = [&](const char* wave, int32_t node) {
        if (node >= 0) std::printf("%s wave: node %d\n", wave, node);
        else std::printf("%s wave: none\n", wave);
    };
    node_line("first", path.node[0]);
    if (places == 2) node_line("second", path.node[1]);
    std::printf("pixels: %d\n", path.count);
    // The panel shows the figures of its last call, made for the whole count.
    if (path.count > Route_stats_min) {
        const Walk_figures f = Walk_stats_texts(path.count, map_scale);
        std::printf("distance: %s\nsteps: %s\nminutes: %s\ncalories: %s\n", f.distance.c_str(), f.steps.c_str(),
                    f.minutes.c_str(), f.calories.c_str());
    }
    if (!found) {
        std::fprintf(stderr, "tovi-cli: no route from (%d, %d)\n", x, y);
        return 1;
    }
    return 0;
}
