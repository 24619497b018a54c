#include "storage/folder_writer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/checksum.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

constexpr const char* Commit_head = "tovi commit 1\n";

// The names an earlier version left behind when a write was cut short.
constexpr const char* Legacy_temps[] = {"base.dat.new", "d1.dat.new", "d2.dat.new", "d3.dat.new",
                                        "d4.dat.new",   "tst.bmp.new", "tst1.bmp.new"};

std::string Hex(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016" PRIx64, v);
    return buf;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(Fs_path(path), ec));
}

// The size and checksum of a file, read in pieces. False when it cannot be read.
bool File_sum(const std::string& path, uint64_t& size, uint64_t& sum) {
    std::ifstream in(Fs_path(path), std::ios::binary);
    if (!in) return false;
    Checksum_state s;
    Checksum_begin(s);
    std::vector<char> buf(size_t(1) << 20);
    size = 0;
    while (in) {
        in.read(buf.data(), std::streamsize(buf.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        Checksum_add(s, buf.data(), size_t(got));
        size += uint64_t(got);
    }
    if (in.bad()) return false;
    sum = Checksum_end(s);
    return true;
}

// Writes a whole new file under path: created exclusively, flushed, closed.
bool Write_new(const std::string& path, const void* data, size_t size, std::string& step, std::string& why) {
    Files& fs = Fs();
    // A temporary file of an earlier attempt is ours to replace.
    step = "remove";
    if (!fs.Remove(path, why)) return false;
    step = "create";
    int64_t h = -1;
    if (!fs.Create_new(path, h, why)) return false;
    step = "write";
    bool ok = fs.Write(h, data, size, why);
    if (ok) {
        step = "flush";
        ok = fs.Flush(h, why);
    }
    std::string close_why;
    const bool closed = fs.Close(h, close_why);
    if (ok && !closed) {
        step = "close";
        why = close_why;
        ok = false;
    }
    return ok;
}

void Quiet_remove(const std::string& path) {
    std::string ignored;
    Fs().Remove(path, ignored);
}

std::vector<std::string> Names_with_suffix(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(Fs_path(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const std::u8string u = it->path().filename().u8string();
        const std::string name(u.begin(), u.end());
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name.substr(0, name.size() - suffix.size()));
    }
    return names;
}

bool Read_text(const std::string& path, std::string& out) {
    std::ifstream in(Fs_path(path), std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

std::string Commit_text(const std::vector<Commit_entry>& entries) {
    std::string text = Commit_head;
    for (const Commit_entry& e : entries) {
        if (e.gone) text += "gone " + e.name + "\n";
        else text += "put " + e.name + " " + std::to_string(e.size) + " " + Hex(e.sum) + "\n";
    }
    // The record's own checksum last: a record cut short or damaged is no commit.
    text += "end " + Hex(Checksum(text.data(), text.size())) + "\n";
    return text;
}

bool Commit_parse(const std::string& text, std::vector<Commit_entry>& entries) {
    entries.clear();
    if (text.rfind(Commit_head, 0) != 0) return false;
    const size_t end_at = text.rfind("end ");
    if (end_at == std::string::npos || text.size() != end_at + 4 + 16 + 1 || text.back() != '\n') return false;
    if (text.compare(end_at + 4, 16, Hex(Checksum(text.data(), end_at))) != 0) return false;
    size_t pos = std::strlen(Commit_head);
    while (pos < end_at) {
        const size_t eol = text.find('\n', pos);
        if (eol == std::string::npos || eol > end_at) return false;
        const std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        Commit_entry e;
        char name[256];
        unsigned long long size = 0, sum = 0;
        if (line.rfind("gone ", 0) == 0) {
            e.gone = true;
            e.name = line.substr(5);
        } else if (std::sscanf(line.c_str(), "put %255s %llu %llx", name, &size, &sum) == 3) {
            e.name = name;
            e.size = size;
            e.sum = sum;
        } else {
            return false;
        }
        // Only plain names of this folder: a record must never reach elsewhere.
        if (e.name.empty() || e.name.find_first_of("/\\:") != std::string::npos || e.name == "." || e.name == "..")
            return false;
        entries.push_back(e);
    }
    return !entries.empty();
}

Recovery Folder_recover(const std::string& folder, std::string& why) {
    Files& fs = Fs();
    const std::string commit_path = Path_join(folder, Commit_file);
    std::string text;
    std::vector<Commit_entry> entries;
    Recovery result = Recovery_none;
    std::string err;
    if (Exists(commit_path) && Read_text(commit_path, text) && Commit_parse(text, entries)) {
        // Committed: every new file is whole on the disk, under its temporary
        // name or already in place. Finish the renames.
        for (const Commit_entry& e : entries) {
            const std::string path = Path_join(folder, e.name);
            if (e.gone) {
                if (!fs.Remove(path, err)) {
                    why = e.name + ": " + err;
                    return Recovery_failed;
                }
                continue;
            }
            const std::string temp = path + Temp_suffix;
            const std::string& have = Exists(temp) ? temp : path;
            uint64_t size = 0, sum = 0;
            if (!File_sum(have, size, sum) || size != e.size || sum != e.sum) {
                why = e.name + ": the file of an interrupted save is not whole";
                return Recovery_failed;
            }
            if (&have == &temp && !fs.Rename(temp, path, err)) {
                why = e.name + ": " + err;
                return Recovery_failed;
            }
        }
        if (!fs.Flush_folder(folder, err)) {
            why = err;
            return Recovery_failed;
        }
        for (const Commit_entry& e : entries) Quiet_remove(Path_join(folder, e.name) + Old_suffix);
        if (!fs.Remove(commit_path, err)) {
            why = std::string(Commit_file) + ": " + err;
            return Recovery_failed;
        }
        fs.Flush_folder(folder, err);
        return Recovery_finished;
    }
    // No commit: the old set stands. A file set aside (only a write
    // interrupted while undoing itself leaves one) goes back in place of
    // whatever took its name; the temporary files go.
    for (const std::string& name : Names_with_suffix(folder, Old_suffix)) {
        const std::string path = Path_join(folder, name);
        if (!fs.Rename(path + Old_suffix, path, err)) {
            why = name + ": " + err;
            return Recovery_failed;
        }
        result = Recovery_undone;
    }
    if (Exists(commit_path)) {
        if (!fs.Remove(commit_path, err)) {
            why = std::string(Commit_file) + ": " + err;
            return Recovery_failed;
        }
        result = Recovery_undone;
    }
    for (const std::string& name : Names_with_suffix(folder, Temp_suffix)) {
        if (!fs.Remove(Path_join(folder, name) + Temp_suffix, err)) {
            why = name + Temp_suffix + ": " + err;
            return Recovery_failed;
        }
        result = Recovery_undone;
    }
    for (const char* name : Legacy_temps) {
        const std::string path = Path_join(folder, name);
        if (!Exists(path)) continue;
        if (!fs.Remove(path, err)) {
            why = std::string(name) + ": " + err;
            return Recovery_failed;
        }
        result = Recovery_undone;
    }
    if (result != Recovery_none) fs.Flush_folder(folder, err);
    return result;
}

bool Folder_write(const std::string& folder, const std::vector<Folder_part>& parts,
                  const std::vector<std::string>& gone, Write_failure& failure) {
    Files& fs = Fs();
    auto fail = [&](const std::string& file, const std::string& path, const std::string& step,
                    const std::string& reason) {
        failure = {file, path, step, reason};
        return false;
    };
    std::error_code ec;
    if (!std::filesystem::is_directory(Fs_path(folder), ec)) return fail("", folder, "open", "not a folder");

    const Folder_lock lock(folder, Folder_lock_wait_ms);
    if (lock.result() == Lock_busy) return fail(Lock_file, Path_join(folder, Lock_file), "lock", lock.why());
    // Without a lock file (a folder that refuses new files) the write below
    // fails at its first file and says why.
    std::string why;
    if (Folder_recover(folder, why) == Recovery_failed)
        return fail("", folder, "recover", "an interrupted save cannot be finished: " + why);

    // Only files may stand where the set goes: a folder or a link of that
    // name could not be set aside and put back safely.
    auto in_the_way = [&](const std::string& name) {
        const std::string path = Path_join(folder, name);
        std::error_code e;
        const auto st = std::filesystem::symlink_status(Fs_path(path), e);
        return std::filesystem::exists(st) && !std::filesystem::is_regular_file(st);
    };
    for (const Folder_part& p : parts)
        if (in_the_way(p.name)) return fail(p.name, Path_join(folder, p.name), "check", "not a file");
    for (const std::string& name : gone)
        if (in_the_way(name)) return fail(name, Path_join(folder, name), "check", "not a file");

    // 1. Every new file under its temporary name, on the disk.
    std::vector<Commit_entry> entries;
    auto remove_temps = [&] {
        for (const Folder_part& p : parts) Quiet_remove(Path_join(folder, p.name) + Temp_suffix);
        std::string err;
        fs.Flush_folder(folder, err);
    };
    for (const Folder_part& p : parts) {
        const std::string path = Path_join(folder, p.name);
        std::string step;
        if (!Write_new(path + Temp_suffix, p.data, p.size, step, why)) {
            remove_temps();
            return fail(p.name, path, step, why);
        }
        entries.push_back({p.name, false, p.size, p.sum ? p.sum : Checksum(p.data, p.size)});
    }
    for (const std::string& name : gone) entries.push_back({name, true, 0, 0});
    if (!fs.Flush_folder(folder, why)) {
        remove_temps();
        return fail("", folder, "flush", why);
    }

    // 2. The commit record: once it is on the disk, the new set is the work.
    const std::string commit_path = Path_join(folder, Commit_file);
    const std::string text = Commit_text(entries);
    {
        std::string step;
        if (!Write_new(commit_path + Temp_suffix, text.data(), text.size(), step, why)) {
            Quiet_remove(commit_path + Temp_suffix);
            remove_temps();
            return fail(Commit_file, commit_path, step, why);
        }
        if (!fs.Rename(commit_path + Temp_suffix, commit_path, why) || !fs.Flush_folder(folder, why)) {
            Quiet_remove(commit_path);
            Quiet_remove(commit_path + Temp_suffix);
            remove_temps();
            return fail(Commit_file, commit_path, "rename", why);
        }
    }

    // 3. The old files aside, the new ones into place. A file that another
    // program holds cannot be moved aside: then everything goes back.
    std::vector<std::string> aside, placed;
    auto undo = [&] {
        // The commit record goes first: from then on the files set aside are
        // the work again, and a load after an interruption here puts them back.
        std::string err;
        Quiet_remove(commit_path);
        fs.Flush_folder(folder, err);
        for (const std::string& name : aside) {
            const std::string path = Path_join(folder, name);
            fs.Rename(path + Old_suffix, path, err);
        }
        for (const std::string& name : placed)
            if (std::find(aside.begin(), aside.end(), name) == aside.end()) Quiet_remove(Path_join(folder, name));
        remove_temps();
    };
    for (const Commit_entry& e : entries) {
        const std::string path = Path_join(folder, e.name);
        if (!Exists(path)) continue;
        if (!fs.Rename(path, path + Old_suffix, why)) {
            undo();
            return fail(e.name, path, "rename", why);
        }
        aside.push_back(e.name);
    }
    for (const Commit_entry& e : entries) {
        if (e.gone) continue;
        const std::string path = Path_join(folder, e.name);
        if (!fs.Rename(path + Temp_suffix, path, why)) {
            undo();
            return fail(e.name, path, "rename", why);
        }
        placed.push_back(e.name);
    }
    if (!fs.Flush_folder(folder, why)) {
        // The renames may not be on the disk yet, but the commit record is:
        // the next load finishes them. The work in the folder is the new one.
        return true;
    }

    // 4. Done: what is left is only tidying, which a later write or load
    // finishes should it fail here.
    // The commit record stays while an old file does: without the record a
    // load would take the old file for the work.
    bool tidy = true;
    for (const std::string& name : aside) tidy &= fs.Remove(Path_join(folder, name) + Old_suffix, why);
    if (tidy) {
        fs.Flush_folder(folder, why);
        Quiet_remove(commit_path);
    }
    return true;
}
