// What the Win32 files share: the instance, the two windows, and the helpers
// that act on windows of other threads.
#pragma once
#include <windows.h>

#include <atomic>

#include "map/image.h"
#include "platform/platform.h"

extern HINSTANCE App_instance;
extern std::atomic<HWND> Main_wnd;   // stored by the window procedure on every message
extern std::atomic<HWND> Panel_wnd;  // stored by the panel procedure on every message

// Brings a window to the foreground past the window manager's foreground lock.
void Force_foreground(HWND wnd);

// Calls that other threads make on the control panel's or the main window's
// controls are posted to the window's own thread as this message, so a
// thread that waits for a tool to end never waits on that tool's calls.
constexpr UINT Wm_window_call = WM_APP + 1;
// Posted to the panel once it is up: the start of the session (app/session.h).
constexpr UINT Wm_session_start = WM_APP + 2;
// Runs a posted call; the window procedures pass the message's lParam.
void Run_window_call(LPARAM call);

// The bitmap header of w x h pixels of 32 bits, top row first.
inline BITMAPINFO Rows_info(int w, int h) {
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

// Draws the part (x, y, w, h) of a picture in the core's colours at (dx, dy)
// of a device context; positions outside the picture draw as white.
void Draw_image(HDC dc, int dx, int dy, const Image& img, int x, int y, int w, int h);

// The screen and the capture window (win_capture.cpp).
bool Win32_screen_snapshot(Image& out, Point& origin);
bool Win32_capture_window_open(const Image& snapshot, Point origin);
int Win32_capture_drag(Point& release, const std::atomic<bool>* cancel);
void Win32_capture_window_show(const Image& img, Point at, int32_t x, int32_t y, int32_t w, int32_t h);
void Win32_capture_window_close();
// The capture window when the calling thread has it open, else nullptr: a box
// shown meanwhile is owned by it, so that it stands above the picture.
HWND Capture_window_here();
// Esc pressed on the panel or the main window: it ends the capture's wait.
void Capture_window_escape();
// Keeps a window out of every screen picture where Windows can (slot 0 the
// main window, 1 the panel); the others are hidden for a snapshot. Called on
// the window's own thread once it exists.
void Exclude_from_capture(HWND wnd, int slot);

// Ends the process on its main thread once its windows are destroyed; from
// another thread it asks the main thread and waits there for the end.
[[noreturn]] void Win32_exit(int code);
// Posted to the main window: destroy the windows and end with wParam.
constexpr UINT Wm_exit = WM_APP + 3;
// Sent to the panel by the main thread at the end: the panel destroys itself.
constexpr UINT Wm_end_panel = WM_APP + 4;

// Called first by the window procedures with each message: input to Tovi's
// windows wakes the tools' and the route display's waits at once.
void Win32_input_note(HWND wnd, UINT msg, LPARAM lparam);

// A dialog of the resources, shown modally in the Japanese UI font this
// Windows has (win_fonts.cpp).
INT_PTR Dialog_box(int id, HWND owner, DLGPROC proc, LPARAM param);

// Installs the Win32 implementation of the platform seam.
void Win32_platform_install();
