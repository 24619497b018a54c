// The route wave: from the evacuation places, the cheapest walk to every road
// pixel of the shown map, kept as one node per reached pixel with its parent
// and cost in the grid tables (map/grid.h), for the route display and the
// data files.
//
// Owns: Bucket_head, Bucket_tail, Wave_now, Wave_end, the spare set of grid
// tables the wave is built in, and Wave_last. Called by: the control panel's
// "ルート作成" (Map_restore, Route_build), tovi-cli route, tests and benches
// (Wave_run on a picture of their own).
#pragma once
#include <cstddef>  // image.h uses size_t
#include <cstdint>

#include "map/image.h"

inline constexpr int32_t Bucket_count = 1000000;     // costs 0 to 999,999
inline constexpr int32_t Wave_cost_limit = 999900;   // a bucket above this is not taken
inline constexpr int32_t Wave_node_limit = 1919900;  // Grid_cells - 100
inline constexpr int32_t Wave_margin = 10;           // pixels never expanded along each edge
inline constexpr int32_t Congestion_step_cost = 10;

// Bucket queue by cost: the first and last node of each cost, -1 while empty.
extern int32_t Bucket_head[Bucket_count];
extern int32_t Bucket_tail[Bucket_count];
extern int32_t Wave_now;  // the cost whose bucket is being expanded
extern int32_t Wave_end;  // one more than the largest cost given so far

enum Wave_status : int32_t {
    Wave_completed = 0,
    Wave_no_evac,        // more than 51 nodes and no evacuation colour met
    Wave_stopped,        // Stop_request
    Wave_cancelled,      // the caller's poll asked to end (a left press)
    Wave_too_many,       // more than Wave_node_limit nodes
    Wave_node_too_high,  // a node number above Wave_node_limit in a bucket
    Wave_cost_too_high,  // a bucket above Wave_cost_limit
};

struct Wave_result {
    Wave_status status;
    int32_t nodes;         // nodes created
    int32_t highest_cost;  // Wave_end - 1
    // The figures of the caption for the last bucket taken: its cost and the
    // node count when it was taken.
    int32_t caption_cost;
    int32_t caption_nodes;
};

// Offered every Wave_poll_nodes nodes taken, with the figures of the bucket
// being expanded. Answers non-zero to end the wave (Wave_cancelled). It may
// let go of the surface for a moment (so the window can show it) as long as
// the picture keeps its size.
inline constexpr int32_t Wave_poll_nodes = 4096;
struct Wave_progress {
    int (*poll)(void* context, int32_t cost, int32_t nodes);
    void* context;
};

// The wave over a picture given explicitly: surface is the shown map (read
// and painted as the wave goes), picture_w x picture_h the size of the map
// picture, which sets the expansion area. With place count 2 a second wave
// starts from (x2, y2). On completion the new tables replace the grid
// tables, Rec_count and Road_rec_total become the node count, and the route
// index is dropped; on any other outcome the grid tables, Rec_count and
// Road_rec_total keep what they held. Sets this thread's Evac_seen.
Wave_result Wave_run(Image& surface, int32_t picture_w, int32_t picture_h, int32_t place_count, int32_t x1,
                     int32_t y1, int32_t x2, int32_t y2, const Wave_progress* progress = nullptr);

// The message "ルート作成" shows for a wave that ended early (none for one
// the user cancelled); 0 for a completed wave, else 1.
int32_t Wave_refusal(Wave_status s);

// For a caller that never cancels a wave (tovi-cli): on, waves are built in
// the grid tables themselves, with no spare set of 88 MB beside them; a wave
// that ends early then leaves the tables half built. Off by default.
void Wave_in_place(bool on);

// Prepares the spare tables and the buckets and creates the source nodes;
// returns the capacity, Grid_cells. Part of Wave_run.
int32_t Wave_init(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t place_count);

// 1 when (x, y) lies outside the area whose pixels are expanded, else 0.
int32_t Wave_out_of_area(int32_t x, int32_t y, int32_t picture_w, int32_t picture_h);

// The outcome of the last Wave_run of the process.
extern Wave_result Wave_last;

// The wave on the shown map: paints it as it goes, counts in the main
// window's caption, ends on a left press, reports every early end. 0 when
// the wave completed, 1 when it ended early.
int32_t Route_wave(int32_t place_count, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// The shown map back to the map picture with every marker painted.
void Map_restore();

// "ルート作成": the wave from the evacuation places, then the map restored and
// a beep, whatever the outcome. 0 when a new route was built.
int32_t Route_build();

// The caption while the wave runs.
inline constexpr const char* Wave_caption_format = "%d - %d   %d - %d";
// Texts of the wave, used exactly as they stand.
inline constexpr const char* Wave_stop_text = "STOP";
inline constexpr const char* Wave_too_many_text = "範囲に障害があり終了します。a";
inline constexpr const char* Wave_node_too_high_text = "範囲に障害があり終了します。b";
inline constexpr const char* Wave_cost_text = "OVER WAVE";
