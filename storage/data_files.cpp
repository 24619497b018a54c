// Writer of the working data set. The files are the tables' own bytes on a
// little-endian machine, so each is written straight from memory.
#include "storage/data_files.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "platform/checksum.h"
#include "platform/paths.h"
#include "storage/base_tail.h"
#include "storage/folder_writer.h"

static_assert(std::endian::native == std::endian::little, "the data files are the tables' little-endian bytes");

std::atomic<uint64_t> Shown_map_sum{0};
std::atomic<uint64_t> Working_map_sum{0};

std::string Data_save_to(const std::string& folder, const Work_pictures& pictures) {
    Base_record base;
    Rec_count_to_base();
    {
        std::lock_guard lock(Markers_lock);
        base = Base_data;
    }
    const size_t cells = Grid_ready ? size_t(Grid_cells) : 0;
    const void* tables[4] = {Wave_queue[0], Wave_queue[1], Rec_kind, Cell_map};
    const size_t sizes[4] = {cells * sizeof(Wave_rec), cells * sizeof(Wave_rec), cells * 2, cells * 12};
    const char* names[4] = {Queue0_file, Queue1_file, Kind_file, Cells_file};

    // The tail: what the work's choices were (kept as they are in memory),
    // and fresh checksums of every other file of the set.
    Base_tail tail = Tail_read(base);
    if (!tail.marked()) tail = Base_tail{};
    tail.mark = Tail_mark;
    tail.version = Tail_version;
    std::vector<Folder_part> parts;
    for (int i = 0; i < 4; ++i) {
        tail.sums[Sum_d1 + i] = Checksum(tables[i], sizes[i]);
        parts.push_back({names[i], tables[i], sizes[i], tail.sums[Sum_d1 + i]});
    }
    tail.sums[Sum_map] = pictures.map.empty() ? 0 : Checksum(pictures.map.data(), pictures.map.size());
    tail.sums[Sum_photo] = pictures.photo.empty() ? 0 : Checksum(pictures.photo.data(), pictures.photo.size());
    tail.route_markers = Route_markers_sum.load();
    {
        std::lock_guard lock(Markers_lock);
        tail.origin_x = Capture_origin.x;
        tail.origin_y = Capture_origin.y;
    }
    Tail_write(base, tail);
    tail.base_sum = Base_sum(base);
    Tail_write(base, tail);

    parts.insert(parts.begin(), {Base_file, &base, sizeof base, 0});
    std::vector<std::string> gone;
    if (!pictures.map.empty()) parts.push_back({Map_picture_file, pictures.map.data(), pictures.map.size(), tail.sums[Sum_map]});
    if (!pictures.photo.empty())
        parts.push_back({Photo_picture_file, pictures.photo.data(), pictures.photo.size(), tail.sums[Sum_photo]});
    else
        gone.push_back(Photo_picture_file);  // an older aerial picture belongs to other work

    Write_failure f;
    if (Folder_write(folder, parts, gone, f)) {
        // The record in memory is again the file: a load of the folder gives back exactly this.
        {
            std::lock_guard lock(Markers_lock);
            std::memcpy(Base_data.Base_reserved, base.Base_reserved, sizeof base.Base_reserved);
        }
        if (tail.sums[Sum_map] != 0) {
            Shown_map_sum = tail.sums[Sum_map];
            if (folder == Exe_folder) Working_map_sum = tail.sums[Sum_map];
        }
        return "";
    }
    return (f.file.empty() ? f.path : f.file) + " (" + f.step + ": " + f.reason + ")";
}

std::string Data_save_to(const std::string& folder) {
    Work_pictures pictures;
    {
        std::lock_guard shown(Shown_lock);
        if (!Map_image.empty()) pictures.map = Bmp_bytes(Map_image, 0, 0, Map_image.w, Map_image.h);
        if (!Photo_image.empty()) pictures.photo = Bmp_bytes(Photo_image, 0, 0, Photo_image.w, Photo_image.h);
    }
    return Data_save_to(folder, pictures);
}
