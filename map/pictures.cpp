#include "map/pictures.h"

Image Map_image;
Image Photo_image;
std::atomic<int> Images_loaded{0};
Image Shown_map;
std::mutex Shown_lock;
