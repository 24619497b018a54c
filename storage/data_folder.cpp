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

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "app/panel.h"
#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/markers.h"
#include "platform/platform.h"
#include "route/route_trace.h"
#include "storage/data_files.h"
#include "storage/file_io.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

std::string Data_folder;

namespace {

// Taken by a save for its whole run and by a load while it replaces the work,
// so a save never writes tables that a load has half replaced.
std::mutex Data_lock;

// The load thread's slot. Never freed: the process may end while a load runs.
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

// Reads a picture file of the folder and checks it.
void Read_picture(const std::string& folder, const char* name, const Rect32* map_rect, Image& out,
                  Folder_problems& problems) {
    const std::string path = Path_join(folder, name);
    if (!File_present(path, name, problems)) return;
    std::vector<uint8_t> file;
    const size_t max_bytes = size_t(Bmp_stride(Bmp_side_max)) * Bmp_side_max + 4096;
    if (!File_read_whole(path, file, max_bytes)) {
        Add(problems, std::string(name) + " を読めません（大きすぎるか、開けません）。",
            std::string(name) + ": cannot be read or larger than any picture");
        return;
    }
    Picture_check(name, file.data(), file.size(), map_rect, out, problems);
}

void Count_check(int32_t n, int32_t capacity, const char* what, const char* field, Folder_problems& problems) {
    if (n >= 0 && n <= capacity) return;
    Add(problems,
        std::string("base.dat の") + what + "の数（" + Num(n) + "）が範囲外です（0 から " + Num(capacity) +
            " まで）。",
        std::string("base.dat: ") + field + " " + Num(n) + " outside 0.." + Num(capacity));
}

// Puts a checked folder's content in place of the current work. The tables
// are copied into the ones in place rather than swapped, so that no thread
// holding a table pointer can ever see freed memory.
void Content_install(Folder_content& c) {
    Grid_allocate();
    const int32_t total = c.base.Road_rec_total;
    {
        // Shown_lock first, as the route display takes them: the route wave
        // holds it while it reads the tables, the painter while it shows the map.
        std::lock_guard shown(Shown_lock);
        {
            std::lock_guard route(Route_lock);
            std::memcpy(Wave_queue[0], c.table[0].get(), Table_files[0].size);
            std::memcpy(Wave_queue[1], c.table[1].get(), Table_files[1].size);
            std::memcpy(Rec_kind, c.table[2].get(), Table_files[2].size);
            std::memcpy(Cell_map, c.table[3].get(), Table_files[3].size);
            // A later save writes Road_rec_total from Rec_count: keep them one.
            Rec_count.store(total);
        }
        Route_index_build(total);
        Map_image = std::move(c.map);
        Photo_image = std::move(c.photo);
        Images_loaded = 1;
    }
    std::lock_guard lock(Markers_lock);
    Base_data = c.base;
}

}  // namespace

void Table_free::operator()(uint8_t* p) const { std::free(p); }

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
    Count_check(b.Evac_n, Evac_capacity, "避難場所", "Evac_n", problems);
    Count_check(b.Cong_n, Point_capacity, "混雑ポイント", "Cong_n", problems);
    Count_check(b.Nopass_n, Point_capacity, "通行禁止ポイント", "Nopass_n", problems);
    const Rect32& r = b.Map_rect;
    const int64_t w = int64_t(r.right) - r.left, h = int64_t(r.bottom) - r.top;
    if (w <= 0 || h <= 0 || w > Bmp_side_max || h > Bmp_side_max) {
        const std::string rect = Num(r.left) + ", " + Num(r.top) + ", " + Num(r.right) + ", " + Num(r.bottom);
        Add(problems, "base.dat の地図の範囲（" + rect + "）が正しくありません。",
            "base.dat: Map_rect (" + rect + ") is not a picture of 1 to " + Num(Bmp_side_max) + " pixels a side");
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

Folder_problems Data_folder_check(const std::string& folder, Folder_content* content) {
    Folder_problems problems;
    Folder_content local;
    Folder_content& c = content ? *content : local;
    std::error_code ec;
    if (!std::filesystem::is_directory(Fs_path(folder), ec)) {
        Add(problems, "フォルダがありません。", "not a folder");
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
        for (const Table_file& t : Table_files) File_sized(folder, t.name, t.size, problems);
        const Rect32* rect = base_ok ? &c.base.Map_rect : nullptr;
        Read_picture(folder, Map_picture_file, rect, c.map, problems);
        // The aerial picture is optional; one that is there must be whole.
        if (std::filesystem::exists(Fs_path(Path_join(folder, Photo_picture_file)), ec))
            Read_picture(folder, Photo_picture_file, rect, c.photo, problems);
        // The 88 MB of tables only for a folder that is right so far: a
        // folder already refused is refused at once.
        if (!problems.empty()) return problems;
        for (int i = 0; i < 4; ++i) {
            // Not zero-filled: every byte is read from the file or the check fails.
            c.table[i] = Table_alloc(Table_files[i].size);
            if (!Read_exact(folder, Table_files[i].name, Table_files[i].size, c.table[i].get(), problems))
                return problems;
        }
        Records_check(c.table[0].get(), c.table[1].get(), c.table[2].get(), Grid_cells, c.base.Road_rec_total,
                      problems);
    } catch (const std::bad_alloc&) {
        Add(problems, "メモリーが足りないため、確かめられません。", "out of memory while reading the folder");
    }
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
        if (to_data_folder) {
            std::vector<uint8_t> map_file, photo_file;
            {
                std::lock_guard shown(Shown_lock);
                if (!Map_image.empty()) map_file = Bmp_bytes(Map_image, 0, 0, Map_image.w, Map_image.h);
                if (!Photo_image.empty()) photo_file = Bmp_bytes(Photo_image, 0, 0, Photo_image.w, Photo_image.h);
            }
            auto note = [&](const char* name) {
                if (!failed.empty()) failed += ' ';
                failed += name;
            };
            const std::string map_path = Path_join(folder, Map_picture_file);
            if (map_file.empty() || !File_replace(map_path, map_file.data(), map_file.size())) note(Map_picture_file);
            const std::string photo_path = Path_join(folder, Photo_picture_file);
            if (!photo_file.empty()) {
                if (!File_replace(photo_path, photo_file.data(), photo_file.size())) note(Photo_picture_file);
            } else {
                // Work without an aerial picture: an older one there belongs to other work.
                File_delete(photo_path);
                std::error_code ec;
                if (std::filesystem::exists(Fs_path(photo_path), ec)) note(Photo_picture_file);
            }
        }
    }
    if (failed.empty()) return 0;
    Error_box(std::string(Save_failed_text) + failed + "\nフォルダ：" + folder);
    return 1;
}

int Save_command() {
    if (Data_save(1) != 0) return 1;
    Plat().Beep();
    return 0;
}

int Data_load_from(const std::string& folder) {
    Folder_content content;
    const Folder_problems problems = Data_folder_check(folder, &content);
    if (!problems.empty()) {
        Error_box(Load_refused_message(folder, problems));
        return 1;
    }
    const int32_t w = content.map.w, h = content.map.h;
    {
        std::lock_guard data(Data_lock);
        Content_install(content);
    }
    Fit_main_window(w, h);
    Map_compose();
    Plat().Main_window_refresh();
    return 0;
}

int Data_load() {
    const std::string folder = Data_folder;
    return Data_load_from(folder);
}

void Load_thread(std::string folder) {
    if (Data_load_from(folder) == 0) {
        int32_t total;
        {
            std::lock_guard lock(Markers_lock);
            total = Base_data.Road_rec_total;
        }
        Panel_enable(2);
        // Without records there is nothing to show a route on until one is built.
        Route_stale(total == 0 ? 1 : 0);
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
