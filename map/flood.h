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

// The fill itself, over a picture of the flood's window of the screen
// (Flood_window), with the release in the picture's coordinates; the
// picture's size stands for the screen's in the margin rules. Classifies and paints the
// picture as the fill would the live screen: every reached road pixel is
// painted in the first wave's colour and read back as such. Clears and fills
// the grid tables, stores Rec_count; shows no message.
Flood_result Flood_fill(Image& surface, int32_t release_x, int32_t release_y,
                        const Flood_progress* progress = nullptr);

// The part of a screen of screen_w x screen_h pixels that the flood runs in
// for a release at (x, y) of that screen: the whole screen where it is no
// larger than the grid; otherwise a grid-sized window centred on the release
// as far as the screen allows. A screen of at most 1600 x 1200 pixels gives
// (0, 0, w, h), the region every earlier capture used.
Rect32 Flood_window(int32_t screen_w, int32_t screen_h, Point release);

// What a completed flood leaves for the rest of the capture.
struct Capture_outcome {
    Image picture;  // the flood's window of the snapshot, unpainted
    Point origin;   // the screen position of its top-left pixel
    Rect32 box;     // the map: the bounding box of the records, in the picture
    bool no_mark = false;  // refused: no orange or evacuation colour met in time
};

// The capture's flood on a snapshot of the screen whose top-left pixel stands
// at origin: checks the start pixel, floods the window of the release while
// showing the growth on the capture window, and puts the picture back as it
// was. 0 = a map was found (out holds it); 1 = refused, failed or stopped
// (the messages, if any, have been shown).
int32_t Maze_map_on(const Image& snapshot, Point origin, Point release, Capture_outcome& out);

// After a completed flood: writes the pictures and the working data set,
// keeps the capture's origin, fits the main window and shows the map.
// 0 = done; 1 = not (a message has been shown).
int32_t Capture_finish(const Capture_outcome& c);

// Both in one, on a fresh snapshot: what tovi-cli's capture and the tests run.
int32_t Maze_map(int32_t x, int32_t y);

// Texts of the flood, used exactly as they stand.
inline constexpr const char* Not_white_text = "ERR 道路ではありません（白色でない）。いいえで終了";
inline constexpr const char* No_evac_text = "設定ポイントが正しくないようです。";
inline constexpr const char* Empty_map_text =
    "道路が画面の端に近すぎて地図を取り込めません。画面の内側の白色道路で右クリックしてください。";
inline constexpr const char* Capture_failed_text = "画面を読み取れません。";
inline constexpr const char* Too_open_text =
    "道路のまわりに建物や区画が見つからず、道路網として読み取れません。地図の白色道路の上で右ボタンを離してください。";
// The help line after a start refused for want of an orange or evacuation
// mark among the first records: what such a start needs.
inline constexpr const char* Start_hint_text =
    " 白色道路のすぐ横にオレンジ色の印（地図の作図機能で描いた印など）がある所で、右ボタンを離してください。";
