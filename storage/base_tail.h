// The tail of base.dat: the 4,000 bytes at its end (Base_reserved) that
// earlier versions wrote as zeros, now the place for what a folder needs
// beyond the raw tables. All little-endian, offsets from the tail's start:
//
//   offset  size  field
//        0     4  mark "TOVI"; four zeros in folders of earlier versions
//        4     4  layout version, 1
//        8     8  checksum of base.dat itself, taken with these 8 bytes zero
//       16     8  checksum of d1.dat
//       24     8  checksum of d2.dat
//       32     8  checksum of d3.dat
//       40     8  checksum of d4.dat
//       48     8  checksum of tst.bmp
//       56     8  checksum of tst1.bmp; 0 = the work has no aerial picture
//       64     8  Markers_sum of the marker sets the route was built for;
//                 0 = no route was built (the records are the capture's)
//       72     4  capture origin x on the screen (0 in earlier folders)
//       76     4  capture origin y
//       80     8  metres per map pixel measured on the map, as a double;
//                 0 = the scale choice of 100 m or 200 m
//       88     8  walking speed of the evacuation map, metres a minute
//                 (double); 0 = the default
//       96     4  band width of the evacuation map in minutes; 0 = default
//      100     4  time limit of the evacuation map in minutes; 0 = none
//      104   128  title of the evacuation map, UTF-8, zero-padded; empty = default
//      232   128  source line of the evacuation map, UTF-8, zero-padded
//      360  3640  zero, room for later fields
//
// A tail without the mark carries no checksums: such a folder loads as
// earlier versions loaded it. The checksums use platform/checksum.h.
//
// Owns: the layout. Called by: the folder writer and loader (storage/).
#pragma once
#include <cstdint>
#include <string>

#include "markers/base_data.h"

inline constexpr uint32_t Tail_mark = 0x49564F54u;  // "TOVI" as little-endian bytes
inline constexpr uint32_t Tail_version = 1;
inline constexpr int Tail_title_bytes = 128;
// The bytes of the fields the user chooses (from the measured scale to the
// source line), for telling whether they changed.
inline constexpr int Tail_choices_from = 80;
inline constexpr int Tail_choices_to = 360;

// Which file each checksum slot stands for.
enum Tail_sum : int {
    Sum_d1, Sum_d2, Sum_d3, Sum_d4, Sum_map, Sum_photo, Sum_count
};

struct Base_tail {
    uint32_t mark = 0;
    uint32_t version = 0;
    uint64_t base_sum = 0;
    uint64_t sums[Sum_count] = {};
    uint64_t route_markers = 0;
    int32_t origin_x = 0;
    int32_t origin_y = 0;
    double metres_per_pixel = 0;
    double speed = 0;
    int32_t band_minutes = 0;
    int32_t limit_minutes = 0;
    std::string title;
    std::string source;

    bool marked() const { return mark == Tail_mark; }
};

// The tail of a record as fields, and fields into a record's tail (every
// byte the layout does not name is written as zero).
Base_tail Tail_read(const Base_record& b);
void Tail_write(Base_record& b, const Base_tail& t);

// The checksum of a whole base.dat: its bytes with the self-checksum slot zero.
uint64_t Base_sum(const Base_record& b);
