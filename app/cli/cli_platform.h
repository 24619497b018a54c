// The console platform of tovi-cli: the screen is a picture file held in
// memory, message boxes are lines on standard error, and there is no window,
// mouse or keyboard. The questions a person would answer are answered the way
// a batch run needs: every box with OK or Yes, the aerial-photo question with
// YES exactly when an aerial picture was given, which then becomes the screen.
// A snapshot hands the screen's picture over instead of copying it: each
// screen is taken once.
#pragma once
#include <string>

#include "platform/platform.h"

struct Cli_platform : Platform {
    Image screen;  // its top-left pixel at screen (0, 0)
    Image aerial;  // empty when no aerial picture was given
    Point fitted{0, 0};

    bool Key_down(int vk) override;
    Point Cursor_pos() override;
    Point Screen_to_client(Point screen) override;
    bool On_map(Point screen) override;
    void Sleep_ms(int ms) override;
    void Input_wait(int timeout_ms) override { Sleep_ms(timeout_ms); }
    void Input_wake() override {}
    int64_t Now_ms() override;
    int Message_box(const std::string& text, const std::string& caption, int style, int owner,
                    const std::atomic<bool>* cancel) override;
    int Ask_yes_no(const std::string& text) override;
    void Set_main_caption(const std::string& text) override;
    void Set_panel_caption(const std::string& text) override;
    void Set_control_text(int id, const std::string& text) override;
    void Enable_control(int id, bool enable) override;
    void Check_control(int id, bool check) override;
    bool Pick_folder(int owner, bool new_style, const std::string& initial, std::string& out) override;
    void Beep() override;
    void Fit_main_window(int client_w, int client_h) override;
    void Main_window_refresh() override;
    void Main_window_to_front() override {}
    bool Screen_snapshot(Image& out, Point& origin) override;
    bool Capture_window_open(const Image&, Point) override { return true; }
    int Capture_drag(Point&, const std::atomic<bool>*) override { return Drag_cancelled; }
    void Capture_window_show(const Image&, Point, int32_t, int32_t, int32_t, int32_t) override {}
    void Capture_window_close() override {}
    [[noreturn]] void Exit_process(int code) override;
};

// From now on, a large block the process frees goes back to the system at
// once. The C library otherwise keeps freed blocks of its heap for later
// allocations (glibc: as long as they are below the top of the heap, and
// with a threshold that grows with the blocks freed), which a command that
// holds little after holding much does not need. Nothing where the library
// has no such setting.
void Cli_large_blocks_returned();
