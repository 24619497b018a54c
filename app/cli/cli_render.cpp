// tovi-cli render.
//
//   tovi-cli render DIR OUT.png [--scale 100|200 | --metres-per-pixel X]
//       [--speed M] [--band MINUTES] [--limit MINUTES] [--title T] [--source S]
//       [--date T] [--paper A4|A3 [--landscape|--portrait] [--dpi N]]
//       [--figures OUT.json] [--font FILE]
//
// From the saved route in DIR (tst.bmp, base.dat, d1.dat to d3.dat), the
// evacuation map (route/evac_map.h): every reached road pixel coloured by the
// band of the walking time "ルート検証" computes for it, at M metres a minute
// (43 unless told) and the map scale (the one measured on the map when the
// work has one, otherwise 200 m; --scale or --metres-per-pixel replaces
// either), in bands of MINUTES
// (3 unless told). Without --paper the map stands at the picture's top-left
// at 1:1 with its legend beside it, so that a pixel's band is read at its map
// position; with --paper, a whole page (landscape, 150 dpi unless told).
// --figures writes the figures as JSON. The font is the one given, or a
// Japanese one that fontconfig finds. Exit 1 when DIR holds no built route,
// 2 for a wrong command line, unreadable files or no Japanese font; no file
// is written then.
#include "app/cli/cli_render.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/cli/cli_folder.h"
#include "app/cli/cli_platform.h"
#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "route/evac_map.h"
#include "route/render.h"
#include "route/text_render.h"
#include "route/travel_time.h"
#include "storage/base_tail.h"
#include "storage/data_files.h"
#include "storage/file_io.h"

namespace {

// Wider bands than this would put the whole map into one colour.
constexpr int32_t Band_max = 600;
// Limits and speeds beyond these are typing errors.
constexpr int32_t Limit_max = 6000;
constexpr double Speed_max = 1000.0;
constexpr int32_t Page_dpi_default = 150;

int Usage_error(const std::string& text, const char* usage = Render_usage) { return Cli_usage_error(text, usage); }

int Input_error(const std::string& text) { return Cli_input_error(text); }

}  // namespace

int Saved_route_read(const std::string& dir, Image& map, Base_record& base) {
    // The program's own loader and checks; a route only when it was built
    // for the markers the folder holds. Drawing the walks needs neither the
    // cell table nor the aerial picture, so neither is kept.
    Folder_content content;
    content.route_only = true;
    if (!Cli_folder_load(dir, false, content)) return 2;
    if (!content.route_current) return Cli_no_route(dir);
    {
        std::lock_guard lock(Markers_lock);
        base = Base_data;
    }
    {
        // Nothing of the command reads the work's own map after this.
        std::lock_guard lock(Shown_lock);
        map = std::move(Map_image);
        Map_image = Image();
    }
    return 0;
}

namespace {

bool Parse_whole(const std::string& v, int32_t& out) {
    const char* end = v.data() + v.size();
    auto [p, ec] = std::from_chars(v.data(), end, out);
    return ec == std::errc() && p == end;
}

// A decimal number such as 43 or 1.37, nothing else (no blanks, no "inf").
bool Parse_decimal(const std::string& v, double& out) {
    if (v.empty() || v.size() > 32) return false;
    int dots = 0;
    for (char c : v) {
        if (c == '.') ++dots;
        else if (c < '0' || c > '9') return false;
    }
    if (dots > 1 || v == ".") return false;
    std::istringstream in(v);
    in.imbue(std::locale::classic());
    in >> out;
    return !in.fail() && std::isfinite(out);
}

std::vector<uint8_t> File_bytes(const std::string& path) {
    std::ifstream in(Fs_path(path), std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The files a Japanese font may be in: fontconfig's answers on Linux, the
// usual UI fonts of the system's fonts folder on Windows (whose bytes the
// program itself takes from the UI font).
std::vector<std::string> Font_candidates() {
    std::vector<std::string> out;
#ifdef _WIN32
    const char* windir = std::getenv("WINDIR");
    const std::string fonts = Path_join(windir && *windir ? windir : "C:\\Windows", "Fonts");
    for (const char* name : {"YuGothM.ttc", "meiryo.ttc", "msgothic.ttc", "BIZ-UDGothicR.ttc", "ipag.ttf"})
        out.push_back(Path_join(fonts, name));
#else
    for (const char* pattern : {"IPAGothic:lang=ja", "Noto Sans CJK JP:lang=ja", ":lang=ja"}) {
        const std::string command = std::string("fc-match -f '%{file}' '") + pattern + "' 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) continue;
        std::string file;
        char buf[512];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) file.append(buf, n);
        pclose(pipe);
        if (!file.empty()) out.push_back(file);
    }
    // Without fontconfig: where Debian's IPA Gothic package puts its font.
    out.push_back("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf");
#endif
    return out;
}

}  // namespace

std::string Cli_font_load(const std::string& given, Text_font& font) {
    if (!given.empty()) {
        std::vector<uint8_t> bytes = File_bytes(given);
        if (bytes.empty()) return given + ": cannot read the font file";
        const std::string why = Text_font_load(font, std::move(bytes));
        return why.empty() ? "" : given + ": " + why;
    }
    for (const std::string& path : Font_candidates()) {
        std::vector<uint8_t> bytes = File_bytes(path);
        if (!bytes.empty() && Text_font_load(font, std::move(bytes)).empty()) return "";
    }
    return "no font with Japanese glyphs found (install one, e.g. Debian's fonts-ipafont-gothic, or give a font "
           "file with --font FILE)";
}

std::string Today_text() {
    const std::time_t now = std::time(nullptr);
    const std::tm* t = std::localtime(&now);
    if (!t) return "";
    return std::to_string(t->tm_year + 1900) + "年" + std::to_string(t->tm_mon + 1) + "月" + std::to_string(t->tm_mday) + "日";
}

const std::vector<Cli_option> Map_options = {
    {"--scale", true},  {"--metres-per-pixel", true}, {"--speed", true}, {"--band", true},
    {"--limit", true},  {"--title", true},            {"--source", true}, {"--date", true},
    {"--paper", true},  {"--dpi", true},              {"--figures", true}, {"--font", true},
    {"--landscape", false}, {"--portrait", false},
};

bool Map_option(const std::string& o, const std::string& value, Map_args& a, std::string& why) {
    if (o == "--scale" || o == "--metres-per-pixel") a.scale_told = true;
    if (o == "--scale") {
        const std::string& v = value;
        if (v == "100") a.options.scale.flag = 0;
        else if (v == "200") a.options.scale.flag = 1;
        else return why = "--scale is 100 or 200", false;
    } else if (o == "--metres-per-pixel") {
        double v = 0;
        if (!Parse_decimal(value, v) || !(v > 0) || v > 1000)
            return why = "--metres-per-pixel is a number of metres above 0 and at most 1000, such as 1.37", false;
        a.options.scale.metres_per_pixel = v;
    } else if (o == "--speed") {
        double v = 0;
        if (!Parse_decimal(value, v) || !(v > 0) || v > Speed_max)
            return why = "--speed is metres a minute, more than 0 and at most " + std::to_string(int(Speed_max)) +
                         ", such as 43", false;
        a.options.speed = v;
    } else if (o == "--band") {
        int32_t v = 0;
        if (!Parse_whole(value, v) || v < 1 || v > Band_max)
            return why = "--band is a whole number of minutes from 1 to " + std::to_string(Band_max), false;
        a.options.band_minutes = v;
    } else if (o == "--limit") {
        int32_t v = 0;
        if (!Parse_whole(value, v) || v < 1 || v > Limit_max)
            return why = "--limit is a whole number of minutes from 1 to " + std::to_string(Limit_max), false;
        a.options.limit_minutes = v;
    } else if (o == "--title") {
        a.texts.title = value;
        a.title_given = true;
        if (a.texts.title.empty()) return why = "--title needs a text", false;
    } else if (o == "--source") {
        a.texts.source = value;
    } else if (o == "--date") {
        a.texts.date = value;
    } else if (o == "--paper") {
        const std::string& v = value;
        if (v != "A4" && v != "A3") return why = "--paper is A4 or A3", false;
        a.paper = v;
    } else if (o == "--landscape" || o == "--portrait") {
        const int want = o == "--landscape" ? 1 : 2;
        if (a.orientation != 0 && a.orientation != want) return why = "--landscape and --portrait exclude each other", false;
        a.orientation = want;
    } else if (o == "--dpi") {
        int32_t v = 0;
        if (!Parse_whole(value, v) || v < Page_dpi_min || v > Page_dpi_max)
            return why = "--dpi is a whole number from " + std::to_string(Page_dpi_min) + " to " +
                         std::to_string(Page_dpi_max), false;
        a.dpi = v;
    } else if (o == "--figures") {
        a.figures_path = value;
        if (a.figures_path.empty()) return why = "--figures needs a file name", false;
    } else if (o == "--font") {
        a.font_path = value;
    }
    return true;
}

int Write_outputs(const Image& picture, const std::string& out_path, const std::string& json,
                  const std::string& json_path) {
    const std::vector<uint8_t> png = Png_bytes(picture);
    if (png.empty()) {
        std::fprintf(stderr, "tovi-cli: cannot encode the picture\n");
        return 1;
    }
    if (!File_replace(out_path, png.data(), png.size())) {
        std::fprintf(stderr, "tovi-cli: cannot write %s\n", out_path.c_str());
        return 1;
    }
    if (!json_path.empty() && !File_replace(json_path, json.data(), json.size())) {
        std::error_code ignored;
        std::filesystem::remove(Fs_path(out_path), ignored);
        std::fprintf(stderr, "tovi-cli: cannot write %s (%s not kept either)\n", json_path.c_str(), out_path.c_str());
        return 1;
    }
    return 0;
}

int Render_command(const std::vector<std::string>& args) {
    const Cli_args parsed = Cli_parse(args, Map_options);
    if (!parsed.error.empty()) return Usage_error(parsed.error);
    Map_args a;
    for (const auto& [name, value] : parsed.options) {
        std::string why;
        if (!Map_option(name, value, a, why)) return Usage_error(why);
    }
    const std::vector<std::string>& plain = parsed.plain;
    if (plain.size() != 2) return Usage_error("render takes DIR and OUT.png");
    if (a.paper.empty() && (a.orientation != 0 || a.dpi != 0))
        return Usage_error("--landscape, --portrait and --dpi belong to a page: give --paper A4 or A3");
    if (a.texts.date.empty()) a.texts.date = Today_text();
    const std::string& dir = plain[0];
    const std::string& out_path = plain[1];
    if (!a.figures_path.empty() && Fs_path(a.figures_path) == Fs_path(out_path))
        return Usage_error("--figures must name another file than the picture");

    // What the load reads only to check is given back before the walks are taken.
    Cli_large_blocks_returned();
    Text_font font;
    const std::string font_why = Cli_font_load(a.font_path, font);
    if (!font_why.empty()) return Input_error(font_why);

    static Cli_platform platform;
    Plat_install(&platform);
    Shell_start();
    Image map;
    Base_record base;
    if (const int code = Saved_route_read(dir, map, base); code != 0) return code;
    if (!a.scale_told) {
        // The scale measured on the map is the work's own, as the program uses it.
        const Base_tail tail = Tail_read(base);
        if (tail.marked() && tail.metres_per_pixel > 0 && std::isfinite(tail.metres_per_pixel))
            a.options.scale.metres_per_pixel = tail.metres_per_pixel;
    }

    std::vector<int32_t> counts;
    // The walks are all the map needs of the tables, which are given up.
    Travel_counts_releasing(base.Road_rec_total, base.Evac_n == 2, counts);
    Image picture;
    Evac_figures figures;
    if (a.paper.empty()) {
        Evac_render r = Evac_map_render(map, base, counts, a.options, a.texts, font);
        if (!r.error.empty()) return Usage_error(r.error);
        picture = std::move(r.picture);
        figures = r.figures;
    } else {
        Page_setup setup;
        setup.paper = a.paper == "A3" ? Paper::A3 : Paper::A4;
        setup.landscape = a.orientation != 2;
        setup.dpi = a.dpi ? a.dpi : Page_dpi_default;
        Evac_page pg = Evac_page_render(setup, map, base, counts, a.options, a.texts, font);
        if (!pg.error.empty()) return Usage_error(pg.error);
        picture = std::move(pg.picture);
        figures = pg.figures;
    }
    if (const int code = Write_outputs(picture, out_path, Evac_figures_json(figures, a.options), a.figures_path);
        code != 0)
        return code;
    std::printf("rendered %s (%d x %d)\nreached pixels %lld\nlongest walk %d m %.2f min\nbands of %d min at %g m/min\n",
                out_path.c_str(), picture.w, picture.h, static_cast<long long>(figures.reached),
                figures.longest.metres, figures.longest.minutes, a.options.band_minutes, a.options.speed);
    for (int32_t k = 0; k < Evac_bands; ++k)
        std::printf("band %d: %s\n", k, Evac_share_text(figures.band_tenths[k]).c_str());
    if (a.options.limit_minutes > 0)
        std::printf("beyond %d min: %s\n", a.options.limit_minutes, Evac_share_text(figures.beyond_tenths).c_str());
    return 0;
}
