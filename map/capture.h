// The capture tool: the user right-drags anywhere on the screen; a rubber-band
// line follows the cursor; where the button is released the road-network
// flood starts. A failed flood waits for the next drag; a completed one ends
// the tool and fits the main window to the captured map.
//
// Called by: the control panel's first button while no map exists, on the
// control panel's thread. Reads and clears Stop_request.
#pragma once
#include <cstdint>

inline constexpr uint32_t Rubber_band_colour = 0x3232FA;  // (250, 50, 50)

void Map_capture();
