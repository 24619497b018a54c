// The platform seam: everything the commands and tools need from the operating
// system, as one small interface. The program installs the Win32 implementation
// at start; native tests install a scripted fake (platform/fake). Nothing in
// app/, map/, route/, markers/ or storage/ includes a system header; they reach
// windows, input, time and the screen only through Plat().
//
// Texts cross the seam as UTF-8. Coordinates are pixels: screen coordinates
// unless a name says client (the main window's client area, where the map is
// shown at the origin).
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "map/image.h"

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Point&) const = default;
};

// Virtual keys as the platform numbers them.
enum : int { Vk_lbutton = 1, Vk_rbutton = 2, Vk_shift = 0x10, Vk_escape = 0x1B, Vk_space = 0x20 };

// Message box styles and answers, numbered as the platform does.
enum Box_style : int { Box_ok = 0, Box_yes_no_cancel = 3, Box_yes_no = 4 };
enum Box_answer : int { Answer_ok = 1, Answer_cancel = 2, Answer_yes = 6, Answer_no = 7 };
enum Box_owner : int { Owner_none = 0, Owner_main = 1, Owner_panel = 2 };

struct Platform {
    virtual ~Platform() = default;

    // Input, polled globally.
    virtual bool Key_down(int vk) = 0;                 // down at this moment
    virtual Point Cursor_pos() = 0;                    // screen coordinates
    virtual Point Screen_to_client(Point screen) = 0;  // main window client coordinates
    // True when the screen point lies on the main window's client area and no
    // other window covers it there: a click at that point is a click on the map.
    virtual bool On_map(Point screen) = 0;

    // Time. Polling loops call Sleep_ms so they never spin a core.
    virtual void Sleep_ms(int ms) = 0;
    virtual int64_t Now_ms() = 0;

    // Message boxes, always topmost. A box shown with a cancel flag closes by
    // itself (answering Answer_cancel) soon after the flag becomes true, so a
    // tool that waits in a box can still be stopped.
    virtual int Message_box(const std::string& text, const std::string& caption, int style, int owner,
                            const std::atomic<bool>* cancel = nullptr) = 0;
    // The question box (dialog 30004): 0 for YES, 1 for NO.
    virtual int Ask_yes_no(const std::string& text) = 0;

    // Captions and the control panel's controls.
    virtual void Set_main_caption(const std::string& text) = 0;
    virtual void Set_panel_caption(const std::string& text) = 0;
    virtual void Set_control_text(int id, const std::string& text) = 0;
    virtual void Enable_control(int id, bool enable) = 0;
    virtual void Check_control(int id, bool check) = 0;

    // Folder choice: true with the folder in out, false when cancelled.
    virtual bool Pick_folder(int owner, bool new_style, const std::string& initial, std::string& out) = 0;
    virtual void Beep() = 0;

    // The main window: fit its client area to the map, and show the shown-map
    // image again (any thread may ask).
    virtual void Fit_main_window(int client_w, int client_h) = 0;
    virtual void Main_window_refresh() = 0;
    // Brings the main window to the foreground with the keyboard focus, so
    // that the Space key reaches it.
    virtual void Main_window_to_front() = 0;

    // The screen.
    virtual Point Screen_size() = 0;
    virtual uint32_t Screen_pixel(int32_t x, int32_t y) = 0;        // Unreadable_colour outside
    virtual bool Screen_capture(int32_t w, int32_t h, Image& out) = 0;  // region (0, 0)-(w, h)
    // Shows the part (x, y, w, h) of a picture of the screen at its own place.
    virtual void Screen_show(const Image& img, int32_t x, int32_t y, int32_t w, int32_t h) = 0;
    // Draws a line in exclusive-or mode in colour c; drawing it twice restores the screen.
    virtual void Screen_xor_line(Point from, Point to, uint32_t c) = 0;

    // Ends the process the regular way (exit handlers run, files are flushed).
    [[noreturn]] virtual void Exit_process(int code) = 0;
};

Platform& Plat();
void Plat_install(Platform* p);

// Ends the process through the installed platform.
[[noreturn]] void Exit_now(int code);
