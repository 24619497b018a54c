// Writing a set of files into a folder as one: after an interruption at any
// moment (the process killed, a power cut, Windows shutting down) the folder
// holds exactly the old set or exactly the new one, and a write that fails at
// any step leaves the old set as it was.
//
// How: every new file is written under a temporary name (name.tovi-new),
// created exclusively and flushed to the disk. Then a small commit record
// (tovi.commit) naming each file with its size and checksum is written and
// flushed: that is the one moment at which the new set takes over. The old
// files are renamed aside (name.tovi-old), the new ones into place, the
// folder is flushed and the commit record removed. Whoever next writes or
// loads the folder finds a commit record whose files are all there and
// finishes it, or finds temporary files without one and removes them.
//
// The folder's lock (platform/files.h) is held for the whole write, so that
// no second program writes or loads the folder meanwhile.
//
// Owns: the commit record and the temporary names. Called by: the data files
// (storage/data_files.h) for every write of a piece of work, and the loader.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* Commit_file = "tovi.commit";
inline constexpr const char* Temp_suffix = ".tovi-new";
inline constexpr const char* Old_suffix = ".tovi-old";
// How long a write or a load waits for another program's lock.
inline constexpr int Folder_lock_wait_ms = 5000;

struct Folder_part {
    std::string name;  // file name in the folder
    const void* data;
    size_t size;
    uint64_t sum = 0;  // its checksum when the caller has it already; 0 = work it out
};

// What stopped a write: which file, its path, the step and the system's reason.
struct Write_failure {
    std::string file;
    std::string path;
    std::string step;
    std::string reason;
};

// Replaces the files named by parts and removes the files named in gone, all
// as one. True when the new set is in place; otherwise false with failure
// filled, and the folder holds the old set unchanged.
bool Folder_write(const std::string& folder, const std::vector<Folder_part>& parts,
                  const std::vector<std::string>& gone, Write_failure& failure);

enum Recovery : int {
    Recovery_none,      // nothing was left over
    Recovery_finished,  // an interrupted write was finished: the folder holds its new set
    Recovery_undone,    // left-over files of a write that never committed were removed
    Recovery_failed,    // something was left over that could not be put right; why says what
};

// Finishes or undoes what an interrupted write left in the folder, and
// removes temporary files of earlier versions (name.new). The caller holds
// the folder's lock.
Recovery Folder_recover(const std::string& folder, std::string& why);

// The commit record's text for a set of files, and the reading of one:
// false for a record that is not whole (cut short, damaged).
struct Commit_entry {
    std::string name;
    bool gone = false;
    uint64_t size = 0;
    uint64_t sum = 0;
};
std::string Commit_text(const std::vector<Commit_entry>& entries);
bool Commit_parse(const std::string& text, std::vector<Commit_entry>& entries);
