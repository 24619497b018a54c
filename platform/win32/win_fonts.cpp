// The dialogs' font on Win32: the dialogs are laid out with the Japanese
// font of older Windows, which an English or other Windows may lack (and then
// shows boxes instead of Japanese text); they are shown with the Japanese UI
// font this Windows has, chosen once.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/win32/win_app.h"
#include "platform/win32/win_text.h"

namespace {

// The font the resource script names for every dialog.
constexpr const char* Laid_out_font = "ＭＳ Ｐゴシック";

int CALLBACK Collect_face(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
    reinterpret_cast<std::vector<std::string>*>(param)->push_back(Utf8(font->lfFaceName));
    return 1;
}

// Asks for each choice by name, so that only families of that name are listed.
std::vector<std::string> Installed_choices() {
    std::vector<std::string> found;
    HDC dc = GetDC(nullptr);
    for (const char* name : Dialog_font_choices) {
        LOGFONTW want{};
        want.lfCharSet = DEFAULT_CHARSET;
        const std::wstring face = Wide(name);
        lstrcpynW(want.lfFaceName, face.c_str(), LF_FACESIZE);
        EnumFontFamiliesExW(dc, &want, Collect_face, LPARAM(&found), 0);
    }
    ReleaseDC(nullptr, dc);
    return found;
}

const std::string& Chosen_font() {
    static const std::string chosen = Dialog_font_choose(Installed_choices(), Laid_out_font);
    return chosen;
}

}  // namespace

INT_PTR Dialog_box(int id, HWND owner, DLGPROC proc, LPARAM param) {
    if (Chosen_font() != Laid_out_font) {
        HRSRC found = FindResourceW(App_instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
        HGLOBAL loaded = found ? LoadResource(App_instance, found) : nullptr;
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (bytes) {
            const std::wstring face = Wide(Chosen_font());
            const std::vector<uint8_t> patched = Dialog_template_with_font(
                static_cast<const uint8_t*>(bytes), SizeofResource(App_instance, found),
                std::u16string(face.begin(), face.end()));
            if (!patched.empty())
                return DialogBoxIndirectParamW(App_instance, reinterpret_cast<LPCDLGTEMPLATEW>(patched.data()), owner,
                                               proc, param);
        }
    }
    return DialogBoxParamW(App_instance, MAKEINTRESOURCEW(id), owner, proc, param);
}
