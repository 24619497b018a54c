#include "platform/typed_text.h"

#include <cstdint>

std::string Typed_trim(const std::string& s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    size_t a = 0, b = s.size();
    for (;;) {
        if (a < b && blank(s[a])) ++a;
        else if (b - a >= 3 && s.compare(a, 3, "\u3000") == 0) a += 3;
        else break;
    }
    for (;;) {
        if (b > a && blank(s[b - 1])) --b;
        else if (b - a >= 3 && s.compare(b - 3, 3, "\u3000") == 0) b -= 3;
        else break;
    }
    return s.substr(a, b - a);
}

std::string Typed_half_width(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        // U+FF10..U+FF19 are EF BC 90..99; U+FF0E is EF BC 8E.
        if (i + 2 < s.size() && uint8_t(s[i]) == 0xEF && uint8_t(s[i + 1]) == 0xBC) {
            const uint8_t c = uint8_t(s[i + 2]);
            if (c >= 0x90 && c <= 0x99) {
                out += char('0' + (c - 0x90));
                i += 3;
                continue;
            }
            if (c == 0x8E) {
                out += '.';
                i += 3;
                continue;
            }
        }
        out += s[i++];
    }
    return out;
}
