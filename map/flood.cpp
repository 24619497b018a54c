// The road-network flood fill.
//
// The fill runs over a picture of the screen taken once at the release, not
// over the live screen: reading pixels one by one from the screen is far too
// slow, and the picture keeps the map's own road colours for tst.bmp while
// its painted copy shows the user the network growing.
#include "map/flood.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pixel_check.h"

namespace {

// The neighbours are the grid's (Step_x, Step_y in map/grid.h); their order
// decides the record numbering, so it is part of the result.

// Records beyond this many end the fill as completed.
constexpr int32_t Record_limit = Grid_cells - 100;

// The margins keep every processed pixel at least 10 from the top and left
// and 20 from the right and bottom of both the screen and the grid, so its
// neighbours always lie inside the picture and the grid. The last rule of the
// margins (x + (y + 1) * Grid_w_fixed + 101 > N) can therefore never hold.
constexpr int32_t Margin_low = 10;
constexpr int32_t Margin_high = 20;
static_assert((Grid_w_fixed - Margin_high) + (Grid_h_fixed - Margin_high + 1) * Grid_w_fixed + 101 <= Grid_cells);

// How often, in processed records, the fill offers its progress.
constexpr int32_t Progress_every = 4096;

static_assert(std::endian::native == std::endian::little,
              "a cell's visit byte is the top byte of its 32-bit word; a record's x is the low half of its first word");

// The fill's own visit marks, one byte per grid cell. Dense, the eight looks
// around a record fall into three short rows that the cache holds, where
// Cell_map spreads the same marks over 4-byte cells; Grid_finish writes them
// into Cell_map when the fill ends. Only the capture's thread floods.
uint8_t Visit_marks[Grid_cells];

// What the last fill left, for the next one: while Grid_writes still holds
// Footprint_writes nothing else has written the tables since it ended, so
// they hold exactly what it left (see Grid_finish): its records below
// Footprint_count, and visit marks only on the lines of sixteen cells whose
// Marked_line is 1, which Visit_marks holds too. The next fill then clears
// and rewrites only those lines and its own, and the parents of the last
// fill's records beyond its own count.
constexpr size_t Line = 16;  // cells: one cache line of visit bytes
static_assert(Grid_cells % Line == 0);
uint32_t Footprint_writes = ~0u;
int32_t Footprint_count = 0;
uint8_t Marked_line[Grid_cells / Line];

// The neighbours' cell offsets, and their x and y steps packed as a record's
// first word holds x and y (x below, y above; a step of -1 borrows nothing as
// every processed x and y is at least 10).
constexpr std::array<int32_t, 8> Cell_step = [] {
    std::array<int32_t, 8> step{};
    for (int k = 0; k < 8; ++k) step[size_t(k)] = Step_x[k] + Step_y[k] * Grid_w_fixed;
    return step;
}();
constexpr std::array<uint32_t, 8> Xy_step = [] {
    std::array<uint32_t, 8> step{};
    for (int k = 0; k < 8; ++k) step[size_t(k)] = uint32_t(Step_x[k]) + (uint32_t(Step_y[k]) << 16);
    return step;
}();

// What every fill starts from, written when the fill has ended (nothing reads
// these tables while it runs, so the bytes come out as if cleared first): the
// visit byte of every cell holds the fill's marks and nothing else; the parent
// of every record the fill did not append, of both queues, is 0; so are the
// record kinds and the x of the second queue's records. The rest of the tables
// keeps what the last run left.
//
// Each store is made only where a byte differs, a block at a time: a block
// that already holds the value (the common case, after a fill that left the
// same) stays clean in the cache and costs no write back to memory.
constexpr size_t Block = 64;  // cells and records handled side by side
static_assert(Grid_cells % Block == 0);

// A record's head, its first eight bytes, holds x, y and parent (x lowest).
static_assert(offsetof(Wave_rec, x) == 0 && offsetof(Wave_rec, y) == 2 && offsetof(Wave_rec, parent) == 4);
constexpr uint64_t Parent_bits = 0xFFFFFFFF00000000u;
constexpr uint64_t X_bits = 0x000000000000FFFFu;

// Sixteen bytes as the vector unit sees them: as bytes, as 16-bit halves,
// as four 32-bit cells, or as the head and the tail of one record.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));
typedef uint16_t Halves8 __attribute__((vector_size(16)));
typedef uint32_t Cells4 __attribute__((vector_size(16)));
typedef uint64_t Rec_lanes __attribute__((vector_size(16)));

template <class V>
inline V Load16(const void* from) {
    V v;
    std::memcpy(&v, from, 16);
    return v;
}

template <class V>
inline void Store16(void* to, V v) {
    std::memcpy(to, &v, 16);
}

template <class V>
inline bool Any(V v) {
    uint64_t half[2];
    std::memcpy(half, &v, 16);
    return (half[0] | half[1]) != 0;
}

// Sixteen visit marks as the top bytes of sixteen cells, the rest 0.
inline void Marks_as_cells(const uint8_t* marks, Cells4 out[4]) {
    const Bytes16 m = Load16<Bytes16>(marks);
    const Bytes16 zero8 = {};
    const Halves8 zero16 = {};
    const Halves8 low = Halves8(__builtin_shufflevector(zero8, m, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23));
    const Halves8 high =
        Halves8(__builtin_shufflevector(zero8, m, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31));
    out[0] = Cells4(__builtin_shufflevector(zero16, low, 0, 8, 1, 9, 2, 10, 3, 11));
    out[1] = Cells4(__builtin_shufflevector(zero16, low, 4, 12, 5, 13, 6, 14, 7, 15));
    out[2] = Cells4(__builtin_shufflevector(zero16, high, 0, 8, 1, 9, 2, 10, 3, 11));
    out[3] = Cells4(__builtin_shufflevector(zero16, high, 4, 12, 5, 13, 6, 14, 7, 15));
}

// One sweep over the four tables side by side, which the memory keeps up with
// far better than four sweeps one after the other; sixteen bytes of a table
// at a time.
void Grid_finish(int32_t count) {
    uint8_t* const cells = Cell_map;  // cell i's 32 bits at byte i * 4, its visit byte the top one
    uint8_t* const q0 = reinterpret_cast<uint8_t*>(Wave_queue[0]);
    uint8_t* const q1 = reinterpret_cast<uint8_t*>(Wave_queue[1]);
    uint8_t* const kind = Rec_kind;
    constexpr Cells4 Visit_byte = {0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u};
    // In a record's lanes: the head's x and parent, not its y, nor cost and next.
    constexpr Rec_lanes Q1_clear = {Parent_bits | X_bits, 0};
    constexpr Rec_lanes Q0_clear = {Parent_bits, 0};
    for (size_t first = 0; first < size_t(Grid_cells); first += Block) {
        const size_t end = first + Block;
        Cells4 cell_differ = {};
        Bytes16 kind_held = {};
        Rec_lanes q1_held = {};
        for (size_t i = first; i < end; i += 16) {
            Cells4 want[4];
            Marks_as_cells(Visit_marks + i, want);
            for (size_t q = 0; q < 4; ++q)
                cell_differ |= (Load16<Cells4>(cells + (i + q * 4) * 4) & Visit_byte) ^ want[q];
            kind_held |= Load16<Bytes16>(kind + i);
            Marked_line[i / Line] = Any(Load16<Bytes16>(Visit_marks + i));
        }
#pragma GCC unroll 8
        for (size_t i = first; i < end; ++i) q1_held |= Load16<Rec_lanes>(q1 + i * 16);
        if (Any(cell_differ))
            for (size_t i = first; i < end; i += 16) {
                Cells4 want[4];
                Marks_as_cells(Visit_marks + i, want);
                for (size_t q = 0; q < 4; ++q) {
                    uint8_t* const at = cells + (i + q * 4) * 4;
                    Store16(at, (Load16<Cells4>(at) & ~Visit_byte) | want[q]);
                }
            }
        if (Any(kind_held)) std::memset(kind + first, 0, Block);
        if (Any(q1_held & Q1_clear))
            for (size_t i = first; i < end; ++i) Store16(q1 + i * 16, Load16<Rec_lanes>(q1 + i * 16) & ~Q1_clear);
        // The first queue's records below count are the fill's own.
        if (end > size_t(count)) {
            const size_t from = std::max(first, size_t(count));
            Rec_lanes q0_held = {};
#pragma GCC unroll 8
            for (size_t i = from; i < end; ++i) q0_held |= Load16<Rec_lanes>(q0 + i * 16);
            if (Any(q0_held & Q0_clear))
                for (size_t i = from; i < end; ++i) Store16(q0 + i * 16, Load16<Rec_lanes>(q0 + i * 16) & ~Q0_clear);
        }
    }
}

// Grid_finish after a fill over the tables exactly as the fill before left
// them: the same bytes come out, from only the lines of cells either fill
// marked and the records between the two counts. Nothing else differs: the
// last finish cleared the kinds, the second queue's x and parents and the
// first queue's parents from its count on, and this fill wrote only its own
// records and marks.
void Grid_finish_known(int32_t count) {
    uint8_t* const cells = Cell_map;
    constexpr Cells4 Visit_byte = {0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u};
    for (size_t line = 0; line < size_t(Grid_cells) / Line; ++line) {
        const size_t i = line * Line;
        const bool marked = Any(Load16<Bytes16>(Visit_marks + i));
        if (!marked && !Marked_line[line]) continue;
        Marked_line[line] = marked;
        Cells4 want[4];
        Marks_as_cells(Visit_marks + i, want);
        for (size_t q = 0; q < 4; ++q) {
            uint8_t* const at = cells + (i + q * 4) * 4;
            const Cells4 held = Load16<Cells4>(at);
            if (Any((held & Visit_byte) ^ want[q])) Store16(at, (held & ~Visit_byte) | want[q]);
        }
    }
    Wave_rec* const q0 = Wave_queue[0];
    for (int32_t k = count; k < Footprint_count; ++k) q0[k].parent = 0;
}

// The box of the processed records, kept as the smallest and the largest
// first word: x and y side by side as 16-bit lanes, each pair compared at
// once (every processed x and y lies between 10 and 1580, so a signed lane
// holds it). The other lanes hold nothing of use.
typedef int16_t Box_lanes __attribute__((vector_size(16)));
typedef uint32_t Xy_lanes __attribute__((vector_size(16)));
constexpr int16_t Box_none = 32767;  // the smallest x and y before any record

Rect32 Box_of(Box_lanes low, Box_lanes high) {
    if (low[0] == Box_none) return {1000000, 1000000, 0, 0};  // no record processed
    return {low[0], low[1], high[0], high[1]};
}

Rect32 Painted_part(const Image& s, int32_t min_x, int32_t min_y, int32_t max_x, int32_t max_y) {
    // Appended neighbours are painted one pixel outside the processed box.
    return {std::max(min_x - 1, 0), std::max(min_y - 1, 0), std::min(max_x + 2, s.w), std::min(max_y + 2, s.h)};
}

}  // namespace

// Written without x - 1, which would overflow at the smallest int.
Point Flood_start_cell(int32_t x, int32_t y) { return {x > 0 ? x - 1 : 0, y > 0 ? y - 1 : 0}; }

Flood_result Flood_fill(Image& surface, int32_t release_x, int32_t release_y, const Flood_progress* progress) {
    const Point start = Flood_start_cell(release_x, release_y);
    if (!Grid_ready) Grid_allocate();
    const uint32_t writes = Grid_writes.load();
    const bool known = writes == Footprint_writes;
    if (known) {
        for (size_t line = 0; line < size_t(Grid_cells) / Line; ++line)
            if (Marked_line[line]) std::memset(Visit_marks + line * Line, 0, Line);
    } else {
        std::memset(Visit_marks, 0, sizeof Visit_marks);
    }

    Wave_rec* const queue = Wave_queue[0];  // the flood appends first-wave records only
    uint8_t* const marks = Visit_marks;
    uint32_t* const px = surface.px.data();
    const ptrdiff_t stride = surface.w;
    const int32_t x_high = std::min(surface.w, Grid_w_fixed) - Margin_high;
    const int32_t y_high = std::min(surface.h, Grid_h_fixed) - Margin_high;
    // The margins as one unsigned comparison each: x - x_low > x_span rejects
    // x < Margin_low (it wraps) and x > x_high. A picture too small for any
    // processed pixel rejects every x: no 16-bit x minus 65536 is small.
    const bool room = x_high >= Margin_low && y_high >= Margin_low;
    const uint32_t x_low = room ? uint32_t(Margin_low) : 0x10000u;
    const uint32_t x_span = room ? uint32_t(x_high - Margin_low) : 0;
    const uint32_t y_span = room ? uint32_t(y_high - Margin_low) : 0;

    // Record 0 is the start cell. Its visit mark stays clear: it is painted
    // when processed, so the first neighbour that looks back at it reads the
    // paint, counts it as an obstacle and sets the mark.
    // A start beyond the 16-bit range is kept out of range rather than
    // wrapped onto some unrelated pixel; it is never processed.
    queue[0].x = uint16_t(std::min(start.x, 65535));
    queue[0].y = uint16_t(std::min(start.y, 65535));
    queue[0].parent = -1;
    int32_t count = 1;  // Rec_count, kept local while the fill runs
    int32_t obstacles = 0;
    int32_t evac_seen = 0;
    Box_lanes box_low = Box_lanes{} + Box_none, box_high = Box_lanes{};
    Flood_status status = Flood_completed;

    // The rules that can end the fill, and the progress, are looked at in
    // one place, at record next_check. Up to record 2000 that is every
    // record. Past it an evacuation colour must have been met (by record 51)
    // and record 2000's obstacles counted, so only three things are left: a
    // stop, which is looked for every Stop_every records (it comes at some
    // moment of the run, and the fill ends as it would had it come a little
    // later); the record limit, which a record moves closer by at most its
    // eight neighbours, so it needs a look only once count could have passed
    // it; and the next progress offer.
    constexpr int32_t Stop_every = 1024;
    int32_t next_show = progress ? Progress_every : Record_limit + 1;
    int32_t next_check = 0;
    for (int32_t j = 0; j < count; ++j) {
        if (j == next_check) [[unlikely]] {
            if (j <= 2000) {
                if (!evac_seen && count > 51) {
                    status = Flood_no_evac;
                    break;
                }
                if (Stop_request.load(std::memory_order_relaxed) == 1) {
                    status = Flood_stopped;
                    break;
                }
                if (j == 2000 && obstacles < 5) {
                    status = Flood_too_open;
                    break;
                }
            } else if (Stop_request.load(std::memory_order_relaxed) == 1) {
                status = Flood_stopped;
                break;
            }
            if (count > Record_limit) break;  // cut off there, but completed
            if (j == next_show) {
                next_show += Progress_every;
                Rec_count.store(count, std::memory_order_relaxed);
                const Rect32 box = Box_of(box_low, box_high);
                progress->show(progress->context, surface, Painted_part(surface, box.left, box.top, box.right, box.bottom));
            }
            next_check = j < 2000 ? j + 1
                                  : std::min({next_show, j + Stop_every, j + std::max(1, (Record_limit - count) / 8)});
        }

        uint32_t xy;
        std::memcpy(&xy, &queue[j], 4);
        const uint32_t x = xy & 0xFFFF;
        const uint32_t y = xy >> 16;
        if (x - x_low > x_span || y - uint32_t(Margin_low) > y_span) continue;  // recorded, never processed
        const Box_lanes at = Box_lanes(Xy_lanes{xy, 0, 0, 0});
        box_low = at < box_low ? at : box_low;
        box_high = at > box_high ? at : box_high;

        uint32_t* const pixel = px + (ptrdiff_t(y) * stride + ptrdiff_t(x));
        *pixel = Colour_first_wave;
        uint8_t* mark = marks + (size_t(y) * Grid_w_fixed + size_t(x));
        // Held as one pointer, so that each look is one compare at a constant
        // offset from it (left alone, the compiler forms every address anew).
        asm("" : "+r"(mark));
        // A record's first word (x, y) and its parent, stored as one.
        const uint64_t parent = uint64_t(uint32_t(j)) << 32;
        // Written out for each neighbour, so that every address is a constant
        // offset and the looks do not wait for one another.
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            uint8_t& visit = mark[Cell_step[size_t(k)]];
            // A cell already looked at is either painted road or a counted
            // obstacle: neither reads as road nor as an evacuation colour any
            // more, so it needs no classification.
            if (visit) continue;
            visit = Visit_first;
            uint32_t& seen = pixel[Step_x[k] + Step_y[k] * stride];
            // Pure white, most of a street map, is plain road; the rest goes
            // through the classifier.
            if ((seen & 0xFFFFFF) != Colour_white) {
                const uint8_t code = Pixel_code(seen);
                if (!(code & Code_road)) {
                    ++obstacles;
                    continue;
                }
                if (code & (Code_evac | Code_orange)) [[unlikely]] {
                    if ((code & Code_evac) || count < 50) evac_seen = 1;
                }
            }
            // Only x, y and parent: cost and next belong to the route wave.
            const uint64_t head = parent | (xy + Xy_step[size_t(k)]);
            std::memcpy(&queue[count], &head, 8);
            ++count;
            seen = Colour_first_wave;
        }
    }

    if (known) Grid_finish_known(count);
    else Grid_finish(count);
    Footprint_writes = writes;
    Footprint_count = count;
    Rec_count.store(count);
    Evac_seen = evac_seen;
    return {status, Box_of(box_low, box_high), count, obstacles};
}

namespace {

struct Show_state {
    int64_t last_ms;
    Point at;  // the screen position of the flooded picture's top-left pixel
};

// Presents the painted picture at most every 30 ms, so the user sees the
// network grow without the showing slowing the fill down.
void Show_progress(void* context, const Image& painted, const Rect32& part) {
    auto* state = static_cast<Show_state*>(context);
    const int64_t now = Plat().Now_ms();
    if (now - state->last_ms < 30) return;
    state->last_ms = now;
    Plat().Capture_window_show(painted, state->at, part.left, part.top, part.right - part.left, part.bottom - part.top);
}

int32_t Clamp_start(int64_t wanted, int32_t side, int32_t window) {
    if (side <= window) return 0;
    return int32_t(std::clamp<int64_t>(wanted, 0, side - window));
}

int32_t Clamp32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

Rect32 Flood_window(int32_t screen_w, int32_t screen_h, Point release) {
    const int32_t w = std::min(screen_w, Grid_w_fixed), h = std::min(screen_h, Grid_h_fixed);
    // Centred on the release where the screen allows, so that a map anywhere
    // on a wide screen or on a second monitor fits in the grid.
    const int32_t left = Clamp_start(int64_t(release.x) - Grid_w_fixed / 2, screen_w, Grid_w_fixed);
    const int32_t top = Clamp_start(int64_t(release.y) - Grid_h_fixed / 2, screen_h, Grid_h_fixed);
    return {left, top, left + w, top + h};
}

int32_t Maze_map_on(const Image& snapshot, Point origin, Point release, Capture_outcome& out) {
    const Point at{Clamp32(int64_t(release.x) - origin.x), Clamp32(int64_t(release.y) - origin.y)};
    const Rect32 window = Flood_window(snapshot.w, snapshot.h, at);
    const int32_t x = Clamp32(int64_t(at.x) - window.left), y = Clamp32(int64_t(at.y) - window.top);
    Image& captured = out.picture;
    captured = Image(window.right - window.left, window.bottom - window.top);
    for (int32_t row = 0; row < captured.h; ++row)
        std::copy_n(&snapshot.px[size_t(row + window.top) * size_t(snapshot.w) + size_t(window.left)], size_t(captured.w),
                    &captured.px[size_t(row) * size_t(captured.w)]);
    out.origin = {origin.x + window.left, origin.y + window.top};

    // The start pixel is checked in the picture the user dragged on.
    const Point start = Flood_start_cell(x, y);
    if ((captured.get(start.x, start.y) & 0xFFFFFF) != Colour_white) {
        Msg_confirm(Not_white_text);
        return 1;
    }
    // The fill paints the picture itself; the painted part is copied back
    // from the snapshot once it has been shown.
    Image& painted = captured;

    Show_state shown{Plat().Now_ms(), out.origin};
    const Flood_progress progress{Show_progress, &shown};
    const Flood_result r = Flood_fill(painted, x, y, &progress);
    // The fill has rewritten the grid tables, whatever its outcome: an index
    // of the route they held before would point into the new records.
    if (Capture_news().tables_refilled) Capture_news().tables_refilled();
    Route_markers_sum = 0;  // and they are no route, for any markers
    const Rect32& box = r.box;
    Rect32 part{0, 0, 0, 0};
    if (box.right >= box.left && box.bottom >= box.top) {
        part = Painted_part(painted, box.left, box.top, box.right, box.bottom);
        Plat().Capture_window_show(painted, out.origin, part.left, part.top, part.right - part.left,
                                   part.bottom - part.top);
    }
    // Every painted pixel lies in that part: the processed records and the
    // neighbours they appended.
    for (int32_t row = part.top; row < part.bottom; ++row)
        std::copy_n(&snapshot.px[size_t(row + window.top) * size_t(snapshot.w) + size_t(window.left + part.left)],
                    size_t(part.right - part.left), &captured.px[size_t(row) * size_t(captured.w) + size_t(part.left)]);
    // The paint was only a picture of the progress: show the map again as it
    // was, so a next drag finds its white roads again.
    auto restore = [&] {
        if (part.right > part.left && part.bottom > part.top)
            Plat().Capture_window_show(captured, out.origin, part.left, part.top, part.right - part.left,
                                       part.bottom - part.top);
    };

    switch (r.status) {
    case Flood_no_evac:
        out.no_mark = true;
        Error_box(No_evac_text);
        restore();
        return 1;
    case Flood_too_open:
        Error_box(Too_open_text);
        restore();
        return 1;
    case Flood_stopped: restore(); return 1;
    case Flood_completed: break;
    }
    // A start at the very edge, or a road of one row or one column, gives no
    // picture to cut: refuse it rather than capture an empty map.
    if (box.right <= box.left || box.bottom <= box.top) {
        Error_box(Empty_map_text);
        restore();
        return 1;
    }
    restore();
    out.box = box;
    return 0;
}

int32_t Capture_finish(const Capture_outcome& c) {
    Rec_count_to_base();  // the records, which the fill stored
    {
        std::lock_guard lock(Markers_lock);
        Capture_origin = c.origin;
    }
    const Rect32& box = c.box;
    if (Map_images_save(c.picture, box.left, box.top, box.right, box.bottom) != 0) return 1;
    Plat().Fit_main_window(box.right - box.left, box.bottom - box.top);
    if (Map_images_load(Exe_folder, true) != 0) return 1;
    if (Capture_news().map_captured) Capture_news().map_captured();
    return 0;
}

int32_t Maze_map(int32_t x, int32_t y) {
    Image snapshot;
    Point origin;
    if (!Plat().Screen_snapshot(snapshot, origin) || snapshot.empty()) {
        Error_box(Capture_failed_text);
        return 1;
    }
    Capture_outcome c;
    if (Maze_map_on(snapshot, origin, {x, y}, c) != 0) return 1;
    return Capture_finish(c);
}
