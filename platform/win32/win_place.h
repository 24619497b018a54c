// The two windows' places on the desktop at any scaling, and the main
// window's scrolling (win_place.cpp): the Win32 side of platform/placement.h.
#pragma once
#include <windows.h>

// The panel at the top of the work area of its monitor, by its real size;
// then the main window below it. Called at the panel's WM_INITDIALOG.
void Panel_place_at_start(HWND panel);
// The panel's WM_DPICHANGED: the dialog manager rescales the dialog where the
// system does so; the panel then keeps inside the work area and the main
// window clear of it. The panel procedure returns FALSE after this call.
void Panel_on_dpi_changed(HWND panel, WPARAM wparam, LPARAM lparam);

// Fits the main window to a map of map_w x map_h pixels shown 1:1: below the
// panel, inside the work area, scrolling where the map does not fit. Runs on
// the main window's thread; any thread may call.
void Main_fit_to_map(HWND main, int map_w, int map_h);

// The main window's messages about its place and scrolling (WM_SIZE,
// WM_HSCROLL, WM_VSCROLL, WM_MOUSEWHEEL, WM_MOUSEHWHEEL, WM_DPICHANGED):
// true when handled, with the result in result.
bool Main_place_message(HWND main, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);

// The scroll offset: the map pixel shown at the client area's origin.
POINT Main_scroll_offset();
// The map pixel under a client point, and whether it is a pixel of the map
// (the map fitted last; any client point while there is none).
POINT Main_client_to_map(POINT client);
bool Main_map_has(POINT map);
