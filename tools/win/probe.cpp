// probe: watches whether the program's windows keep answering, as Windows
// judges a window "not responding". Every 50 ms it sends WM_NULL to the
// control panel and to the main window (SendMessageTimeout, 200 ms each) and
// asks IsHungAppWindow, until the stop file exists or the time limit passes.
//
//   probe STOPFILE [SECONDS]      (default limit 600 s)
//
// For each window it prints the longest wait for an answer: from the first
// message that went unanswered until one was answered (or the end), else the
// slowest single answer; and every wait of 200 ms or more with its moment.
// Exit 0 when every window answered within 1 s and never counted as hung,
// 1 when one did not, 2 on a wrong call or when a window was never found.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::wstring Wide(const char* s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring w(size_t(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
    return w;
}

// The control panel is the top-level dialog that holds the scale box 1023 (as winctl finds it).
BOOL CALLBACK Find_panel(HWND wnd, LPARAM out) {
    if (GetDlgItem(wnd, 1023) && GetDlgItem(wnd, 1005)) {
        *reinterpret_cast<HWND*>(out) = wnd;
        return FALSE;
    }
    return TRUE;
}

// The main window's class name starts with "Toviルーター"; a hidden one must answer too.
BOOL CALLBACK Find_main(HWND wnd, LPARAM out) {
    static const std::wstring prefix = Wide("Toviルーター");
    wchar_t cls[256] = {};
    GetClassNameW(wnd, cls, 256);
    if (wcsncmp(cls, prefix.c_str(), prefix.size()) == 0) {
        *reinterpret_cast<HWND*>(out) = wnd;
        return FALSE;
    }
    return TRUE;
}

LARGE_INTEGER Frequency;
LARGE_INTEGER Start;

double Now_ms() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart - Start.QuadPart) * 1000.0 / double(Frequency.QuadPart);
}

struct Watched {
    const char* name;
    WNDENUMPROC finder;
    HWND wnd = nullptr;
    bool ever_found = false;
    int sent = 0;
    int answered = 0;
    int hung_seen = 0;
    double worst_ms = 0;         // longest wait for an answer
    double worst_at_ms = 0;      // when that wait began
    double unanswered_since = -1;  // start of the message that first went unanswered, -1 when answered

    void Wait_ended(double began, double ended) {
        double wait = ended - began;
        if (wait >= 200) std::printf("%s: waited %.0f ms for an answer, from %.3f s\n", name, wait, began / 1000);
        if (wait > worst_ms) {
            worst_ms = wait;
            worst_at_ms = began;
        }
    }

    void Ask() {
        if (!wnd || !IsWindow(wnd)) {
            if (wnd) std::printf("%s: window gone at %.3f s\n", name, Now_ms() / 1000);
            wnd = nullptr;
            EnumWindows(finder, LPARAM(&wnd));
            if (!wnd) return;
            if (!ever_found) std::printf("%s: found at %.3f s\n", name, Now_ms() / 1000);
            ever_found = true;
        }
        if (IsHungAppWindow(wnd)) {
            if (!hung_seen) std::printf("%s: counted as hung at %.3f s\n", name, Now_ms() / 1000);
            ++hung_seen;
        }
        ++sent;
        double began = Now_ms();
        DWORD_PTR result = 0;
        SetLastError(0);
        LRESULT ok = SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result);
        double ended = Now_ms();
        if (ok) {
            ++answered;
            Wait_ended(unanswered_since >= 0 ? unanswered_since : began, ended);
            unanswered_since = -1;
        } else if (GetLastError() == ERROR_INVALID_WINDOW_HANDLE || !IsWindow(wnd)) {
            --sent;
        } else if (unanswered_since < 0) {
            unanswered_since = began;
        }
    }

    void Finish(double end) {
        if (unanswered_since >= 0) {
            std::printf("%s: still no answer at the end\n", name);
            Wait_ended(unanswered_since, end);
        }
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: probe STOPFILE [SECONDS]\n", stderr);
        return 2;
    }
    const wchar_t* stop = argv[1];
    double limit_ms = (argc >= 3 ? std::wcstod(argv[2], nullptr) : 600.0) * 1000.0;
    QueryPerformanceFrequency(&Frequency);
    QueryPerformanceCounter(&Start);
    Watched windows[] = {{"panel", Find_panel}, {"main", Find_main}};
    int rounds = 0;
    double now = 0;
    while (GetFileAttributesW(stop) == INVALID_FILE_ATTRIBUTES && (now = Now_ms()) < limit_ms) {
        for (auto& w : windows) w.Ask();
        ++rounds;
        std::fflush(stdout);
        Sleep(50);
    }
    now = Now_ms();
    bool failed = false, missing = false;
    std::printf("probed %.1f s, %d rounds\n", now / 1000, rounds);
    for (auto& w : windows) {
        w.Finish(now);
        if (!w.ever_found) {
            std::printf("%s: never found\n", w.name);
            missing = true;
            continue;
        }
        bool bad = w.worst_ms >= 1000 || w.hung_seen > 0;
        failed = failed || bad;
        std::printf("%s: worst %.1f ms (from %.3f s), answered %d of %d, hung %d times: %s\n", w.name, w.worst_ms,
                    w.worst_at_ms / 1000, w.answered, w.sent, w.hung_seen, bad ? "NOT RESPONDING" : "ok");
    }
    std::printf("verdict %s\n", failed ? "not responding" : missing ? "window missing" : "ok");
    std::fflush(stdout);
    return failed ? 1 : missing ? 2 : 0;
}
