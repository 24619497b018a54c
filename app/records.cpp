#include "app/records.h"

#include <mutex>

#include "app/panel.h"
#include "app/shell.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "route/display.h"
#include "route/route_trace.h"
#include "storage/data_files.h"
#include "storage/data_folder.h"

void Records_reset() {
    {
        std::lock_guard lock(Markers_lock);
        Base_data = Base_record{};
        Base_snapshot = Base_record{};
        Capture_origin = {0, 0};
    }
    {
        std::lock_guard shown(Shown_lock);
        Map_image = Image();
        Photo_image = Image();
        Shown_map = Image();
        Images_loaded = 0;
    }
    Rec_count = 0;
    Route_markers_sum = 0;
    Route_index_drop();
    Photo_shown = 0;
    Shown_map_sum = 0;
    Working_map_sum = 0;
    Panel_state = 0;
    Route_busy = 0;
    Space_request = 0;
    Shell_start();  // the flags, nothing unsaved, the listeners
}
