// The route display ("ルート検証"): follows the cursor over the shown map and
// draws the evacuation route from the pixel under it, with the walking
// figures in the control panel; Space switches the background between the
// map and the aerial picture.
//
// Owns: Photo_shown. Called by: the control panel (Route_check_start on the
// tool-thread slot), tests and benches.
#pragma once
#include <atomic>
#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <vector>

#include "map/image.h"

// 0 = the map picture is the background of the shown map, 1 = the aerial
// picture is. Kept from one use of the display to the next.
extern std::atomic<int32_t> Photo_shown;

inline constexpr uint32_t Route_colour_first = Rgb(0, 255, 255);   // route to the first place
inline constexpr uint32_t Route_colour_second = Rgb(255, 255, 0);  // route to the second place
inline constexpr int32_t Route_square_size = 3;
inline constexpr const char* Route_check_caption = "終了は、マウス左クリック";

// What painting changed, so that it can be taken back exactly: every write
// in order, with the colour it replaced and the colour it left.
struct Paint_log {
    struct Write {
        uint32_t at;      // pixel index in the surface
        uint32_t before;  // colour replaced
        uint32_t after;   // colour written
    };
    int32_t w = 0, h = 0;  // size of the surface the writes were made on
    std::vector<Write> writes;
};

// Paints the size x size block whose top-left pixel is (x - 1, y - 1), column
// by column; size 3 centres it on (x, y). Pixels outside the surface are
// dropped. With a log, every write is appended to it.
void Route_square(Image& surface, int32_t size, int32_t x, int32_t y, uint32_t colour, Paint_log* log = nullptr);

// Takes back what the log recorded, newest write first, and empties the log.
// A pixel that no longer holds the colour written there (something else has
// painted it since) is left alone, and a surface of another size is not
// touched at all.
void Route_unpaint(Image& surface, Paint_log& log);

// Follows the cursor until the user ends the display: a left press while the
// cursor stands on a reached pixel, or Stop_request seen there, or a stop of
// the tool slot. two_places non-zero: the second wave is searched too. The
// origin is added to node pixels when painting and taken from the cursor
// pixel when looking up. Leaves the last route painted.
void Maze_map_ret(int32_t two_places, int32_t origin_x, int32_t origin_y);

// Thread body of the display: Maze_map_ret with the second wave when two
// evacuation places are set, origin (0, 0).
void Route_check();

// Starts Route_check on the tool-thread slot, ending the tool before it.
void Route_check_start();

// Called with the length in pixels of each traced route longer than 10
// pixels, on the display's thread, for the walking figures (the shell writes
// them into the panel's fields).
using Figures_listener = void (*)(int32_t length);
void Display_on_figures(Figures_listener listener);
