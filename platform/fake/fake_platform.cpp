#include "platform/fake/fake_platform.h"

#include "app/shell.h"
#include "platform/shell_flags.h"

#include <algorithm>
#include <chrono>
#include <thread>

void Fake_platform::Input_at(int64_t at, Point cursor, unsigned keys) {
    std::lock_guard lock(m);
    Input_state s{at, cursor, keys};
    auto pos = std::upper_bound(script.begin(), script.end(), at,
                                [](int64_t t, const Input_state& e) { return t < e.at; });
    script.insert(pos, s);
}

void Fake_platform::Click_client_at(int64_t at, Point p, unsigned button, int64_t hold) {
    Point s = Client_to_screen(p);
    Input_at(at, s, button);
    Input_at(at + hold, s, 0);
}

int64_t Fake_platform::Now() const {
    std::lock_guard lock(m);
    return now;
}

size_t Fake_platform::Box_count() const {
    std::lock_guard lock(m);
    return boxes.size();
}

const Fake_platform::Input_state* Fake_platform::State_now() const {
    const Input_state* found = nullptr;
    for (const Input_state& s : script) {
        if (s.at > now) break;
        found = &s;
    }
    return found;
}

bool Fake_platform::Key_down(int vk) {
    std::lock_guard lock(m);
    const Input_state* s = State_now();
    if (!s) return false;
    switch (vk) {
    case Vk_lbutton: return (s->keys & Fake_left) != 0;
    case Vk_rbutton: return (s->keys & Fake_right) != 0;
    case Vk_shift: return (s->keys & Fake_shift) != 0;
    case Vk_escape: return (s->keys & Fake_escape) != 0;
    default: return false;
    }
}

Point Fake_platform::Cursor_pos() {
    std::lock_guard lock(m);
    const Input_state* s = State_now();
    return s ? s->cursor : Point{0, 0};
}

Point Fake_platform::Screen_to_client(Point p) {
    std::lock_guard lock(m);
    return {p.x - client_origin.x, p.y - client_origin.y};
}

bool Fake_platform::On_map(Point p) {
    std::lock_guard lock(m);
    Point c{p.x - client_origin.x, p.y - client_origin.y};
    if (c.x < 0 || c.y < 0 || c.x >= client_size.x || c.y >= client_size.y) return false;
    for (const auto& [a, b] : covers)
        if (p.x >= a.x && p.y >= a.y && p.x < b.x && p.y < b.y) return false;
    return true;
}

void Fake_platform::Input_wait(int timeout_ms) {
    {
        std::lock_guard lock(m);
        ++input_waits;
        bool pending = false;
        for (const Input_state& s : script)
            if (s.at > input_seen && s.at <= now) pending = true;
        if (!pending) {
            int64_t until = now + std::max(timeout_ms, 1);
            for (const Input_state& s : script)
                if (s.at > now) {
                    until = std::min(until, s.at);
                    break;
                }
            now = until;
        }
        input_seen = now;
    }
    changed.notify_all();
}

void Fake_platform::Sleep_ms(int ms) {
    {
        std::lock_guard lock(m);
        now += std::max(ms, 1);
    }
    changed.notify_all();
    std::this_thread::yield();
}

int64_t Fake_platform::Now_ms() { return Now(); }

int Fake_platform::Message_box(const std::string& text, const std::string& caption, int style, int owner,
                               const std::atomic<bool>* cancel) {
    std::unique_lock lock(m);
    boxes.push_back({text, caption, style, owner});
    changed.notify_all();
    if (hold_boxes) {
        // Wait as a person would, until the caller's stop arrives.
        while (!(cancel && cancel->load())) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            lock.lock();
        }
        return Answer_cancel;
    }
    if (!box_answers.empty()) {
        int a = box_answers.front();
        box_answers.pop_front();
        return a;
    }
    return style == Box_yes_no ? Answer_yes : Answer_ok;
}

bool Fake_platform::Ask_text(const std::string& prompt, const std::string&, std::string& inout, int,
                             const std::atomic<bool>*) {
    std::lock_guard lock(m);
    text_prompts.push_back(prompt);
    if (text_answers.empty()) return false;
    const std::optional<std::string> a = text_answers.front();
    text_answers.pop_front();
    if (!a) return false;
    inout = *a;
    return true;
}

int Fake_platform::Ask_yes_no(const std::string& text) {
    std::lock_guard lock(m);
    questions.push_back(text);
    capture_window_at_question = capture_window;
    // What the person did before answering: the screen as it is now.
    if (screen_after_ask) {
        screen = screen_after_ask->first;
        screen_origin = screen_after_ask->second;
    }
    if (ask_answers.empty()) return 0;
    int a = ask_answers.front();
    ask_answers.pop_front();
    return a;
}

void Fake_platform::Set_main_caption(const std::string& text) {
    std::lock_guard lock(m);
    main_caption = text;
    main_captions.push_back(text);
    changed.notify_all();
}

void Fake_platform::Set_panel_caption(const std::string& text) {
    std::lock_guard lock(m);
    panel_caption = text;
    changed.notify_all();
}

void Fake_platform::Set_control_text(int id, const std::string& text) {
    std::lock_guard lock(m);
    control_text[id] = text;
    changed.notify_all();
}

void Fake_platform::Enable_control(int id, bool enable) {
    std::lock_guard lock(m);
    enabled[id] = enable;
}

void Fake_platform::Check_control(int id, bool check) {
    std::lock_guard lock(m);
    checked[id] = check;
}

bool Fake_platform::Pick_folder(int, bool new_style, const std::string& initial, std::string& out) {
    std::lock_guard lock(m);
    folder_requests.push_back({new_style, initial});
    if (folder_answers.empty()) return false;
    std::optional<std::string> a = folder_answers.front();
    folder_answers.pop_front();
    if (!a) return false;
    out = *a;
    return true;
}

void Fake_platform::Beep() {
    std::lock_guard lock(m);
    ++beeps;
    changed.notify_all();
}

void Fake_platform::Fit_main_window(int w, int h) {
    std::lock_guard lock(m);
    fitted = {w, h};
    client_size = {w, h};
}

void Fake_platform::Main_window_refresh() {
    std::lock_guard lock(m);
    ++refreshes;
}

void Fake_platform::Main_window_to_front() {
    std::lock_guard lock(m);
    ++fronts;
}

bool Fake_platform::Screen_snapshot(Image& out, Point& origin) {
    std::lock_guard lock(m);
    ++snapshots;
    if (snapshot_fails || screen.empty()) return false;
    out = screen;
    origin = screen_origin;
    return true;
}

bool Fake_platform::Capture_window_open(const Image&, Point) {
    std::lock_guard lock(m);
    if (capture_window_fails) return false;
    capture_window = true;
    ++capture_opens;
    return true;
}

// Plays the script: a press of the right button, its moves and its release;
// Esc cancels. Virtual time moves 10 ms a look.
int Fake_platform::Capture_drag(Point& release, const std::atomic<bool>* cancel) {
    bool pressed = false;
    Point last{};
    for (;;) {
        if (Stop_request == 1 || (cancel && cancel->load())) return Drag_cancelled;
        {
            std::lock_guard lock(m);
            const Input_state* s = State_now();
            if (s && (s->keys & Fake_escape)) return Drag_cancelled;
            const bool down = s && (s->keys & Fake_right);
            if (down && !pressed) {
                pressed = true;
                last = s->cursor;
            } else if (down && s->cursor != last) {
                last = s->cursor;
                ++band_moves;
            } else if (!down && pressed) {
                release = s ? s->cursor : last;
                return Drag_done;
            }
        }
        Sleep_ms(10);
    }
}

void Fake_platform::Capture_window_show(const Image&, Point at, int32_t, int32_t, int32_t, int32_t) {
    std::lock_guard lock(m);
    ++capture_shows;
    shown_at = at;
}

void Fake_platform::Capture_window_close() {
    std::lock_guard lock(m);
    capture_window = false;
}

void Fake_platform::Exit_process(int code) { throw Fake_exit{code}; }

Fake_scope::Fake_scope() {
    Plat_install(&fake);
    Shell_listen();
}
