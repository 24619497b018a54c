// Text in a real font: every Japanese text of the evacuation map and its
// page, drawn by stb_truetype from the bytes of a font file that the caller
// supplies (the batch command finds one through fontconfig, the program
// takes the UI font's bytes from the system), so one renderer serves the
// window, the printer and the files.
//
// Owns: the parsed font and the drawing of UTF-8 text into an Image.
// Called by: the evacuation map and page (route/evac_map.h), tovi-cli, tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "map/image.h"

struct Font_face;  // the parsed font; defined where stb_truetype is included

// A font ready to draw with; empty until Text_font_load succeeds.
struct Text_font {
    std::shared_ptr<const Font_face> face;
    bool ok() const { return face != nullptr; }
};

// Parses a TrueType or OpenType font, or a collection (TTC) of them, whose
// first face with Japanese glyphs is taken. "" on success, otherwise why the
// bytes cannot serve (not a font, or no face with Japanese glyphs).
std::string Text_font_load(Text_font& font, std::vector<uint8_t> bytes);

// The extent of a line of text at an em size of size_px pixels: its advance
// width and the font's ascent and descent (positive, below the baseline),
// all in whole pixels rounded outward.
struct Text_extent {
    int32_t width = 0;
    int32_t ascent = 0;
    int32_t descent = 0;
    int32_t height() const { return ascent + descent; }
};
Text_extent Text_measure(const Text_font& font, const std::string& utf8, double size_px);

// Draws one line of UTF-8 text with its box's top-left at (x, top), blended
// onto the picture in colour; returns the advance width. Parts outside the
// picture are dropped. Malformed UTF-8 draws as U+FFFD.
int32_t Text_draw(Image& img, const Text_font& font, int32_t x, int32_t top, const std::string& utf8,
                  double size_px, uint32_t colour);

// The code points of a UTF-8 text (malformed sequences as U+FFFD).
std::vector<char32_t> Utf8_decode(const std::string& utf8);
