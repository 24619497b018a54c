// The places of the control panel and the main window on Win32, and the main
// window's scrolling. The rules are platform/placement.cpp; here the real
// rectangles, frames and work areas are measured in physical pixels and the
// answers applied.
//
// Owns the map size fitted last and the scroll offset (the map pixel at the
// client area's origin): written on the main window's thread, read by the
// tools' threads through Screen_to_client and On_map (win_platform.cpp).
//
// Also the process's DPI awareness: the manifest asks for per-monitor v2;
// where that is not honoured (Windows before 10 1703, Wine) the best
// awareness the system has is set before the first window exists.
#include "platform/win32/win_place.h"

#include <shellscalingapi.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include "platform/placement.h"
#include "platform/win32/win_app.h"

namespace {

// Entries of newer Windows, looked up at run time so that the program still
// starts where they are missing.
template <class F>
F Entry(const wchar_t* module, const char* name) {
    HMODULE m = GetModuleHandleW(module);
    if (!m) m = LoadLibraryW(module);
    return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

// ---- DPI awareness ----

void Dpi_awareness_init() {
    using Thread_context = DPI_AWARENESS_CONTEXT(WINAPI*)();
    using Awareness_of = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
    using Set_context = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    using Set_awareness = HRESULT(WINAPI*)(PROCESS_DPI_AWARENESS);
    using Set_aware = BOOL(WINAPI*)();
    auto context = Entry<Thread_context>(L"user32.dll", "GetThreadDpiAwarenessContext");
    auto awareness = Entry<Awareness_of>(L"user32.dll", "GetAwarenessFromDpiAwarenessContext");
    if (context && awareness && awareness(context()) == DPI_AWARENESS_PER_MONITOR_AWARE) return;  // the manifest's
    if (auto set = Entry<Set_context>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
        if (set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) || set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) return;
    }
    if (auto set = Entry<Set_awareness>(L"shcore.dll", "SetProcessDpiAwareness")) {
        if (SUCCEEDED(set(PROCESS_PER_MONITOR_DPI_AWARE))) return;
    }
    // At least the system's DPI: the map is then still shown 1:1.
    if (auto set = Entry<Set_aware>(L"user32.dll", "SetProcessDPIAware")) set();
}

// Constructed before wWinMain runs, so that every window of the process, the
// first one included, is created with the awareness.
struct Dpi_awareness_at_start {
    Dpi_awareness_at_start() { Dpi_awareness_init(); }
} Dpi_awareness_at_start_;

// ---- Measures ----

UINT Dpi_of(HWND wnd) {
    if (auto dpi = Entry<UINT(WINAPI*)(HWND)>(L"user32.dll", "GetDpiForWindow"))
        if (UINT d = dpi(wnd)) return d;
    HDC dc = GetDC(nullptr);
    const int d = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return d > 0 ? UINT(d) : 96;
}

int Metric_at(int index, UINT dpi) {
    if (auto metric = Entry<int(WINAPI*)(int, UINT)>(L"user32.dll", "GetSystemMetricsForDpi")) return metric(index, dpi);
    return GetSystemMetrics(index);
}

Place_rect From(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
RECT To(const Place_rect& r) { return {r.left, r.top, r.right, r.bottom}; }

Place_rect Window_rect(HWND wnd) {
    RECT r{};
    GetWindowRect(wnd, &r);
    return From(r);
}

// The panel's real rectangle; an empty one at the origin while there is no panel.
Place_rect Panel_rect() {
    HWND panel = Panel_wnd.load();
    return panel && IsWindow(panel) ? Window_rect(panel) : Place_rect{};
}

Monitor_area Monitor_of(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!monitor || !GetMonitorInfoW(monitor, &info)) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        return {{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, From(work)};
    }
    return {From(info.rcMonitor), From(info.rcWork)};
}

// The main window's frame at a DPI: what its style adds around the client
// area (the scroll bars left out: they come and go), and the bars' thickness.
Main_frame Frame_at(HWND main, UINT dpi) {
    const DWORD style = DWORD(GetWindowLongPtrW(main, GWL_STYLE)) & ~DWORD(WS_HSCROLL | WS_VSCROLL);
    const DWORD ex_style = DWORD(GetWindowLongPtrW(main, GWL_EXSTYLE));
    RECT rc{0, 0, 0, 0};
    auto adjust = Entry<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (!adjust || !adjust(&rc, style, FALSE, ex_style, dpi)) AdjustWindowRectEx(&rc, style, FALSE, ex_style);
    Main_frame f;
    f.left = -rc.left;
    f.top = -rc.top;
    f.right = rc.right;
    f.bottom = rc.bottom;
    f.vscroll_w = Metric_at(SM_CXVSCROLL, dpi);
    f.hscroll_h = Metric_at(SM_CYHSCROLL, dpi);
    return f;
}

// ---- The map in the main window ----

std::atomic<int32_t> Map_w{-1};  // the map fitted last; -1 before any
std::atomic<int32_t> Map_h{-1};
std::atomic<int32_t> Scroll_x{0};  // the map pixel at the client area's origin
std::atomic<int32_t> Scroll_y{0};
bool Bars_updating = false;  // main window's thread only
int Wheel_rest[2] = {0, 0};  // wheel turns below one notch, vertical and horizontal

// The map's size; before any map the client area's, so that the caption-only
// window keeps its size when it moves.
Place_size Map_size(HWND main) {
    if (Map_w.load() >= 0) return {Map_w.load(), Map_h.load()};
    RECT c{};
    GetClientRect(main, &c);
    return {c.right, c.bottom};
}

// Runs f on the main window's thread, at once when this is that thread, and
// waits for it: the caller goes on with a window that has its new place.
void On_main_thread(HWND main, std::function<void()> f) {
    if (!main) return;
    if (GetWindowThreadProcessId(main, nullptr) == GetCurrentThreadId()) {
        f();
        return;
    }
    auto* call = new std::function<void()>(std::move(f));
    DWORD_PTR result = 0;
    // On a time-out the call still waits in the queue and deletes itself when run.
    if (!SendMessageTimeoutW(main, Wm_window_call, 0, LPARAM(call), SMTO_NORMAL, 10000, &result) &&
        GetLastError() != ERROR_TIMEOUT)
        delete call;
}

void Post_call(HWND wnd, std::function<void()> f) {
    if (!wnd) return;
    auto* call = new std::function<void()>(std::move(f));
    if (!PostMessageW(wnd, Wm_window_call, 0, LPARAM(call))) delete call;
}

// One scroll bar: shown with the map's length as its range and the client's
// as its page where the map does not fit, else hidden with the offset 0.
void Bar_set(HWND main, int bar, bool show, int32_t length, int32_t page, std::atomic<int32_t>& offset) {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(0, length - 1);
    si.nPage = UINT(show ? page : std::max(length, 1));
    si.nPos = show ? std::clamp(offset.load(), 0, std::max(0, length - page)) : 0;
    offset = si.nPos;
    SetScrollInfo(main, bar, &si, TRUE);
    ShowScrollBar(main, bar, show ? TRUE : FALSE);
}

// The scroll bars for the window's present size, by the placement's own rule:
// the room is the client area with the bars it shows now given back.
void Bars_update(HWND main) {
    if (Bars_updating) return;  // showing a bar resizes the client area: WM_SIZE comes back here
    Bars_updating = true;
    RECT c{};
    GetClientRect(main, &c);
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
    const UINT dpi = Dpi_of(main);
    Main_frame bars;
    bars.vscroll_w = Metric_at(SM_CXVSCROLL, dpi);
    bars.hscroll_h = Metric_at(SM_CYHSCROLL, dpi);
    const int32_t room_w = c.right + ((style & WS_VSCROLL) ? bars.vscroll_w : 0);
    const int32_t room_h = c.bottom + ((style & WS_HSCROLL) ? bars.hscroll_h : 0);
    const Place_size map = Map_w.load() >= 0 ? Map_size(main) : Place_size{room_w, room_h};
    const Main_place fit = Main_fit({0, 0, room_w, room_h}, 0, 0, map, bars);
    Bar_set(main, SB_HORZ, fit.scroll_x, map.w, fit.client.w, Scroll_x);
    Bar_set(main, SB_VERT, fit.scroll_y, map.h, fit.client.h, Scroll_y);
    Bars_updating = false;
    InvalidateRect(main, nullptr, FALSE);
}

void Move_main(HWND main, const Place_rect& r, UINT flags) {
    SetWindowPos(main, nullptr, r.left, r.top, r.Width(), r.Height(), flags | SWP_NOZORDER);
}

// Applies a placement computed from the frame; where the client area did not
// come out as planned (a caption that wraps, a theme, a frame drawn at
// another DPI than asked), the frame really drawn is measured and the
// placement computed again with it, so the window still keeps its rules.
void Main_apply(HWND main, const std::function<Main_place(const Main_frame&)>& place, Main_frame frame,
                UINT flags) {
    Main_place p = place(frame);
    Move_main(main, p.outer, flags);
    RECT got{};
    GetClientRect(main, &got);
    if (got.right == p.client.w && got.bottom == p.client.h) return;
    const Place_rect outer = Window_rect(main);
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
    const UINT dpi = Dpi_of(main);
    frame.vscroll_w = Metric_at(SM_CXVSCROLL, dpi);
    frame.hscroll_h = Metric_at(SM_CYHSCROLL, dpi);
    const int32_t bars_w = (style & WS_VSCROLL) ? frame.vscroll_w : 0;
    const int32_t bars_h = (style & WS_HSCROLL) ? frame.hscroll_h : 0;
    frame.right = outer.Width() - got.right - bars_w - frame.left;
    frame.bottom = outer.Height() - got.bottom - bars_h - frame.top;
    p = place(frame);
    Move_main(main, p.outer, flags);
}

// The main window back inside its work area and clear of the panel, where it
// left either (the panel grew or moved).
void Main_keep_clear(HWND main) {
    const Place_rect now = Window_rect(main);
    const Monitor_area monitor = Monitor_of(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST));
    const Place_rect panel = Panel_rect();
    if (Rect_inside(now, monitor.work) && !Rects_overlap(now, panel)) return;
    const Place_size map = Map_size(main);
    Main_apply(
        main, [&](const Main_frame& f) { return Main_dpi_changed(monitor, panel, now, map, f); },
        Frame_at(main, Dpi_of(main)), SWP_NOACTIVATE);
}

// The main window below the panel on the panel's monitor.
void Main_place_now(HWND main) {
    const HWND panel_wnd = Panel_wnd.load();
    const Monitor_area monitor =
        Monitor_of(MonitorFromWindow(panel_wnd ? panel_wnd : main, MONITOR_DEFAULTTOPRIMARY));
    const Place_rect panel = Panel_rect();
    const Place_size map = Map_size(main);
    Main_apply(
        main, [&](const Main_frame& f) { return Main_place_below(monitor, panel, map, f); },
        Frame_at(main, Dpi_of(main)), SWP_SHOWWINDOW);
    Bars_update(main);
}

void Main_on_dpi_changed(HWND main, WPARAM wparam, LPARAM lparam) {
    const RECT* s = reinterpret_cast<const RECT*>(lparam);
    if (!s) return;
    const UINT dpi = HIWORD(wparam) ? HIWORD(wparam) : Dpi_of(main);
    const Place_rect suggested = From(*s);
    const Monitor_area monitor = Monitor_of(MonitorFromRect(s, MONITOR_DEFAULTTONEAREST));
    const Place_rect panel = Panel_rect();
    const Place_size map = Map_size(main);
    Main_apply(
        main, [&](const Main_frame& f) { return Main_dpi_changed(monitor, panel, suggested, map, f); },
        Frame_at(main, dpi), SWP_NOACTIVATE);
    Bars_update(main);
}

// ---- Scrolling ----

// A line of scrolling: the same length on the screen at any scaling.
int32_t Line_px(HWND main) { return MulDiv(32, int(Dpi_of(main)), 96); }

void Scroll_to(HWND main, int bar, int32_t pos) {
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
    if (!(style & (bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL))) return;  // the map fits that way
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE;
    if (!GetScrollInfo(main, bar, &si)) return;
    pos = std::clamp(pos, 0, std::max(0, si.nMax - si.nMin + 1 - int(si.nPage)));
    std::atomic<int32_t>& offset = bar == SB_HORZ ? Scroll_x : Scroll_y;
    if (pos == offset.load()) return;
    offset = pos;
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(main, bar, &si, TRUE);
    InvalidateRect(main, nullptr, FALSE);
}

void On_scroll(HWND main, int bar, WPARAM wparam) {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    if (!GetScrollInfo(main, bar, &si)) return;
    int32_t pos = si.nPos;
    switch (LOWORD(wparam)) {
    case SB_LINEUP: pos -= Line_px(main); break;  // SB_LINELEFT too
    case SB_LINEDOWN: pos += Line_px(main); break;
    case SB_PAGEUP: pos -= int32_t(si.nPage); break;
    case SB_PAGEDOWN: pos += int32_t(si.nPage); break;
    case SB_THUMBTRACK: pos = si.nTrackPos; break;  // 32 bits, where the message has 16
    case SB_THUMBPOSITION: pos = HIWORD(wparam); break;
    case SB_TOP: pos = 0; break;
    case SB_BOTTOM: pos = si.nMax; break;
    default: return;
    }
    Scroll_to(main, bar, pos);
}

// The wheel scrolls by the user's lines a notch (or a page); Shift or the
// tilt wheel scroll sideways, and so does the wheel where the map fits the
// height but not the width.
void On_wheel(HWND main, bool sideways, WPARAM wparam) {
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
    if (!sideways && ((LOWORD(wparam) & MK_SHIFT) || !(style & WS_VSCROLL))) {
        sideways = true;
        wparam = MAKEWPARAM(LOWORD(wparam), WORD(-GET_WHEEL_DELTA_WPARAM(wparam)));  // forward goes left
    }
    int& rest = Wheel_rest[sideways ? 1 : 0];
    rest += GET_WHEEL_DELTA_WPARAM(wparam);
    const int notches = rest / WHEEL_DELTA;
    rest -= notches * WHEEL_DELTA;
    if (notches == 0) return;
    UINT lines = 3;
    SystemParametersInfoW(sideways ? SPI_GETWHEELSCROLLCHARS : SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    const int bar = sideways ? SB_HORZ : SB_VERT;
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_PAGE | SIF_POS;
    if (!GetScrollInfo(main, bar, &si)) return;
    const int32_t step = lines == WHEEL_PAGESCROLL ? int32_t(si.nPage) : int32_t(lines) * Line_px(main);
    // A vertical wheel turned forward scrolls up; a tilt to the right scrolls right.
    Scroll_to(main, bar, si.nPos + (sideways ? notches : -notches) * step);
}

}  // namespace

void Panel_place_at_start(HWND panel) {
    const Place_rect now = Window_rect(panel);
    const Monitor_area monitor = Monitor_of(MonitorFromWindow(panel, MONITOR_DEFAULTTOPRIMARY));
    const Place_rect at = Panel_place(monitor, {now.Width(), now.Height()});
    SetWindowPos(panel, HWND_TOPMOST, at.left, at.top, 0, 0, SWP_NOSIZE);
    // Queued, not waited for: the main window's thread may still be creating it.
    HWND main = Main_wnd.load();
    Post_call(main, [main] { Main_place_now(main); });
}

void Panel_on_dpi_changed(HWND panel, WPARAM, LPARAM lparam) {
    const RECT* s = reinterpret_cast<const RECT*>(lparam);
    if (!s) return;
    const Place_rect suggested = From(*s);
    // Run after the dialog manager's own handling: its size is then the
    // dialog's new real one, and the suggested place is kept inside.
    Post_call(panel, [panel, suggested] {
        const Place_rect now = Window_rect(panel);
        const Place_rect wanted{suggested.left, suggested.top, suggested.left + now.Width(),
                                suggested.top + now.Height()};
        const RECT w = To(wanted);
        const Place_rect at = Panel_dpi_changed(Monitor_of(MonitorFromRect(&w, MONITOR_DEFAULTTONEAREST)), wanted);
        SetWindowPos(panel, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        HWND main = Main_wnd.load();
        Post_call(main, [main] { Main_keep_clear(main); });
    });
}

void Main_fit_to_map(HWND main, int map_w, int map_h) {
    On_main_thread(main, [main, map_w, map_h] {
        Map_w = map_w;
        Map_h = map_h;
        // A new map is shown from its top-left corner.
        Scroll_x = 0;
        Scroll_y = 0;
        Main_place_now(main);
        InvalidateRect(main, nullptr, FALSE);
    });
}

bool Main_place_message(HWND main, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    result = 0;
    switch (msg) {
    case WM_SIZE: Bars_update(main); return true;
    case WM_HSCROLL: On_scroll(main, SB_HORZ, wparam); return true;
    case WM_VSCROLL: On_scroll(main, SB_VERT, wparam); return true;
    case WM_MOUSEWHEEL: On_wheel(main, false, wparam); return true;
    case WM_MOUSEHWHEEL: On_wheel(main, true, wparam); return true;
    case WM_DPICHANGED: Main_on_dpi_changed(main, wparam, lparam); return true;
    default: return false;
    }
}

POINT Main_scroll_offset() { return {Scroll_x.load(), Scroll_y.load()}; }

POINT Main_client_to_map(POINT client) { return {client.x + Scroll_x.load(), client.y + Scroll_y.load()}; }

bool Main_map_has(POINT map) {
    if (Map_w.load() < 0) return true;
    return map.x >= 0 && map.y >= 0 && map.x < Map_w.load() && map.y < Map_h.load();
}
