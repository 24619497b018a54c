// The map pictures and their file format.
#include "map/map_pictures.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/grid.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "platform/platform.h"
#include "platform/file_read.h"

Point Capture_origin{0, 0};

namespace {

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Show_error(const std::string& text) { Plat().Message_box(text, Error_caption, Box_ok, Owner_main); }

Capture_listener Listener;

}  // namespace

void Capture_listen(const Capture_listener& listener) { Listener = listener; }

const Capture_listener& Capture_news() { return Listener; }

int64_t Bmp_stride(int32_t width) {
    const int64_t bytes = int64_t(width) * 3;
    return bytes % 4 == 0 ? bytes : bytes + 4 - bytes % 4;
}

std::vector<uint8_t> Bmp_bytes(const Image& picture, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const int64_t w = int64_t(right) - left;
    const int64_t h = int64_t(bottom) - top;
    if (w <= 0 || h <= 0 || w > Bmp_side_max || h > Bmp_side_max) return {};
    const int64_t stride = Bmp_stride(int32_t(w));
    const int64_t rows_bytes = stride * h;
    std::vector<uint8_t> file(size_t(Bmp_header_bytes + rows_bytes), 0);
    uint8_t* p = file.data();
    p[0] = 'B';
    p[1] = 'M';
    Put32(p + 2, uint32_t(Bmp_header_bytes + rows_bytes));
    Put32(p + 10, Bmp_header_bytes);
    Put32(p + 14, 40);
    Put32(p + 18, uint32_t(w));
    Put32(p + 22, uint32_t(h));  // positive: rows bottom-up
    Put16(p + 26, 1);
    Put16(p + 28, 24);
    Put32(p + 34, uint32_t(rows_bytes));
    for (int64_t r = 0; r < h; ++r) {
        const int32_t y = int32_t(bottom - 1 - r);
        uint8_t* row = p + Bmp_header_bytes + r * stride;
        for (int64_t c = 0; c < w; ++c) {
            const uint32_t colour = picture.get(int32_t(left + c), y);
            row[c * 3 + 0] = uint8_t(Blue_of(colour));
            row[c * 3 + 1] = uint8_t(Green_of(colour));
            row[c * 3 + 2] = uint8_t(Red_of(colour));
        }
    }
    return file;
}

Bmp_status Bmp_decode(const uint8_t* data, size_t size, Image& out) {
    if (size < 2 || data[0] != 'B' || data[1] != 'M') return Bmp_not_bitmap;
    if (size < size_t(Bmp_header_bytes)) return Bmp_damaged;
    const uint32_t offset = Get32(data + 10);
    const uint32_t info_size = Get32(data + 14);
    if (info_size < 40 || uint64_t(14) + info_size > size) return Bmp_damaged;
    const int32_t width = int32_t(Get32(data + 18));
    const int32_t height = int32_t(Get32(data + 22));
    if (Get16(data + 26) != 1) return Bmp_damaged;
    if (Get16(data + 28) != 24 || Get32(data + 30) != 0) return Bmp_unsupported;
    // Compared before the sign is taken off, so that INT32_MIN never negates.
    if (width <= 0 || height == 0 || width > Bmp_read_width_max || height > Bmp_read_height_max ||
        height < -Bmp_read_height_max)
        return Bmp_damaged;
    const bool bottom_up = height > 0;
    const int32_t h = bottom_up ? height : -height;
    const int64_t stride = Bmp_stride(width);
    if (offset < uint64_t(14) + info_size || uint64_t(offset) + uint64_t(stride) * uint64_t(h) > size)
        return Bmp_damaged;

    Image picture(width, h);
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t* row = data + offset + int64_t(r) * stride;
        uint32_t* dst = &picture.px[size_t(bottom_up ? h - 1 - r : r) * size_t(width)];
        for (int32_t c = 0; c < width; ++c) dst[c] = Rgb(row[c * 3 + 2], row[c * 3 + 1], row[c * 3]);
    }
    out = std::move(picture);
    return Bmp_ok;
}

Bmp_status Bmp_read(const std::string& path, Image& out) {
    std::vector<uint8_t> file;
    if (!File_read_whole(path, file, Bmp_read_bytes_max)) return File_exists(path) ? Bmp_damaged : Bmp_cannot_open;
    return Bmp_decode(file.data(), file.size(), out);
}

const char* Bmp_status_text(Bmp_status status) {
    switch (status) {
    case Bmp_ok: return "";
    case Bmp_cannot_open: return "ファイルがないか、開けません。";
    case Bmp_not_bitmap: return "BMP形式のファイルではありません。";
    case Bmp_unsupported: return "無圧縮の24ビットBMPではありません。";
    case Bmp_damaged: return "ファイルが壊れています。";
    }
    return "";
}

int Map_images_save(const Image& screen, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    // Both pictures first, then the whole working set in one write: a folder
    // never holds a map picture of one capture beside the tables of another.
    Work_pictures pictures;
    pictures.map = Bmp_bytes(screen, left, top, right, bottom);
    if (pictures.map.empty()) {
        Error_box(std::string(Picture_write_failed_text) + "\n" + Path_join(Exe_folder, Map_picture_file));
        return 1;
    }
    if (Aerial_mode != 0 && Plat().Ask_yes_no(Aerial_question_text) == 0) {
        // The map on the screen now shows its aerial view: take the same
        // rectangle again, wherever the monitors stand now.
        Image aerial;
        Point at;
        Point origin;
        {
            std::lock_guard lock(Markers_lock);
            origin = Capture_origin;
        }
        // A map no longer wholly on the screen (its monitor gone) gives no
        // aerial picture rather than one with white where the map was.
        if (Plat().Screen_snapshot(aerial, at)) {
            const int64_t dx = int64_t(origin.x) - at.x, dy = int64_t(origin.y) - at.y;
            if (left + dx >= 0 && top + dy >= 0 && right + dx <= aerial.w && bottom + dy <= aerial.h)
                pictures.photo = Bmp_bytes(aerial, int32_t(left + dx), int32_t(top + dy), int32_t(right + dx),
                                           int32_t(bottom + dy));
        }
        if (pictures.photo.empty())
            Error_box(std::string(Picture_write_failed_text) + "\n" + Path_join(Exe_folder, Photo_picture_file));
    }
    Rect32 before;
    {
        std::lock_guard lock(Markers_lock);
        before = Base_data.Map_rect;
        Base_data.Map_rect = {left, top, right, bottom};
    }
    // The grid now holds the capture's records, which are no route.
    Route_markers_sum = 0;
    const std::string failed =
        Capture_news().write_work ? Capture_news().write_work(pictures) : std::string();
    if (!failed.empty()) {
        {
            std::lock_guard lock(Markers_lock);
            Base_data.Map_rect = before;
        }
        Error_box(std::string(Data_write_failed_text) + "\n" + Exe_folder + ": " + failed);
        return 1;
    }
    return 0;
}

int Map_images_load(const std::string& folder, bool reload) {
    if (Images_loaded && !reload) return 0;
    const std::string map_path = Path_join(folder, Map_picture_file);
    Image map;
    const Bmp_status map_status = Bmp_read(map_path, map);
    if (map_status != Bmp_ok) {
        Show_error(std::string(Picture_read_failed_text) + Bmp_status_text(map_status) + "\n" + map_path);
        return 1;
    }
    // The aerial picture is optional: no file means no aerial view, silently.
    const std::string photo_path = Path_join(folder, Photo_picture_file);
    Image photo;
    if (File_exists(photo_path)) {
        const Bmp_status photo_status = Bmp_read(photo_path, photo);
        if (photo_status != Bmp_ok) {
            photo = Image();
            Show_error(std::string(Picture_read_failed_text) + Bmp_status_text(photo_status) + "\n" + photo_path);
        }
    }
    {
        std::lock_guard lock(Shown_lock);
        Map_image = std::move(map);
        Photo_image = std::move(photo);
        Shown_map = Map_image;
    }
    Images_loaded = 1;
    Plat().Main_window_refresh();
    return 0;
}
