// Painting the marker sets into the map the main window shows, and telling
// whoever listens (the shell) when the sets have changed.
//
// Markers are painted into the pixels of Shown_map, in colours the classifier
// knows, because the route wave reads them back from there: the congestion
// colour costs 10 per step, the no-passage colour blocks, the evacuation
// colour proves a start. Painting is part of the data flow, not decoration.
//
// Locks: Markers_lock guards the sets, Shown_lock the shown map. No function
// here holds both at once, so callers may hold neither or either.
#pragma once
#include <cstddef>  // image.h uses size_t without including it
#include <cstdint>

#include "map/image.h"
#include "markers/base_data.h"

inline constexpr int32_t Marker_size = 13;
inline constexpr uint32_t Colour_place_mark = Rgb(255, 0, 255);  // magenta placement mark
inline constexpr const char* Evac_full_text = "既に非難は２ヶ所設定されてます。";

// The colour of a marker kind; 0 for an unknown kind.
uint32_t Marker_colour(int kind);

// Paints one marker as a size x size square centred on (x, y) into Shown_map,
// only on the pixels the classifier accepts, and asks the window to show it.
// An unknown kind paints nothing.
void Marker_draw(int32_t size, int32_t x, int32_t y, int kind);

// Paints every marker with size 13: evacuation places, then congestion
// points, then no-passage points, each set in index order.
void Markers_redraw();

// compare 0: copies Base_data into Base_snapshot. Otherwise: when the marker
// sets differ from the snapshot, calls the change listener (the shell marks
// the route out of date and keeps the markers). The snapshot is not updated,
// so a report stands.
void Markers_snapshot(int compare);

// Called after a change of the marker sets has been seen (by the marking
// tools' Markers_snapshot(1)), on the thread that changed them, without a
// lock held. The shell marks the route out of date with it (Route_stale(1))
// and keeps the markers in the working folder.
using Markers_listener = void (*)();
void Markers_on_change(Markers_listener listener);

// Adds an evacuation place at (x, y) (client pixels) and paints its 6 x 6
// magenta placement mark; with two places already set it only says so.
void Evac_place_add(int32_t x, int32_t y);

// 1 when two or more evacuation places are set, else 0.
int32_t Evac_full();

// What the main window's paint shows: Shown_map becomes a copy of Map_image
// with every marker painted as Markers_redraw paints them. Does not ask for a
// refresh, so the paint handler can call it.
void Map_compose();

// The painting itself, for a caller that already holds Shown_lock or paints a
// picture of its own: one marker, and all markers of the given sets.
void Marker_paint(Image& surface, int32_t size, int32_t x, int32_t y, int kind);
void Markers_paint(Image& surface, const Base_record& sets);
