// tovi-cli compare.
//
//   tovi-cli compare DIR_A DIR_B OUT.png [--scale 100|200 | --metres-per-pixel X]
//       [--speed M] [--band MINUTES] [--limit MINUTES] [--title T] [--source S]
//       [--date T] [--figures OUT.json] [--font FILE]
//
// Two versions of one piece of work (an evacuation place moved, a street
// closed), each a folder with a built route: OUT.png shows the second
// version's map with every road pixel coloured by how its walk changed
// (shorter or longer, by less than a band or by a band or more, newly reached,
// no longer reached, unchanged), and beside it the figures of both versions.
// --figures writes both versions' figures and the change counts as JSON.
// Exit codes as for render; maps of different sizes are refused with 2.
#include <cstdio>

#include "app/cli/cli_platform.h"
#include "app/cli/cli_render.h"
#include "app/shell.h"
#include "route/evac_map.h"
#include "route/travel_time.h"

namespace {

int Usage_error(const std::string& text) { return Cli_usage_error(text, Compare_usage); }

// Keeps every line of an object's JSON but the first indented by two more.
std::string Indented(const std::string& json) {
    std::string out;
    for (size_t i = 0; i < json.size(); ++i) {
        out += json[i];
        if (json[i] == '\n' && i + 1 < json.size()) out += "  ";
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

}  // namespace

int Compare_command(const std::vector<std::string>& args) {
    const Cli_args parsed = Cli_parse(args, Map_options);
    if (!parsed.error.empty()) return Usage_error(parsed.error);
    Map_args a;
    a.texts.title = "避難地図の比較";
    for (const auto& [name, value] : parsed.options) {
        std::string why;
        if (!Map_option(name, value, a, why)) return Usage_error(why);
    }
    const std::vector<std::string>& plain = parsed.plain;
    if (plain.size() != 3) return Usage_error("compare takes DIR_A, DIR_B and OUT.png");
    if (!a.paper.empty() || a.orientation != 0 || a.dpi != 0)
        return Usage_error("compare draws the map at 1:1; --paper, --landscape, --portrait and --dpi are for render");
    if (a.texts.date.empty()) a.texts.date = Today_text();
    const std::string& dir_a = plain[0];
    const std::string& dir_b = plain[1];
    const std::string& out_path = plain[2];

    // What each load reads only to check is given back before the next.
    Cli_large_blocks_returned();
    Text_font font;
    const std::string font_why = Cli_font_load(a.font_path, font);
    if (!font_why.empty()) {
        std::fprintf(stderr, "tovi-cli: %s\n", font_why.c_str());
        return 2;
    }
    static Cli_platform platform;
    Plat_install(&platform);
    Shell_start();

    // The folders are read one after the other into the same grid tables;
    // each one's walks are taken out before the next is read, and the
    // tables' memory is given back once the walks are out.
    Image map_a, map_b;
    Base_record base_a, base_b;
    std::vector<int32_t> counts_a, counts_b;
    if (const int code = Saved_route_read(dir_a, map_a, base_a); code != 0) return code;
    Travel_counts_releasing(base_a.Road_rec_total, base_a.Evac_n == 2, counts_a);
    if (const int code = Saved_route_read(dir_b, map_b, base_b); code != 0) return code;
    Travel_counts_releasing(base_b.Road_rec_total, base_b.Evac_n == 2, counts_b);

    const Evac_comparison c =
        Evac_compare_render(map_a, counts_a, map_b, base_b, counts_b, a.options, a.texts, dir_a, dir_b, font);
    if (!c.error.empty()) return Usage_error(c.error);

    static const char* const names[Change_kinds] = {"none",   "same",        "shorter", "much_shorter",
                                                    "longer", "much_longer", "gained",  "lost"};
    std::string json = "{\n  \"before\": " + Indented(Evac_figures_json(c.first, a.options)) +
                       ",\n  \"after\": " + Indented(Evac_figures_json(c.second, a.options)) + ",\n  \"changes\": {";
    for (int k = Change_same; k < Change_kinds; ++k)
        json += std::string(k == Change_same ? "" : ", ") + "\"" + names[k] + "\": " + std::to_string(c.changes[k]);
    json += "}\n}\n";
    if (const int code = Write_outputs(c.picture, out_path, json, a.figures_path); code != 0) return code;

    const int64_t changed = c.changes[Change_shorter] + c.changes[Change_much_shorter] + c.changes[Change_longer] +
                            c.changes[Change_much_longer] + c.changes[Change_gained] + c.changes[Change_lost];
    std::printf("compared %s (%d x %d)\nchanged pixels %lld\n", out_path.c_str(), c.picture.w, c.picture.h,
                static_cast<long long>(changed));
    for (int k = Change_same; k < Change_kinds; ++k)
        std::printf("%s %lld\n", names[k], static_cast<long long>(c.changes[k]));
    std::printf("longest walk before %d m %.2f min, after %d m %.2f min\n", c.first.longest.metres,
                c.first.longest.minutes, c.second.longest.metres, c.second.longest.minutes);
    return 0;
}
