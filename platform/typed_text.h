// Text the user typed into a box, as the program reads it: a Japanese input
// method types full-width digits and blanks where a number is meant.
#pragma once
#include <string>

// Without leading and trailing blanks (ASCII blanks, tabs and the
// full-width blank U+3000).
std::string Typed_trim(const std::string& s);

// The full-width digits and point (U+FF10 to U+FF19, U+FF0E) as the
// half-width ones; every other character as it stands.
std::string Typed_half_width(const std::string& s);
