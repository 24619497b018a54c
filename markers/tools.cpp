// The marking tools and the tool-thread slot.
//
// Owns: Tool_thread (the slot), the bodies Evac_tool, Cong_tool, Nopass_tool
// and Delete_tool, and their start operations. Called by the control panel
// (starts, and Tool_stop before save and load) and by the route display,
// which runs on the same slot.
//
// Polling: the mouse is polled, not received, so a press anywhere on the
// screen reaches the tool. Between polls the tool waits for input to Tovi's
// windows, which wakes it at once, or a fifth of a second; a click on
// Tovi's windows shorter than that is still seen (the platform keeps the
// press until a look sees it). Only a press on the map counts: the platform reads a pixel it
// cannot see (on the control panel, on another window) as pure white, which
// would set a marker beside the map.
#include "markers/tools.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/geometry.h"
#include "map/pictures.h"
#include "map/pixel_check.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "platform/platform.h"

Tool_record* Tool_thread = nullptr;
std::atomic<int> Tool_stop_patience_ms{2000};

namespace {

// Between looks a tool waits for input to Tovi's windows or a stop (which
// wake it at once) or this long: a press elsewhere is seen within half a
// second. Each look asks the system for the buttons, which under Wine is a
// round trip to its server: a tool left waiting looks twice a second.
constexpr int Poll_wait_ms = 500;
// The evacuation-place tool looks at most this often.
constexpr int Evac_pause_ms = 100;
constexpr int32_t Nearest_start = 10000;

// Allocated once and never destroyed, so a tool still running while the
// process ends never meets a destroyed lock.
struct Slot {
    std::mutex lock;                // guards Tool_thread
    std::condition_variable ended;  // a body returned
    std::mutex order;               // one start or outside stop at a time
};

Slot& The_slot() {
    static Slot* slot = new Slot;
    return *slot;
}

// The record of the tool running on this thread; nullptr on other threads.
thread_local Tool_record* Own_record = nullptr;

void Run_tool(Tool_record* rec, void (*body)()) {
    Own_record = rec;
    body();
    Slot& s = The_slot();
    {
        std::lock_guard lock(s.lock);
        rec->done = true;
    }
    s.ended.notify_all();
}

// With the slot's order held.
void Stop_ordered() {
    Slot& s = The_slot();
    Tool_record* rec;
    {
        std::lock_guard lock(s.lock);
        rec = Tool_thread;
        Tool_thread = nullptr;
    }
    if (!rec) return;
    rec->stop = true;
    Plat().Input_wake();  // a tool waiting for input looks at its flag at once
    bool ended;
    {
        std::unique_lock lock(s.lock);
        ended = s.ended.wait_for(lock, std::chrono::milliseconds(Tool_stop_patience_ms.load()),
                                 [&] { return rec->done.load(); });
    }
    if (ended) {
        rec->thread.join();
        delete rec;
    } else {
        // The thread still reads its stop flag when it wakes, so its record
        // stays allocated for good.
        rec->thread.detach();
    }
}

void Set_captions(const char* text) {
    Plat().Set_main_caption(text);
    Plat().Set_panel_caption(text);
}

bool Pure_white(uint32_t c) { return Red_of(c) == 255 && Green_of(c) == 255 && Blue_of(c) == 255; }

uint32_t Shown_colour(Point client) {
    std::lock_guard lock(Shown_lock);
    return Shown_map.get(client.x, client.y);
}

// Polls until the left button is down, giving where the cursor stood in the
// poll that saw it; false when the right button ends the tool or it is asked
// to stop.
bool Next_press(Point& at) {
    Platform& p = Plat();
    while (!Tool_stopping()) {
        if (p.Key_down(Vk_lbutton)) {
            at = p.Cursor_pos();
            return true;
        }
        if (p.Key_down(Vk_rbutton)) return false;
        p.Input_wait(Poll_wait_ms);
    }
    return false;
}

// False when the tool was asked to stop before the release.
bool Wait_release() {
    Platform& p = Plat();
    for (;;) {
        if (Tool_stopping()) return false;
        if (!p.Key_down(Vk_lbutton)) return true;
        p.Input_wait(Poll_wait_ms);
    }
}

// The client point and map colour under a press, or false when the press was
// not on the map.
bool Map_colour_at(Point screen, Point& client, uint32_t& colour) {
    if (!Plat().On_map(screen)) return false;
    client = Plat().Screen_to_client(screen);
    colour = Shown_colour(client);
    return true;
}

struct Set_ref {
    int32_t* x;
    int32_t* y;
    int32_t* n;
    int32_t capacity;
};

Set_ref Set_of(int kind) {
    Base_record& b = Base_data;
    switch (kind) {
    case Kind_evac: return {b.Evac_x, b.Evac_y, &b.Evac_n, Evac_capacity};
    case Kind_cong: return {b.Cong_x, b.Cong_y, &b.Cong_n, Point_capacity};
    default: return {b.Nopass_x, b.Nopass_y, &b.Nopass_n, Point_capacity};
    }
}

int Kind_of_colour(uint32_t c) {
    if (c == Colour_evac) return Kind_evac;
    if (c == Colour_cong) return Kind_cong;
    if (c == Colour_nopass) return Kind_nopass;
    return 0;
}

// A count that cannot index its arrays (only a damaged base.dat gives one)
// counts as full, so nothing is ever written past them.
bool Has_room(const Set_ref& set) { return *set.n >= 0 && *set.n < set.capacity; }

bool Set_has_room(int kind) {
    std::lock_guard lock(Markers_lock);
    return Has_room(Set_of(kind));
}

// Coordinates and count change together under the lock: a reader sees the
// entry whole or not at all.
bool Point_add(int kind, Point at) {
    std::lock_guard lock(Markers_lock);
    const Set_ref set = Set_of(kind);
    if (!Has_room(set)) return false;
    const int32_t n = *set.n;
    set.x[n] = at.x;
    set.y[n] = at.y;
    *set.n = n + 1;
    return true;
}

// Removes the entry of the set nearest to the click, closing the gap in order.
bool Nearest_remove(int kind, Point at) {
    std::lock_guard lock(Markers_lock);
    const Set_ref set = Set_of(kind);
    const int32_t n = std::clamp(*set.n, 0, set.capacity);
    const int32_t i = Nearest_entry(set.x, set.y, n, at.x, at.y);
    if (i < 0) return false;
    for (int32_t j = i; j + 1 < n; ++j) {
        set.x[j] = set.x[j + 1];
        set.y[j] = set.y[j + 1];
    }
    *set.n = n - 1;
    return true;
}

// Congestion and no-passage points: one body, the set chosen by kind.
void Point_tool(int kind) {
    Set_captions(Tool_caption);
    while (Set_has_room(kind)) {
        Point press;
        if (!Next_press(press)) break;
        if (!Wait_release()) return;
        Point at;
        uint32_t colour;
        if (!Map_colour_at(press, at, colour)) continue;
        if (!Pure_white(colour)) {
            Plat().Message_box(Not_road_text, Confirm_caption, Box_ok, Owner_main, Tool_cancel_flag());
            continue;
        }
        if (!Point_add(kind, at)) break;
        Marker_draw(Marker_size, at.x, at.y, kind);
        Markers_snapshot(1);
    }
    Tool_stop();
}

}  // namespace

bool Tool_next_press(Point& at) { return Next_press(at); }
bool Tool_wait_release() { return Wait_release(); }

void Tool_start(void (*body)()) {
    Slot& s = The_slot();
    std::lock_guard order(s.order);
    Stop_ordered();
    auto* rec = new Tool_record;
    try {
        rec->thread = std::thread(Run_tool, rec, body);
    } catch (const std::system_error&) {
        delete rec;
        Fatal_error(Memory_error_text);
    }
    std::lock_guard lock(s.lock);
    Tool_thread = rec;
}

void Tool_stop() {
    // A tool ending itself must not wait for itself; the next stop joins it.
    if (Own_record) return;
    std::lock_guard order(The_slot().order);
    Stop_ordered();
}

bool Tool_stopping() { return Own_record && Own_record->stop.load(); }

const std::atomic<bool>* Tool_cancel_flag() { return Own_record ? &Own_record->stop : nullptr; }

bool Tool_idle() {
    std::lock_guard lock(The_slot().lock);
    return !Tool_thread || Tool_thread->done;
}

bool Tool_wait(int timeout_ms) {
    Slot& s = The_slot();
    std::unique_lock lock(s.lock);
    return s.ended.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [] { return !Tool_thread || Tool_thread->done; });
}

int32_t Nearest_entry(const int32_t* xs, const int32_t* ys, int32_t n, int32_t x, int32_t y) {
    int32_t best = Nearest_start, chosen = -1;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t d = Point_distance(xs[i], ys[i], x, y);
        if (d < best) {
            best = d;
            chosen = i;
        }
    }
    return chosen;
}

void Cong_tool() { Point_tool(Kind_cong); }

void Nopass_tool() { Point_tool(Kind_nopass); }

// Evacuation places. The colour under the cursor is read only when the cursor
// has moved since the last pass, so a press before any movement sets nothing
// and a second press without moving sets a second place on the same point.
void Evac_tool() {
    Platform& p = Plat();
    Set_captions(Tool_caption);
    Stop_request = 0;
    bool polled = false;
    int64_t looked_ms = 0;  // when the last look was made
    Point last{};
    bool on_white = false;
    // Two places end the tool directly; raising the shared Stop_request for
    // that could stop a flood or a route wave that happens to run meanwhile.
    while (!Evac_full() && Stop_request != 1) {
        if (Tool_stopping()) return;
        // After the first look, until input to Tovi's windows or a stop: a
        // cursor at rest on the map needs no look. Then at least the pause
        // since the last look, so that a moving cursor is looked at no more
        // often than that. The first look comes after the pause alone, so
        // that the position it remembers is where the cursor stood at the
        // start, and a cursor that jumps onto the map (a pen, a touch) counts
        // as moved. One wait a look: under Wine each is a call to its server.
        int64_t pause = Evac_pause_ms;
        if (polled) {
            p.Input_wait(Poll_wait_ms);
            pause = Evac_pause_ms - (p.Now_ms() - looked_ms);
        }
        if (pause > 0) p.Sleep_ms(int(pause));
        if (Tool_stopping()) return;
        looked_ms = p.Now_ms();
        const Point cursor = p.Cursor_pos();
        if (!polled) {
            last = cursor;
            polled = true;
        } else if (cursor != last) {
            last = cursor;
            on_white = p.On_map(cursor) && Pure_white(Shown_colour(p.Screen_to_client(cursor)));
        }
        if (p.Key_down(Vk_rbutton)) break;
        if (p.Key_down(Vk_lbutton) && on_white) {
            const Point place = p.Cursor_pos();
            if (!Wait_release()) return;
            if (!p.On_map(place)) continue;
            const Point at = p.Screen_to_client(place);
            Evac_place_add(at.x, at.y);
        }
    }
    Stop_request = 0;
    Set_captions(Evac_end_caption);
    Tool_stop();
}

// Deletion. The clicked colour chooses the set only; the entry removed is the
// nearest of that set, which need not be the marker under the click.
void Delete_tool() {
    Set_captions(Tool_caption);
    Point press;
    while (Next_press(press)) {
        if (!Wait_release()) return;
        Point at;
        uint32_t colour;
        if (!Map_colour_at(press, at, colour)) continue;
        const int kind = Kind_of_colour(colour);
        if (kind == 0 || !Nearest_remove(kind, at)) continue;
        // A clean map with every marker again: the removed one and any route
        // shown are wiped.
        Map_compose();
        Plat().Main_window_refresh();
        Markers_snapshot(1);
    }
    Tool_stop();
}

void Evac_tool_start() { Tool_start(Evac_tool); }
void Cong_tool_start() { Tool_start(Cong_tool); }
void Nopass_tool_start() { Tool_start(Nopass_tool); }
void Delete_tool_start() { Tool_start(Delete_tool); }
