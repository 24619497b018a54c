// The evacuation map's share of Win32: the UI font's bytes for the map's
// texts, the choices dialog (dialog 120), the save dialog for "画像保存" and
// the printer for "印刷". What is drawn and kept is decided in
// app/evac_view.cpp; this file only asks the system.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/evac_view.h"
#include "platform/desktop.h"
#include "platform/win32/win_app.h"
#include "platform/win32/win_text.h"
#include "resources/resource_ids.h"
#include "route/text_render.h"

namespace {

// The bytes of the font file behind a face: the whole collection when the
// face is one of a TTC (stb_truetype picks the face with Japanese glyphs).
std::vector<uint8_t> Face_bytes(const std::string& face) {
    std::vector<uint8_t> out;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return out;
    LOGFONTW lf{};
    lf.lfHeight = -16;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    const std::wstring w = Wide(face);
    lstrcpynW(lf.lfFaceName, w.c_str(), LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    if (font) {
        constexpr DWORD Ttcf = 0x66637474;  // "ttcf": the whole collection
        for (DWORD table : {Ttcf, DWORD(0)}) {
            const DWORD n = GetFontData(dc, table, 0, nullptr, 0);
            if (n == GDI_ERROR || n == 0) continue;
            out.resize(n);
            if (GetFontData(dc, table, 0, out.data(), n) == n) break;
            out.clear();
        }
        SelectObject(dc, old);
        DeleteObject(font);
    }
    DeleteDC(dc);
    return out;
}

// ---- The choices dialog (dialog 120) ----

HWND Choices_wnd = nullptr;
bool Filling = false;  // the dialog is being filled: its changes are not the user's
Evac_choices Opened_with;

std::string Item_text(HWND dlg, int id) {
    wchar_t buf[512] = {};
    GetDlgItemTextW(dlg, id, buf, 512);
    return Utf8(buf);
}

// The speed as the combo box shows it; after a choice in the list, the
// chosen item (the edit part still holds the text before).
std::string Speed_text(HWND dlg, bool chosen) {
    HWND combo = GetDlgItem(dlg, Rid_evac_speed);
    const LRESULT sel = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (chosen && sel != CB_ERR) {
        wchar_t buf[256] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(sel), 0) < 255) {
            SendMessageW(combo, CB_GETLBTEXT, WPARAM(sel), LPARAM(buf));
            return Utf8(buf);
        }
    }
    return Item_text(dlg, Rid_evac_speed);
}

int32_t Band_chosen(HWND dlg) {
    HWND combo = GetDlgItem(dlg, Rid_evac_band);
    const LRESULT sel = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR) return Evac_band_presets[0];
    return int32_t(SendMessageW(combo, CB_GETITEMDATA, WPARAM(sel), 0));
}

void Status(HWND dlg, const std::string& text) { SetDlgItemTextW(dlg, Rid_evac_status, Wide(text).c_str()); }

// A choice changed: read them all, and the map follows at once.
void Choices_changed(HWND dlg, bool speed_chosen) {
    Evac_choices c;
    std::string why = Evac_choices_parse(Speed_text(dlg, speed_chosen), Band_chosen(dlg), Item_text(dlg, Rid_evac_limit),
                                         Item_text(dlg, Rid_evac_title), Item_text(dlg, Rid_evac_source), c);
    if (why.empty()) why = Evac_apply(c);
    Status(dlg, why);
}

void Dialog_fill(HWND dlg, const Evac_choices& c) {
    Filling = true;
    HWND speed = GetDlgItem(dlg, Rid_evac_speed);
    for (const Evac_speed_preset& p : Evac_speed_presets)
        SendMessageW(speed, CB_ADDSTRING, 0, LPARAM(Wide(p.text).c_str()));
    SetDlgItemTextW(dlg, Rid_evac_speed, Wide(Evac_speed_text(c.speed)).c_str());
    HWND band = GetDlgItem(dlg, Rid_evac_band);
    std::vector<int32_t> bands(std::begin(Evac_band_presets), std::end(Evac_band_presets));
    if (std::find(bands.begin(), bands.end(), c.band_minutes) == bands.end()) bands.push_back(c.band_minutes);
    for (int32_t b : bands) {
        const LRESULT i = SendMessageW(band, CB_ADDSTRING, 0, LPARAM(Wide(Evac_band_text(b)).c_str()));
        SendMessageW(band, CB_SETITEMDATA, WPARAM(i), LPARAM(b));
        if (b == c.band_minutes) SendMessageW(band, CB_SETCURSEL, WPARAM(i), 0);
    }
    SetDlgItemTextW(dlg, Rid_evac_limit, c.limit_minutes > 0 ? Wide(std::to_string(c.limit_minutes)).c_str() : L"");
    SendDlgItemMessageW(dlg, Rid_evac_title, EM_LIMITTEXT, 60, 0);
    SendDlgItemMessageW(dlg, Rid_evac_source, EM_LIMITTEXT, 60, 0);
    SetDlgItemTextW(dlg, Rid_evac_title, Wide(c.title).c_str());
    SetDlgItemTextW(dlg, Rid_evac_source, Wide(c.source).c_str());
    Filling = false;
}

// At the top-right of the work area, clear of the panel and of the map.
void Dialog_place(HWND dlg) {
    RECT work{}, r{};
    HMONITOR mon = MonitorFromWindow(Panel_wnd.load(), MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (GetMonitorInfoW(mon, &mi)) work = mi.rcWork;
    else SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(dlg, &r);
    SetWindowPos(dlg, HWND_TOPMOST, work.right - (r.right - r.left), work.top, 0, 0, SWP_NOSIZE);
}

INT_PTR CALLBACK Choices_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        Choices_wnd = dlg;
        Dialog_fill(dlg, Opened_with);
        Dialog_place(dlg);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wparam), code = HIWORD(wparam);
        if (Filling) return FALSE;
        if (id == Rid_evac_speed && (code == CBN_SELCHANGE || code == CBN_EDITCHANGE)) {
            Choices_changed(dlg, code == CBN_SELCHANGE);
            return TRUE;
        }
        if (id == Rid_evac_band && code == CBN_SELCHANGE) {
            Choices_changed(dlg, false);
            return TRUE;
        }
        if ((id == Rid_evac_limit || id == Rid_evac_title || id == Rid_evac_source) && code == EN_CHANGE) {
            Choices_changed(dlg, false);
            return TRUE;
        }
        if (code != BN_CLICKED) return FALSE;
        if (id == Rid_evac_png) {
            Evac_image_save();
            return TRUE;
        }
        if (id == Rid_evac_print) {
            Evac_print();
            return TRUE;
        }
        if (id == Rid_evac_compare) {
            const bool shown = Evac_compare_command() == 0;
            Status(dlg, shown ? Evac_compare_shown_text : "");
            // The main window, fitted to the wider comparison, may now reach
            // under the dialog and have come to the front: the dialog above it.
            SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetForegroundWindow(dlg);
            return TRUE;
        }
        if (id == IDOK || id == IDCANCEL) {
            Choices_wnd = nullptr;
            EndDialog(dlg, id);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

// ---- Printing ----

// The printer chosen in the print dialog, until its page is printed or it is let go.
HDC Printer_dc = nullptr;

void Printer_drop() {
    if (Printer_dc) DeleteDC(Printer_dc);
    Printer_dc = nullptr;
}

bool Printer_choose(Page_setup& setup) {
    Printer_drop();
    PRINTDLGW pd{};
    pd.lStructSize = sizeof(pd);
    pd.hwndOwner = Choices_wnd ? Choices_wnd : Panel_wnd.load();
    pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE;
    pd.nCopies = 1;
    if (!PrintDlgW(&pd)) return false;  // cancelled, or no printer (the dialog said so)
    bool a3 = false;
    if (pd.hDevMode) {
        if (const DEVMODEW* dm = static_cast<const DEVMODEW*>(GlobalLock(pd.hDevMode))) {
            if ((dm->dmFields & DM_PAPERSIZE) && dm->dmPaperSize == DMPAPER_A3) a3 = true;
            GlobalUnlock(pd.hDevMode);
        }
        GlobalFree(pd.hDevMode);
    }
    if (pd.hDevNames) GlobalFree(pd.hDevNames);
    if (!pd.hDC) return false;
    Printer_dc = pd.hDC;
    setup.paper = a3 ? Paper::A3 : Paper::A4;
    setup.landscape = GetDeviceCaps(Printer_dc, PHYSICALWIDTH) > GetDeviceCaps(Printer_dc, PHYSICALHEIGHT);
    setup.dpi = std::clamp(GetDeviceCaps(Printer_dc, LOGPIXELSX), Page_dpi_min, Page_dpi_max);
    return true;
}

// The page stretched onto the sheet: where the page's own margins hold the
// printer's, page pixel (x, y) lands on sheet pixel (x, y); otherwise the
// page shrinks into the printable area, keeping its proportions.
std::string Printer_page(const Evac_page& pg) {
    HDC dc = Printer_dc;
    if (!dc) return "no printer chosen";
    const int area_w = GetDeviceCaps(dc, HORZRES), area_h = GetDeviceCaps(dc, VERTRES);
    const int off_x = GetDeviceCaps(dc, PHYSICALOFFSETX), off_y = GetDeviceCaps(dc, PHYSICALOFFSETY);
    double zoom = 1.0;
    if (pg.w > area_w + 2 * off_x || pg.h > area_h + 2 * off_y)
        zoom = std::min(double(area_w) / pg.w, double(area_h) / pg.h);
    const int w = int(pg.w * zoom), h = int(pg.h * zoom);
    const int x = zoom == 1.0 ? -off_x : (area_w - w) / 2, y = zoom == 1.0 ? -off_y : (area_h - h) / 2;
    std::vector<uint32_t> rows(pg.picture.px.size());
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = Swap_red_blue(pg.picture.px[i]);
    BITMAPINFO bi = Rows_info(pg.w, pg.h);
    DOCINFOW doc{};
    doc.cbSize = sizeof(doc);
    const std::wstring name = Wide(Evac_button_text);
    doc.lpszDocName = name.c_str();
    std::string why;
    if (StartDocW(dc, &doc) <= 0) {
        why = "StartDoc " + std::to_string(GetLastError());
    } else {
        bool ok = StartPage(dc) > 0;
        ok = ok && StretchDIBits(dc, x, y, w, h, 0, 0, pg.w, pg.h, rows.data(), &bi, DIB_RGB_COLORS, SRCCOPY) != 0 &&
             EndPage(dc) > 0;
        if (ok) ok = EndDoc(dc) > 0;
        else AbortDoc(dc);
        if (!ok) why = "the printer did not take the page (" + std::to_string(GetLastError()) + ")";
    }
    Printer_drop();
    return why;
}

struct Win32_evac_seam final : Evac_seam {
    std::string Font_load(Text_font& font) override {
        std::vector<std::string> faces(std::begin(Dialog_font_choices), std::end(Dialog_font_choices));
        for (const char* f : {"Yu Gothic", "Meiryo", "ＭＳ Ｐゴシック", "ＭＳ ゴシック", "MS UI Gothic", "IPAGothic",
                              "IPAPGothic", "Noto Sans CJK JP"})
            faces.push_back(f);
        std::string why = "no font with Japanese glyphs";
        for (const std::string& face : faces) {
            std::vector<uint8_t> bytes = Face_bytes(face);
            if (bytes.empty()) continue;
            why = Text_font_load(font, std::move(bytes));
            if (why.empty()) return "";
        }
        return why;
    }

    void Choices_dialog(const Evac_choices& now) override {
        Opened_with = now;
        Dialog_box(Rid_evac_dialog, Panel_wnd.load(), Choices_proc, 0);
        Choices_wnd = nullptr;
    }

    bool Save_path_pick(const std::string& suggested, std::string& out) override {
        std::wstring full = Wide(suggested);
        const size_t cut = full.find_last_of(L"\\/");
        const std::wstring folder = cut == std::wstring::npos ? L"" : full.substr(0, cut);
        std::vector<wchar_t> file(32768, L'\0');
        const std::wstring name = cut == std::wstring::npos ? full : full.substr(cut + 1);
        std::copy(name.begin(), name.end(), file.begin());
        static const std::wstring filter = Wide("PNG 画像 (*.png)") + L'\0' + L"*.png" + L'\0' + L'\0';
        static const std::wstring title = Wide("画像保存");
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof(ofn);
        ofn.hwndOwner = Choices_wnd ? Choices_wnd : Panel_wnd.load();
        ofn.lpstrFilter = filter.c_str();
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = DWORD(file.size());
        ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        ofn.lpstrTitle = title.c_str();
        ofn.lpstrDefExt = L"png";
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_HIDEREADONLY;
        if (!GetSaveFileNameW(&ofn)) return false;
        out = Utf8(file.data());
        return true;
    }

    bool Print_choose(Page_setup& setup) override { return Printer_choose(setup); }
    std::string Print_page(const Evac_page& page) override { return Printer_page(page); }
    void Print_drop() override { Printer_drop(); }
};

Win32_evac_seam The_seam;

// Installed before the program's entry runs; the core calls it only from
// the control panel.
struct Seam_installer {
    Seam_installer() { Evac_seam_install(&The_seam); }
} Installer;

}  // namespace
