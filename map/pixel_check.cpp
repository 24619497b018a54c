// The pixel classifier: the one place that says which colours are road.
//
// Owns the side results Last_rgb, Pixel_weight and Evac_seen (per thread).
// Called by the flood fill and the route wave eight times per pixel, and by
// the marker painter for every pixel of a marker square, so the decision is
// kept cheap in two layers. A small cache of decided colours answers almost
// every call on a real map with one load. Behind it the table is applied in
// its order: the exact colours and the greys with integer compares, then the
// hue rule, decided from the two colour differences by their signs and one
// comparison against the tangent of the band's edge. Only a colour whose
// angle lies within a hair of an edge would take the full conversion through
// atan2, so the answer is always the one Rgb_to_hsv gives.
//
// The differences must be formed exactly as Rgb_to_hsv forms them, product by
// product, with no fused multiply-add: the build targets have none by default
// and ISO mode does not contract, and the test over every colour would catch
// a compiler that did.
#include "map/pixel_check.h"

#include <atomic>
#include <cmath>

#include "map/grid.h"

thread_local int32_t Last_rgb[3];
thread_local int32_t Pixel_weight = 1;
thread_local int32_t Evac_seen = 0;

namespace {

// Edges of the two road bands as tangents. atan2 gives the true angle, but the
// hue scales it by 180 / 3.141592, so an edge at hue h lies at the true angle
// h * 3.141592 / 180:
//   151 <= degrees < 155 (second quadrant): tan(pi - 155 * 3.141592 / 180) < q <= tan(pi - 151 * 3.141592 / 180)
//   degrees >= -59 (fourth quadrant, hue 301 and up): q <= tan(59 * 3.141592 / 180)
// where q is the ratio of the two differences' magnitudes.
constexpr double Tan_edge_151 = 0.5543097682087369;
constexpr double Tan_edge_155 = 0.4663083433483578;
constexpr double Tan_edge_301 = 1.6642786747326084;

// Within this relative distance of an edge the shortcut does not trust itself;
// every error involved (atan2, the scaling, the sums) is a million times
// smaller. No 24-bit colour falls that close today; the exact path is there
// so that the shortcut can never answer differently from the conversion.
constexpr double Edge_margin = 1e-9;

uint8_t Hue_code_exact(int32_t r, int32_t g, int32_t b) {
    int32_t value, hue, chroma;
    Rgb_to_hsv(r, g, b, value, hue, chroma);
    if (hue > 150 && hue < 155) return Code_road | Code_orange;
    if (hue > 300) return Code_road;
    return 0;
}

// The hue rule for a colour that is neither one of the exact colours nor grey.
inline uint8_t Hue_code(int32_t r, int32_t g, int32_t b) {
    const double rd = r, gd = g, bd = b;
    const double d1 = 0.7 * rd - 0.59 * gd - 0.11 * bd;
    const double d2 = -(0.3 * rd) - 0.59 * gd + 0.89 * bd;
    // Zero differences and a chroma that truncates to 0 give hue 0. The sum is
    // below 1 exactly when its correctly rounded root is.
    if (d1 == 0 || d2 == 0) return 0;
    if (d1 * d1 + d2 * d2 < 1.0) return 0;
    if (d1 > 0 && d2 < 0) {
        // Second quadrant: the orange band near 152 degrees.
        const double a = d1, c = -d2;
        if (a > c * (Tan_edge_151 * (1 + Edge_margin)) || a < c * (Tan_edge_155 * (1 - Edge_margin))) return 0;
        if (a <= c * (Tan_edge_151 * (1 - Edge_margin)) && a > c * (Tan_edge_155 * (1 + Edge_margin)))
            return Code_road | Code_orange;
        return Hue_code_exact(r, g, b);
    }
    if (d1 < 0 && d2 > 0) {
        // Fourth quadrant: the blues from hue 301 up.
        const double a = -d1, c = d2;
        if (a <= c * (Tan_edge_301 * (1 - Edge_margin))) return Code_road;
        if (a > c * (Tan_edge_301 * (1 + Edge_margin))) return 0;
        return Hue_code_exact(r, g, b);
    }
    return 0;  // first and third quadrants hold no road hue
}

// The decision for one colour, from the table: exact colours, greys, hue.
uint8_t Pixel_code_compute(uint32_t colour) {
    // The exact colours, in the order of the table; they are all distinct, so
    // a switch decides as the first matching row would.
    switch (colour) {
    case Rgb(242, 239, 233):
    case Rgb(232, 214, 180):
    case Rgb(151, 151, 151):
    case Colour_nopass:
        return 0;
    case Colour_evac:
        return Code_road | Code_evac;
    case Colour_cong:
        return Code_road | Code_congestion;
    case Rgb(244, 209, 102):
    case Rgb(255, 247, 165):
    case Rgb(254, 107, 95):
        return Code_road;
    default:
        break;
    }
    const int32_t r = int32_t(Red_of(colour)), g = int32_t(Green_of(colour)), b = int32_t(Blue_of(colour));
    if (r == g && g == b) return Code_road;  // every grey but (151, 151, 151), settled above
    return Hue_code(r, g, b);
}

}  // namespace

std::atomic<uint32_t> Pixel_code_cache[1u << Pixel_cache_bits];

uint8_t Pixel_code_miss(uint32_t colour) {
    const uint8_t code = Pixel_code_compute(colour);
    Pixel_code_cache[(colour * 0x9E3779B1u) >> (32 - Pixel_cache_bits)].store(
        colour | uint32_t(code | Pixel_code_known) << 24, std::memory_order_relaxed);
    return code;
}

int32_t Pixel_check(const Image& surface, int32_t x, int32_t y) {
    Pixel_weight = 1;
    const uint32_t colour = surface.get(x, y) & 0xFFFFFF;
    Last_rgb[0] = int32_t(Red_of(colour));
    Last_rgb[1] = int32_t(Green_of(colour));
    Last_rgb[2] = int32_t(Blue_of(colour));
    const uint8_t code = Pixel_code(colour);
    if (code & (Code_evac | Code_orange | Code_congestion)) [[unlikely]] {
        if (code & Code_evac) Evac_seen = 1;
        // Only the first records of a run count an orange as the evacuation
        // place; past them it is just a road.
        if ((code & Code_orange) && Rec_count.load(std::memory_order_relaxed) < 50) Evac_seen = 1;
        if (code & Code_congestion) Pixel_weight = 10;
    }
    return code & Code_road;
}

void Rgb_to_hsv(int32_t r, int32_t g, int32_t b, int32_t& value, int32_t& hue, int32_t& chroma) {
    if (r == 0 && g == 0 && b == 0) {
        value = hue = chroma = 0;
        return;
    }
    const double rd = r, gd = g, bd = b;
    value = int32_t(double(r + g + b) * 100.0 / 765.0);
    // r - Y and b - Y for Y = 0.3r + 0.59g + 0.11b, each product rounded on its own.
    const double d1 = 0.7 * rd - 0.59 * gd - 0.11 * bd;
    const double d2 = -(0.3 * rd) - 0.59 * gd + 0.89 * bd;
    if (d1 == 0 || d2 == 0) {
        value = hue = chroma = 0;
        return;
    }
    chroma = int32_t(std::sqrt(d1 * d1 + d2 * d2));
    if (chroma <= 0) {
        value = hue = chroma = 0;
        return;
    }
    // pi is written with six decimals on purpose: the hue bands were chosen
    // with this scaling, and the reference hues depend on it.
    double degrees = std::atan2(d1, d2) * 180.0 / 3.141592;
    if (degrees < 0) degrees += 360.0;
    hue = int32_t(degrees);
}
