// The road grid: the two record tables, the record kinds and the per-pixel
// visit cells that the flood fill and the route wave share, and the record
// counter both of them append at.
//
// Owns: Wave_queue, Rec_kind, Cell_map, Rec_count, Grid_ready.
// Called by: the flood fill, the route wave and the data loader, each of which
// calls Grid_allocate before touching the tables (the flood only while they
// do not exist: its own writes do not count in Grid_writes).
#include "map/grid.h"

#include <mutex>

#include "markers/base_data.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "platform/paths.h"
#include "platform/shell_flags.h"

Wave_rec* Wave_queue[2] = {nullptr, nullptr};
uint8_t* Rec_kind = nullptr;
uint8_t* Cell_map = nullptr;
std::atomic<int32_t> Rec_count{0};
std::atomic<int> Grid_ready{0};
std::atomic<uint64_t> Route_markers_sum{0};
std::atomic<uint32_t> Grid_writes{0};

void Grid_allocate() {
    Grid_writes.fetch_add(1);
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

namespace {

// Zero-filled memory for one table, never given back. 88 MB taken a small
// page at a time costs more in page faults than filling the tables does, so
// where the system offers large pages for the asking, ask: the table starts
// on a large-page boundary and the pages arrive zeroed as they are touched.
void* Table_memory(size_t size) {
#if defined(__linux__)
    constexpr size_t Large_page = size_t(2) << 20;
    void* const p = mmap(nullptr, size + Large_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const uintptr_t at = (reinterpret_cast<uintptr_t>(p) + Large_page - 1) & ~uintptr_t(Large_page - 1);
    madvise(reinterpret_cast<void*>(at), size, MADV_HUGEPAGE);  // a refusal only costs speed
    return reinterpret_cast<void*>(at);
#else
    return std::calloc(size, 1);
#endif
}

}  // namespace

Grid_tables Grid_tables_allocate(bool with_cells) {
    Grid_tables t;
    t.queue[0] = static_cast<Wave_rec*>(Table_memory(size_t(Wave_queue_bytes)));
    t.queue[1] = static_cast<Wave_rec*>(Table_memory(size_t(Wave_queue_bytes)));
    t.kind = static_cast<uint8_t*>(Table_memory(size_t(Rec_kind_bytes)));
    t.cells = with_cells ? static_cast<uint8_t*>(Table_memory(size_t(Cell_map_bytes))) : nullptr;
    if (!t.queue[0] || !t.queue[1] || !t.kind || (with_cells && !t.cells)) Fatal_error(Memory_error_text);
    return t;
}

void Grid_release() {
    Grid_writes.fetch_add(1);
    Rec_count = 0;
    Route_markers_sum = 0;
    if (!Grid_ready) return;
#if defined(__linux__)
    // Private anonymous pages given up read as zeros when touched again; a
    // refusal only keeps the memory.
    const struct {
        void* at;
        int64_t size;
    } tables[4] = {{Wave_queue[0], Wave_queue_bytes}, {Wave_queue[1], Wave_queue_bytes}, {Rec_kind, Rec_kind_bytes},
                   {Cell_map, Cell_map_bytes}};
    for (const auto& t : tables) madvise(t.at, size_t(t.size), MADV_DONTNEED);
#endif
}

void Rec_count_to_base() {
    std::lock_guard lock(Markers_lock);
    Base_data.Road_rec_total = Rec_count.load();
}
