// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes away.
#pragma once
#include <atomic>
#include <filesystem>
#include <string>
#include <unistd.h>

struct Temp_folder {
    std::filesystem::path path;
    // in_memory: under /dev/shm where the machine has it, for tests that
    // write whole pieces of work many times and need no disk behind them.
    explicit Temp_folder(bool in_memory = false) {
        static std::atomic<int> serial{0};
        std::error_code ec;
        const std::filesystem::path base = in_memory && std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        path = base / ("tovi-test-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~Temp_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string str() const { return path.string(); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};
