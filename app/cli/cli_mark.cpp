// tovi-cli mark.
//
//   tovi-cli mark DIR [--clear] [--evac X,Y]... [--cong X,Y]... [--nopass X,Y]...
//
// Loads the work in DIR as the program's Load does, empties the three marker
// sets when --clear is given, adds each marker in the order given (at most 2
// evacuation places and 100 points of each other kind, each on the map), and
// writes the work back as a save does. The route the folder may hold then no
// longer matches its markers until tovi-cli route builds it again. Prints the
// counts of the three sets.
#include "app/cli/cli_mark.h"

#include <charconv>
#include <cstdio>
#include <mutex>

#include "app/cli/cli_args.h"
#include "app/cli/cli_folder.h"
#include "app/cli/cli_platform.h"
#include "app/shell.h"
#include "map/map_pictures.h"
#include "markers/base_data.h"
#include "storage/base_tail.h"
#include "storage/data_files.h"

namespace {

int Usage_error(const std::string& text) { return Cli_usage_error(text, Mark_usage); }

bool Parse_point(const std::string& text, int32_t& x, int32_t& y) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    const char* a = text.data();
    const char* mid = a + comma;
    const char* end = a + text.size();
    auto [p1, e1] = std::from_chars(a, mid, x);
    auto [p2, e2] = std::from_chars(mid + 1, end, y);
    return e1 == std::errc() && p1 == mid && e2 == std::errc() && p2 == end;
}

struct Mark {
    int kind;
    int32_t x, y;
};

}  // namespace

int Mark_command(const std::vector<std::string>& args) {
    const char* const point_needed = "needs a point X,Y of whole numbers";
    const Cli_args a = Cli_parse(args, {{"--clear", false},
                                        {"--evac", true, "--evac needs a point X,Y of whole numbers"},
                                        {"--cong", true, "--cong needs a point X,Y of whole numbers"},
                                        {"--nopass", true, "--nopass needs a point X,Y of whole numbers"}});
    if (!a.error.empty()) return Usage_error(a.error);
    std::vector<Mark> marks;
    const bool clear = a.has("--clear");
    for (const auto& [name, value] : a.options) {
        if (name == "--clear") continue;
        const int kind = name == "--evac" ? Kind_evac : name == "--cong" ? Kind_cong : Kind_nopass;
        Mark m{kind, 0, 0};
        if (!Parse_point(value, m.x, m.y)) return Usage_error(name + " " + point_needed);
        marks.push_back(m);
    }
    const std::vector<std::string>& plain = a.plain;
    if (plain.size() != 1) return Usage_error("mark takes one folder");
    const std::string& dir = plain[0];
    static Cli_platform platform;
    Plat_install(&platform);
    Shell_start();

    Folder_content content;
    if (!Cli_folder_load(dir, false, content)) return 2;
    Base_record b;
    {
        std::lock_guard lock(Markers_lock);
        b = Base_data;
    }
    const int32_t w = b.Map_rect.right - b.Map_rect.left, h = b.Map_rect.bottom - b.Map_rect.top;
    if (clear) b.Evac_n = b.Cong_n = b.Nopass_n = 0;
    for (const Mark& m : marks) {
        if (m.x < 0 || m.y < 0 || m.x >= w || m.y >= h) {
            std::fprintf(stderr, "tovi-cli: (%d, %d) lies outside the map of %d x %d pixels\n", m.x, m.y, w, h);
            return 2;
        }
        int32_t *xs, *ys, *n, capacity;
        switch (m.kind) {
        case Kind_evac: xs = b.Evac_x, ys = b.Evac_y, n = &b.Evac_n, capacity = Evac_used_max; break;
        case Kind_cong: xs = b.Cong_x, ys = b.Cong_y, n = &b.Cong_n, capacity = Point_capacity; break;
        default: xs = b.Nopass_x, ys = b.Nopass_y, n = &b.Nopass_n, capacity = Point_capacity; break;
        }
        if (*n >= capacity) {
            std::fprintf(stderr, "tovi-cli: at most %d markers of that kind\n", capacity);
            return 2;
        }
        xs[*n] = m.x;
        ys[*n] = m.y;
        ++*n;
    }
    {
        std::lock_guard lock(Markers_lock);
        Base_data = b;
        const Base_tail tail = Tail_read(b);
        Capture_origin = tail.marked() ? Point{tail.origin_x, tail.origin_y} : Point{0, 0};
    }
    const std::string failed = Data_save_to(dir);
    if (!failed.empty()) {
        std::fprintf(stderr, "tovi-cli: cannot write %s in %s; the folder holds the work as before\n", failed.c_str(),
                     dir.c_str());
        return 1;
    }
    std::printf("Evac_n %d Cong_n %d Nopass_n %d\n", b.Evac_n, b.Cong_n, b.Nopass_n);
    return 0;
}
