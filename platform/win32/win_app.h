// What the Win32 files share: the instance, the two windows, and the helpers
// that act on windows of other threads.
#pragma once
#include <windows.h>

#include <atomic>

extern HINSTANCE App_instance;
extern std::atomic<HWND> Main_wnd;   // stored by the window procedure on every message
extern std::atomic<HWND> Panel_wnd;  // stored by the panel procedure on every message

// Brings a window to the foreground past the window manager's foreground lock.
void Force_foreground(HWND wnd);

// Installs the Win32 implementation of the platform seam.
void Win32_platform_install();
