// The platform seam on Win32: each call turns into the Win32 calls that do it.
#include <windows.h>
#include <shlobj.h>
#include <shellscalingapi.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "platform/platform.h"
#include "resources/resource_ids.h"
#include "platform/win32/win_app.h"
#include "platform/win32/win_text.h"

namespace {

HWND Owner_window(int owner) {
    if (owner == Owner_main) return Main_wnd.load();
    if (owner == Owner_panel) return Panel_wnd.load();
    return nullptr;
}

// A message box that can be taken down from outside: a thread timer checks the
// caller's flag while the box's own loop runs, and ends the box when it is set.
thread_local const std::atomic<bool>* Box_cancel = nullptr;

BOOL CALLBACK End_box_window(HWND wnd, LPARAM) {
    wchar_t cls[16] = {};
    GetClassNameW(wnd, cls, 16);
    if (lstrcmpW(cls, L"#32770") == 0) EndDialog(wnd, IDCANCEL);
    return TRUE;
}

void CALLBACK Box_timer(HWND, UINT, UINT_PTR, DWORD) {
    if (Box_cancel && Box_cancel->load()) EnumThreadWindows(GetCurrentThreadId(), End_box_window, 0);
}

// The question box (dialog 30004).
std::atomic<int> Question_open{0};
std::wstring Question_text;
int Question_answer = 0;

INT_PTR CALLBACK Question_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE);
        SetDlgItemTextW(dlg, Rid_question_text, Question_text.c_str());
        Force_foreground(dlg);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wparam) == Rid_question_yes) {
            Question_answer = 0;
            EndDialog(dlg, 0);
            return TRUE;
        }
        if (LOWORD(wparam) == Rid_question_no || LOWORD(wparam) == IDCANCEL) {
            Question_answer = 1;
            EndDialog(dlg, 1);
            return TRUE;
        }
        return FALSE;
    case WM_SYSKEYDOWN:
        Question_answer = 1;
        Question_open = 0;
        EndDialog(dlg, 1);
        return TRUE;
    default:
        return FALSE;
    }
}

int CALLBACK Browse_callback(HWND wnd, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) SendMessageW(wnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

void Item_list_free(LPITEMIDLIST list) {
    IMalloc* alloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&alloc)) && alloc) {
        alloc->Free(list);
        alloc->Release();
    }
}

// Runs f on the thread of the window: at once when that is this thread,
// otherwise posted, in order, to be run by the window's own message loop.
void On_window_thread(HWND wnd, std::function<void()> f) {
    if (!wnd) return;
    if (GetWindowThreadProcessId(wnd, nullptr) == GetCurrentThreadId()) {
        f();
        return;
    }
    auto* call = new std::function<void()>(std::move(f));
    if (!PostMessageW(wnd, Wm_window_call, 0, LPARAM(call))) delete call;
}

// The outer size of a window whose client area is rc, for the window's own
// DPI where this Windows knows per-monitor DPI (10, version 1607 on), else
// for the system's. Looked up at run time so the program starts on older
// Windows too.
void Adjust_window_rect(RECT& rc, DWORD style, DWORD ex_style, HWND wnd) {
    using Adjust_for_dpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    using Dpi_for_window = UINT(WINAPI*)(HWND);
    HMODULE user = GetModuleHandleW(L"user32.dll");
    auto adjust = reinterpret_cast<Adjust_for_dpi>(
        reinterpret_cast<void*>(GetProcAddress(user, "AdjustWindowRectExForDpi")));
    auto dpi = reinterpret_cast<Dpi_for_window>(reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
    if (adjust && dpi) adjust(&rc, style, FALSE, ex_style, dpi(wnd));
    else AdjustWindowRectEx(&rc, style, FALSE, ex_style);
}

// The bitmap header of w x h pixels of 32 bits, top row first.
BITMAPINFO Rows_info(int w, int h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

// Screen pixels come as blue-green-red-unused words; the core keeps red lowest.
inline uint32_t Swap_red_blue(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

struct Win32_platform final : Platform {
    bool Key_down(int vk) override { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

    Point Cursor_pos() override {
        POINT p{};
        GetCursorPos(&p);
        return {p.x, p.y};
    }

    Point Screen_to_client(Point s) override {
        POINT p{s.x, s.y};
        ScreenToClient(Main_wnd.load(), &p);
        return {p.x, p.y};
    }

    bool On_map(Point s) override {
        HWND main = Main_wnd.load();
        POINT p{s.x, s.y};
        if (WindowFromPoint(p) != main) return false;
        RECT rc{};
        GetClientRect(main, &rc);
        ScreenToClient(main, &p);
        return p.x >= 0 && p.y >= 0 && p.x < rc.right && p.y < rc.bottom;
    }

    void Sleep_ms(int ms) override { Sleep(DWORD(ms)); }
    int64_t Now_ms() override { return int64_t(GetTickCount64()); }

    int Message_box(const std::string& text, const std::string& caption, int style, int owner,
                    const std::atomic<bool>* cancel) override {
        UINT flags = UINT(style) | MB_TOPMOST;
        UINT_PTR timer = 0;
        if (cancel) {
            Box_cancel = cancel;
            timer = SetTimer(nullptr, 0, 20, Box_timer);
        }
        int answer = MessageBoxW(Owner_window(owner), Wide(text).c_str(), Wide(caption).c_str(), flags);
        if (timer) KillTimer(nullptr, timer);
        Box_cancel = nullptr;
        if (cancel && cancel->load()) return Answer_cancel;
        if (owner == Owner_main && answer == IDYES) {
            Force_foreground(Main_wnd.load());
            SetForegroundWindow(Main_wnd.load());
        }
        return answer;
    }

    int Ask_yes_no(const std::string& text) override {
        int expected = 0;
        if (!Question_open.compare_exchange_strong(expected, 1)) return 1;
        Question_text = Wide(text);
        Question_answer = 0;
        Force_foreground(Main_wnd.load());
        DialogBoxParamW(App_instance, MAKEINTRESOURCEW(Rid_question_dialog), nullptr, Question_proc, 0);
        Question_open = 0;
        return Question_answer;
    }

    void Set_main_caption(const std::string& text) override {
        HWND main = Main_wnd.load();
        On_window_thread(main, [main, w = Wide(text)] { SetWindowTextW(main, w.c_str()); });
    }
    void Set_panel_caption(const std::string& text) override {
        HWND panel = Panel_wnd.load();
        On_window_thread(panel, [panel, w = Wide(text)] { SetWindowTextW(panel, w.c_str()); });
    }
    void Set_control_text(int id, const std::string& text) override {
        HWND panel = Panel_wnd.load();
        // Shown at once: the panel's own thread may go on with a long command
        // (saving) before it paints again.
        On_window_thread(panel, [panel, id, w = Wide(text)] {
            SetDlgItemTextW(panel, id, w.c_str());
            UpdateWindow(GetDlgItem(panel, id));
        });
    }
    void Enable_control(int id, bool enable) override {
        HWND panel = Panel_wnd.load();
        On_window_thread(panel, [panel, id, enable] { EnableWindow(GetDlgItem(panel, id), enable ? TRUE : FALSE); });
    }
    void Check_control(int id, bool check) override {
        HWND panel = Panel_wnd.load();
        On_window_thread(panel, [panel, id, check] {
            CheckDlgButton(panel, id, check ? BST_CHECKED : BST_UNCHECKED);
        });
    }

    bool Pick_folder(int owner, bool new_style, const std::string& initial, std::string& out) override {
        OleInitialize(nullptr);
        std::wstring start = Wide(initial);
        BROWSEINFOW info{};
        info.hwndOwner = Owner_window(owner);
        static const std::wstring title = Wide("フォルダを選択してください");
        info.lpszTitle = title.c_str();
        info.ulFlags = new_style ? BIF_NEWDIALOGSTYLE : 0;
        info.lpfn = Browse_callback;
        info.lParam = LPARAM(start.c_str());
        LPITEMIDLIST list = SHBrowseForFolderW(&info);
        if (!list) return false;
        std::vector<wchar_t> path(32768, L'\0');
        BOOL ok = SHGetPathFromIDListEx(list, path.data(), DWORD(path.size()), GPFIDL_DEFAULT);
        Item_list_free(list);
        // An item without a file-system path (a virtual shell folder) is no folder to use.
        if (!ok || path[0] == L'\0') return false;
        out = Utf8(path.data());
        return true;
    }

    void Beep() override { MessageBeep(0xFFFFFFFF); }

    void Fit_main_window(int client_w, int client_h) override {
        HWND main = Main_wnd.load();
        DWORD style = DWORD(GetWindowLongPtrW(main, GWL_STYLE));
        DWORD ex_style = DWORD(GetWindowLongPtrW(main, GWL_EXSTYLE));
        RECT rc{0, 0, client_w, client_h};
        Adjust_window_rect(rc, style, ex_style, main);
        Force_foreground(main);
        SetForegroundWindow(main);
        SetWindowPos(main, nullptr, 0, 100, rc.right - rc.left, rc.bottom - rc.top, SWP_SHOWWINDOW | SWP_NOZORDER);
        // A menu-less caption can wrap or a theme can differ from what the
        // adjustment assumed: correct by what the client area really became.
        RECT got{};
        GetClientRect(main, &got);
        if (got.right != client_w || got.bottom != client_h) {
            SetWindowPos(main, nullptr, 0, 100, rc.right - rc.left + client_w - got.right,
                         rc.bottom - rc.top + client_h - got.bottom, SWP_SHOWWINDOW | SWP_NOZORDER);
        }
        Force_foreground(main);
        SetForegroundWindow(main);
        SetFocus(main);
        InvalidateRect(main, nullptr, FALSE);
    }

    void Main_window_refresh() override { InvalidateRect(Main_wnd.load(), nullptr, FALSE); }

    void Main_window_to_front() override {
        HWND main = Main_wnd.load();
        Force_foreground(main);
        SetForegroundWindow(main);
    }

    Point Screen_size() override { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

    uint32_t Screen_pixel(int32_t x, int32_t y) override {
        HDC dc = GetDC(nullptr);
        COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(nullptr, dc);
        return c == CLR_INVALID ? Unreadable_colour : uint32_t(c);
    }

    bool Screen_capture(int32_t w, int32_t h, Image& out) override {
        // A rectangle past the screen's edge reads back black on some systems
        // while reporting success: keep it on the screen.
        Point size = Screen_size();
        if (w > size.x) w = size.x;
        if (h > size.y) h = size.y;
        if (w <= 0 || h <= 0) return false;
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        BITMAPINFO bi = Rows_info(w, h);
        void* bits = nullptr;
        HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        bool ok = false;
        if (bmp && bits) {
            HGDIOBJ old = SelectObject(mem, bmp);
            ok = BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY | CAPTUREBLT) != 0;
            SelectObject(mem, old);
            if (ok) {
                out = Image(w, h);
                const uint32_t* src = static_cast<const uint32_t*>(bits);
                for (size_t i = 0; i < out.px.size(); ++i) out.px[i] = Swap_red_blue(src[i]);
            }
            DeleteObject(bmp);
        }
        DeleteDC(mem);
        ReleaseDC(nullptr, screen);
        return ok;
    }

    void Screen_show(const Image& img, int32_t x, int32_t y, int32_t w, int32_t h) override {
        HDC screen = GetDC(nullptr);
        Draw_image(screen, x, y, img, x, y, w, h);
        ReleaseDC(nullptr, screen);
    }

    void Screen_xor_line(Point from, Point to, uint32_t c) override {
        HDC screen = GetDC(nullptr);
        HPEN pen = CreatePen(PS_SOLID, 1, COLORREF(c));
        HGDIOBJ old = SelectObject(screen, pen);
        int old_rop = SetROP2(screen, R2_XORPEN);
        MoveToEx(screen, from.x, from.y, nullptr);
        LineTo(screen, to.x, to.y);
        SetROP2(screen, old_rop);
        SelectObject(screen, old);
        DeleteObject(pen);
        ReleaseDC(nullptr, screen);
    }

    void Exit_process(int code) override {
        // Open files are flushed; the other threads simply end with the process.
        std::fflush(nullptr);
        ExitProcess(UINT(code));
    }
};

Win32_platform The_platform;

}  // namespace

void Win32_platform_install() { Plat_install(&The_platform); }

void Draw_image(HDC dc, int dx, int dy, const Image& img, int x, int y, int w, int h) {
    if (w <= 0 || h <= 0 || img.empty()) return;
    std::vector<uint32_t> rows(size_t(w) * size_t(h));
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) rows[size_t(j) * size_t(w) + size_t(i)] = Swap_red_blue(img.get(x + i, y + j));
    BITMAPINFO bi = Rows_info(w, h);
    SetDIBitsToDevice(dc, dx, dy, DWORD(w), DWORD(h), 0, 0, 0, UINT(h), rows.data(), &bi, DIB_RGB_COLORS);
}

void Run_window_call(LPARAM call) {
    auto* f = reinterpret_cast<std::function<void()>*>(call);
    (*f)();
    delete f;
}
