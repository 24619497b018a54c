// tovi-cli render and compare: the evacuation map of a saved piece of work,
// and the comparison of two versions of one, as PNG pictures.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/cli/cli_args.h"
#include "map/image.h"
#include "markers/base_data.h"
#include "route/evac_map.h"
#include "route/text_render.h"

int Render_command(const std::vector<std::string>& args);
int Compare_command(const std::vector<std::string>& args);

inline constexpr const char* Render_usage =
    "tovi-cli render DIR OUT.png [--scale 100|200 | --metres-per-pixel X] [--speed M] [--band MINUTES] "
    "[--limit MINUTES] [--title T] [--source S] [--date T] [--paper A4|A3 [--landscape|--portrait] [--dpi N]] "
    "[--figures OUT.json] [--font FILE]";
inline constexpr const char* Compare_usage =
    "tovi-cli compare DIR_A DIR_B OUT.png [--scale 100|200 | --metres-per-pixel X] [--speed M] [--band MINUTES] "
    "[--limit MINUTES] [--title T] [--source S] [--date T] [--figures OUT.json] [--font FILE]";

// Loads the work in dir as the program's Load does (every file, every check)
// and gives its map picture and base.dat; the route tables stay in the grid,
// and what only a shown or saved work needs is not kept (the cell table, the
// aerial picture, the map in Map_image: it moves to map). 0 when the folder holds a route
// built for its markers; otherwise its message is on standard error and the
// exit code is returned (1 for a folder without such a route, 2 for a folder
// that cannot be loaded).
int Saved_route_read(const std::string& dir, Image& map, Base_record& base);

// The options render and compare share.
struct Map_args {
    Evac_options options;
    Evac_texts texts;
    std::string figures_path;  // "" for none
    std::string font_path;     // "" to look one up
    std::string paper;         // "" for the map at 1:1, "A4" or "A3"
    int orientation = 0;       // 0 as the paper goes (landscape), 1 landscape, 2 portrait
    int32_t dpi = 0;           // 0 unless told
    bool title_given = false;
    bool scale_told = false;   // --scale or --metres-per-pixel given
};

// The options render and compare take, for Cli_parse (app/cli/cli_args.h).
extern const std::vector<Cli_option> Map_options;

// Takes one parsed option and its value into a. False with why set when the
// value is wrong.
bool Map_option(const std::string& name, const std::string& value, Map_args& a, std::string& why);

// A font with Japanese glyphs: the file given, or one that fontconfig (on
// Windows, the fonts folder) knows. "" on success, otherwise why none serves.
std::string Cli_font_load(const std::string& given, Text_font& font);

// Today's date as the page shows it: "2026年12月10日".
std::string Today_text();

// Writes the picture and, when a path is given, the figures; on a failure
// neither file is left half written and the picture written is removed.
// 0 when both are written, 1 with the message printed otherwise.
int Write_outputs(const Image& picture, const std::string& out_path, const std::string& json,
                  const std::string& json_path);
