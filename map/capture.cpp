// The right-drag capture tool. Only the release point matters to the capture:
// the line is feedback, and the map's extent is decided by the flood.
#include "map/capture.h"

#include "map/flood.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "platform/platform.h"
#include "platform/shell_flags.h"
#include "resources/resource_ids.h"

void Map_capture(const std::atomic<bool>* cancel) {
    Platform& p = Plat();
    Image snapshot;
    Point origin;
    bool captured = false;
    // What the user sees when pressing the button is what is captured: the
    // snapshot is taken once, before any drag.
    if (!p.Screen_snapshot(snapshot, origin) || snapshot.empty()) {
        Error_box(Capture_failed_text);
    } else if (!p.Capture_window_open(snapshot, origin)) {
        Error_box(Capture_failed_text);
    } else {
        bool open = true;
        while (Stop_request != 1 && !(cancel && cancel->load())) {
            Point release;
            if (p.Capture_drag(release, cancel) != Drag_done) break;
            Capture_outcome outcome;
            if (Maze_map_on(snapshot, origin, release, outcome) != 0) {
                // Said once the box is gone, where the user looks next.
                if (outcome.no_mark) p.Set_panel_caption(Start_hint_text);
                continue;
            }
            // The map is the user's again before the work is written: the
            // aerial question is answered on the live screen.
            p.Capture_window_close();
            open = false;
            if (Capture_finish(outcome) == 0) {
                captured = true;
                break;
            }
            // The work could not be written (the message said why): the
            // picture stays, for another try.
            if (!p.Capture_window_open(snapshot, origin)) break;
            open = true;
        }
        if (open) p.Capture_window_close();
    }
    p.Enable_control(Rid_evac, true);
    Stop_request = 0;
    if (!captured) return;
    Rect32 r;
    {
        std::lock_guard lock(Markers_lock);
        r = Base_data.Map_rect;
    }
    if (r.right > r.left && r.bottom > r.top) Plat().Fit_main_window(r.right - r.left, r.bottom - r.top);
}
