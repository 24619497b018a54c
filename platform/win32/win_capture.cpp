// The screen on Win32: snapshots of the whole virtual screen without Tovi's
// own windows in them, and the capture window, on which the capture's drag
// happens so that nothing of it reaches the program showing the map.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/platform.h"
#include "platform/shell_flags.h"
#include "platform/win32/win_app.h"

#ifndef WDA_EXCLUDEFROMCAPTURE
#define WDA_EXCLUDEFROMCAPTURE 0x00000011
#endif

namespace {

bool Under_wine() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// Windows that Windows itself keeps out of every screen picture (Windows 10
// 2004 and later); the others are hidden for the moment of a snapshot.
std::atomic<HWND> Excluded[2] = {nullptr, nullptr};

bool Is_excluded(HWND w) { return w && (Excluded[0].load() == w || Excluded[1].load() == w); }

// The capture window, owned by the thread that opened it; other threads only
// post to it.
std::atomic<HWND> Capture_wnd{nullptr};

struct Visible_list {
    std::vector<HWND> windows;
};

BOOL CALLBACK Collect_own_window(HWND w, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId() && w != Capture_wnd && IsWindowVisible(w) && !Is_excluded(w))
        reinterpret_cast<Visible_list*>(param)->windows.push_back(w);
    return TRUE;
}

// Hides every visible window of the process that Windows does not keep out
// of pictures by itself (the panel, the main window, a box just answered) and
// waits until the screen no longer shows them, shadows and fades included.
std::vector<HWND> Hide_own_windows() {
    Visible_list list;
    EnumWindows(Collect_own_window, LPARAM(&list));
    // Asynchronously: a window's own thread hides it, and none of them waits
    // for this one.
    for (HWND w : list.windows) ShowWindowAsync(w, SW_HIDE);
    for (int i = 0; i < 100; ++i) {
        bool any = false;
        for (HWND w : list.windows) any = any || IsWindowVisible(w);
        if (!any) break;
        Sleep(10);
    }
    if (!list.windows.empty()) Sleep(Under_wine() ? 50 : 200);
    return list.windows;
}

void Show_again(const std::vector<HWND>& windows) {
    for (HWND w : windows) ShowWindowAsync(w, SW_SHOWNA);
}


// What the capture window shows and where its drag stands. Touched only by
// the window's own thread.
struct Capture_state {
    HDC mem = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;
    int w = 0, h = 0;
    Point origin{};
    bool dragging = false;
    POINT press{}, last{};
    int result = -1;  // Drag_done or Drag_cancelled once the drag ended
    POINT release{};
    HWND main_before = nullptr;  // the main window, made topmost for the capture
};
Capture_state Cap;

void Raise_above(HWND w) {
    if (w) SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}

// The panel and the main window above the capture window.
void Raise_own_windows() {
    Raise_above(Main_wnd.load());
    Raise_above(Panel_wnd.load());
}

bool Stands_above_capture(HWND w) {
    for (HWND h = GetWindow(Capture_wnd.load(), GW_HWNDPREV); h; h = GetWindow(h, GW_HWNDPREV))
        if (h == w) return true;
    return false;
}

// Activation (a box closed, a click) can bring the capture window back over
// them; each look puts them back where that happened.
void Keep_own_windows_above() {
    for (HWND w : {Main_wnd.load(), Panel_wnd.load()})
        if (w && IsWindowVisible(w) && !Stands_above_capture(w)) Raise_above(w);
}

RECT Line_rect(POINT a, POINT b) {
    RECT r{std::min(a.x, b.x) - 2, std::min(a.y, b.y) - 2, std::max(a.x, b.x) + 3, std::max(a.y, b.y) + 3};
    return r;
}

void Band_to(HWND wnd, POINT to) {
    RECT before = Line_rect(Cap.press, Cap.last);
    InvalidateRect(wnd, &before, FALSE);
    Cap.last = to;
    RECT after = Line_rect(Cap.press, Cap.last);
    InvalidateRect(wnd, &after, FALSE);
    UpdateWindow(wnd);
}

void Band_end(HWND wnd) {
    if (!Cap.dragging) return;
    Cap.dragging = false;
    RECT line = Line_rect(Cap.press, Cap.last);
    InvalidateRect(wnd, &line, FALSE);
    UpdateWindow(wnd);
    if (GetCapture() == wnd) ReleaseCapture();
}

POINT Lparam_point(LPARAM l) { return {short(LOWORD(l)), short(HIWORD(l))}; }

LRESULT CALLBACK Capture_proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        const RECT& r = ps.rcPaint;
        BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, Cap.mem, r.left, r.top, SRCCOPY);
        if (Cap.dragging) {
            HPEN pen = CreatePen(PS_SOLID, 1, RGB(250, 50, 50));
            HGDIOBJ old = SelectObject(dc, pen);
            MoveToEx(dc, Cap.press.x, Cap.press.y, nullptr);
            LineTo(dc, Cap.last.x, Cap.last.y);
            SelectObject(dc, old);
            DeleteObject(pen);
        }
        EndPaint(wnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_CROSS));
        return TRUE;
    case WM_RBUTTONDOWN:
        // Buttons arrive here as the user's logical buttons: with swapped
        // buttons the drag is made with the physical left one.
        Cap.dragging = true;
        Cap.press = Cap.last = Lparam_point(lparam);
        SetCapture(wnd);
        return 0;
    case WM_MOUSEMOVE:
        if (Cap.dragging) Band_to(wnd, Lparam_point(lparam));
        return 0;
    case WM_RBUTTONUP:
        if (!Cap.dragging) return 0;
        Cap.last = Lparam_point(lparam);
        Band_end(wnd);
        Cap.release = Cap.last;
        ClientToScreen(wnd, &Cap.release);
        Cap.result = Drag_done;
        return 0;
    case WM_CAPTURECHANGED:
        if (Cap.dragging && HWND(lparam) != wnd) Band_end(wnd);
        return 0;
    case WM_KEYDOWN:
        if (wparam == VK_ESCAPE) {
            Band_end(wnd);
            Cap.result = Drag_cancelled;
        }
        return 0;
    case WM_CONTEXTMENU:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        return 0;  // the picture is no program: other buttons do nothing
    // A click on the picture does not raise it over the panel and the main
    // window; where it becomes active again (a box closed), they are put back
    // above it. Under Wine the display's stacking can lag Windows' own order,
    // which the drag's wait checks, so both are needed.
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE) Raise_own_windows();
        return DefWindowProcW(wnd, msg, wparam, lparam);
    default: return DefWindowProcW(wnd, msg, wparam, lparam);
    }
}

const wchar_t* Capture_class() {
    static const wchar_t* name = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Capture_proc;
        wc.hInstance = App_instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_CROSS);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        wc.lpszClassName = L"ToviCaptureWindow";
        RegisterClassExW(&wc);
        return L"ToviCaptureWindow";
    }();
    return name;
}

void Free_picture() {
    if (Cap.mem) {
        SelectObject(Cap.mem, Cap.old);
        DeleteDC(Cap.mem);
    }
    if (Cap.bmp) DeleteObject(Cap.bmp);
    Cap.mem = nullptr;
    Cap.bmp = nullptr;
    Cap.bits = nullptr;
}


}  // namespace

void Capture_window_escape() {
    if (HWND w = Capture_wnd.load()) PostMessageW(w, WM_KEYDOWN, VK_ESCAPE, 0);
}

HWND Capture_window_here() {
    HWND w = Capture_wnd.load();
    return w && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() ? w : nullptr;
}

void Exclude_from_capture(HWND wnd, int slot) {
    using Set_affinity = BOOL(WINAPI*)(HWND, DWORD);
    auto set = reinterpret_cast<Set_affinity>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetWindowDisplayAffinity")));
    // Under Wine the call is a stub that fails; a failure leaves hiding.
    if (set && !Under_wine() && set(wnd, WDA_EXCLUDEFROMCAPTURE)) Excluded[slot] = wnd;
}

bool Win32_screen_snapshot(Image& out, Point& origin) {
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (w <= 0 || h <= 0) return false;
    const std::vector<HWND> hidden = Hide_own_windows();
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = Rows_info(w, h);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        ok = BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY | CAPTUREBLT) != 0;
        GdiFlush();
        SelectObject(mem, old);
        if (ok) {
            out = Image(w, h);
            const uint32_t* src = static_cast<const uint32_t*>(bits);
            for (size_t i = 0; i < out.px.size(); ++i) out.px[i] = Swap_red_blue(src[i]);
            origin = {x, y};
        }
    }
    if (bmp) DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    Show_again(hidden);
    return ok;
}

bool Win32_capture_window_open(const Image& snapshot, Point origin) {
    if (Capture_wnd || snapshot.empty()) return false;
    Cap = Capture_state{};
    Cap.w = snapshot.w;
    Cap.h = snapshot.h;
    Cap.origin = origin;
    HDC screen = GetDC(nullptr);
    BITMAPINFO bi = Rows_info(Cap.w, Cap.h);
    void* bits = nullptr;
    Cap.bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    Cap.mem = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (!Cap.bmp || !bits || !Cap.mem) {
        Free_picture();
        return false;
    }
    Cap.old = SelectObject(Cap.mem, Cap.bmp);
    Cap.bits = static_cast<uint32_t*>(bits);
    for (size_t i = 0; i < snapshot.px.size(); ++i) Cap.bits[i] = Swap_red_blue(snapshot.px[i]);
    Capture_wnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, Capture_class(), L"Tovi", WS_POPUP, origin.x,
                                  origin.y, Cap.w, Cap.h, nullptr, nullptr, App_instance, nullptr);
    if (!Capture_wnd) {
        Free_picture();
        return false;
    }
    ShowWindow(Capture_wnd, SW_SHOW);
    UpdateWindow(Capture_wnd);
    // The user just pressed Tovi's button: Tovi may take the foreground, and
    // the keyboard (Esc) comes to the capture window.
    SetForegroundWindow(Capture_wnd);
    SetFocus(Capture_wnd);
    // The panel and the main window stay usable above the picture.
    Cap.main_before = Main_wnd.load();
    Raise_own_windows();
    return true;
}

int Win32_capture_drag(Point& release, const std::atomic<bool>* cancel) {
    if (!Capture_wnd) return Drag_cancelled;
    Raise_own_windows();  // a box shown before this drag may have covered them
    Cap.result = -1;
    Cap.dragging = false;
    while (Cap.result < 0) {
        if (Stop_request == 1 || (cancel && cancel->load())) {
            Band_end(Capture_wnd);
            return Drag_cancelled;
        }
        Keep_own_windows_above();
        MSG msg;
        while (Cap.result < 0 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (Cap.result >= 0) break;
        // Woken by input or a message at once (Esc on the panel or the main
        // window comes as one); otherwise four looks a second at the stop flags.
        MsgWaitForMultipleObjectsEx(0, nullptr, 250, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    if (Cap.result == Drag_done) release = {Cap.release.x, Cap.release.y};
    return Cap.result;
}

void Win32_capture_window_show(const Image& img, Point at, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!Capture_wnd || !Cap.bits) return;
    const int32_t dx = at.x - Cap.origin.x, dy = at.y - Cap.origin.y;
    const int32_t left = std::max({x, 0, -dx}), top = std::max({y, 0, -dy});
    const int32_t right = std::min({x + w, img.w, Cap.w - dx}), bottom = std::min({y + h, img.h, Cap.h - dy});
    if (right <= left || bottom <= top) return;
    for (int32_t j = top; j < bottom; ++j) {
        const uint32_t* src = &img.px[size_t(j) * size_t(img.w)];
        uint32_t* dst = &Cap.bits[size_t(j + dy) * size_t(Cap.w)];
        for (int32_t i = left; i < right; ++i) dst[i + dx] = Swap_red_blue(src[i]);
    }
    GdiFlush();
    RECT r{left + dx, top + dy, right + dx, bottom + dy};
    InvalidateRect(Capture_wnd, &r, FALSE);
    UpdateWindow(Capture_wnd);
}

void Win32_capture_window_close() {
    if (!Capture_wnd) return;
    // The main window takes the foreground while Tovi still has it, so the
    // browser does not come up between the capture and the map.
    HWND main = Cap.main_before;
    if (main) {
        SetWindowPos(main, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        SetForegroundWindow(main);
    }
    DestroyWindow(Capture_wnd);
    Capture_wnd = nullptr;
    Free_picture();
}
