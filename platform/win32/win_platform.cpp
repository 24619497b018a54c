// The platform seam on Win32: each call turns into the Win32 calls that do it.
#include <windows.h>
#include <shlobj.h>
#include <shellscalingapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/desktop.h"
#include "platform/platform.h"
#include "resources/resource_ids.h"
#include "platform/win32/win_app.h"
#include "platform/win32/win_place.h"
#include "platform/win32/win_text.h"

namespace {

HWND Owner_window(int owner) {
    if (HWND capture = Capture_window_here()) return capture;
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

// The text box (dialog 121): a prompt, a line to type into, OK and キャンセル.
struct Text_box {
    std::wstring caption, prompt, text;
};

INT_PTR CALLBACK Text_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dlg, DWLP_USER, lparam);
        const auto* box = reinterpret_cast<const Text_box*>(lparam);
        SetWindowTextW(dlg, box->caption.c_str());
        SetDlgItemTextW(dlg, Rid_text_prompt, box->prompt.c_str());
        SetDlgItemTextW(dlg, Rid_text_edit, box->text.c_str());
        // Beside its owner, so that what the user clicked on it stays in sight,
        // within the work area of the owner's monitor.
        RECT own{}, frame{};
        int x = 0, y = 0;
        UINT move = SWP_NOMOVE;
        if (HWND owner = GetWindow(dlg, GW_OWNER); owner && GetWindowRect(owner, &own) && GetWindowRect(dlg, &frame)) {
            MONITORINFO mi{};
            mi.cbSize = sizeof mi;
            GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &mi);
            const RECT& work = mi.rcWork;
            const int w = frame.right - frame.left, h = frame.bottom - frame.top;
            x = own.right + 8 + w <= work.right ? own.right + 8 : std::max<int>(work.left, work.right - w);
            y = std::clamp<int>(own.top, work.top, std::max<int>(work.top, work.bottom - h));
            move = 0;
        }
        SetWindowPos(dlg, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | move);
        Force_foreground(dlg);
        SetFocus(GetDlgItem(dlg, Rid_text_edit));
        return FALSE;  // the focus is set
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            auto* box = reinterpret_cast<Text_box*>(GetWindowLongPtrW(dlg, DWLP_USER));
            HWND edit = GetDlgItem(dlg, Rid_text_edit);
            std::wstring text(size_t(GetWindowTextLengthW(edit)) + 1, L'\0');
            text.resize(size_t(GetWindowTextW(edit, text.data(), int(text.size()))));
            box->text = text;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        return FALSE;
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


// Input that came to Tovi's own windows, for the polling loops: an event that
// ends Input_wait, and each button's press not yet seen by a look (its tick).
HANDLE Input_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
std::atomic<uint64_t> Press_tick[3] = {0, 0, 0};  // by logical button: 1 left, 2 right

// A press older than this is no click a look still waits for.
constexpr uint64_t Press_keep_ms = 500;

// The cursor, as the loops look at it many times a second. Over the main
// window its messages tell where it is (asking the system costs a round trip
// to the display under Wine); elsewhere the system is asked at most every
// Cursor_ask_ms, which is soon enough where nothing but a press on the map
// counts.
constexpr uint64_t Cursor_ask_ms = 250;
std::atomic<bool> Cursor_on_main{false};
std::atomic<int64_t> Cursor_told{0};      // x in the low half, y in the high half
std::atomic<int64_t> Cursor_asked{0};     // the same, last asked of the system ...
std::atomic<uint64_t> Cursor_asked_at{0};  // ... at this tick

int64_t Pack(POINT p) { return int64_t(uint32_t(p.x)) | (int64_t(p.y) << 32); }
Point Unpack(int64_t v) { return {int32_t(uint32_t(v)), int32_t(v >> 32)}; }

// Whether the buttons are swapped, asked of the system at most once a second.
bool Buttons_swapped() {
    static std::atomic<uint64_t> asked_at{0};
    static std::atomic<bool> swapped{false};
    const uint64_t now = GetTickCount64();
    if (now - asked_at.load() >= 1000) {
        swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
        asked_at = now;
    }
    return swapped;
}

struct Win32_platform final : Platform {
    bool Key_down(int vk) override {
        if (vk != Vk_lbutton && vk != Vk_rbutton) return (GetAsyncKeyState(vk) & 0x8000) != 0;
        // The button state is physical; the user's buttons are logical.
        const int physical = Physical_key(vk, Buttons_swapped());
        if (GetAsyncKeyState(physical) & 0x8000) {
            Press_tick[vk] = 0;
            return true;
        }
        const uint64_t at = Press_tick[vk].exchange(0);
        return at != 0 && GetTickCount64() - at < Press_keep_ms;
    }

    void Input_wait(int timeout_ms) override { WaitForSingleObject(Input_event, DWORD(std::max(timeout_ms, 0))); }
    void Input_wake() override { SetEvent(Input_event); }

    Point Cursor_pos() override {
        if (Cursor_on_main) return Unpack(Cursor_told.load());
        const uint64_t now = GetTickCount64();
        if (now - Cursor_asked_at.load() < Cursor_ask_ms) return Unpack(Cursor_asked.load());
        POINT p{};
        GetCursorPos(&p);
        Cursor_asked = Pack(p);
        Cursor_asked_at = now;
        return {p.x, p.y};
    }

    // The map pixel under a screen point: the client point plus the scroll offset.
    Point Screen_to_client(Point s) override {
        POINT p{s.x, s.y};
        ScreenToClient(Main_wnd.load(), &p);
        p = Main_client_to_map(p);
        return {p.x, p.y};
    }

    bool On_map(Point s) override {
        HWND main = Main_wnd.load();
        POINT p{s.x, s.y};
        if (WindowFromPoint(p) != main) return false;
        RECT rc{};
        GetClientRect(main, &rc);
        ScreenToClient(main, &p);
        return p.x >= 0 && p.y >= 0 && p.x < rc.right && p.y < rc.bottom && Main_map_has(Main_client_to_map(p));
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
        Dialog_box(Rid_question_dialog, nullptr, Question_proc, 0);
        Question_open = 0;
        return Question_answer;
    }

    bool Ask_text(const std::string& prompt, const std::string& caption, std::string& inout, int owner,
                  const std::atomic<bool>* cancel) override {
        Text_box box{Wide(caption), Wide(prompt), Wide(inout)};
        UINT_PTR timer = 0;
        if (cancel) {
            Box_cancel = cancel;
            timer = SetTimer(nullptr, 0, 20, Box_timer);
        }
        const INT_PTR answer = Dialog_box(Rid_text_dialog, Owner_window(owner), Text_proc, LPARAM(&box));
        if (timer) KillTimer(nullptr, timer);
        Box_cancel = nullptr;
        if (answer != IDOK || (cancel && cancel->load())) return false;
        inout = Utf8(box.text);
        return true;
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
        Force_foreground(main);
        SetForegroundWindow(main);
        // Below the panel, inside the work area, scrolling where the map does
        // not fit; the client area as really drawn is checked there.
        Main_fit_to_map(main, client_w, client_h);
        Force_foreground(main);
        SetForegroundWindow(main);
        SetFocus(main);
        InvalidateRect(main, nullptr, FALSE);
    }

    void Main_window_refresh() override { InvalidateRect(Main_wnd.load(), nullptr, FALSE); }

    void Main_window_to_front() override {
        // On the window's own thread, which may take the foreground and the
        // keyboard while Tovi is the program the user works with.
        HWND main = Main_wnd.load();
        On_window_thread(main, [main] {
            SetForegroundWindow(main);
            SetActiveWindow(main);
            SetFocus(main);
        });
    }

    bool Screen_snapshot(Image& out, Point& origin) override { return Win32_screen_snapshot(out, origin); }
    bool Capture_window_open(const Image& snapshot, Point origin) override {
        return Win32_capture_window_open(snapshot, origin);
    }
    int Capture_drag(Point& release, const std::atomic<bool>* cancel) override {
        return Win32_capture_drag(release, cancel);
    }
    void Capture_window_show(const Image& img, Point at, int32_t x, int32_t y, int32_t w, int32_t h) override {
        Win32_capture_window_show(img, at, x, y, w, h);
    }
    void Capture_window_close() override { Win32_capture_window_close(); }

    void Exit_process(int code) override { Win32_exit(code); }
};

Win32_platform The_platform;

}  // namespace

void Win32_platform_install() { Plat_install(&The_platform); }

void Win32_input_note(HWND wnd, UINT msg, LPARAM lparam) {
    if (wnd == Main_wnd.load()) {
        switch (msg) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP: {
            POINT p{short(LOWORD(lparam)), short(HIWORD(lparam))};
            ClientToScreen(wnd, &p);
            Cursor_told = Pack(p);
            if (!Cursor_on_main.exchange(true)) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, wnd, 0};
                TrackMouseEvent(&track);
            }
            break;
        }
        case WM_MOUSELEAVE:
        case WM_NCMOUSEMOVE:
        case WM_DESTROY: Cursor_on_main = false; break;
        default: break;
        }
    }
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN: Press_tick[Vk_lbutton] = GetTickCount64(); break;
    case WM_RBUTTONDOWN:
    case WM_NCRBUTTONDOWN: Press_tick[Vk_rbutton] = GetTickCount64(); break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_KEYDOWN: break;
    default: return;
    }
    SetEvent(Input_event);
}

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
