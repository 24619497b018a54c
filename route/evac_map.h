// The evacuation map: the paper map residents hand out, with every street
// coloured by the walking time to the nearest evacuation place in bands of
// the community's fixed colour order (green, yellow-green, yellow, orange,
// red, purple, brown, black for the last band and beyond), at a chosen
// walking speed; as a picture with the map at 1:1 and its legend beside it,
// as a printed page (A4 or A3 at any resolution), and as a comparison of two
// versions of a piece of work.
//
// Times come from the route tables through Travel_counts (route/travel_time.h)
// and Walk_convert, the conversion the walking figures use, so a pixel's band
// is the band of the time "ルート検証" computes for it at that speed.
//
// Owns: the band colours, the styles of unreached roads and of streets beyond
// the time limit, the figures, the legend, the page layout. Texts are drawn
// by route/text_render.h from a font the caller supplies.
// Called by: tovi-cli render and compare, tests and benches.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "map/image.h"
#include "markers/base_data.h"
#include "route/text_render.h"
#include "route/travel_time.h"

inline constexpr int32_t Evac_bands = 8;  // the last band holds every longer walk too

struct Evac_options {
    double speed = 43.0;         // metres a minute; positive
    int32_t band_minutes = 3;    // positive
    int32_t limit_minutes = 0;   // 0: no limit
    Map_scale scale;             // 200 m unless told
};

// "" when the options can be drawn, otherwise what is wrong with them.
std::string Evac_options_check(const Evac_options& o);

// The band of a route of count pixels (the value of Travel_counts at a
// pixel): -1 when unreached, else the band of its minutes, the last band for
// anything beyond it.
int32_t Evac_band(int32_t count, const Evac_options& o);
// Whether a route of count pixels takes the time limit or longer (false
// without a limit): a walk of exactly the limit counts as beyond it, as a
// time on a band's edge belongs to the band above.
bool Evac_beyond(int32_t count, const Evac_options& o);

// The colour of band k (0 to Evac_bands - 1).
uint32_t Evac_band_colour(int32_t band);
// Road pixels no route reaches.
inline constexpr uint32_t Evac_unreached_colour = Rgb(150, 190, 245);
// Streets beyond the limit keep their band colour under white diagonal
// stripes: the pixels for which this is true are white.
inline bool Evac_stripe(int32_t x, int32_t y) { return ((x + y) & 7) < 3; }
inline constexpr uint32_t Evac_stripe_colour = Rgb(255, 255, 255);

// Figures of one map, over the reached pixels of the map picture.
struct Evac_figures {
    int64_t reached = 0;                     // reached road pixels
    int64_t band_pixels[Evac_bands] = {};
    int32_t band_tenths[Evac_bands] = {};    // share in tenths of a per cent; sum 1000 when reached > 0
    int32_t longest_count = 0;               // pixels of the longest route
    Walk_length longest;                     // its metres and minutes at the speed
    int64_t beyond_pixels = 0;               // reached pixels at or beyond the limit
    int32_t beyond_tenths = 0;               // their share of the reached pixels
    int64_t unreached_road = 0;              // road pixels no route reaches
};

// counts: per grid pixel, as Travel_counts gives them (grid-sized).
Evac_figures Evac_figures_of(const Image& map, const std::vector<int32_t>& counts, const Evac_options& o);
// The figures as a JSON object (UTF-8, ends with a newline).
std::string Evac_figures_json(const Evac_figures& f, const Evac_options& o);
// A share in tenths of a per cent as the legend shows it: "12.3 %".
std::string Evac_share_text(int32_t tenths);

// The texts of the page and the legend.
struct Evac_texts {
    std::string title = "避難地図";
    std::string date;    // shown as given, e.g. "2026年12月10日"; none when empty
    std::string source;  // the map's source, e.g. "地理院地図"; no source line when empty
};

// The map alone at 1:1: reached pixels in their band colours (striped beyond
// the limit), unreached road pixels in Evac_unreached_colour, the rest of the
// map faded, the markers in their colours ringed in ink.
Image Evac_map_draw(const Image& map, const Base_record& sets, const std::vector<int32_t>& counts,
                    const Evac_options& o);

// The map at the picture's top-left at 1:1 with the legend beside it.
struct Evac_render {
    std::string error;  // "" when drawn
    Image picture;
    Evac_figures figures;
};
Evac_render Evac_map_render(const Image& map, const Base_record& sets, const std::vector<int32_t>& counts,
                            const Evac_options& o, const Evac_texts& texts, const Text_font& font);

// ---- The page ----

enum class Paper { A4, A3 };
inline constexpr int32_t Page_dpi_min = 72;
inline constexpr int32_t Page_dpi_max = 600;

struct Page_setup {
    Paper paper = Paper::A4;
    bool landscape = true;
    int32_t dpi = 150;
};

// A box of the page, in page pixels, right and bottom exclusive.
struct Page_box {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool text = false;  // a text's box (no other text and not the map may cross it)
    std::string what;
    std::string text_shown;  // the text of a text's box; a scale bar's length, such as "500 m"
};

struct Evac_page {
    std::string error;           // "" when laid out (and drawn)
    int32_t w = 0, h = 0;        // page size in pixels
    Page_box map;                // where the map is drawn
    double zoom = 0;             // page pixels per map pixel
    std::vector<Page_box> boxes; // every text and graphic of the page besides the map
    Image picture;               // the page, when drawn
    Evac_figures figures;
};

// The page size in pixels for a paper, orientation and resolution.
void Page_size(const Page_setup& setup, int32_t& w, int32_t& h);

// Lays out and, when draw is true, draws the page: the map fitted to the page
// (drawn larger, each page pixel is its nearest map pixel; drawn smaller, the
// most important map pixel under it: a marker, else a reached street, else
// an unreached road, else the background),
// the title, the date, the speed and band width, the legend of bands with
// their minutes and shares, the marker legend, the figures, a scale bar from
// the map scale, a north arrow and the source line. The error names what
// does not fit (a title too long for the page) or is wrong.
Evac_page Evac_page_render(const Page_setup& setup, const Image& map, const Base_record& sets,
                           const std::vector<int32_t>& counts, const Evac_options& o, const Evac_texts& texts,
                           const Text_font& font, bool draw = true);

// ---- Two versions of a piece of work ----

// How the walk from a pixel changed from the first version to the second.
enum Evac_change : uint8_t {
    Change_none = 0,       // neither reached (not a road of either route)
    Change_same,           // reached in both, the same time
    Change_shorter,        // reached in both, shorter by less than a band
    Change_much_shorter,   // shorter by a band width or more
    Change_longer,
    Change_much_longer,
    Change_gained,         // reached only in the second
    Change_lost,           // reached only in the first
    Change_kinds
};
uint32_t Evac_change_colour(Evac_change c);

struct Evac_comparison {
    std::string error;
    Image picture;                      // the second version's map, coloured by change, with the legend
    int64_t changes[Change_kinds] = {}; // pixels of each kind
    Evac_figures first, second;
};

// Compares two routes over maps of the same size (the second version's map
// and markers are drawn), with the two versions named in the legend as given
// (their last 40 characters). counts_a and counts_b as Travel_counts gives them.
Evac_comparison Evac_compare_render(const Image& map_a, const std::vector<int32_t>& counts_a, const Image& map_b,
                                    const Base_record& sets_b, const std::vector<int32_t>& counts_b,
                                    const Evac_options& o, const Evac_texts& texts, const std::string& name_a,
                                    const std::string& name_b, const Text_font& font);
