// The file layer on Linux and other POSIX systems. (Windows: win32/files/.)
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/files.h"

namespace {

std::string Reason(int err) { return std::strerror(err); }

struct Held_lock {
    int fd;
    std::string path;
};

struct Posix_files final : Files {
    bool Create_new(const std::string& path, int64_t& handle, std::string& why) override {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            why = Reason(errno);
            return false;
        }
        handle = fd;
        return true;
    }

    bool Write(int64_t handle, const void* data, size_t size, std::string& why) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(int(handle), p, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                why = Reason(errno);
                return false;
            }
            if (n == 0) {
                why = Reason(ENOSPC);
                return false;
            }
            p += n;
            size -= size_t(n);
        }
        return true;
    }

    bool Flush(int64_t handle, std::string& why) override {
        if (::fsync(int(handle)) == 0) return true;
        why = Reason(errno);
        return false;
    }

    bool Close(int64_t handle, std::string& why) override {
        // No retry on EINTR: the descriptor is gone either way on Linux.
        if (::close(int(handle)) == 0) return true;
        why = Reason(errno);
        return false;
    }

    bool Rename(const std::string& from, const std::string& to, std::string& why) override {
        if (::rename(from.c_str(), to.c_str()) == 0) return true;
        why = Reason(errno);
        return false;
    }

    bool Remove(const std::string& path, std::string& why) override {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
        why = Reason(errno);
        return false;
    }

    bool Flush_folder(const std::string& folder, std::string& why) override {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            why = Reason(errno);
            return false;
        }
        const bool ok = ::fsync(fd) == 0;
        if (!ok) why = Reason(errno);
        ::close(fd);
        return ok;
    }

    // The lock is an flock on tovi.lock, which the holder removes before it
    // lets go, so that the folder keeps no trace of it. A program that opened
    // the file just before it was removed then holds a lock on a file that is
    // no longer the folder's: it sees that and tries again.
    Lock_result Lock_folder(const std::string& folder, int wait_ms, int64_t& lock, std::string& why) override {
        const std::string path = folder + "/" + Lock_file;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
        for (;;) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0) {
                why = Reason(errno);
                return Lock_unavailable;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                struct stat held, named;
                if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                    held.st_ino == named.st_ino) {
                    lock = int64_t(reinterpret_cast<intptr_t>(new Held_lock{fd, path}));
                    return Lock_taken;
                }
                ::close(fd);
                continue;
            }
            const int err = errno;
            ::close(fd);
            if (err != EWOULDBLOCK && err != EINTR) {
                why = Reason(err);
                return Lock_unavailable;
            }
            if (std::chrono::steady_clock::now() >= until) {
                why = "held by another program";
                return Lock_busy;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    void Unlock_folder(int64_t lock) override {
        Held_lock* held = reinterpret_cast<Held_lock*>(intptr_t(lock));
        ::unlink(held->path.c_str());
        ::close(held->fd);  // the close lets the lock go
        delete held;
    }
};

}  // namespace

Files& System_files() {
    static Posix_files* layer = new Posix_files;  // never destroyed: saves may run at exit
    return *layer;
}
#endif
