#include "platform/fake/fake_files.h"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"

namespace fs = std::filesystem;

Fault_files::~Fault_files() {
    std::error_code ec;
    if (!kept_dir_.empty()) fs::remove_all(Fs_path(kept_dir_), ec);
}

bool Fault_files::Allowed(Op op, const std::string& path, std::string& why) {
    ++counts[op];
    ++total;
    if (stop_after >= 0 && total > stop_after) {
        why = "stopped";
        return false;
    }
    if (op == fail_op && counts[op] == fail_at) {
        failed_path = path;
        why = "injected failure";
        return false;
    }
    return true;
}

// A hard link to the file at path, so that it can come back after a power cut.
std::string Fault_files::Keep(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(Fs_path(path), ec))) return "";
    // Outside the folder, on the same file system, where no listing sees it.
    if (kept_dir_.empty()) {
        kept_dir_ = (fs::temp_directory_path() / ("tovi-kept-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
                                                  std::to_string(::getpid())))
                        .string();
        fs::create_directories(kept_dir_, ec);
    }
    const std::string kept = kept_dir_ + "/" + std::to_string(++kept_n_);
    fs::create_hard_link(Fs_path(path), Fs_path(kept), ec);
    return ec ? "" : kept;
}

bool Fault_files::Create_new(const std::string& path, int64_t& handle, std::string& why) {
    if (!Allowed(Op_create, path, why)) return false;
    if (!System_files().Create_new(path, handle, why)) return false;
    open_[handle] = path;
    dirty_[path] = false;
    undo_.push_back({Undo::created, path, "", ""});
    return true;
}

bool Fault_files::Write(int64_t handle, const void* data, size_t size, std::string& why) {
    if (!Allowed(Op_write, open_[handle], why)) return false;
    dirty_[open_[handle]] = true;
    return System_files().Write(handle, data, size, why);
}

bool Fault_files::Flush(int64_t handle, std::string& why) {
    if (!Allowed(Op_flush, open_[handle], why)) return false;
    if (!System_files().Flush(handle, why)) return false;
    dirty_[open_[handle]] = false;
    return true;
}

bool Fault_files::Close(int64_t handle, std::string& why) {
    const std::string path = open_[handle];
    open_.erase(handle);
    // A close that fails has still let the handle go.
    std::string ignored;
    const bool closed = System_files().Close(handle, ignored);
    if (!Allowed(Op_close, path, why)) return false;
    if (!closed) why = ignored;
    return closed;
}

bool Fault_files::Rename(const std::string& from, const std::string& to, std::string& why) {
    if (!Allowed(Op_rename, to, why)) return false;
    const std::string kept = Keep(to);
    if (!System_files().Rename(from, to, why)) {
        std::error_code ec;
        if (!kept.empty()) fs::remove(Fs_path(kept), ec);
        return false;
    }
    auto d = dirty_.find(from);
    if (d != dirty_.end()) {
        dirty_[to] = d->second;
        dirty_.erase(from);
    }
    undo_.push_back({Undo::renamed, to, from, kept});
    return true;
}

bool Fault_files::Remove(const std::string& path, std::string& why) {
    if (!Allowed(Op_remove, path, why)) return false;
    const std::string kept = Keep(path);
    if (!System_files().Remove(path, why)) {
        std::error_code ec;
        if (!kept.empty()) fs::remove(Fs_path(kept), ec);
        return false;
    }
    if (!kept.empty()) undo_.push_back({Undo::removed, path, "", kept});
    return true;
}

bool Fault_files::Flush_folder(const std::string& folder, std::string& why) {
    if (!Allowed(Op_flush_folder, folder, why)) return false;
    if (!System_files().Flush_folder(folder, why)) return false;
    // Everything named in the folder is now on the disk. (Tests use one folder.)
    for (const Undo& u : undo_)
        if (!u.kept.empty()) {
            std::error_code ec;
            fs::remove(Fs_path(u.kept), ec);
        }
    undo_.clear();
    return true;
}

Lock_result Fault_files::Lock_folder(const std::string& folder, int wait_ms, int64_t& lock, std::string& why) {
    return System_files().Lock_folder(folder, wait_ms, lock, why);
}

void Fault_files::Unlock_folder(int64_t lock) { System_files().Unlock_folder(lock); }

void Fault_files::Power_cut() {
    std::error_code ec;
    // Data not flushed is lost: such a file is left empty.
    for (const auto& [path, dirty] : dirty_)
        if (dirty && fs::exists(Fs_path(path), ec)) fs::resize_file(Fs_path(path), 0, ec);
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
        switch (it->kind) {
        case Undo::created: fs::remove(Fs_path(it->path), ec); break;
        case Undo::renamed:
            fs::rename(Fs_path(it->path), Fs_path(it->other), ec);
            if (!it->kept.empty()) fs::rename(Fs_path(it->kept), Fs_path(it->path), ec);
            break;
        case Undo::removed: fs::rename(Fs_path(it->kept), Fs_path(it->path), ec); break;
        }
    }
    undo_.clear();
    dirty_.clear();
}
