// A piece of work in a folder of its own: saving it, checking a folder, and
// loading it back, with the folder browser that picks the folder.
//
// A data folder holds base.dat, d1.dat to d4.dat (storage/data_files.h) and
// the pictures tst.bmp and tst1.bmp (map/map_pictures.h). A load checks the
// whole folder before it replaces anything in memory, so a folder that is not
// a whole, consistent piece of work is refused with a message and the work on
// the screen stays exactly as it was.
//
// Every write goes through the folder writer (storage/folder_writer.h); every
// read, the program's and tovi-cli's alike, through Data_folder_check.
//
// Owns: Data_folder, the load thread and its listener. Called by: the control
// panel's "保存" and "読み込み" buttons, the session's start, every tovi-cli
// command that reads a folder, the fuzz targets (the in-memory checks) and
// tests.
#pragma once
#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "map/image.h"
#include "markers/base_data.h"

// The folder the user chose last with the folder browser, as the platform
// gave it (UTF-8). Written only by Folder_pick, on the control panel's thread.
extern std::string Data_folder;

// Shows the folder browser owned by owner (Box_owner), opening on the program
// folder; the new dialog style when new_style is true. 0 = a folder was
// chosen: it is in out and in Data_folder. 1 = cancelled (or the choice had no
// file-system path): nothing changes.
int Folder_pick(int owner, std::string& out, bool new_style);

// What is wrong with a folder: a line for the user, in Japanese, and the same
// in technical English for tovi-cli check.
struct Folder_problem {
    std::string text;
    std::string detail;
    // A checksum that does not match: the files are whole, but do not belong
    // together, or an earlier version saved into the folder. The user may
    // load such a folder anyway.
    bool checksum = false;
};
using Folder_problems = std::vector<Folder_problem>;

// The checks on bytes in memory; each appends what it finds. Data_folder_check
// runs them on the files; the fuzz target runs them on mutated bytes.
// base.dat: its size, at most 2 evacuation places and the other counts
// within their capacities, Road_rec_total within the grid, a Map_rect that
// can be a picture and every marker in use inside it. On success (nothing
// appended) the record is in out.
void Base_check(const uint8_t* data, size_t size, Base_record& out, Folder_problems& problems);
// Records 0 to total - 1 of the tables given as d1.dat, d2.dat and d3.dat
// bytes holding `records` records each: every parent is -1 or a lower record
// of the same table, and every position inside the grid. The bytes need no
// alignment.
void Records_check(const uint8_t* d1, const uint8_t* d2, const uint8_t* d3, int64_t records, int32_t total,
                   Folder_problems& problems);
// A picture file's bytes (name is tst.bmp or tst1.bmp): a bitmap the reader
// takes and, when map_rect is given, of the size of that rectangle. On
// success the picture is in out.
void Picture_check(const char* name, const uint8_t* data, size_t size, const Rect32* map_rect, Image& out,
                   Folder_problems& problems);

// A table as read from its file, before it is checked and put in place.
struct Table_free {
    void operator()(uint8_t* p) const;
};
using Table_buffer = std::unique_ptr<uint8_t[], Table_free>;

// A folder's whole content, read into buffers of its own.
struct Folder_content {
    Base_record base{};
    Table_buffer table[4];  // d1.dat to d4.dat, each its table's full size
    // Read the tables straight into the grid tables instead (tovi-cli, where
    // no work in memory needs keeping until the folder has passed).
    bool into_grid = false;
    // Only the route is wanted (tovi-cli render and compare, which draw the
    // walks on the map and save nothing): with into_grid, d4.dat is checked
    // and summed as it is read but not kept (the grid's cell table is left as
    // it was), and the aerial picture is checked, then dropped (photo stays
    // empty). Every check runs as for any load.
    bool route_only = false;
    // The tables as read: the buffers above, or the grid tables.
    uint8_t* tables(int i) const;
    Image map;
    Image photo;  // empty when the folder has no (usable) tst1.bmp
    // Keep the picture files' bytes too (tovi-cli, which writes the work back
    // at once): map_file and photo_file then hold each file exactly when it
    // is byte for byte what a save of its picture writes, so that the save
    // can write them as read instead of encoding the pictures again.
    bool keep_picture_files = false;
    std::vector<uint8_t> map_file;
    std::vector<uint8_t> photo_file;
    // Every check but the checksums passed: the content is whole, and a load
    // may put it in place when the user accepts files that do not match.
    bool complete = false;
    // The records are a route built for the markers of the folder, so the
    // route display may be offered at once.
    bool route_current = false;
    // What the load should tell the user although the folder loads (an
    // aerial picture left aside, an interrupted save finished).
    std::vector<std::string> notes;
    uint64_t map_sum = 0;  // checksum of the folder's tst.bmp
};

// Every check of a load on the folder's files, under the folder's lock and
// after finishing or undoing an interrupted save. Empty when the folder holds
// a whole piece of work; its content is then in *content when one is given.
// With ignore_checksums, checksums that do not match are no problem.
Folder_problems Data_folder_check(const std::string& folder, Folder_content* content = nullptr,
                                  bool ignore_checksums = false);

// Puts checked content in place of the work in memory: markers, tables,
// record count, pictures, Route_markers_sum. The route index is dropped (a
// caller that shows routes builds it). Nothing is shown.
void Folder_content_install(Folder_content& content);

// Whether the work in memory differs from what was last saved or loaded (or
// what the program started with): its markers, route, records and map.
bool Work_unsaved();
// The work in memory now counts as saved. At start; saves and loads do it.
void Work_mark_saved();

// Keeps the current markers in the working folder (the program folder) when
// it holds the map shown: its base.dat gets them (and the choices of the
// tail: the measured scale, the evacuation map's) in place of its own, its
// tables and pictures stay, so the folder stays one whole piece of work. So
// after a crash the next start can offer the last markers on the last
// capture. A failure is silent: the working folder is only a safety copy.
void Markers_keep();

// The one loader for tovi-cli: Data_folder_check, then Folder_content_install
// when nothing (or, with ignore_checksums, only checksums) is wrong.
Folder_problems Folder_load(const std::string& folder, bool ignore_checksums, Folder_content& content);

// The message a refused load shows.
std::string Load_refused_message(const std::string& folder, const Folder_problems& problems);

// Writes the work (the five data files and the pictures held in memory) into
// Data_folder (to_data_folder non-zero) or into the program folder, as one
// set: the folder holds the old work or the new one, never a mix.
// 0 = written; 1 = not: a message naming the file and the reason has been
// shown, and the folder holds what it held before.
int Data_save(int to_data_folder);

// "保存" after the folder was chosen: Data_save(1), and the beep only when
// the whole save succeeded. 0 = saved.
int Save_command();

// Checks the folder and, only when it holds a whole piece of work, puts it in
// place of the current one: markers, tables, pictures, the window's size and
// the shown map. Otherwise shows what is wrong and changes nothing.
// 0 = loaded, 1 = refused.
// With route_current given, it tells whether the loaded records are a route
// built for the loaded markers. Files that are whole but whose checksums do not
// match are loaded only when the user says so.
int Data_load_from(const std::string& folder, bool* route_current = nullptr);
int Data_load();  // from Data_folder

// The load thread's body: Data_load_from(folder), then, after a successful
// load only, the load listener, which the shell installs to give the panel
// its loaded state and the route state: route_current tells whether the
// loaded records are a route built for the loaded markers.
void Load_thread(std::string folder);
using Load_listener = void (*)(bool route_current);
void Load_on_done(Load_listener listener);

// "読み込み": asks for the folder (old dialog style), then starts the load
// thread. 0 = a load was started; 1 = cancelled, or a load still runs.
int Load_command(int owner);

// Waits up to timeout_ms of real time for a running load thread to end;
// true when none runs.
bool Load_wait(int timeout_ms);

// Copies one whole file; the destination is replaced whole or not at all.
// 0 = copied, 1 = failed.
int File_copy(const std::string& source, const std::string& destination);

// Texts of the saved data.
inline constexpr const char* Folder_title_text = "フォルダを選択してください";
inline constexpr const char* Load_refused_text = "読み込めません";
inline constexpr const char* Load_kept_text = "今の作業はそのままです。";
inline constexpr const char* Load_busy_text = "読み込み中です。終わるまでお待ちください。";
inline constexpr const char* Save_failed_text = "保存できません。次のファイルを書き込めませんでした：";
inline constexpr const char* Save_kept_text = "フォルダの中身は前のままで、作業も消えていません。";
inline constexpr const char* Load_mismatch_question =
    "このフォルダのファイルは、いっしょに保存されたものではないか、前の版の Tovi で保存し直されています。\nそれでも読み込みますか？";
inline constexpr const char* Folder_busy_text = "このフォルダは別のプログラムが使っています。しばらくしてからもう一度お試しください。";
inline constexpr const char* Folder_no_path_text = "このフォルダには保存も読み込みもできません。別のフォルダを選んでください。";
