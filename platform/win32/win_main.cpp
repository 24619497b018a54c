// The program on Win32: entry point, the main window, the control panel's
// dialog on its own thread and the About box. Each message is turned into a
// call of the core (app/) and back; no decision of the program is made here.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <rpc.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/panel.h"
#include "app/shell.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "platform/shell_flags.h"
#include "platform/win32/win_app.h"
#include "platform/win32/win_place.h"
#include "platform/win32/win_text.h"

HINSTANCE App_instance = nullptr;
std::atomic<HWND> Main_wnd{nullptr};
std::atomic<HWND> Panel_wnd{nullptr};

namespace {

std::wstring Main_class_name;

std::string Module_folder();

// Within Windows' foreground rules: Tovi asks for the foreground only right
// after the user worked with one of its windows, which Windows grants.
void Force_foreground_impl(HWND wnd) { SetForegroundWindow(wnd); }

// The main window's paint: the shown map, which holds the map picture and
// every marker, copied 1:1 to the client area once a map exists, from the
// scroll offset on; only the part to repaint is drawn.
void Map_paint(HWND wnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    int32_t total;
    {
        std::lock_guard lock(Markers_lock);
        total = Base_data.Road_rec_total;
    }
    {
        std::lock_guard lock(Shown_lock);
        if (total != 0) {
            const POINT at = Main_scroll_offset();
            const RECT& r = ps.rcPaint;
            Draw_image(dc, r.left, r.top, Shown_map, at.x + r.left, at.y + r.top, r.right - r.left,
                       r.bottom - r.top);
        }
    }
    EndPaint(wnd, &ps);
}

// ---- About box (dialog 110) ----

void About_draw(HWND dlg, HDC dc) {
    HBITMAP bmp = LoadBitmapW(App_instance, MAKEINTRESOURCEW(Rid_about_bitmap));
    if (!bmp) return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(dc, 10, 20, 100, 120, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(bmp);
    (void)dlg;
}

INT_PTR CALLBACK About_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: {
        // Topmost as the panel is, which reaches below (100, 100) at any
        // scaling: the box stands above it, whole and answerable.
        SetWindowPos(dlg, HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE);
        HDC dc = GetDC(dlg);
        About_draw(dlg, dc);
        ReleaseDC(dlg, dc);
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(dlg, &ps);
        About_draw(dlg, dc);
        EndPaint(dlg, &ps);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) != 1) return FALSE;
        EndDialog(dlg, 1);
        return TRUE;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        EndDialog(dlg, 1);
        return TRUE;
    default:
        return FALSE;
    }
}

void About_box() { Dialog_box(Rid_about_dialog, Main_wnd.load(), About_proc, 0); }

// ---- Control panel (dialog 107) ----

INT_PTR CALLBACK Panel_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam) {
    Panel_wnd = dlg;
    Win32_input_note(dlg, msg, lparam);
    switch (msg) {
    case WM_SETCURSOR:
        Help_line(GetDlgCtrlID(reinterpret_cast<HWND>(wparam)));
        return FALSE;
    case WM_INITDIALOG:
        Exclude_from_capture(dlg, 1);
        Panel_place_at_start(dlg);
        Panel_init();
        // Once the panel shows: the offer of the last work, if any.
        PostMessageW(dlg, Wm_session_start, 0, 0);
        return TRUE;
    case Wm_session_start:
        // A modal dialog shows itself only once its queue is empty: show the
        // panel now, so that the offer of the last work stands beside it.
        ShowWindow(dlg, SW_SHOW);
        UpdateWindow(dlg);
        Session_start();
        // Where the work is kept, when that is not beside the program.
        if (Exe_folder != Module_folder()) Plat().Set_panel_caption(Working_folder_line + Exe_folder);
        return TRUE;
    case WM_DPICHANGED:
        // The dialog manager rescales the dialog where the system does.
        Panel_on_dpi_changed(dlg, wparam, lparam);
        return FALSE;
    case WM_CLOSE:
        Quit_request(Owner_panel);
        return TRUE;
    case Wm_end_panel:
        DestroyWindow(dlg);
        return TRUE;
    case Wm_window_call:
        Run_window_call(lparam);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wparam) != BN_CLICKED) return FALSE;
        // Esc on the panel is the dialog's cancel, which shares its number
        // with "終了": Esc ends a capture, never the program.
        if (LOWORD(wparam) == IDCANCEL && (GetKeyState(VK_ESCAPE) & 0x8000)) {
            Capture_window_escape();
            return TRUE;
        }
        // Return on the panel is the dialog's OK, which shares its number
        // with "ﾏｯﾌﾟ初期設定": it presses that button only when it has the focus.
        if (LOWORD(wparam) == IDOK && (GetKeyState(VK_RETURN) & 0x8000) && GetFocus() != GetDlgItem(dlg, IDOK))
            return TRUE;
        if (LOWORD(wparam) == Id_about) {
            About_box();
            return FALSE;
        }
        return Panel_command(LOWORD(wparam));
    default:
        return FALSE;
    }
}

void Panel_thread() { Dialog_box(Rid_panel_dialog, nullptr, Panel_proc, 0); }

void Panel_thread_start() { std::thread(Panel_thread).detach(); }

// ---- Main window ----

std::string Module_folder() {
    std::vector<wchar_t> path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    std::wstring full(path.data(), n);
    size_t cut = full.find_last_of(L'\\');
    return Utf8(cut == std::wstring::npos ? full : full.substr(0, cut));
}

std::string Local_app_data() {
    std::vector<wchar_t> path(32768, L'\0');
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", path.data(), DWORD(path.size()));
    if (n > 0 && n < path.size()) return Utf8(std::wstring(path.data(), n));
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path.data())))
        return Utf8(path.data());
    return "";
}

// The working folder, and the one Tovi that uses it: false (a message has
// been shown) when no folder can be written or another Tovi already works
// in it.
bool Working_folder_take() {
    const std::string program = Module_folder(), local = Local_app_data();
    Exe_folder = Working_folder_choose(program, local, Prepare_working_folder);
    if (Exe_folder.empty()) {
        Plat().Message_box(Folder_error_message(program, local), Confirm_caption, Box_ok, Owner_none);
        return false;
    }
    // Held until the process ends; the system lets go of it then.
    static HANDLE instance = nullptr;
    instance = CreateMutexW(nullptr, FALSE, Wide(Instance_name(Exe_folder)).c_str());
    if (instance && GetLastError() == ERROR_ALREADY_EXISTS) {
        Plat().Message_box(Already_running_text, Confirm_caption, Box_ok, Owner_none);
        return false;
    }
    return true;
}

LRESULT CALLBACK Main_wnd_proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    Main_wnd = wnd;
    Win32_input_note(wnd, msg, lparam);
    switch (msg) {
    case WM_CREATE:
        Exclude_from_capture(wnd, 0);
        Shell_start();
        if (!Working_folder_take()) Exit_now(1);
        Panel_thread_start();
        break;
    case WM_PAINT:
        Map_paint(wnd);
        return 0;
    case WM_SIZE:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
    case WM_DPICHANGED: {
        LRESULT result = 0;
        if (Main_place_message(wnd, msg, wparam, lparam, result)) return result;
        break;
    }
    case WM_KEYDOWN:
        if (wparam == VK_SPACE) Space_request = 1;
        if (wparam == VK_ESCAPE) Capture_window_escape();
        break;
    case Wm_window_call:
        Run_window_call(lparam);
        return 0;
    case WM_CLOSE:
        Quit_request(Owner_main);
        return 0;
    case Wm_exit:
        Win32_exit(int(wparam));
    case WM_DESTROY:
        PostQuitMessage(1);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(wnd, msg, wparam, lparam);
}

ATOM Register_main_class() {
    UUID uuid;
    RPC_STATUS status = UuidCreate(&uuid);
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return 0;
    RPC_WSTR text = nullptr;
    if (UuidToStringW(&uuid, &text) != RPC_S_OK) return 0;
    Main_class_name = Wide("Toviルーター") + reinterpret_cast<wchar_t*>(text);
    RpcStringFreeW(&text);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = Main_wnd_proc;
    wc.hInstance = App_instance;
    wc.hIcon = LoadIconW(App_instance, L"ICON");
    wc.hIconSm = LoadIconW(App_instance, L"SICON");
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = Main_class_name.c_str();
    return RegisterClassExW(&wc);
}

bool Create_main_window() {
    HWND wnd = CreateWindowExW(0, Main_class_name.c_str(), Wide(Main_title).c_str(),
                               WS_VISIBLE | WS_SYSMENU | WS_OVERLAPPED | WS_CAPTION, 0, 100, 694, 28, nullptr,
                               nullptr, App_instance, nullptr);
    if (!wnd) return false;
    InitCommonControls();
    ShowWindow(wnd, SW_SHOW);
    UpdateWindow(wnd);
    return true;
}

}  // namespace

void Force_foreground(HWND wnd) { Force_foreground_impl(wnd); }

DWORD Main_thread_id = 0;

void Win32_exit(int code) {
    std::fflush(nullptr);
    HWND main = Main_wnd.load();
    if (GetCurrentThreadId() != Main_thread_id && main) {
        // The panel's own thread destroys the panel; the main thread does
        // the rest. This thread waits for the end.
        HWND panel = Panel_wnd.load();
        if (panel && GetWindowThreadProcessId(panel, nullptr) == GetCurrentThreadId()) DestroyWindow(panel);
        PostMessageW(main, Wm_exit, WPARAM(code), 0);
        for (;;) Sleep(INFINITE);
    }
    HWND panel = Panel_wnd.load();
    if (panel && IsWindow(panel))
        SendMessageTimeoutW(panel, Wm_end_panel, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, 2000, nullptr);
    if (main && IsWindow(main)) DestroyWindow(main);
    std::fflush(nullptr);
    ExitProcess(UINT(code));
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    App_instance = instance;
    Main_thread_id = GetCurrentThreadId();
    Win32_platform_install();
    if (!Register_main_class()) return 0;
    if (!Create_main_window()) {
        MessageBoxW(nullptr, L"ERR", L"WIN", MB_OK);
        return 0;
    }
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // The main window is gone: end here, on the main thread.
    Win32_exit(int(msg.wParam));
}
