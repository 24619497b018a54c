// Walking statistics for the route display: turns a route's length in map
// pixels into the four figures of the control panel. Called by the route
// display each time it has traced a route longer than 10 pixels, and by the
// batch command, which prints the same texts.
//
// The figures are estimates for one standard walker; the constants and the
// order of the arithmetic are fixed so that the texts never change.
#include "route/walk_stats.h"

#include <cstdio>

#include "platform/paths.h"
#include "platform/shell_flags.h"
#include "platform/platform.h"
#include "route/travel_time.h"

namespace {

constexpr double Body_height_cm = 168.0;
constexpr double Stride_factor = 0.37;
constexpr double Body_mass_kg = 62.0;
constexpr double Activity_factor = 2.8;  // calories per kilogram and hour
constexpr double Minutes_per_hour = 60.0;

// The 32-bit products wrap instead of overflowing; a route on a 1600 x 1200
// grid never comes near, but a wrong length must not be undefined behaviour.
int32_t Times(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

std::string Format_int(int32_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", v);
    return buf;
}

std::string Format_fixed(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%3.2f", v);
    return buf;
}

}  // namespace

Walk_figures Walk_stats_texts(int32_t length, int scale_flag) {
    return Walk_stats_texts(length, Map_scale{scale_flag, 0.0});
}

Walk_figures Walk_stats_texts(int32_t length, const Map_scale& scale) {
    const Walk_length walk = Walk_convert(length, scale, Figures_speed);
    const int32_t metres = walk.metres;
    const double stride_cm = Body_height_cm * Stride_factor;
    const int32_t steps = int32_t(Times(metres, 100) / stride_cm);
    const double minutes = walk.minutes;
    const double calories = Body_mass_kg * minutes * Activity_factor / Minutes_per_hour;
    return {Format_int(metres), Format_int(steps), Format_fixed(minutes), Format_fixed(calories)};
}

