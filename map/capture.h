// The capture tool: the screen is taken once into a snapshot, shown in the
// capture window over the whole screen; the user right-drags on it, a
// rubber-band line follows the cursor, and where the button is released the
// road-network flood starts on that very picture. A refused start waits for
// the next drag on the same picture; Esc, a stop of the tool or Stop_request
// end the tool without a map and without a message; a completed flood closes
// the capture window, writes the work and fits the main window to the map.
//
// Called by: the control panel's first button while no map exists, on the
// tool slot's thread (cancel is the tool's stop flag). Reads and clears
// Stop_request.
#pragma once
#include <atomic>

void Map_capture(const std::atomic<bool>* cancel);
