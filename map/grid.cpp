// The road grid: the two record tables, the record kinds and the per-pixel
// visit cells that the flood fill and the route wave share, and the record
// counter both of them append at.
//
// Owns: Wave_queue, Rec_kind, Cell_map, Rec_count, Grid_ready.
// Called by: the flood fill, the route wave and the data loader, each of which
// calls Grid_allocate before touching the tables.
#include "map/grid.h"

#include <mutex>

#include "markers/base_data.h"

#include <cstdlib>
#include <mutex>

#include "platform/paths.h"
#include "platform/shell_flags.h"

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
    if (Grid_ready) return;
    // Zero-filled, so that the bytes no run ever writes are the same in every
    // saved data set.
    const Grid_tables t = Grid_tables_allocate();
    Wave_queue[0] = t.queue[0];
    Wave_queue[1] = t.queue[1];
    Rec_kind = t.kind;
    Cell_map = t.cells;
    Grid_ready = 1;
}

Grid_tables Grid_tables_allocate() {
    Grid_tables t;
    t.queue[0] = static_cast<Wave_rec*>(std::calloc(size_t(Grid_cells), sizeof(Wave_rec)));
    t.queue[1] = static_cast<Wave_rec*>(std::calloc(size_t(Grid_cells), sizeof(Wave_rec)));
    t.kind = static_cast<uint8_t*>(std::calloc(size_t(Rec_kind_bytes), 1));
    t.cells = static_cast<uint8_t*>(std::calloc(size_t(Cell_map_bytes), 1));
    if (!t.queue[0] || !t.queue[1] || !t.kind || !t.cells) Fatal_error(Memory_error_text);
    return t;
}

void Rec_count_to_base() {
    std::lock_guard lock(Markers_lock);
    Base_data.Road_rec_total = Rec_count.load();
}
