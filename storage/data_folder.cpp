// Saving a piece of work into a data folder and loading it back.
//
// The files are raw table images without header or checksum, so nothing in
// them says whether they belong together or are whole. A load therefore reads
// every file into buffers of its own and checks sizes, counts, parent links
// and pictures first; only a folder that passes every check replaces the work
// in memory, in one step under the locks the readers take. A refused folder
// costs the user nothing but the message.
//
// A save writes the pictures held in memory (the pictures of the work on the
// screen), not files found in some folder: after a load, the pictures in the
// program folder belong to the last capture, not to the loaded work.
#include "storage/data_folder.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/markers.h"
#include "platform/platform.h"
#include "route/route_trace.h"
#include "platform/checksum.h"
#include "platform/files.h"
#include "storage/base_tail.h"
#include "storage/data_files.h"
#include "storage/file_io.h"
#include "storage/folder_writer.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

std::string Data_folder;

namespace {

// Taken by a save for its whole run and by a load while it replaces the work,
// so a save never writes tables that a load has half replaced.
std::mutex Data_lock;

// The load thread's slot. Never freed: the process may end while a load runs.
std::atomic<Load_listener> Loaded_listener{nullptr};

struct Load_slot {
    std::mutex m;
    std::condition_variable done;
    bool running = false;
};
Load_slot& Load() {
    static Load_slot* slot = new Load_slot;
    return *slot;
}

struct Table_file {
    const char* name;
    size_t size;
};
constexpr Table_file Table_files[4] = {
    {Queue0_file, size_t(Wave_queue_bytes)},
    {Queue1_file, size_t(Wave_queue_bytes)},
    {Kind_file, size_t(Rec_kind_bytes)},
    {Cells_file, size_t(Cell_map_bytes)},
};

// Memory for one table as read from its file. 88 MB of fresh memory taken
// a small page at a time costs more in page faults than reading the files
// does, so where the system offers large pages for the asking, ask.
Table_buffer Table_alloc(size_t size) {
#if defined(__linux__)
    constexpr size_t Large_page = size_t(2) << 20;
    const size_t rounded = (size + Large_page - 1) / Large_page * Large_page;
    void* p = nullptr;
    if (posix_memalign(&p, Large_page, rounded) != 0) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE);  // a refusal only costs speed
    return Table_buffer(static_cast<uint8_t*>(p));
#else
    void* p = std::malloc(size);
    if (!p) throw std::bad_alloc();
    return Table_buffer(static_cast<uint8_t*>(p));
#endif
}

void Add(Folder_problems& problems, std::string text, std::string detail) {
    problems.push_back({std::move(text), std::move(detail)});
}

std::string Num(int64_t v) { return std::to_string(v); }

const char* Bmp_status_detail(Bmp_status status) {
    switch (status) {
    case Bmp_ok: return "ok";
    case Bmp_cannot_open: return "cannot be opened";
    case Bmp_not_bitmap: return "not a BMP file";
    case Bmp_unsupported: return "not an uncompressed 24-bit BMP";
    case Bmp_damaged: return "header fields or sizes do not fit the file";
    }
    return "unknown";
}

void Size_problem(Folder_problems& problems, const char* name, uint64_t expected, uint64_t actual) {
    Add(problems,
        std::string(name) + " の大きさが違います（" + Num(int64_t(expected)) + " バイトのはずが " +
            Num(int64_t(actual)) + " バイト）。",
        std::string(name) + ": " + Num(int64_t(actual)) + " bytes, expected " + Num(int64_t(expected)));
}

// Whether the folder has a plain file of that name; says so when it has not.
bool File_present(const std::string& path, const char* name, Folder_problems& problems) {
    std::error_code ec;
    const auto status = std::filesystem::status(Fs_path(path), ec);
    if (!std::filesystem::exists(status)) {
        Add(problems, std::string(name) + " がありません。", std::string(name) + ": missing");
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        Add(problems, std::string(name) + " がファイルではありません。", std::string(name) + ": not a regular file");
        return false;
    }
    return true;
}

void Unreadable(Folder_problems& problems, const char* name) {
    Add(problems, std::string(name) + " を読めません。", std::string(name) + ": cannot be read");
}

// Whether the folder has a file of that name exactly size bytes long.
bool File_sized(const std::string& folder, const char* name, size_t size, Folder_problems& problems) {
    const std::string path = Path_join(folder, name);
    if (!File_present(path, name, problems)) return false;
    std::error_code ec;
    const uintmax_t length = std::filesystem::file_size(Fs_path(path), ec);
    if (ec) {
        Unreadable(problems, name);
        return false;
    }
    if (length != size) {
        Size_problem(problems, name, size, length);
        return false;
    }
    return true;
}

// Reads a file that must be exactly size bytes long into out.
bool Read_exact(const std::string& folder, const char* name, size_t size, uint8_t* out, Folder_problems& problems) {
    if (!File_sized(folder, name, size, problems)) return false;
    std::ifstream in(Fs_path(Path_join(folder, name)), std::ios::binary);
    if (!in) {
        Unreadable(problems, name);
        return false;
    }
    in.read(reinterpret_cast<char*>(out), std::streamsize(size));
    const uint64_t got = uint64_t(in.gcount());
    // The file may change while it is read: only what was read counts.
    if (got != size) {
        Size_problem(problems, name, size, got);
        return false;
    }
    if (in.peek() != std::ifstream::traits_type::eof()) {
        Size_problem(problems, name, size, size + 1);
        return false;
    }
    return true;
}

// Reads a file that must be exactly size bytes long a piece at a time,
// keeping nothing but its checksum.
bool Read_summed(const std::string& folder, const char* name, size_t size, uint64_t& sum, Folder_problems& problems) {
    if (!File_sized(folder, name, size, problems)) return false;
    std::ifstream in(Fs_path(Path_join(folder, name)), std::ios::binary);
    if (!in) {
        Unreadable(problems, name);
        return false;
    }
    constexpr size_t Piece = size_t(1) << 20;
    std::vector<char> piece(Piece);
    Checksum_state s;
    Checksum_begin(s);
    uint64_t got = 0;
    while (got < size) {
        in.read(piece.data(), std::streamsize(std::min(Piece, size_t(size - got))));
        const size_t n = size_t(in.gcount());
        if (n == 0) break;
        Checksum_add(s, piece.data(), n);
        got += n;
    }
    // As for Read_exact: only what was read counts.
    if (got != size) {
        Size_problem(problems, name, size, got);
        return false;
    }
    if (in.peek() != std::ifstream::traits_type::eof()) {
        Size_problem(problems, name, size, size + 1);
        return false;
    }
    sum = Checksum_end(s);
    return true;
}

// Whether a bitmap file's bytes are exactly what Bmp_bytes writes for the
// picture decoded from them: the one header it writes (54 bytes, rows bottom
// up, no resolution or palette fields), no byte beyond the rows, and zeros in
// every row's padding.
bool Bmp_canonical(const std::vector<uint8_t>& file, const Image& picture) {
    const int64_t stride = Bmp_stride(picture.w);
    const int64_t rows_bytes = stride * picture.h;
    if (picture.empty() || int64_t(file.size()) != Bmp_header_bytes + rows_bytes) return false;
    uint8_t head[Bmp_header_bytes] = {'B', 'M'};
    auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) head[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put(2, uint32_t(Bmp_header_bytes + rows_bytes), 4);
    put(10, Bmp_header_bytes, 4);
    put(14, 40, 4);
    put(18, uint32_t(picture.w), 4);
    put(22, uint32_t(picture.h), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, uint32_t(rows_bytes), 4);
    if (std::memcmp(file.data(), head, sizeof head) != 0) return false;
    const size_t pad = size_t(stride - int64_t(picture.w) * 3);
    if (pad == 0) return true;
    for (int64_t r = 0; r < picture.h; ++r) {
        const uint8_t* end = file.data() + Bmp_header_bytes + (r + 1) * stride;
        for (size_t i = 1; i <= pad; ++i)
            if (end[-ptrdiff_t(i)] != 0) return false;
    }
    return true;
}

// Reads a picture file of the folder and checks it; its checksum goes to *sum.
// With kept given, the file's bytes go there when they are what a save of
// the picture would write.
void Read_picture(const std::string& folder, const char* name, const Rect32* map_rect, Image& out,
                  Folder_problems& problems, uint64_t* sum = nullptr, std::vector<uint8_t>* kept = nullptr) {
    const std::string path = Path_join(folder, name);
    if (!File_present(path, name, problems)) return;
    std::vector<uint8_t> file;
    const size_t max_bytes = Bmp_read_bytes_max;
    if (!File_read_whole(path, file, max_bytes)) {
        Add(problems, std::string(name) + " を読めません（大きすぎるか、開けません）。",
            std::string(name) + ": cannot be read or larger than any picture");
        return;
    }
    if (sum) *sum = Checksum(file.data(), file.size());
    const size_t before = problems.size();
    Picture_check(name, file.data(), file.size(), map_rect, out, problems);
    if (kept && problems.size() == before && Bmp_canonical(file, out)) *kept = std::move(file);
}

// A checksum of the tail that does not match the file.
void Sum_problem(Folder_problems& problems, const char* name) {
    problems.push_back({std::string(name) + " が、いっしょに保存されたファイルと合いません（チェックサムが違います）。",
                        std::string(name) + ": checksum does not match base.dat", true});
}

// Whether the records of a folder without a marked tail are a route: the
// wave's first node is a start at the first place and, with two places, its
// second node one at the second place. A capture's records start at the
// point where the drag was released instead.
bool Legacy_route(const Folder_content& c) {
    const Base_record& b = c.base;
    if (b.Road_rec_total <= 0 || b.Evac_n < 1) return false;
    Wave_rec first;
    std::memcpy(&first, c.tables(0), sizeof first);
    if ((c.tables(2)[0] & 1) != 0 || first.parent != -1 || first.x != uint32_t(b.Evac_x[0]) ||
        first.y != uint32_t(b.Evac_y[0]))
        return false;
    if (b.Evac_n < 2) return true;
    if (b.Road_rec_total < 2) return false;
    Wave_rec second;
    std::memcpy(&second, c.tables(1) + sizeof(Wave_rec), sizeof second);
    return (c.tables(2)[1] & 1) != 0 && second.parent == -1 && second.x == uint32_t(b.Evac_x[1]) &&
           second.y == uint32_t(b.Evac_y[1]);
}

void Count_check(int32_t n, int32_t capacity, const char* what, const char* field, Folder_problems& problems) {
    if (n >= 0 && n <= capacity) return;
    Add(problems,
        std::string("base.dat の") + what + "の数（" + Num(n) + "）が範囲外です（0 から " + Num(capacity) +
            " まで）。",
        std::string("base.dat: ") + field + " " + Num(n) + " outside 0.." + Num(capacity));
}

}  // namespace

// The tables are copied into the ones in place rather than swapped, so that
// no thread holding a table pointer can ever see freed memory.
void Folder_content_install(Folder_content& c) {
    Grid_allocate();
    const int32_t total = c.base.Road_rec_total;
    {
        // Shown_lock first, as the route display takes them: the route wave
        // holds it while it reads the tables, the painter while it shows the map.
        std::lock_guard shown(Shown_lock);
        {
            std::lock_guard route(Route_lock);
            if (!c.into_grid) {
                std::memcpy(Wave_queue[0], c.tables(0), Table_files[0].size);
                std::memcpy(Wave_queue[1], c.tables(1), Table_files[1].size);
                std::memcpy(Rec_kind, c.tables(2), Table_files[2].size);
                std::memcpy(Cell_map, c.tables(3), Table_files[3].size);
            }
            // A later save writes Road_rec_total from Rec_count: keep them one.
            Rec_count.store(total);
        }
        Route_index_drop();  // a caller that shows routes builds it again
        Map_image = std::move(c.map);
        Photo_image = std::move(c.photo);
        Images_loaded = 1;
    }
    {
        std::lock_guard lock(Markers_lock);
        Base_data = c.base;
        const Base_tail tail = Tail_read(c.base);
        Capture_origin = tail.marked() ? Point{tail.origin_x, tail.origin_y} : Point{0, 0};
    }
    // What the route was built for, as the folder says; a route that does not
    // match its markers is kept but counts as out of date.
    Route_markers_sum = c.route_current ? Markers_sum(c.base) : 0;
    Shown_map_sum = c.map_sum;
    Work_mark_saved();
}

namespace {

std::atomic<uint64_t> Saved_work_sum{0};

uint64_t Work_sum() {
    Checksum_state s;
    Checksum_begin(s);
    uint64_t parts[6];
    {
        std::lock_guard lock(Markers_lock);
        parts[0] = Markers_sum(Base_data);
        // The choices kept in the tail (the measured scale, the evacuation
        // map's speed, bands, limit, title and source) are work too.
        parts[5] = Checksum(Base_data.Base_reserved + Tail_choices_from, Tail_choices_to - Tail_choices_from);
    }
    parts[1] = Route_markers_sum.load();
    parts[2] = uint64_t(Rec_count.load());
    parts[3] = Shown_map_sum.load();
    {
        std::lock_guard shown(Shown_lock);
        parts[4] = Photo_image.empty() ? 0 : 1;
    }
    Checksum_add(s, parts, sizeof parts);
    return Checksum_end(s);
}

}  // namespace

bool Work_unsaved() { return Work_sum() != Saved_work_sum.load(); }

void Work_mark_saved() { Saved_work_sum = Work_sum(); }

void Markers_keep() {
    const std::string folder = Exe_folder;
    const uint64_t working = Working_map_sum.load();
    if (folder.empty() || working == 0 || working != Shown_map_sum.load()) return;
    // The working folder's own base.dat, with the markers of now in it.
    Base_record b;
    {
        std::vector<uint8_t> bytes;
        if (!File_read_whole(Path_join(folder, Base_file), bytes, sizeof b) || bytes.size() != sizeof b) return;
        std::memcpy(&b, bytes.data(), sizeof b);
    }
    {
        std::lock_guard lock(Markers_lock);
        const Base_record& now = Base_data;
        if (std::memcmp(&b.Map_rect, &now.Map_rect, sizeof b.Map_rect) != 0) return;
        std::memcpy(b.Evac_x, now.Evac_x, sizeof b.Evac_x);
        std::memcpy(b.Evac_y, now.Evac_y, sizeof b.Evac_y);
        b.Evac_n = now.Evac_n;
        std::memcpy(b.Cong_x, now.Cong_x, sizeof b.Cong_x);
        std::memcpy(b.Cong_y, now.Cong_y, sizeof b.Cong_y);
        b.Cong_n = now.Cong_n;
        std::memcpy(b.Nopass_x, now.Nopass_x, sizeof b.Nopass_x);
        std::memcpy(b.Nopass_y, now.Nopass_y, sizeof b.Nopass_y);
        b.Nopass_n = now.Nopass_n;
        // The scale measured and the evacuation map's choices are kept too.
        std::memcpy(b.Base_reserved + Tail_choices_from, now.Base_reserved + Tail_choices_from,
                    Tail_choices_to - Tail_choices_from);
    }
    Base_tail tail = Tail_read(b);
    if (tail.marked()) {
        tail.base_sum = Base_sum(b);  // taken with its own slot zero, so the slot's old value does not count
        Tail_write(b, tail);
    }
    Write_failure ignored;
    Folder_write(folder, {{Base_file, &b, sizeof b}}, {}, ignored);
}

void Table_free::operator()(uint8_t* p) const { std::free(p); }

uint8_t* Folder_content::tables(int i) const {
    if (!into_grid) return table[i].get();
    uint8_t* const grid[4] = {reinterpret_cast<uint8_t*>(Wave_queue[0]), reinterpret_cast<uint8_t*>(Wave_queue[1]),
                              Rec_kind, Cell_map};
    return grid[i];
}

int Folder_pick(int owner, std::string& out, bool new_style) {
    std::string chosen;
    // Always the program folder, never the last data folder: the user finds
    // the place the program keeps its own work.
    if (!Plat().Pick_folder(owner, new_style, Exe_folder, chosen)) return 1;
    if (chosen.empty()) {
        // A virtual shell folder has no path that files could be written to.
        Error_box(Folder_no_path_text);
        return 1;
    }
    out = chosen;
    Data_folder = chosen;
    return 0;
}

void Base_check(const uint8_t* data, size_t size, Base_record& out, Folder_problems& problems) {
    if (size != sizeof(Base_record)) {
        Size_problem(problems, Base_file, sizeof(Base_record), size);
        return;
    }
    Base_record b;
    std::memcpy(&b, data, sizeof b);
    const size_t before = problems.size();
    if (b.Road_rec_total < 0 || b.Road_rec_total > Grid_cells)
        Add(problems,
            "base.dat の道路データの数（" + Num(b.Road_rec_total) + "）が範囲外です（0 から " + Num(Grid_cells) +
                " まで）。",
            "base.dat: Road_rec_total " + Num(b.Road_rec_total) + " outside 0.." + Num(Grid_cells));
    Count_check(b.Evac_n, Evac_used_max, "避難場所", "Evac_n", problems);
    Count_check(b.Cong_n, Point_capacity, "混雑ポイント", "Cong_n", problems);
    Count_check(b.Nopass_n, Point_capacity, "通行禁止ポイント", "Nopass_n", problems);
    const Rect32& r = b.Map_rect;
    const int64_t w = int64_t(r.right) - r.left, h = int64_t(r.bottom) - r.top;
    if (w <= 0 || h <= 0 || w > Bmp_read_width_max || h > Bmp_read_height_max) {
        const std::string rect = Num(r.left) + ", " + Num(r.top) + ", " + Num(r.right) + ", " + Num(r.bottom);
        Add(problems, "base.dat の地図の範囲（" + rect + "）が正しくありません。",
            "base.dat: Map_rect (" + rect + ") is not a picture of 1 x 1 to " + Num(Bmp_read_width_max) + " x " +
                Num(Bmp_read_height_max) + " pixels");
    } else if (problems.size() == before) {
        // Markers lie on the map: a point outside it would be painted and
        // searched for where no map is.
        struct Set {
            const int32_t *xs, *ys;
            int32_t n;
            const char *what, *field;
        };
        const Set sets[] = {{b.Evac_x, b.Evac_y, b.Evac_n, "避難場所", "Evac"},
                            {b.Cong_x, b.Cong_y, b.Cong_n, "混雑ポイント", "Cong"},
                            {b.Nopass_x, b.Nopass_y, b.Nopass_n, "通行禁止ポイント", "Nopass"}};
        for (const Set& set : sets)
            for (int32_t i = 0; i < set.n; ++i) {
                if (set.xs[i] >= 0 && set.ys[i] >= 0 && set.xs[i] < w && set.ys[i] < h) continue;
                const std::string at = "(" + Num(set.xs[i]) + ", " + Num(set.ys[i]) + ")";
                Add(problems,
                    std::string("base.dat の") + set.what + " " + Num(i + 1) + " の位置" + at + "が地図の外です（地図は " +
                        Num(w) + " × " + Num(h) + "）。",
                    std::string("base.dat: ") + set.field + "_x/y[" + Num(i) + "] " + at + " outside the map " + Num(w) +
                        " x " + Num(h));
                break;
            }
    }
    if (problems.size() == before) out = b;
}

void Records_check(const uint8_t* d1, const uint8_t* d2, const uint8_t* d3, int64_t records, int32_t total,
                   Folder_problems& problems) {
    if (total < 0 || total > records) {
        Add(problems, "d1.dat と d2.dat の記録が足りません（" + Num(total) + " 件のはずが " + Num(records) + " 件）。",
            "d1.dat/d2.dat: " + Num(records) + " records, Road_rec_total " + Num(total));
        return;
    }
    for (int32_t n = 0; n < total; ++n) {
        const int kind = d3[n] & 1;
        int32_t parent;
        std::memcpy(&parent, (kind ? d2 : d1) + size_t(n) * sizeof(Wave_rec) + offsetof(Wave_rec, parent), 4);
        // Every record is appended by expanding an earlier record of its own
        // wave, so its parent is older and in the same table; anything else
        // would send the route display around in circles or off the tables.
        uint16_t x, y;
        std::memcpy(&x, (kind ? d2 : d1) + size_t(n) * sizeof(Wave_rec) + offsetof(Wave_rec, x), 2);
        std::memcpy(&y, (kind ? d2 : d1) + size_t(n) * sizeof(Wave_rec) + offsetof(Wave_rec, y), 2);
        if (x >= Grid_w_fixed || y >= Grid_h_fixed) {
            const char* name = kind ? Queue1_file : Queue0_file;
            Add(problems,
                std::string(name) + " の記録 " + Num(n) + " の位置（" + Num(x) + ", " + Num(y) + "）が範囲外です。表が壊れています。",
                std::string(name) + ": record " + Num(n) + " at (" + Num(x) + ", " + Num(y) + ") outside the grid");
            return;
        }
        if (parent == -1 || (parent >= 0 && parent < n && (d3[parent] & 1) == kind)) continue;
        const char* name = kind ? Queue1_file : Queue0_file;
        Add(problems,
            std::string(name) + " の記録 " + Num(n) + " のつながり（" + Num(parent) + "）が正しくありません。表が壊れています。",
            std::string(name) + ": record " + Num(n) + " has parent " + Num(parent) +
                " (must be -1 or a lower record of the same table)");
        return;
    }
}

void Picture_check(const char* name, const uint8_t* data, size_t size, const Rect32* map_rect, Image& out,
                   Folder_problems& problems) {
    Image picture;
    const Bmp_status status = Bmp_decode(data, size, picture);
    if (status != Bmp_ok) {
        Add(problems, std::string(name) + " を読めません：" + Bmp_status_text(status),
            std::string(name) + ": " + Bmp_status_detail(status));
        return;
    }
    if (map_rect) {
        const int64_t w = int64_t(map_rect->right) - map_rect->left, h = int64_t(map_rect->bottom) - map_rect->top;
        if (picture.w != w || picture.h != h) {
            Add(problems,
                std::string(name) + " の大きさ（" + Num(picture.w) + " × " + Num(picture.h) + "）が地図の範囲（" +
                    Num(w) + " × " + Num(h) + "）と合いません。",
                std::string(name) + ": " + Num(picture.w) + " x " + Num(picture.h) + " pixels, Map_rect is " +
                    Num(w) + " x " + Num(h));
            return;
        }
    }
    out = std::move(picture);
}

Folder_problems Data_folder_check(const std::string& folder, Folder_content* content, bool ignore_checksums) {
    Folder_problems problems;
    Folder_content local;
    Folder_content& c = content ? *content : local;
    std::error_code ec;
    if (!std::filesystem::is_directory(Fs_path(folder), ec)) {
        Add(problems, "フォルダがありません。", "not a folder");
        return problems;
    }
    // Never a set that another program is writing this moment.
    const Folder_lock lock(folder, Folder_lock_wait_ms);
    if (lock.result() == Lock_busy) {
        Add(problems, Folder_busy_text, "folder locked by another program");
        return problems;
    }
    if (lock.result() == Lock_taken) {
        std::string why;
        switch (Folder_recover(folder, why)) {
        case Recovery_failed:
            Add(problems, "中断された保存を完了できません：" + why, "an interrupted save cannot be finished: " + why);
            return problems;
        case Recovery_finished: c.notes.push_back("中断されていた保存を完了しました。"); break;
        case Recovery_none:
        case Recovery_undone: break;
        }
    } else if (std::filesystem::exists(Fs_path(Path_join(folder, Commit_file)), ec)) {
        // A folder that cannot be written (a read-only medium) still holds an
        // interrupted save: its files may be half renamed.
        Add(problems, "中断された保存が残っていますが、このフォルダには書き込めないため完了できません。",
            "an interrupted save is left and the folder cannot be written to finish it");
        return problems;
    }
    try {
        bool base_ok = false;
        {
            uint8_t bytes[sizeof(Base_record)];
            const size_t before = problems.size();
            if (Read_exact(folder, Base_file, sizeof bytes, bytes, problems))
                Base_check(bytes, sizeof bytes, c.base, problems);
            base_ok = problems.size() == before;
        }
        const Base_tail tail = base_ok ? Tail_read(c.base) : Base_tail{};
        if (tail.marked() && tail.version > Tail_version)
            Add(problems, "base.dat はこの版より新しい Tovi で保存されています。",
                "base.dat: tail layout " + Num(tail.version) + " is newer than " + Num(Tail_version));
        for (const Table_file& t : Table_files) File_sized(folder, t.name, t.size, problems);
        const Rect32* rect = base_ok ? &c.base.Map_rect : nullptr;
        uint64_t map_sum = 0, photo_sum = 0;
        Read_picture(folder, Map_picture_file, rect, c.map, problems, &map_sum,
                     c.keep_picture_files ? &c.map_file : nullptr);
        c.map_sum = map_sum;
        // The aerial picture is optional; one that is there must be whole. One
        // that does not belong to this map (left there by an older capture)
        // is left aside, and the work loads without an aerial picture.
        const bool photo_there = std::filesystem::exists(Fs_path(Path_join(folder, Photo_picture_file)), ec);
        if (photo_there && tail.marked() && tail.sums[Sum_photo] == 0) {
            c.notes.push_back("tst1.bmp はこの作業のものではないため、航空写真なしで読み込みました。");
        } else if (photo_there) {
            Read_picture(folder, Photo_picture_file, nullptr, c.photo, problems, &photo_sum,
                         c.keep_picture_files ? &c.photo_file : nullptr);
            if (rect && !c.photo.empty() && (c.photo.w != c.map.w || c.photo.h != c.map.h) && !tail.marked()) {
                c.notes.push_back("tst1.bmp の大きさ（" + Num(c.photo.w) + " × " + Num(c.photo.h) +
                                  "）が地図と合わないため、航空写真なしで読み込みました。");
                c.photo = Image();
                c.photo_file.clear();
            } else if (rect && !c.photo.empty() && (c.photo.w != c.map.w || c.photo.h != c.map.h)) {
                Add(problems,
                    std::string(Photo_picture_file) + " の大きさ（" + Num(c.photo.w) + " × " + Num(c.photo.h) +
                        "）が地図の範囲と合いません。",
                    std::string(Photo_picture_file) + ": " + Num(c.photo.w) + " x " + Num(c.photo.h) +
                        " pixels, the map is " + Num(c.map.w) + " x " + Num(c.map.h));
            }
        } else if (tail.marked() && tail.sums[Sum_photo] != 0) {
            Add(problems, std::string(Photo_picture_file) + " がありません。", std::string(Photo_picture_file) + ": missing");
        }
        // The 88 MB of tables only for a folder that is right so far: a
        // folder already refused is refused at once.
        if (!problems.empty()) return problems;
        // A route alone needs neither the cell table nor the aerial picture.
        const bool route_only = c.route_only && c.into_grid;
        if (route_only) c.photo = Image();
        uint64_t sums[4] = {0, 0, 0, 0};
        for (int i = 0; i < 4; ++i) {
            if (route_only && i == 3) {
                if (!Read_summed(folder, Table_files[i].name, Table_files[i].size, sums[i], problems))
                    return problems;
                continue;
            }
            // Not zero-filled: every byte is read from the file or the check fails.
            if (!c.into_grid) c.table[i] = Table_alloc(Table_files[i].size);
            else Grid_allocate();
            if (!Read_exact(folder, Table_files[i].name, Table_files[i].size, c.tables(i), problems))
                return problems;
        }
        Records_check(c.tables(0), c.tables(1), c.tables(2), Grid_cells, c.base.Road_rec_total,
                      problems);
        if (!problems.empty()) return problems;
        c.complete = true;
        if (!tail.marked()) {
            c.route_current = Legacy_route(c);
            return problems;
        }
        c.route_current = c.base.Road_rec_total > 0 && tail.route_markers == Markers_sum(c.base);
        if (ignore_checksums) return problems;
        // Last, the checksums: every file is whole, but do they belong together?
        if (tail.base_sum != Base_sum(c.base)) Sum_problem(problems, Base_file);
        for (int i = 0; i < 4; ++i) {
            if (!(route_only && i == 3)) sums[i] = Checksum(c.tables(i), Table_files[i].size);
            if (tail.sums[Sum_d1 + i] != sums[i]) Sum_problem(problems, Table_files[i].name);
        }
        if (tail.sums[Sum_map] != 0 && tail.sums[Sum_map] != map_sum) Sum_problem(problems, Map_picture_file);
        if (tail.sums[Sum_photo] != 0 && tail.sums[Sum_photo] != photo_sum) Sum_problem(problems, Photo_picture_file);
    } catch (const std::bad_alloc&) {
        Add(problems, "メモリーが足りないため、確かめられません。", "out of memory while reading the folder");
    }
    return problems;
}

Folder_problems Folder_load(const std::string& folder, bool ignore_checksums, Folder_content& content) {
    content.into_grid = true;
    Folder_problems problems = Data_folder_check(folder, &content, ignore_checksums);
    if (problems.empty() && content.complete) Folder_content_install(content);
    return problems;
}

std::string Load_refused_message(const std::string& folder, const Folder_problems& problems) {
    constexpr size_t Lines_max = 10;
    std::string text = std::string(Load_refused_text) + "：" + folder;
    for (size_t i = 0; i < problems.size() && i < Lines_max; ++i) text += "\n" + problems[i].text;
    if (problems.size() > Lines_max) text += "\nほか " + Num(int64_t(problems.size() - Lines_max)) + " 件";
    text += "\n";
    text += Load_kept_text;
    return text;
}

int Data_save(int to_data_folder) {
    const std::string folder = to_data_folder ? Data_folder : Exe_folder;
    std::string failed;
    {
        std::lock_guard data(Data_lock);
        // Whole tables even before any capture, so that every saved folder loads.
        Grid_allocate();
        failed = Data_save_to(folder);
    }
    if (failed.empty()) return 0;
    Error_box(std::string(Save_failed_text) + failed + "\nフォルダ：" + folder + "\n" + Save_kept_text);
    return 1;
}

int Save_command() {
    if (Data_save(1) != 0) return 1;
    Work_mark_saved();
    Plat().Beep();
    return 0;
}

int Data_load_from(const std::string& folder, bool* route_current) {
    Folder_content content;
    const Folder_problems problems = Data_folder_check(folder, &content);
    if (!problems.empty()) {
        bool only_sums = content.complete;
        for (const Folder_problem& p : problems) only_sums &= p.checksum;
        // Files that are whole but were not saved together: the user decides.
        const std::string question = Load_refused_message(folder, problems) + "\n\n" + Load_mismatch_question;
        if (!only_sums) {
            Error_box(Load_refused_message(folder, problems));
            return 1;
        }
        if (Plat().Message_box(question, Confirm_caption, Box_yes_no, Owner_main) != Answer_yes) return 1;
    }
    const int32_t w = content.map.w, h = content.map.h;
    {
        std::lock_guard data(Data_lock);
        Folder_content_install(content);
    }
    // The tables as read are in place now: their 88 MB go before the route
    // index and the shown map are built.
    for (Table_buffer& table : content.table) table.reset();
    Route_index_build(content.base.Road_rec_total);
    if (route_current) *route_current = content.route_current;
    if (folder == Exe_folder) Working_map_sum = content.map_sum;
    Plat().Fit_main_window(w, h);
    Map_compose();
    Plat().Main_window_refresh();
    if (!content.notes.empty()) {
        std::string text = folder;
        for (const std::string& note : content.notes) text += "\n" + note;
        Plat().Message_box(text, Confirm_caption, Box_ok, Owner_main);
    }
    return 0;
}

int Data_load() {
    const std::string folder = Data_folder;
    return Data_load_from(folder);
}

void Load_thread(std::string folder) {
    bool route_current = false;
    if (Data_load_from(folder, &route_current) == 0) {
        if (Load_listener listener = Loaded_listener.load()) listener(route_current);
    }
    Load_slot& slot = Load();
    {
        std::lock_guard lock(slot.m);
        slot.running = false;
    }
    slot.done.notify_all();
}

int Load_command(int owner) {
    Load_slot& slot = Load();
    bool running;
    {
        std::lock_guard lock(slot.m);
        running = slot.running;
    }
    // Only this thread starts loads, so a load seen finished stays finished.
    if (running) {
        Error_box(Load_busy_text);
        return 1;
    }
    std::string folder;
    if (Folder_pick(owner, folder, false) != 0) return 1;
    {
        std::lock_guard lock(slot.m);
        slot.running = true;
    }
    try {
        // Detached: it ends by itself, and the process may end before it does.
        std::thread(Load_thread, folder).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(slot.m);
        slot.running = false;
        return 1;
    }
    return 0;
}

void Load_on_done(Load_listener listener) { Loaded_listener.store(listener); }

bool Load_wait(int timeout_ms) {
    Load_slot& slot = Load();
    std::unique_lock lock(slot.m);
    return slot.done.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return !slot.running; });
}

int File_copy(const std::string& source, const std::string& destination) {
    try {
        std::vector<uint8_t> bytes;
        if (!File_read_whole(source, bytes, size_t(1) << 32)) return 1;
        return File_replace(destination, bytes.data(), bytes.size()) ? 0 : 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}
