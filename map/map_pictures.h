// The map pictures: tst.bmp (the captured map) and tst1.bmp (the same region
// in the map's aerial view), their 24-bit bitmap file format, and their
// loading into Map_image and Photo_image.
//
// Owns: the picture file format and names. Called by: the flood after a
// completed capture (Map_images_save, Map_images_load), the control panel
// before the evacuation tool, and the data loader (Map_images_load).
#pragma once
#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <string>
#include <vector>

#include "map/grid.h"
#include "map/image.h"
#include "platform/platform.h"

inline constexpr const char* Map_picture_file = "tst.bmp";

// The screen position of the captured picture's top-left pixel: where the
// flood's window stood (0, 0 for work of earlier versions, whose flood always
// read the screen from its top-left corner). Map_rect is in the picture's
// coordinates; the aerial picture is taken at this place. Set by the capture
// and the loader, kept in base.dat by storage; guarded by Markers_lock.
extern Point Capture_origin;
inline constexpr const char* Photo_picture_file = "tst1.bmp";

// The pictures of a piece of work as bitmap files: tst.bmp (empty before any
// capture: no tst.bmp is written) and tst1.bmp (empty when the work has no
// aerial picture: an older tst1.bmp in the folder is removed with the write).
struct Work_pictures {
    std::vector<uint8_t> map;
    std::vector<uint8_t> photo;
};

// What a capture tells the rest of the program, which the shell installs
// (Shell_start); the map knows nothing of the panel, the route display or the
// data folders. A member left null is not called.
struct Capture_listener {
    // The flood has refilled the grid tables, whatever its outcome: whatever
    // was built on the tables before (the route display's index) is gone.
    void (*tables_refilled)() = nullptr;
    // Writes the capture's pictures and the working data set as one set into
    // the program folder: "" when written, otherwise what failed, which the
    // capture shows. Without it nothing is written.
    std::string (*write_work)(const Work_pictures& pictures) = nullptr;
    // A map has been captured and is shown.
    void (*map_captured)() = nullptr;
};
void Capture_listen(const Capture_listener& listener);
// The listener installed (all members null before any).
const Capture_listener& Capture_news();

inline constexpr int32_t Bmp_header_bytes = 54;
// Pictures larger than this in either direction are never written.
inline constexpr int32_t Bmp_side_max = 16384;
// A map picture is cut from the flooded region, so none is larger than the
// grid: the reader refuses anything larger, which caps its memory at one map.
inline constexpr int32_t Bmp_read_width_max = Grid_w_fixed;
inline constexpr int32_t Bmp_read_height_max = Grid_h_fixed;
// The largest file the reader takes in: the largest map's rows and room for
// a longer header and trailing bytes of other programs.
inline constexpr size_t Bmp_read_bytes_max = size_t((Grid_w_fixed * 3 + 3) / 4 * 4) * Grid_h_fixed + (size_t(1) << 20);

// Bytes of one stored row: 3 per pixel, padded with zeros to a multiple of 4.
int64_t Bmp_stride(int32_t width);

// The bitmap file of the rectangle (left, top)-(right, bottom) of the picture:
// columns left to right - 1, rows top to bottom - 1, bottom row first, blue,
// green, red. Positions outside the picture read as pure white, as the screen's
// unreadable pixels do. Empty when the rectangle is empty or too large.
std::vector<uint8_t> Bmp_bytes(const Image& picture, int32_t left, int32_t top, int32_t right, int32_t bottom);

// (Bmp_write in storage/file_io.h writes it into a file.)

enum Bmp_status : int {
    Bmp_ok = 0,
    Bmp_cannot_open,   // missing or unreadable file
    Bmp_not_bitmap,    // no bitmap header
    Bmp_unsupported,   // a bitmap, but not uncompressed 24-bit
    Bmp_damaged,       // header fields or sizes that do not fit the file
};
// Checks every header field and size against the data before taking any
// memory for pixels. Rows are stored bottom-up (positive height) or top-down
// (negative height); a picture wider than Bmp_read_width_max or taller than
// Bmp_read_height_max is refused as damaged; Bmp_read refuses a file larger
// than Bmp_read_bytes_max the same way.
Bmp_status Bmp_decode(const uint8_t* data, size_t size, Image& out);
Bmp_status Bmp_read(const std::string& path, Image& out);
// A user-facing explanation of a failed read.
const char* Bmp_status_text(Bmp_status status);

// After a completed flood: cuts tst.bmp from the screen picture (the capture
// before any paint), in aerial-photo mode asks for the aerial view and cuts
// tst1.bmp from a fresh capture of the screen, sets Map_rect and writes the
// pictures and the working data set into the program folder as one set.
// 0 = written; 1 = not (a message has been shown, Map_rect is unchanged and
// the folder holds what it held before). A failed aerial picture is shown and
// the work goes on without one.
int Map_images_save(const Image& screen, int32_t left, int32_t top, int32_t right, int32_t bottom);

// Loads tst.bmp and tst1.bmp of the folder into Map_image and Photo_image and
// shows the map in the main window. When the pictures are held already it does
// nothing unless reload is true. A missing tst1.bmp leaves Photo_image empty.
// 0 = loaded (or held); 1 = tst.bmp could not be read: a message has been
// shown and the pictures held before are kept.
int Map_images_load(const std::string& folder, bool reload);

// Texts of the map pictures, used exactly as they stand.
inline constexpr const char* Aerial_question_text =
    "航空写真との合成は、地図の右上の航空写真のボタンを押して、画面が航空写真に変わったらＹＥＳを押す。";
inline constexpr const char* Picture_write_failed_text = "地図の画像を書き込めません。";
inline constexpr const char* Picture_read_failed_text = "地図の画像を読み込めません。";
inline constexpr const char* Data_write_failed_text = "作業データを書き込めません。";
