// What the Win32 files share: the instance, the two windows, and the helpers
// that act on windows of other threads.
#pragma once
#include <windows.h>

#include <atomic>

#include "map/image.h"

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

// Draws the part (x, y, w, h) of a picture in the core's colours at (dx, dy)
// of a device context; positions outside the picture draw as white.
void Draw_image(HDC dc, int dx, int dy, const Image& img, int x, int y, int w, int h);

// Installs the Win32 implementation of the platform seam.
void Win32_platform_install();
