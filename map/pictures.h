// The map pictures held in memory and the map shown in the main window.
//
// Map_image holds tst.bmp (the captured map), Photo_image tst1.bmp (the aerial
// picture, possibly absent). Shown_map is what the main window shows: the map
// with its markers and whatever a tool or the route wave painted on it. It is
// painted from any thread under Shown_lock; the window copies it on paint.
#pragma once
#include <atomic>
#include <mutex>

#include "map/image.h"

extern Image Map_image;
extern Image Photo_image;  // empty when there is no aerial picture
extern std::atomic<int> Images_loaded;
extern Image Shown_map;
extern std::mutex Shown_lock;
