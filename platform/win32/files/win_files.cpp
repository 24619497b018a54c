// The file layer on Windows: wide paths (long ones too), files flushed with
// FlushFileBuffers, renames written through, and a few patient retries where
// another program (a virus scanner, the search indexer) holds a file for a
// moment.
#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/win32/win_text.h"

namespace {

constexpr int Share_retries = 20;  // 20 x 50 ms: a scanner's look, not a program that keeps it open
constexpr DWORD Retry_pause_ms = 50;

std::string Reason(DWORD err) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string s = text ? Utf8(text) : std::string();
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s + " (" + std::to_string(err) + ")";
}

bool Passing(DWORD err) { return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION || err == ERROR_ACCESS_DENIED; }

// Paths past MAX_PATH need the \\?\ form for the calls that do not read the
// long-path setting.
std::wstring Long_path(const std::string& path) {
    std::wstring w = Wide(path);
    if (w.size() < 240 || w.rfind(L"\\\\", 0) == 0) return w;
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return L"\\\\?\\" + w;
}

struct Win_files final : Files {
    bool Create_new(const std::string& path, int64_t& handle, std::string& why) override {
        // CREATE_NEW fails on anything already there, a link included.
        HANDLE h = CreateFileW(Long_path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            why = Reason(GetLastError());
            return false;
        }
        handle = int64_t(reinterpret_cast<intptr_t>(h));
        return true;
    }

    bool Write(int64_t handle, const void* data, size_t size, std::string& why) override {
        HANDLE h = reinterpret_cast<HANDLE>(intptr_t(handle));
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const DWORD chunk = size > (DWORD(1) << 30) ? (DWORD(1) << 30) : DWORD(size);
            DWORD written = 0;
            if (!WriteFile(h, p, chunk, &written, nullptr)) {
                why = Reason(GetLastError());
                return false;
            }
            if (written == 0) {
                why = Reason(ERROR_DISK_FULL);
                return false;
            }
            p += written;
            size -= written;
        }
        return true;
    }

    bool Flush(int64_t handle, std::string& why) override {
        if (FlushFileBuffers(reinterpret_cast<HANDLE>(intptr_t(handle)))) return true;
        why = Reason(GetLastError());
        return false;
    }

    bool Close(int64_t handle, std::string& why) override {
        if (CloseHandle(reinterpret_cast<HANDLE>(intptr_t(handle)))) return true;
        why = Reason(GetLastError());
        return false;
    }

    bool Rename(const std::string& from, const std::string& to, std::string& why) override {
        const std::wstring f = Long_path(from), t = Long_path(to);
        for (int attempt = 0;; ++attempt) {
            if (MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
            const DWORD err = GetLastError();
            if (!Passing(err) || attempt >= Share_retries) {
                why = Reason(err);
                return false;
            }
            Sleep(Retry_pause_ms);
        }
    }

    bool Remove(const std::string& path, std::string& why) override {
        const std::wstring p = Long_path(path);
        for (int attempt = 0;; ++attempt) {
            if (DeleteFileW(p.c_str())) return true;
            const DWORD err = GetLastError();
            if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return true;
            if (!Passing(err) || attempt >= Share_retries) {
                why = Reason(err);
                return false;
            }
            Sleep(Retry_pause_ms);
        }
    }

    // Renames are written through (MOVEFILE_WRITE_THROUGH) and files flushed
    // before them; the folder's own entry has nothing more to flush here.
    bool Flush_folder(const std::string&, std::string&) override { return true; }

    Lock_result Lock_folder(const std::string& folder, int wait_ms, int64_t& lock, std::string& why) override {
        const std::wstring path = Long_path(folder + "\\" + Lock_file);
        const DWORD until = GetTickCount() + DWORD(wait_ms);
        for (;;) {
            // Opened without sharing: a second program's open fails until this
            // one closes it, and the close removes it, so the folder keeps no trace.
            HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                lock = int64_t(reinterpret_cast<intptr_t>(h));
                return Lock_taken;
            }
            const DWORD err = GetLastError();
            if (err != ERROR_SHARING_VIOLATION && err != ERROR_LOCK_VIOLATION) {
                why = Reason(err);
                return Lock_unavailable;
            }
            if (int32_t(GetTickCount() - until) >= 0) {
                why = "held by another program";
                return Lock_busy;
            }
            Sleep(Retry_pause_ms);
        }
    }

    void Unlock_folder(int64_t lock) override { CloseHandle(reinterpret_cast<HANDLE>(intptr_t(lock))); }
};

}  // namespace

Files& System_files() {
    static Win_files* layer = new Win_files;  // never destroyed: saves may run at exit
    return *layer;
}
