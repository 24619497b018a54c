// The map scale measured on the map itself. A web map shows the map at any
// zoom, so the panel's 100 m / 200 m (a pixel is 1 m or 2 m) can be off by
// any factor; the user may instead click the two ends of the web map's own
// scale bar in the main window and type the length it stands for. The metres
// per pixel found that way replace the panel's choice for the walking
// figures, the evacuation map's bands and its printed scale bar; they are
// kept with the work in base.dat's tail (storage/base_tail.h) and named on
// the panel and on the page. Choosing 100 m or 200 m again clears them.
//
// Owns: nothing of its own: the measurement lives in Base_data's tail
// (Markers_lock). The tool runs on the tool slot (markers/tools.h).
// Called by: the control panel, the evacuation map, tests.
#pragma once
#include <string>

#include "platform/platform.h"
#include "route/travel_time.h"

// The scale the figures use now: the panel's flag, replaced by a measured
// scale when the work has one.
Map_scale Scale_now();

// The measured metres per pixel of the work, 0 when it has none.
double Scale_measured();
// Keeps a measured scale with the work (0: none, the panel's choice counts).
void Scale_measured_set(double metres_per_pixel);

// The length typed for the scale bar, in metres: a number (half- or
// full-width digits) optionally followed by "m", "ｍ", "メートル", "km" or
// "ｋｍ". "" with the metres in out, otherwise what is wrong, in the user's
// words (out unchanged).
std::string Scale_length_parse(const std::string& text, double& out);

// The metres per pixel of a scale bar from map pixel a to map pixel b that
// stands for `metres`. "" with the value in out, otherwise why not (the ends
// too close together to measure, or a pixel of more than Scale_mpp_max).
std::string Scale_of_bar(Point a, Point b, double metres, double& out);

// The scale as the panel names it: "縮尺：1画素 = 2 m (200 m)".
std::string Scale_label();

// Called on the tool's thread when the measurement ends, measured or not
// (cancelled, refused, stopped), with the shown map given back its markers:
// the shell names the scale on the panel with it.
using Scale_listener = void (*)(bool measured);
void Scale_on_end(Scale_listener listener);

// "縮尺測定": the tool that takes the two clicks and asks for the length,
// on the tool slot.
void Scale_tool_start();

// The shortest scale bar measured, in map pixels: shorter ones would give a
// scale off by more than a few per cent from one pixel's error.
inline constexpr double Scale_bar_min_pixels = 20.0;
inline constexpr double Scale_metres_max = 1000000.0;
// The largest scale a walk is worked out at, as tovi-cli takes it.
inline constexpr double Scale_mpp_max = 1000.0;

// Texts of the measurement.
inline constexpr const char* Scale_button_text = "縮尺測定";
inline constexpr const char* Scale_help_text =
    " 地図の縮尺記号の両端を左クリックし、その長さ（ｍ）を入れて、地図の縮尺を測ります。";
inline constexpr const char* Scale_first_caption = "縮尺記号の左端を左クリックしてください。右クリックで中止";
inline constexpr const char* Scale_second_caption = "縮尺記号の右端を左クリックしてください。右クリックで中止";
inline constexpr const char* Scale_ask_caption = "縮尺の測定";
inline constexpr const char* Scale_ask_prompt = "縮尺記号の長さをメートルで入れてください（例：100、1km）。";
inline constexpr const char* Scale_length_error =
    "縮尺記号の長さは、0より大きく1000000以下のメートル数で入れてください（例：100）。";
inline constexpr const char* Scale_too_short_text =
    "縮尺記号の両端が近すぎます。縮尺記号の左端と右端をクリックしてください。";
inline constexpr const char* Scale_too_coarse_text =
    "この縮尺では徒歩の避難を計算できません（1画素が1000 mを超えます）。地図を拡大してから測ってください。";
inline constexpr const char* Scale_done_prefix = "縮尺を設定しました：";
inline constexpr const char* Scale_label_prefix = "縮尺：";
