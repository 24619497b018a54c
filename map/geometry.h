// Small plane geometry shared by the capture tool and the delete tool.
#pragma once
#include <cstdint>

// Euclidean distance of two pixels, truncated toward zero; never negative.
int32_t Point_distance(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
