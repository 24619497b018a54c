// An in-memory picture of 32-bit colours, the form in which every pixel of the
// system lives: the captured screen, the map and aerial pictures, and the map
// shown in the main window. A colour keeps red in the lowest byte, green in
// the next and blue in the third, as the platform's colour values do.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
constexpr uint32_t Red_of(uint32_t c) { return c & 0xFF; }
constexpr uint32_t Green_of(uint32_t c) { return (c >> 8) & 0xFF; }
constexpr uint32_t Blue_of(uint32_t c) { return (c >> 16) & 0xFF; }

// What the platform answers for a pixel it cannot read: all ones, pure white.
constexpr uint32_t Unreadable_colour = 0xFFFFFFFFu;

struct Image {
    int32_t w = 0;
    int32_t h = 0;
    std::vector<uint32_t> px;  // row-major, top row first

    Image() = default;
    Image(int32_t width, int32_t height, uint32_t fill = Rgb(255, 255, 255))
        : w(width), h(height), px(size_t(width) * size_t(height), fill) {}

    bool empty() const { return w <= 0 || h <= 0; }
    bool inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < w && y < h; }

    // A position outside the picture reads as the platform's unreadable value.
    uint32_t get(int32_t x, int32_t y) const {
        return inside(x, y) ? px[size_t(y) * size_t(w) + size_t(x)] : Unreadable_colour;
    }
    // Writes outside the picture are dropped, as the platform drops them.
    void set(int32_t x, int32_t y, uint32_t c) {
        if (inside(x, y)) px[size_t(y) * size_t(w) + size_t(x)] = c & 0xFFFFFF;
    }
};
