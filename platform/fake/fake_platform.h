// A scripted stand-in for the platform, for native tests. Time is virtual: it
// moves only when the code under test sleeps, so a script of mouse states at
// given milliseconds plays the same way on every run, whatever the machine
// does. Everything the code shows or changes (captions, controls, boxes,
// beeps, the window fit) is recorded for the test to check.
#pragma once
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

// Exit_process throws this, so a test can see that the process would end.
struct Fake_exit {
    int code;
};

enum Fake_keys : unsigned { Fake_left = 1, Fake_right = 2, Fake_shift = 4, Fake_escape = 8 };

struct Fake_platform : Platform {
    struct Input_state {
        int64_t at;     // from this virtual millisecond on
        Point cursor;   // screen coordinates
        unsigned keys;  // Fake_keys
    };
    struct Box_record {
        std::string text, caption;
        int style, owner;
    };

    mutable std::mutex m;
    std::condition_variable changed;

    // Script and world.
    int64_t now = 0;
    std::vector<Input_state> script;         // in increasing time
    // Input up to this moment has ended a wait: the program's input event is
    // set by any input and cleared by the wait it ends, so input that came
    // while the program slept ends its next wait at once.
    int64_t input_seen = 0;
    Point client_origin{3, 126};             // screen position of client (0, 0)
    Point client_size{1600, 1200};           // the client area, for On_map
    std::vector<std::pair<Point, Point>> covers;  // screen rectangles [a, b) over the map
    Image screen{1920, 1200};
    Point screen_origin{0, 0};               // screen position of screen's top-left pixel
    bool snapshot_fails = false;
    bool capture_window_fails = false;
    std::deque<int> box_answers;             // answers to boxes, in order; then the default
    bool hold_boxes = false;                 // boxes wait until cancelled
    std::deque<int> ask_answers;             // answers of Ask_yes_no; then 0
    std::deque<std::optional<std::string>> text_answers;  // answers of Ask_text; nullopt or none left = cancel
    std::optional<std::pair<Image, Point>> screen_after_ask;  // the screen and its origin once asked
    std::deque<std::optional<std::string>> folder_answers;  // nullopt = cancel

    // Recorded.
    std::string main_caption, panel_caption;
    std::vector<std::string> main_captions;  // every caption set, in order
    std::map<int, std::string> control_text;
    std::map<int, bool> enabled, checked;
    std::vector<Box_record> boxes;
    std::vector<std::string> questions;
    std::vector<std::string> text_prompts;   // prompts of Ask_text, in order
    std::vector<std::pair<bool, std::string>> folder_requests;  // (new style, initial)
    int beeps = 0;
    Point fitted{0, 0};
    int refreshes = 0;
    int fronts = 0;
    int snapshots = 0;
    int capture_opens = 0;
    bool capture_window = false;             // the capture window is open
    bool capture_window_at_question = false; // ... when the last question was asked
    int capture_shows = 0;                   // pictures shown on the capture window
    Point shown_at{0, 0};                    // where the last one stood
    int band_moves = 0;                      // cursor moves the rubber band followed

    // Script helpers.
    void Input_at(int64_t at, Point cursor, unsigned keys);
    // A click at the client pixel p: press at `at`, release `hold` ms later.
    void Click_client_at(int64_t at, Point p, unsigned button = Fake_left, int64_t hold = 20);
    Point Client_to_screen(Point p) const { return {p.x + client_origin.x, p.y + client_origin.y}; }
    int64_t Now() const;
    size_t Box_count() const;
    // Waits in real time until pred() holds (checked under the lock) or a
    // few seconds pass; returns whether it held.
    template <class Pred> bool Wait_for(Pred pred, int timeout_ms = 5000);

    // Platform.
    bool Key_down(int vk) override;
    Point Cursor_pos() override;
    Point Screen_to_client(Point screen) override;
    bool On_map(Point screen) override;
    void Sleep_ms(int ms) override;
    // Moves virtual time to the next scripted input or by timeout_ms, whichever is first.
    void Input_wait(int timeout_ms) override;
    void Input_wake() override {}
    int input_waits = 0;
    int64_t Now_ms() override;
    int Message_box(const std::string& text, const std::string& caption, int style, int owner,
                    const std::atomic<bool>* cancel) override;
    int Ask_yes_no(const std::string& text) override;
    bool Ask_text(const std::string& prompt, const std::string& caption, std::string& inout, int owner,
                  const std::atomic<bool>* cancel) override;
    void Set_main_caption(const std::string& text) override;
    void Set_panel_caption(const std::string& text) override;
    void Set_control_text(int id, const std::string& text) override;
    void Enable_control(int id, bool enable) override;
    void Check_control(int id, bool check) override;
    bool Pick_folder(int owner, bool new_style, const std::string& initial, std::string& out) override;
    void Beep() override;
    void Fit_main_window(int client_w, int client_h) override;
    void Main_window_refresh() override;
    void Main_window_to_front() override;
    bool Screen_snapshot(Image& out, Point& origin) override;
    bool Capture_window_open(const Image& snapshot, Point origin) override;
    int Capture_drag(Point& release, const std::atomic<bool>* cancel) override;
    void Capture_window_show(const Image& img, Point at, int32_t x, int32_t y, int32_t w, int32_t h) override;
    void Capture_window_close() override;
    [[noreturn]] void Exit_process(int code) override;

private:
    const Input_state* State_now() const;  // under the lock
};

template <class Pred> bool Fake_platform::Wait_for(Pred pred, int timeout_ms) {
    std::unique_lock lock(m);
    return changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return pred(); });
}

// Installs a fresh fake for the lifetime of the object.
// The fake installed for a test, with the shell listening to the features
// as in the program (Shell_listen), so that what a feature tells the shell
// reaches the fake's panel.
struct Fake_scope {
    Fake_platform fake;
    Fake_scope();
    ~Fake_scope() { Plat_install(nullptr); }
};
