// The right-drag capture tool. Only the release point matters to the capture:
// the line is feedback, and the map's extent is decided by the flood.
#include "map/capture.h"

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "map/flood.h"
#include "markers/base_data.h"
#include "platform/platform.h"
#include "resources/resource_ids.h"

void Map_capture() {
    Platform& p = Plat();
    while (Stop_request != 1) {
        p.Sleep_ms(100);
        // Esc is the user's cancel: the stop every long loop honours.
        if (p.Key_down(Vk_escape)) Stop_request = 1;
        if (Stop_request == 1) break;
        if (!p.Key_down(Vk_rbutton)) continue;
        const Point press = p.Cursor_pos();
        Point last = press;
        // Follow the cursor while the button is held; drawing the old line
        // again in exclusive-or mode erases it.
        while (p.Key_down(Vk_rbutton)) {
            const Point now = p.Cursor_pos();
            if (now != last) {
                p.Screen_xor_line(press, last, Rubber_band_colour);
                p.Screen_xor_line(press, now, Rubber_band_colour);
                last = now;
            }
            p.Sleep_ms(1);
        }
        p.Screen_xor_line(press, last, Rubber_band_colour);
        if (Maze_map(last.x, last.y) == 0) break;
    }
    p.Enable_control(Rid_evac, true);
    Stop_request = 0;
    Rect32 r;
    {
        std::lock_guard lock(Markers_lock);
        r = Base_data.Map_rect;
    }
    if (r.right > r.left && r.bottom > r.top) Plat().Fit_main_window(r.right - r.left, r.bottom - r.top);
}
