// The platform seam: everything the commands and tools need from the operating
// system, as one small interface. The program installs the Win32 implementation
// at start; native tests install a scripted fake (platform/fake). Nothing in
// app/, map/, route/, markers/ or storage/ includes a system header; they reach
// windows, input, time and the screen only through Plat().
//
// Texts cross the seam as UTF-8. Coordinates are pixels: screen coordinates
// unless a name says client (the map's pixels, as shown in the main window's
// client area from its scroll offset).
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
enum Drag_end : int { Drag_done = 0, Drag_cancelled = 1 };

// The colour of the capture's rubber band, (250, 50, 50).
inline constexpr uint32_t Rubber_band_colour = 0x3232FA;

struct Platform {
    virtual ~Platform() = default;

    // Input, polled globally. Mouse buttons are the user's logical buttons
    // (with swapped buttons the physical left is Vk_rbutton); a button counts
    // as down from its press on one of Tovi's windows until a look sees it,
    // so that a click shorter than the time between two looks is not lost.
    virtual bool Key_down(int vk) = 0;
    virtual Point Cursor_pos() = 0;                    // screen coordinates
    // The map pixel under a screen point: the main window's client point plus
    // the scroll offset of the map shown there.
    virtual Point Screen_to_client(Point screen) = 0;
    // True when the screen point lies on the main window's client area and no
    // other window covers it there: a click at that point is a click on the map.
    virtual bool On_map(Point screen) = 0;

    // Time. Polling loops call Sleep_ms or Input_wait so they never spin a core.
    virtual void Sleep_ms(int ms) = 0;
    // Waits until input comes to one of Tovi's windows (a move, a button, a
    // key) or timeout_ms pass, whichever is first: a loop that looks between
    // waits answers Tovi's own windows at once and wakes rarely otherwise.
    virtual void Input_wait(int timeout_ms) = 0;
    // Ends a wait in Input_wait at once (a tool asked to stop).
    virtual void Input_wake() = 0;
    virtual int64_t Now_ms() = 0;

    // Message boxes, always topmost. A box shown with a cancel flag closes by
    // itself (answering Answer_cancel) soon after the flag becomes true, so a
    // tool that waits in a box can still be stopped.
    virtual int Message_box(const std::string& text, const std::string& caption, int style, int owner,
                            const std::atomic<bool>* cancel = nullptr) = 0;
    // The question box (dialog 30004): 0 for YES, 1 for NO.
    virtual int Ask_yes_no(const std::string& text) = 0;
    // A line the user types (such as a length in metres), in a small box
    // with the prompt, "OK" and "キャンセル": true with the text in inout
    // (which it starts with), false when cancelled. With a cancel flag it
    // closes by itself as a message box does. A platform without such a box
    // (the batch command) answers as cancelled.
    virtual bool Ask_text(const std::string& prompt, const std::string& caption, std::string& inout, int owner,
                          const std::atomic<bool>* cancel = nullptr) {
        (void)prompt, (void)caption, (void)inout, (void)owner, (void)cancel;
        return false;
    }

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

    // The screen. A snapshot is a picture of the whole virtual screen (every
    // monitor) with Tovi's own windows left out of it; origin is the screen
    // position of its top-left pixel (negative where a monitor lies left of
    // or above the primary one).
    virtual bool Screen_snapshot(Image& out, Point& origin) = 0;

    // The capture window: a snapshot shown over the whole virtual screen,
    // above every other program, with the panel and the main window above it.
    // The capture's drag happens on it, so nothing of the drag reaches the
    // programs beneath. Opened and closed by the thread that waits on it.
    virtual bool Capture_window_open(const Image& snapshot, Point origin) = 0;
    // Waits for a drag with the (logical) right button on the capture window,
    // which draws the rubber band from the press to the cursor in
    // Rubber_band_colour. Drag_done with the release point (screen
    // coordinates); Drag_cancelled on Esc, or soon after *cancel or
    // Stop_request is set.
    virtual int Capture_drag(Point& release, const std::atomic<bool>* cancel) = 0;
    // Shows the part (x, y, w, h) of a picture whose top-left pixel stands at
    // the screen point at, on the capture window (the flood's progress).
    virtual void Capture_window_show(const Image& img, Point at, int32_t x, int32_t y, int32_t w, int32_t h) = 0;
    virtual void Capture_window_close() = 0;

    // Ends the process the regular way: files are flushed and, in the
    // program, the windows are destroyed and the process ends on its main
    // thread (a call from another thread waits there for that end).
    [[noreturn]] virtual void Exit_process(int code) = 0;
};

Platform& Plat();
void Plat_install(Platform* p);

// Ends the process through the installed platform.
[[noreturn]] void Exit_now(int code);
