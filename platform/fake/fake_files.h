// File layers for tests: the system's layer with one operation made to fail,
// with the machine stopping after a given number of operations (a kill), and
// with what a power cut forgets undone afterwards.
//
// A power cut loses what was not flushed: the data of a file written since
// its last Flush, and every creation, rename and removal in a folder since
// its last Flush_folder. Power_cut() undoes exactly that, newest first, on the
// real files the operations left: removed and replaced files are kept as hard
// links until their folder is flushed, so they can come back.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/files.h"

struct Fault_files final : Files {
    enum Op : int { Op_create, Op_write, Op_flush, Op_close, Op_rename, Op_remove, Op_flush_folder, Op_count };

    // Fail the fail_at-th operation (counted from 1) of kind fail_op.
    int fail_op = -1;
    int fail_at = 0;
    // Stop after this many operations of any kind: every later one fails, as
    // if the process or the machine had stopped there. -1 = never.
    int stop_after = -1;

    int counts[Op_count] = {};
    int total = 0;
    std::string failed_path;  // the path of the operation made to fail

    ~Fault_files() override;

    bool Create_new(const std::string& path, int64_t& handle, std::string& why) override;
    bool Write(int64_t handle, const void* data, size_t size, std::string& why) override;
    bool Flush(int64_t handle, std::string& why) override;
    bool Close(int64_t handle, std::string& why) override;
    bool Rename(const std::string& from, const std::string& to, std::string& why) override;
    bool Remove(const std::string& path, std::string& why) override;
    bool Flush_folder(const std::string& folder, std::string& why) override;
    Lock_result Lock_folder(const std::string& folder, int wait_ms, int64_t& lock, std::string& why) override;
    void Unlock_folder(int64_t lock) override;

    // Undoes what a power cut at this moment would lose.
    void Power_cut();

private:
    struct Undo {
        enum Kind { created, renamed, removed } kind;
        std::string path, other, kept;  // renamed: path = to, other = from; kept = a link to what was there
    };
    bool Allowed(Op op, const std::string& path, std::string& why);
    std::string Keep(const std::string& path);

    std::map<int64_t, std::string> open_;  // handle -> path
    std::map<std::string, bool> dirty_;    // path -> written since its last flush
    std::vector<Undo> undo_;
    int kept_n_ = 0;
    std::string kept_dir_;
};
