// The marker sets and the record that holds them, Base_data, which is also the
// whole content of base.dat: its byte layout is a file format and must not
// change. Base_snapshot is a second record of the same layout, for telling
// whether the markers changed since a tool started.
//
// Threads: a tool thread writes the sets while the panel, the route display
// and the painter read them. Every change and every read that needs a
// consistent set holds Markers_lock, so an entry is either fully there
// (coordinates and count) or not at all.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>

inline constexpr int Evac_capacity = 10;   // room for 10, at most 2 used
inline constexpr int Evac_used_max = 2;
inline constexpr int Point_capacity = 100; // congestion and no-passage points

struct Rect32 {
    int32_t left, top, right, bottom;
};

struct Base_record {
    int32_t Road_rec_total;
    int32_t Evac_x[Evac_capacity];
    int32_t Evac_y[Evac_capacity];
    int32_t Evac_n;
    Rect32 Map_rect;
    int32_t Cong_x[Point_capacity];
    int32_t Cong_y[Point_capacity];
    int32_t Cong_n;
    int32_t Nopass_x[Point_capacity];
    int32_t Nopass_y[Point_capacity];
    int32_t Nopass_n;
    uint8_t Base_reserved[4000];
};

static_assert(sizeof(Base_record) == 5712, "base.dat is 5,712 bytes");
static_assert(offsetof(Base_record, Evac_x) == 4);
static_assert(offsetof(Base_record, Evac_y) == 44);
static_assert(offsetof(Base_record, Evac_n) == 84);
static_assert(offsetof(Base_record, Map_rect) == 88);
static_assert(offsetof(Base_record, Cong_x) == 104);
static_assert(offsetof(Base_record, Cong_y) == 504);
static_assert(offsetof(Base_record, Cong_n) == 904);
static_assert(offsetof(Base_record, Nopass_x) == 908);
static_assert(offsetof(Base_record, Nopass_y) == 1308);
static_assert(offsetof(Base_record, Nopass_n) == 1708);
static_assert(offsetof(Base_record, Base_reserved) == 1712);

// A checksum of the marker sets in use and the map's rectangle: what a route
// was built for. Never 0.
uint64_t Markers_sum(const Base_record& b);

extern Base_record Base_data;
extern Base_record Base_snapshot;
extern std::mutex Markers_lock;

// Marker kinds.
enum Marker_kind : int { Kind_evac = 1, Kind_cong = 2, Kind_nopass = 3 };
