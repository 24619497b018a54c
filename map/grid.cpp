// The road grid: the two record tables, the record kinds and the per-pixel
// visit cells that the flood fill and the route wave share, and the record
// counter both of them append at.
//
// Owns: Grid_w, Grid_h, Wave_queue, Rec_kind, Cell_map, Rec_count, Grid_ready.
// Called by: the flood fill, the route wave and the data loader, each of which
// calls Grid_allocate before touching the tables.
#include "map/grid.h"

#include <cstdlib>
#include <mutex>

#include "platform/paths.h"
#include "platform/shell_flags.h"

int32_t Grid_w = 0;
int32_t Grid_h = 0;
Wave_rec* Wave_queue[2] = {nullptr, nullptr};
uint8_t* Rec_kind = nullptr;
uint8_t* Cell_map = nullptr;
std::atomic<int32_t> Rec_count{0};
std::atomic<int> Grid_ready{0};
std::atomic<uint64_t> Route_markers_sum{0};

void Grid_allocate() {
    // The panel thread (flood, wave) and the load thread can both get here first.
    static std::mutex once;
    std::lock_guard lock(once);
    Grid_w = Grid_w_fixed;
    Grid_h = Grid_h_fixed;
    if (Grid_ready) return;
    // Zero-filled, so that the bytes no run ever writes are the same in every
    // saved data set; the pages are only backed by memory once touched.
    auto* q0 = static_cast<Wave_rec*>(std::calloc(size_t(Grid_cells), sizeof(Wave_rec)));
    auto* q1 = static_cast<Wave_rec*>(std::calloc(size_t(Grid_cells), sizeof(Wave_rec)));
    auto* kind = static_cast<uint8_t*>(std::calloc(size_t(Rec_kind_bytes), 1));
    auto* cells = static_cast<uint8_t*>(std::calloc(size_t(Cell_map_bytes), 1));
    if (!q0 || !q1 || !kind || !cells) Fatal_error(Memory_error_text);
    Wave_queue[0] = q0;
    Wave_queue[1] = q1;
    Rec_kind = kind;
    Cell_map = cells;
    Grid_ready = 1;
}
