// The road-network flood fill: from the pixel where the user released the
// right button, a breadth-first fill over every road pixel of the screen that
// turns the map into the road grid and its bounding box into the captured map.
//
// Owns: nothing of its own; fills the grid tables (map/grid.h), Rec_count,
// Road_rec_total, and through the map pictures Map_rect; the working data set
// is written through the capture listener (map/map_pictures.h) that the shell
// installs. Called by: the capture tool (Maze_map), tovi-cli's capture
// command, tests and benches (Flood_fill).
#pragma once
#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <string>

#include "map/image.h"
#include "markers/base_data.h"
#include "platform/platform.h"

enum Flood_status : int32_t {
    Flood_completed = 0,
    Flood_no_evac = 1,   // more than 51 records and no evacuation colour met
    Flood_stopped = 2,   // Stop_request
    Flood_too_open = 3,  // record 2000 reached with fewer than 5 obstacle cells
};

struct Flood_result {
    Flood_status status;
    // Bounding box of the processed records: left/top the smallest x/y, right/bottom
    // the largest. Empty (1,000,000, 1,000,000, 0, 0) when no record was processed.
    Rect32 box;
    int32_t records;    // Rec_count at the end
    int32_t obstacles;  // non-road cells looked at
};

// Called now and then while the flood runs, with the painted picture and the
// part of it that holds paint, so the caller can show the network growing.
struct Flood_progress {
    void (*show)(void* context, const Image& painted, const Rect32& painted_part);
    void* context;
};

// The start cell of a release at (x, y): one pixel up and left, not below 0.
Point Flood_start_cell(int32_t x, int32_t y);

// The fill itself, over a picture of the screen region from (0, 0) to
// (min(screen width, 1600), min(screen height, 1200)); the picture's size
// stands for the screen's in the margin rules. Classifies and paints the
// picture as the fill would the live screen: every reached road pixel is
// painted in the first wave's colour and read back as such. Clears and fills
// the grid tables, stores Rec_count; shows no message.
Flood_result Flood_fill(Image& surface, int32_t release_x, int32_t release_y,
                        const Flood_progress* progress = nullptr);

// The capture's flood on the live screen: checks the start pixel, captures the
// screen region once, floods it while showing the growth, then writes the
// pictures and the working data set, fits the main window and shows the map.
// 0 = a map was captured; 1 = refused, failed or stopped (the messages, if any,
// have been shown) and the capture tool waits for the next drag.
int32_t Maze_map(int32_t x, int32_t y);

// Texts of the flood, used exactly as they stand.
inline constexpr const char* Not_white_text = "ERR 道路ではありません（白色でない）。いいえで終了";
inline constexpr const char* No_evac_text = "設定ポイントが正しくないようです。";
inline constexpr const char* Empty_map_text =
    "道路が画面の端に近すぎて地図を取り込めません。画面の内側の白色道路で右クリックしてください。";
inline constexpr const char* Capture_failed_text = "画面を読み取れません。";
