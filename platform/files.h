// The file layer of the platform seam: the few operations a durable save is
// made of, each reporting failure with the system's reason. The program and
// tovi-cli use the system's implementation (files_posix.cpp, win32/files/);
// tests install layers that fail the nth operation or forget what a power cut
// would forget (platform/fake/fake_files.h).
//
// Paths are UTF-8. A handle is the layer's own number; -1 is none.
#pragma once
#include <cstdint>
#include <string>

// The name of the lock file that keeps two programs from writing, or reading
// and writing, one folder at the same time. It is there only while held.
inline constexpr const char* Lock_file = "tovi.lock";

enum Lock_result : int {
    Lock_taken,        // the folder is ours until Unlock_folder
    Lock_busy,         // another program held it for the whole wait
    Lock_unavailable,  // no lock file can be made here (a read-only folder)
};

struct Files {
    virtual ~Files() = default;

    // Makes a new file for writing. Fails if anything is at path already,
    // a link included: a link is never followed.
    virtual bool Create_new(const std::string& path, int64_t& handle, std::string& why) = 0;
    virtual bool Write(int64_t handle, const void* data, size_t size, std::string& why) = 0;
    // Puts the file's data on the disk, so that a power cut keeps it.
    virtual bool Flush(int64_t handle, std::string& why) = 0;
    // Closes the handle; its failure is a failure of the write.
    virtual bool Close(int64_t handle, std::string& why) = 0;
    // Renames from to to, replacing a file there.
    virtual bool Rename(const std::string& from, const std::string& to, std::string& why) = 0;
    // Removes a file; a file that is not there is no failure.
    virtual bool Remove(const std::string& path, std::string& why) = 0;
    // Puts the folder's names (creations, renames, removals) on the disk.
    virtual bool Flush_folder(const std::string& folder, std::string& why) = 0;
    // Takes the folder's lock, waiting up to wait_ms for another program to
    // let it go.
    virtual Lock_result Lock_folder(const std::string& folder, int wait_ms, int64_t& lock, std::string& why) = 0;
    virtual void Unlock_folder(int64_t lock) = 0;
};

// The layer in use: the installed one, or else the system's.
Files& Fs();
// Installs a layer (nullptr: the system's again). Tests only.
void Fs_install(Files* layer);
// The system's layer.
Files& System_files();

// A folder's lock for the time of a scope.
class Folder_lock {
public:
    Folder_lock(const std::string& folder, int wait_ms) { result_ = Fs().Lock_folder(folder, wait_ms, lock_, why_); }
    ~Folder_lock() {
        if (result_ == Lock_taken) Fs().Unlock_folder(lock_);
    }
    Folder_lock(const Folder_lock&) = delete;
    Folder_lock& operator=(const Folder_lock&) = delete;
    Lock_result result() const { return result_; }
    const std::string& why() const { return why_; }

private:
    int64_t lock_ = -1;
    Lock_result result_;
    std::string why_;
};
