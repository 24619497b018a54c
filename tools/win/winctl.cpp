// winctl: a small Windows console helper for the end-to-end tests and the demo.
// It drives and reads the program's windows as a person would: real mouse
// input through SendInput, and the texts and states of controls.
//
//   winctl click X Y [left|right] [hold_ms]   press and release at a screen point
//   winctl press X Y left|right               move there and press, keep it down
//   winctl release left|right                 release the button
//   winctl move X Y                           move the cursor
//   winctl drag X1 Y1 X2 Y2 left|right        press at 1, move in steps to 2, release
//   winctl key VK                             press and release a virtual key
//   winctl panel                              the control panel: rect, caption, topmost, work area
//   winctl main                               the main window: rect, client rect on screen, caption,
//                                             work area of its monitor, scroll bars shown, DPI
//   winctl dpi-changed main|panel DPI X Y W H send the window WM_DPICHANGED with that suggested rect
//   winctl scroll horz|vert HOW               scroll the main window: top, bottom, line-up, line-down,
//                                             page-up, page-down or a position
//   winctl wheel X Y DELTA [h]                move there and turn the wheel (h: the tilt wheel)
//   winctl ctl ID                             a panel control: enabled, checked, text, screen rect
//   winctl find CAPTION                       a top-level window by exact caption: rect
//   winctl close panel|main|CAPTION           click the window's close box
//   winctl count-main                         how many main windows of the program exist
//   winctl classes                            the class names of the main windows
//   winctl dlg ID                             the top-level dialog holding control ID: rect, that control's text
//   winctl box-click CAPTION ID               click the button ID of the window with that caption
//   winctl box-text CAPTION                   the message of the message box with that caption
//   winctl owned                              rects of the visible windows owned by the main window
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const wchar_t* w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring Wide(const char* s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring w(size_t(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
    return w;
}

void Button(bool right, bool down) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = right ? (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP)
                          : (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
    SendInput(1, &in, sizeof(in));
}

void Move(int x, int y) {
    SetCursorPos(x, y);
    Sleep(30);
}

// The control panel is the top-level dialog that holds the scale box 1023.
BOOL CALLBACK Find_panel(HWND wnd, LPARAM out) {
    if (GetDlgItem(wnd, 1023) && GetDlgItem(wnd, 1005)) {
        *reinterpret_cast<HWND*>(out) = wnd;
        return FALSE;
    }
    return TRUE;
}

HWND Panel() {
    HWND found = nullptr;
    EnumWindows(Find_panel, LPARAM(&found));
    return found;
}

struct Main_search {
    HWND found = nullptr;
    int count = 0;
    std::string classes;
};

// The main window's class name starts with "Toviルーター".
BOOL CALLBACK Find_main(HWND wnd, LPARAM out) {
    wchar_t cls[256] = {};
    GetClassNameW(wnd, cls, 256);
    std::wstring prefix = Wide("Toviルーター");
    if (wcsncmp(cls, prefix.c_str(), prefix.size()) == 0 && IsWindowVisible(wnd)) {
        auto* s = reinterpret_cast<Main_search*>(out);
        if (!s->found) s->found = wnd;
        ++s->count;
        s->classes += Utf8(cls) + "\n";
    }
    return TRUE;
}

HWND Main() {
    Main_search s;
    EnumWindows(Find_main, LPARAM(&s));
    return s.found;
}

std::string Caption(HWND wnd) {
    wchar_t text[1024] = {};
    SendMessageTimeoutW(wnd, WM_GETTEXT, 1024, LPARAM(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    return Utf8(text);
}

void Print_rect(const char* name, RECT r) {
    std::printf("%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// The work area of the monitor a window stands on.
void Print_work(HWND wnd) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &info)) Print_rect("work", info.rcWork);
}

// Sends WM_DPICHANGED with a suggested rect. The rect lies at one address in
// both processes: whether the message's lParam reaches the window as it is or
// its rect is copied across, the window reads this rect.
bool Send_dpi_changed(HWND wnd, UINT dpi, RECT suggested) {
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ, FALSE, pid);
    if (!proc) return false;
    void* local = nullptr;
    void* remote = nullptr;
    for (int i = 0; i < 64 && !remote; ++i) {
        local = VirtualAlloc(nullptr, 1 << 16, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (!local) break;
        remote = VirtualAllocEx(proc, local, 1 << 16, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (remote && remote != local) {
            VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
            remote = nullptr;
        }
        if (!remote) {
            VirtualFree(local, 0, MEM_RELEASE);
            local = nullptr;
            // The next try lands elsewhere: keep a block here for the moment.
            VirtualAlloc(nullptr, 1 << 20, MEM_RESERVE, PAGE_NOACCESS);
        }
    }
    bool ok = false;
    if (remote) {
        *static_cast<RECT*>(local) = suggested;
        if (WriteProcessMemory(proc, remote, &suggested, sizeof(suggested), nullptr)) {
            DWORD_PTR result = 0;
            ok = SendMessageTimeoutW(wnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), LPARAM(remote), SMTO_ABORTIFHUNG,
                                     5000, &result) != 0;
        }
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
        VirtualFree(local, 0, MEM_RELEASE);
    }
    CloseHandle(proc);
    return ok;
}

int Usage() {
    std::fputs("usage: winctl click|press|release|move|drag|key|panel|main|ctl|find|close|count-main|dpi-changed|scroll|wheel ...\n", stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** wargv) {
    if (argc < 2) return Usage();
    std::string cmd = Utf8(wargv[1]);
    auto arg = [&](int i) { return i < argc ? std::wcstol(wargv[i], nullptr, 10) : 0L; };
    auto word = [&](int i) { return i < argc ? Utf8(wargv[i]) : std::string(); };

    if (cmd == "click" && argc >= 4) {
        bool right = word(4) == "right";
        long hold = argc >= 6 ? arg(5) : 60;
        Move(int(arg(2)), int(arg(3)));
        Button(right, true);
        Sleep(DWORD(hold));
        Button(right, false);
        Sleep(30);
        return 0;
    }
    if (cmd == "dlg" && argc >= 3) {
        struct Ctx {
            int id;
            HWND found;
        } ctx{int(arg(2)), nullptr};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* c = reinterpret_cast<Ctx*>(p);
                if (IsWindowVisible(w) && GetDlgItem(w, c->id)) {
                    c->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            LPARAM(&ctx));
        if (!ctx.found) return 1;
        RECT r{};
        GetWindowRect(ctx.found, &r);
        Print_rect("rect", r);
        std::printf("text %s\n", Caption(GetDlgItem(ctx.found, ctx.id)).c_str());
        RECT c{};
        GetWindowRect(GetDlgItem(ctx.found, ctx.id), &c);
        Print_rect("ctlrect", c);
        std::printf("topmost %d\n", (GetWindowLongW(ctx.found, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
        return 0;
    }
    if (cmd == "press" && argc >= 5) {
        Move(int(arg(2)), int(arg(3)));
        Button(word(4) == "right", true);
        Sleep(30);
        return 0;
    }
    if (cmd == "release" && argc >= 3) {
        Button(word(2) == "right", false);
        Sleep(30);
        return 0;
    }
    if (cmd == "move" && argc >= 4) {
        Move(int(arg(2)), int(arg(3)));
        return 0;
    }
    if (cmd == "drag" && argc >= 7) {
        bool right = word(6) == "right";
        int x1 = int(arg(2)), y1 = int(arg(3)), x2 = int(arg(4)), y2 = int(arg(5));
        Move(x1, y1);
        Button(right, true);
        Sleep(150);
        for (int i = 1; i <= 10; ++i) Move(x1 + (x2 - x1) * i / 10, y1 + (y2 - y1) * i / 10);
        Sleep(150);
        Button(right, false);
        Sleep(30);
        return 0;
    }
    if (cmd == "key" && argc >= 3) {
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wVk = in[1].ki.wVk = WORD(arg(2));
        in[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof(INPUT));
        return 0;
    }
    if (cmd == "panel") {
        HWND p = Panel();
        if (!p) return 1;
        RECT r{};
        GetWindowRect(p, &r);
        Print_rect("rect", r);
        std::printf("topmost %d\n", (GetWindowLongW(p, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
        std::printf("caption %s\n", Caption(p).c_str());
        Print_work(p);
        return 0;
    }
    if (cmd == "main") {
        HWND m = Main();
        if (!m) return 1;
        RECT r{}, c{};
        GetWindowRect(m, &r);
        GetClientRect(m, &c);
        POINT o{0, 0};
        ClientToScreen(m, &o);
        Print_rect("rect", r);
        std::printf("client %ld %ld %ld %ld\n", o.x, o.y, c.right, c.bottom);
        std::printf("caption %s\n", Caption(m).c_str());
        Print_work(m);
        const LONG style = GetWindowLongW(m, GWL_STYLE);
        std::printf("bars %d %d\n", (style & WS_HSCROLL) ? 1 : 0, (style & WS_VSCROLL) ? 1 : 0);
        std::printf("dpi %u\n", GetDpiForWindow(m));
        return 0;
    }
    if (cmd == "dpi-changed" && argc >= 8) {
        HWND w = word(2) == "panel" ? Panel() : Main();
        if (!w) return 1;
        const int x = int(arg(4)), y = int(arg(5));
        return Send_dpi_changed(w, UINT(arg(3)), RECT{x, y, x + int(arg(6)), y + int(arg(7))}) ? 0 : 1;
    }
    if (cmd == "scroll" && argc >= 4) {
        HWND m = Main();
        if (!m) return 1;
        const std::string how = word(3);
        const WORD code = how == "top"         ? SB_TOP
                          : how == "bottom"    ? SB_BOTTOM
                          : how == "line-up"   ? SB_LINEUP
                          : how == "line-down" ? SB_LINEDOWN
                          : how == "page-up"   ? SB_PAGEUP
                          : how == "page-down" ? SB_PAGEDOWN
                                               : SB_THUMBPOSITION;
        const WORD pos = code == SB_THUMBPOSITION ? WORD(arg(3)) : 0;
        DWORD_PTR result = 0;
        SendMessageTimeoutW(m, word(2) == "horz" ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(code, pos), 0,
                            SMTO_ABORTIFHUNG, 2000, &result);
        return 0;
    }
    if (cmd == "wheel" && argc >= 5) {
        Move(int(arg(2)), int(arg(3)));
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = word(5) == "h" ? MOUSEEVENTF_HWHEEL : MOUSEEVENTF_WHEEL;
        in.mi.mouseData = DWORD(arg(4));
        SendInput(1, &in, sizeof(in));
        Sleep(30);
        return 0;
    }
    if (cmd == "count-main" || cmd == "classes") {
        Main_search s;
        EnumWindows(Find_main, LPARAM(&s));
        if (cmd == "classes") std::printf("%s", s.classes.c_str());
        else std::printf("%d\n", s.count);
        return 0;
    }
    if (cmd == "owned") {
        HWND m = Main();
        if (!m) return 1;
        struct Ctx {
            HWND main;
            int n;
        } ctx{m, 0};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* c = reinterpret_cast<Ctx*>(p);
                if (IsWindowVisible(w) && GetWindow(w, GW_OWNER) == c->main) {
                    RECT r{};
                    GetWindowRect(w, &r);
                    Print_rect("rect", r);
                    ++c->n;
                }
                return TRUE;
            },
            LPARAM(&ctx));
        return ctx.n ? 0 : 1;
    }
    if (cmd == "ctl" && argc >= 3) {
        HWND p = Panel();
        HWND c = p ? GetDlgItem(p, int(arg(2))) : nullptr;
        if (!c) return 1;
        RECT r{};
        GetWindowRect(c, &r);
        std::printf("enabled %d\n", IsWindowEnabled(c) ? 1 : 0);
        DWORD_PTR check = 0;
        SendMessageTimeoutW(c, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &check);
        std::printf("checked %d\n", check == BST_CHECKED ? 1 : 0);
        std::printf("text %s\n", Caption(c).c_str());
        Print_rect("rect", r);
        return 0;
    }
    if (cmd == "box-click" && argc >= 4) {
        HWND w = FindWindowW(nullptr, wargv[2]);
        HWND b = w ? GetDlgItem(w, int(arg(3))) : nullptr;
        if (!b) return 1;
        RECT r{};
        GetWindowRect(b, &r);
        Move((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Button(false, true);
        Sleep(60);
        Button(false, false);
        Sleep(30);
        return 0;
    }
    if (cmd == "box-text" && argc >= 3) {
        HWND w = FindWindowW(nullptr, wargv[2]);
        HWND t = w ? GetDlgItem(w, 0xFFFF) : nullptr;
        if (!t) return 1;
        std::printf("%s\n", Caption(t).c_str());
        return 0;
    }
    if (cmd == "find" && argc >= 3) {
        HWND w = FindWindowW(nullptr, wargv[2]);
        if (!w) return 1;
        RECT r{};
        GetWindowRect(w, &r);
        Print_rect("rect", r);
        return 0;
    }
    if (cmd == "close" && argc >= 3) {
        std::string which = word(2);
        HWND w = which == "panel" ? Panel() : which == "main" ? Main() : FindWindowW(nullptr, wargv[2]);
        if (!w) return 1;
        TITLEBARINFO tb{};
        tb.cbSize = sizeof(tb);
        GetTitleBarInfo(w, &tb);
        RECT r{};
        GetWindowRect(w, &r);
        // The close box is the last button of the caption, at its right end.
        int caption_h = GetSystemMetrics(SM_CYCAPTION);
        int x = r.right - GetSystemMetrics(SM_CXFRAME) - caption_h / 2 - 1;
        int y = r.top + GetSystemMetrics(SM_CYFRAME) + caption_h / 2;
        if (tb.rcTitleBar.bottom > tb.rcTitleBar.top) y = (tb.rcTitleBar.top + tb.rcTitleBar.bottom) / 2;
        Move(x, y);
        LRESULT hit = SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(x, y));
        std::printf("hit %ld at %d %d\n", long(hit), x, y);
        Button(false, true);
        Sleep(60);
        Button(false, false);
        Sleep(30);
        return 0;
    }
    return Usage();
}
