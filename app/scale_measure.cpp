// The map scale measured on the map. The tool runs on the tool slot's
// thread; the panel's controls are set through the platform, which hands
// them to the panel's own thread.
#include "app/scale_measure.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "map/image.h"
#include "map/pictures.h"
#include "markers/base_data.h"
#include "markers/markers.h"
#include "markers/tools.h"
#include "platform/shell_flags.h"
#include "platform/typed_text.h"
#include "storage/base_tail.h"

namespace {

Scale_listener Listener = nullptr;

// The marks of the measurement on the shown map: a cross on each end and the
// line between them, in the capture's rubber-band colour.
void Cross(Image& img, Point p) {
    for (int32_t d = -4; d <= 4; ++d) {
        img.set(p.x + d, p.y, Rubber_band_colour);
        img.set(p.x, p.y + d, Rubber_band_colour);
    }
}

void Line(Image& img, Point a, Point b) {
    const int32_t dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    const int32_t sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    int32_t err = dx + dy, x = a.x, y = a.y;
    for (;;) {
        img.set(x, y, Rubber_band_colour);
        if (x == b.x && y == b.y) break;
        const int32_t e2 = 2 * err;
        if (e2 >= dy) err += dy, x += sx;
        if (e2 <= dx) err += dx, y += sy;
    }
}

void Show_marks(const Point* ends, int n) {
    {
        std::lock_guard lock(Shown_lock);
        for (int i = 0; i < n; ++i) Cross(Shown_map, ends[i]);
        if (n == 2) Line(Shown_map, ends[0], ends[1]);
    }
    Plat().Main_window_refresh();
}

void Set_captions(const char* text) {
    Plat().Set_main_caption(text);
    Plat().Set_panel_caption(text);
}

// One end of the bar: a left click on the map. False when the tool ends.
bool End_click(Point& at) {
    Platform& p = Plat();
    for (;;) {
        Point press;
        if (!Tool_next_press(press) || !Tool_wait_release()) return false;
        if (!p.On_map(press)) continue;
        at = p.Screen_to_client(press);
        return true;
    }
}

// The length of the bar, asked until it reads as one or the user cancels.
bool Length_asked(double& metres) {
    Platform& p = Plat();
    std::string text;
    for (;;) {
        if (!p.Ask_text(Scale_ask_prompt, Scale_ask_caption, text, Owner_main, Tool_cancel_flag()) ||
            Tool_stopping())
            return false;
        const std::string why = Scale_length_parse(text, metres);
        if (why.empty()) return true;
        p.Message_box(why, Scale_ask_caption, Box_ok, Owner_main, Tool_cancel_flag());
        if (Tool_stopping()) return false;
    }
}

void Scale_tool() {
    Point ends[2];
    double metres = 0, mpp = 0;
    std::string why;
    Set_captions(Scale_first_caption);
    bool measured = End_click(ends[0]);
    if (measured) {
        Show_marks(ends, 1);
        Set_captions(Scale_second_caption);
        measured = End_click(ends[1]);
    }
    if (measured) {
        Show_marks(ends, 2);
        why = Scale_of_bar(ends[0], ends[1], 1.0, mpp);
        if (!why.empty()) {
            Plat().Message_box(why, Scale_ask_caption, Box_ok, Owner_main, Tool_cancel_flag());
            measured = false;
        }
    }
    measured = measured && Length_asked(metres) && Scale_of_bar(ends[0], ends[1], metres, mpp).empty();
    // The marks go whatever happened: the shown map is the map with its markers again.
    Map_compose();
    Plat().Main_window_refresh();
    if (measured) Scale_measured_set(mpp);
    if (Listener) Listener(measured);
    Tool_stop();
}

}  // namespace

double Scale_measured() {
    Base_tail tail;
    {
        std::lock_guard lock(Markers_lock);
        tail = Tail_read(Base_data);
    }
    const double v = tail.marked() ? tail.metres_per_pixel : 0.0;
    return v > 0 && std::isfinite(v) ? v : 0.0;
}

void Scale_measured_set(double metres_per_pixel) {
    std::lock_guard lock(Markers_lock);
    Base_tail tail = Tail_read(Base_data);
    if (!tail.marked()) {
        // A tail without the mark is dropped by a save; a marked one keeps
        // its fields (the checksums are written afresh by the save).
        if (!(metres_per_pixel > 0)) return;
        tail = Base_tail{};
        tail.mark = Tail_mark;
        tail.version = Tail_version;
    }
    tail.metres_per_pixel = metres_per_pixel > 0 && std::isfinite(metres_per_pixel) ? metres_per_pixel : 0.0;
    Tail_write(Base_data, tail);
}

Map_scale Scale_now() {
    Map_scale s;
    s.flag = Scale_flag.load();
    s.metres_per_pixel = Scale_measured();
    return s;
}

std::string Scale_length_parse(const std::string& text, double& out) {
    const std::string s = Typed_half_width(Typed_trim(text));
    size_t n = 0;
    int dots = 0;
    while (n < s.size() && ((s[n] >= '0' && s[n] <= '9') || s[n] == '.')) dots += s[n++] == '.';
    const std::string unit = Typed_trim(s.substr(n));
    double factor = 0;
    if (unit.empty() || unit == "m" || unit == "ｍ" || unit == "メートル") factor = 1;
    else if (unit == "km" || unit == "ｋｍ" || unit == "キロ" || unit == "キロメートル") factor = 1000;
    double v = 0;
    if (n == 0 || dots > 1 || factor == 0) return Scale_length_error;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + n, v);
    if (ec != std::errc() || end != s.data() + n) return Scale_length_error;
    v *= factor;
    if (!(v > 0) || !std::isfinite(v) || v > Scale_metres_max) return Scale_length_error;
    out = v;
    return "";
}

std::string Scale_of_bar(Point a, Point b, double metres, double& out) {
    const double pixels = std::hypot(double(b.x) - double(a.x), double(b.y) - double(a.y));
    if (pixels < Scale_bar_min_pixels) return Scale_too_short_text;
    if (!(metres > 0) || !std::isfinite(metres)) return Scale_length_error;
    if (metres / pixels > Scale_mpp_max) return Scale_too_coarse_text;
    out = metres / pixels;
    return "";
}

std::string Scale_label() { return std::string(Scale_label_prefix) + Scale_text(Scale_now()); }

void Scale_on_end(Scale_listener listener) { Listener = listener; }

void Scale_tool_start() { Tool_start(Scale_tool); }
