#include "map/geometry.h"

#include <cmath>

int32_t Point_distance(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const double dx = double(x1) - double(x2);
    const double dy = double(y1) - double(y2);
    if (dx == 0 && dy == 0) return 0;
    return int32_t(std::sqrt(dx * dx + dy * dy));
}
