// tovi-cli render.
//
//   tovi-cli render DIR OUT.png [--scale 100|200] [--band MINUTES]
//
// From the saved route in DIR (tst.bmp, base.dat, d1.dat to d3.dat), the
// travel-time map (route/render.h): every reached road pixel coloured by the
// walking time that the route display shows for it at the given scale (200 m
// unless told), in bands of MINUTES whole minutes (1 unless told). Exit 1 when
// DIR holds no built route, 2 for a wrong command line or unreadable files.
#include "app/cli/cli_render.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>

#include "app/cli/cli_platform.h"
#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "markers/base_data.h"
#include "route/render.h"
#include "route/travel_time.h"
#include "storage/data_files.h"

namespace {

// Wider bands than this would put the whole map into one colour.
constexpr int32_t Band_max = 600;

int Usage_error(const std::string& text) {
    std::fprintf(stderr, "tovi-cli: %s\nusage: %s\n", text.c_str(), Render_usage);
    return 2;
}

int Input_error(const std::string& text) {
    std::fprintf(stderr, "tovi-cli: %s\n", text.c_str());
    return 2;
}

int No_route(const std::string& dir, const std::string& why) {
    std::fprintf(stderr, "tovi-cli: no route to render in %s: %s; build it with tovi-cli route %s\n", dir.c_str(),
                 why.c_str(), dir.c_str());
    return 1;
}

enum class Read_result { ok, missing, wrong_size };

// Only a file of exactly the table's size is taken: a saved table is always whole.
Read_result Read_exact(const std::string& path, void* table, size_t size) {
    std::ifstream in(Fs_path(path), std::ios::binary);
    if (!in) return Read_result::missing;
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0) return Read_result::missing;
    if (uint64_t(length) != size) return Read_result::wrong_size;
    in.seekg(0, std::ios::beg);
    if (!in.read(static_cast<char*>(table), std::streamsize(size))) return Read_result::missing;
    return Read_result::ok;
}

}  // namespace

int Render_command(const std::vector<std::string>& args) {
    std::vector<std::string> plain;
    int scale = 1;  // 200 m, the program's own start value
    int32_t band = 1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--scale") {
            if (i + 1 >= args.size()) return Usage_error("--scale needs 100 or 200");
            const std::string& v = args[++i];
            if (v == "100") scale = 0;
            else if (v == "200") scale = 1;
            else return Usage_error("--scale is 100 or 200");
        } else if (args[i] == "--band") {
            if (i + 1 >= args.size()) return Usage_error("--band needs a number of minutes");
            const std::string& v = args[++i];
            const char* end = v.data() + v.size();
            auto [p, ec] = std::from_chars(v.data(), end, band);
            if (ec != std::errc() || p != end || band < 1 || band > Band_max)
                return Usage_error("--band is a whole number of minutes from 1 to " + std::to_string(Band_max));
        } else {
            plain.push_back(args[i]);
        }
    }
    if (plain.size() != 2) return Usage_error("render takes DIR and OUT.png");
    const std::string& dir = plain[0];
    const std::string& out_path = plain[1];
    static Cli_platform platform;
    Plat_install(&platform);
    Shell_start();

    Image map;
    const std::string map_path = Path_join(dir, Map_picture_file);
    const Bmp_status map_status = Bmp_read(map_path, map);
    if (map_status != Bmp_ok) return Input_error(map_path + ": " + Bmp_status_text(map_status));

    Base_record base;
    const std::string base_path = Path_join(dir, Base_file);
    switch (Read_exact(base_path, &base, sizeof base)) {
    case Read_result::ok: break;
    case Read_result::missing: return Input_error(base_path + ": cannot read the file");
    case Read_result::wrong_size: return Input_error(base_path + ": not a base.dat (it must be 5712 bytes)");
    }
    if (base.Road_rec_total <= 0) return No_route(dir, "base.dat counts no route nodes");
    if (base.Evac_n < 1) return No_route(dir, "no evacuation place is set");

    Grid_allocate();
    const struct {
        const char* name;
        void* table;
        size_t size;
    } tables[] = {
        {Queue0_file, Wave_queue[0], size_t(Wave_queue_bytes)},
        {Queue1_file, Wave_queue[1], size_t(Wave_queue_bytes)},
        {Kind_file, Rec_kind, size_t(Rec_kind_bytes)},
    };  // d4.dat, the visit bits, plays no part in a route
    for (const auto& t : tables) {
        const std::string path = Path_join(dir, t.name);
        switch (Read_exact(path, t.table, t.size)) {
        case Read_result::ok: break;
        case Read_result::missing: return No_route(dir, std::string(t.name) + " is missing or unreadable");
        case Read_result::wrong_size:
            return Input_error(path + ": not a saved table (it must be " + std::to_string(t.size) + " bytes)");
        }
    }
    // A capture saves its flood's tables and record count too; only a route
    // wave starts its node 0 at the first evacuation place with cost 1.
    const Wave_rec& first = Wave_queue[0][0];
    const int32_t place_x = std::max(base.Evac_x[0], 0), place_y = std::max(base.Evac_y[0], 0);
    if ((Rec_kind[0] & 1) != 0 || first.parent != -1 || first.cost != 1 || first.x != uint16_t(place_x) ||
        first.y != uint16_t(place_y))
        return No_route(dir, "its tables do not start at the first evacuation place (a capture's road network, "
                             "or the places moved since the route was built)");

    std::vector<int32_t> counts;
    Travel_counts(base.Road_rec_total, base.Evac_n == 2, counts);
    const Travel_render r = Travel_map_render(map, base, counts, scale, band);
    if (!Png_write(r.picture, out_path)) {
        std::fprintf(stderr, "tovi-cli: cannot write %s\n", out_path.c_str());
        return 1;
    }
    std::printf("rendered %s (%d x %d)\nreached pixels %d\nlongest walk %.2f min\nbands %d of %d min\n",
                out_path.c_str(), r.picture.w, r.picture.h, r.reached, Travel_minutes(r.longest_count, scale), r.bands,
                band);
    return 0;
}
