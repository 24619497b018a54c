// The four marking tools and the tool-thread slot they share with the route
// display.
//
// A tool runs on a thread of its own, polls the mouse globally, reads the
// colour of the map under a click from Shown_map, changes a marker set and
// paints the result. At most one tool thread exists: every start ends the one
// before. Ending is cooperative: Tool_stop raises the running tool's stop
// flag and waits for it to return. A tool looks at the flag between whole
// steps only, so a stop never leaves half an entry behind, and its message
// boxes close by themselves when the flag rises.
//
// Called by: the control panel's buttons (the starts, and Tool_stop before
// saving and loading); the route display runs on the same slot.
#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/platform.h"

// One tool thread. Allocated per start and freed by the Tool_stop that joins
// it, never by process exit: the program may end while a tool runs, and a
// joinable std::thread must not be destroyed.
struct Tool_record {
    std::thread thread;
    std::atomic<bool> stop{false};  // asks the body to end; the cancel flag of its boxes
    std::atomic<bool> done{false};  // the body has returned
};

// The recorded tool thread, or nullptr when none has been started or the last
// one was ended by Tool_stop. After a tool has ended by itself it still names
// that finished thread until the next Tool_stop joins it. Written only by
// Tool_start and Tool_stop.
extern Tool_record* Tool_thread;

// How long Tool_stop waits for a tool to end, in real milliseconds. A tool
// ends within one poll; one that does not is stuck in a platform call that
// waits for the very thread calling Tool_stop, and is then left to end by
// itself so that the control panel does not freeze.
extern std::atomic<int> Tool_stop_patience_ms;

// Ends the recorded tool (Tool_stop), then runs body on a new tool thread.
// The body polls Tool_stopping and returns soon after it turns true.
void Tool_start(void (*body)());

// From outside a tool: asks the recorded tool to end and returns once it has.
// From the tool's own thread, at its end: nothing to do, the body returns.
void Tool_stop();

// On a tool thread: whether Tool_stop asked it to end. Elsewhere: false.
bool Tool_stopping();

// The stop flag of the calling tool thread, for Message_box; nullptr elsewhere.
const std::atomic<bool>* Tool_cancel_flag();

// True when no recorded tool is running (none, or it ended by itself).
bool Tool_idle();

// Waits up to timeout_ms of real time for the recorded tool to end by itself;
// returns Tool_idle().
bool Tool_wait(int timeout_ms);

// The thread bodies. Each sets the two captions, edits its set until the
// right button (or a full set, or the second evacuation place) ends it, and
// ends by calling Tool_stop.
void Evac_tool();
void Cong_tool();
void Nopass_tool();
void Delete_tool();

// One start operation per body.
void Evac_tool_start();
void Cong_tool_start();
void Nopass_tool_start();
void Delete_tool_start();

// For a tool body: polls until the left button is down and gives where the
// cursor stood then (screen coordinates); false when the right button ends
// the tool or it is asked to stop. Then waits for the release: false when
// asked to stop first.
bool Tool_next_press(Point& at);
bool Tool_wait_release();

// The entry of a set nearest to (x, y) by Point_distance, strictly nearer
// than any before it (so ties keep the lower index) and nearer than 10000;
// -1 when there is none.
int32_t Nearest_entry(const int32_t* xs, const int32_t* ys, int32_t n, int32_t x, int32_t y);

// Texts of the tools, used exactly as they stand.
inline constexpr const char* Tool_caption = "マウス左クリックでセット、右クリックでセット終了";
inline constexpr const char* Evac_end_caption = "避難場所セット終了";
inline constexpr const char* Not_road_text = "設定が道路以外のようです。";
