// The road grid: one cell per pixel of a 1600 x 1200 area and the two record
// tables that the flood fill and the route wave fill, sharing one numbering.
// Record k lives in Wave_queue[Rec_kind[k] & 1]; the other table's slot k is
// unused. The tables are allocated once per process and never freed; their
// byte images are the files d1.dat to d4.dat, so their layouts are fixed.
#pragma once
#include <atomic>
#include <cstdint>

struct Wave_rec {
    uint16_t x;
    uint16_t y;
    int32_t parent;  // record whose expansion appended this one; -1 for a start
    int32_t cost;    // route wave: path cost
    int32_t next;    // route wave: next record of the same cost; -1 at the end
};
static_assert(sizeof(Wave_rec) == 16, "d1.dat and d2.dat hold 16-byte records");

inline constexpr int32_t Grid_w_fixed = 1600;
inline constexpr int32_t Grid_h_fixed = 1200;
inline constexpr int32_t Grid_cells = Grid_w_fixed * Grid_h_fixed;  // N = 1,920,000

// Table sizes in bytes, as saved.
inline constexpr int64_t Wave_queue_bytes = int64_t(Grid_cells) * 16;  // 30,720,000
inline constexpr int64_t Rec_kind_bytes = int64_t(Grid_cells) * 2;     // 3,840,000
inline constexpr int64_t Cell_map_bytes = int64_t(Grid_cells) * 12;    // 23,040,000

// Visit bits in the last byte of a Cell_map cell.
inline constexpr uint8_t Visit_first = 2;
inline constexpr uint8_t Visit_second = 4;

extern Wave_rec* Wave_queue[2];
extern uint8_t* Rec_kind;  // Rec_kind_bytes
extern uint8_t* Cell_map;  // Cell_map_bytes; cell i's visit byte is Cell_map[i * 4 + 3]
// The number of records the tables hold: the one record count. base.dat's
// Road_rec_total is its copy, taken by Rec_count_to_base whenever the tables
// get a new whole set of records (a completed capture or wave) or are saved.
extern std::atomic<int32_t> Rec_count;
extern std::atomic<int> Grid_ready;
// Markers_sum of the marker sets the records were built for by the route
// wave; 0 while they are a capture's records (or none). Written by the wave on
// completion, the capture and the loader; a route is the current one exactly
// when this equals the sum of the markers shown.
extern std::atomic<uint64_t> Route_markers_sum;

// The eight neighbours of a cell in the order the flood and the wave look at
// them: right, left, down, up, then the diagonals. The order decides which
// record a pixel gets, so it is part of the saved tables.
inline constexpr int32_t Step_x[8] = {1, -1, 0, 0, 1, -1, 1, -1};
inline constexpr int32_t Step_y[8] = {0, 0, 1, -1, 1, 1, -1, -1};

// One set of the four tables, zero-filled (the pages are only backed by
// memory once touched), for the grid and, without the cell table (cells
// nullptr: with_cells false), for the wave's spare set. A failed allocation
// is fatal: "メモリーが確保出来ません、終了します。".
struct Grid_tables {
    Wave_rec* queue[2];
    uint8_t* kind;
    uint8_t* cells;
};
Grid_tables Grid_tables_allocate(bool with_cells = true);

// Allocates the four tables if they do not exist yet (Grid_ready 0). The
// grid is always Grid_w_fixed x Grid_h_fixed cells. A failed allocation is fatal: "メモリーが確保出来ません、終了します。".
// Whatever writes the tables, but the flood itself, calls it first (the wave,
// the loader, tests): each call counts in Grid_writes.
void Grid_allocate();

// For a process that needs nothing the tables hold any more (tovi-cli render
// once the walks are taken out of them): gives their memory back to the
// system where it can take it without the tables moving (Linux: the pages
// read as zeros again, as freshly allocated; elsewhere they stay as they
// were). Their content is lost either way: Rec_count and Route_markers_sum
// become 0, so no records and no route are current, and it counts as a
// write (Grid_writes). Only while no other thread uses the tables.
void Grid_release();

// The calls of Grid_allocate so far. While it stays what it was when the last
// flood ended, the tables hold exactly what that flood left, and the next
// flood redoes only the part of them that the two floods touch.
extern std::atomic<uint32_t> Grid_writes;

// Base_data.Road_rec_total = Rec_count, under Markers_lock.
void Rec_count_to_base();

inline uint8_t& Cell_visit(int32_t cell) { return Cell_map[size_t(cell) * 4 + 3]; }
