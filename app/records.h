// The index of the process-wide records: every record the program keeps
// outside a function, where it is declared, what it holds, which thread
// writes it and what guards it. A record is declared once, in the header its
// layer owns; this file lists them all and resets the work they hold.
//
// Shared types (below every layer):
//   Base_data, Base_snapshot  markers/base_data.h: the record of base.dat (the
//                             markers, Map_rect, Road_rec_total, the tail) and
//                             the sets a tool started from. Tool thread, panel
//                             thread, load thread. Markers_lock.
// Platform seam:
//   Stop_request, Space_request, Scale_flag, Aerial_mode, Exe_folder
//                             platform/shell_flags.h: the shell's flags and the
//                             program folder. The shell's threads. Atomics;
//                             Exe_folder is set once at start.
// Map:
//   Wave_queue, Rec_kind, Cell_map, Grid_ready, Rec_count,
//   Route_markers_sum         map/grid.h: the road grid and its records, the
//                             markers a route was built for. Flood and wave on
//                             the panel thread, the load thread. Route_lock while
//                             tables are replaced; the tools are stopped first.
//   Map_image, Photo_image, Shown_map, Images_loaded
//                             map/pictures.h: the map and aerial pictures, the
//                             map shown. Capture, load, tools, display. Shown_lock.
//   Capture_origin            map/map_pictures.h: where on the screen the map was
//                             captured. Capture (tool thread), load. Markers_lock.
//   Pixel_code_cache, Last_rgb, Pixel_weight, Evac_seen
//                             map/pixel_check.h: the classifier's cache (atomic
//                             words, any thread) and side results (per thread).
// Markers:
//   Tool_thread, Tool_stop_patience_ms
//                             markers/tools.h: the one tool slot. Panel thread.
// Route:
//   Route_lock, the route index, Wave_last, the buckets
//                             route/route_trace.h, route/wave.h: Route_lock guards
//                             the tables' replacement and the index.
//   Photo_shown               route/display.h: the display shows the aerial
//                             picture. Display thread. Atomic.
// Storage:
//   Data_folder               storage/data_folder.h: the folder last chosen.
//                             Panel thread.
//   Shown_map_sum, Working_map_sum
//                             storage/data_files.h: which map was last written
//                             or loaded, and where. Any thread. Atomics.
// Shell:
//   Panel_state, Route_busy, Help_last_id
//                             app/panel.h: the panel's state. Panel thread, and
//                             the capture's end on the tool thread. Atomics.
#pragma once

// Every record of the work back to its start value, as a fresh start of the
// program has them: no markers, no records, no pictures, no route index,
// nothing unsaved, the flags at their start values. The grid tables stay
// allocated (their bytes are the next capture's or load's). For tests, and
// for whoever starts a new piece of work from nothing.
void Records_reset();
