#include "platform/desktop.h"

#include <cstring>

#include "platform/checksum.h"
#include "platform/platform.h"

int Physical_key(int vk, bool buttons_swapped) {
    if (!buttons_swapped) return vk;
    if (vk == Vk_lbutton) return Vk_rbutton;
    if (vk == Vk_rbutton) return Vk_lbutton;
    return vk;
}

namespace {

std::string Ascii_lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

uint16_t Word_at(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// Skips a string-or-ordinal field at offset at; false when it runs past the end.
bool Skip_sz_or_ord(const uint8_t* data, size_t size, size_t& at) {
    if (at + 2 > size) return false;
    const uint16_t first = Word_at(data + at);
    if (first == 0x0000) {
        at += 2;
        return true;
    }
    if (first == 0xFFFF) {
        at += 4;
        return at <= size;
    }
    while (at + 2 <= size) {
        const uint16_t c = Word_at(data + at);
        at += 2;
        if (c == 0) return true;
    }
    return false;
}

}  // namespace

std::string Dialog_font_choose(const std::vector<std::string>& installed, const std::string& laid_out_with) {
    for (const char* choice : Dialog_font_choices)
        for (const std::string& name : installed)
            if (Ascii_lower(name) == Ascii_lower(choice)) return choice;
    return laid_out_with;
}

std::vector<uint8_t> Dialog_template_with_font(const uint8_t* data, size_t size, const std::u16string& face) {
    // DLGTEMPLATEEX: dlgVer 1, signature 0xFFFF, helpID, exStyle, style,
    // cDlgItems, x, y, cx, cy (26 bytes), then menu, class and title, then
    // with DS_SETFONT (0x40) or DS_SHELLFONT: pointsize, weight, italic,
    // charset and the face name; the items follow on a 4-byte boundary.
    constexpr uint32_t Ds_setfont = 0x40;
    if (!data || size < 26 || Word_at(data) != 1 || Word_at(data + 2) != 0xFFFF || face.empty()) return {};
    uint32_t style;
    std::memcpy(&style, data + 12, 4);
    if (!(style & Ds_setfont)) return {};
    size_t at = 26;
    for (int field = 0; field < 3; ++field)
        if (!Skip_sz_or_ord(data, size, at)) return {};
    at += 6;  // pointsize, weight, italic, charset
    if (at > size) return {};
    const size_t face_at = at;
    if (!Skip_sz_or_ord(data, size, at)) return {};
    size_t items = (at + 3) & ~size_t(3);
    if (items > size) items = size;

    std::vector<uint8_t> out(data, data + face_at);
    for (char16_t c : face) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    while (out.size() % 4 != 0) out.push_back(0);
    out.insert(out.end(), data + items, data + size);
    return out;
}

std::string Instance_name(const std::string& working_folder) {
    std::string key = Ascii_lower(working_folder);
    for (char& c : key)
        if (c == '/') c = '\\';
    while (key.size() > 1 && key.back() == '\\') key.pop_back();
    static const char* digits = "0123456789abcdef";
    const uint64_t sum = Checksum(key.data(), key.size());
    std::string name = "Local\\Tovi-";
    for (int i = 15; i >= 0; --i) name += digits[(sum >> (4 * i)) & 0xF];
    return name;
}
