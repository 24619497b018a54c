// Writer of the working data set. The files are the tables' own bytes on a
// little-endian machine, so each is written straight from memory in one call.
#include "storage/data_files.h"

#include <bit>
#include <cstdint>
#include <mutex>

#include "app/shell.h"
#include "map/grid.h"
#include "markers/base_data.h"
#include "storage/file_io.h"

static_assert(std::endian::native == std::endian::little, "the data files are the tables' little-endian bytes");

std::string Data_save_to(const std::string& folder) {
    Base_record base;
    {
        std::lock_guard lock(Markers_lock);
        Base_data.Road_rec_total = Rec_count.load();
        base = Base_data;
    }
    const size_t cells = Grid_ready ? size_t(Grid_w) * size_t(Grid_h) : 0;
    struct File_part {
        const char* name;
        const void* data;
        size_t size;
    };
    const File_part parts[] = {
        {Base_file, &base, sizeof base},
        {Queue0_file, Wave_queue[0], cells * sizeof(Wave_rec)},
        {Queue1_file, Wave_queue[1], cells * sizeof(Wave_rec)},
        {Kind_file, Rec_kind, cells * 2},
        {Cells_file, Cell_map, cells * 12},
    };
    std::string failed;
    for (const File_part& p : parts) {
        if (File_replace(Path_join(folder, p.name), p.data, p.size)) continue;
        if (!failed.empty()) failed += ' ';
        failed += p.name;
    }
    return failed;
}
