#include "markers/base_data.h"

#include <algorithm>

#include "platform/checksum.h"

Base_record Base_data{};
Base_record Base_snapshot{};
std::mutex Markers_lock;

uint64_t Markers_sum(const Base_record& b) {
    // Only the entries in use count: slots past a set's count keep whatever
    // deleted or moved markers left there, which says nothing about the work.
    Checksum_state s;
    Checksum_begin(s);
    Checksum_add(s, &b.Map_rect, sizeof b.Map_rect);
    auto add_set = [&](const int32_t* xs, const int32_t* ys, int32_t n, int32_t capacity) {
        n = std::clamp(n, 0, capacity);
        Checksum_add(s, &n, sizeof n);
        Checksum_add(s, xs, size_t(n) * sizeof(int32_t));
        Checksum_add(s, ys, size_t(n) * sizeof(int32_t));
    };
    add_set(b.Evac_x, b.Evac_y, b.Evac_n, Evac_capacity);
    add_set(b.Cong_x, b.Cong_y, b.Cong_n, Point_capacity);
    add_set(b.Nopass_x, b.Nopass_y, b.Nopass_n, Point_capacity);
    const uint64_t sum = Checksum_end(s);
    return sum ? sum : 1;  // 0 means "no route" where the sum is kept
}
