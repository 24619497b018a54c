// Rules of the desktop that the Win32 layer applies, as plain functions so
// that they are tested natively: which physical button is the user's logical
// one, which dialog font the system has, the panel's dialog template with
// that font, and the name that keeps one Tovi per working folder.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The physical button behind a logical one (Vk_lbutton, Vk_rbutton): with
// swapped buttons (a left-handed mouse) the right drag is made with the
// physical left button. Other keys are themselves.
int Physical_key(int vk, bool buttons_swapped);

// The dialogs' font: the first of the Japanese UI fonts of Windows 10/11 that
// the system has, else the font the dialogs were laid out with. Names are
// compared as Windows compares face names (ASCII letters in any case).
inline constexpr const char* Dialog_font_choices[] = {"Yu Gothic UI", "Meiryo UI"};
std::string Dialog_font_choose(const std::vector<std::string>& installed, const std::string& laid_out_with);

// An extended dialog template (DLGTEMPLATEEX, as a resource holds it) with
// its font's face name replaced, the items moved to stay on 4-byte
// boundaries. Empty when the bytes are no such template or carry no font.
std::vector<uint8_t> Dialog_template_with_font(const uint8_t* data, size_t size, const std::u16string& face);

// The name of the object that at most one running Tovi per working folder
// holds: the same for every spelling of the folder Windows takes as the
// same (letter case, a trailing separator, / or \).
std::string Instance_name(const std::string& working_folder);
