// mapview: shows a picture file (PNG or BMP) pixel for pixel in a borderless
// window whose top-left pixel stands at a given screen point. It plays the part
// of the web map in the demo and the end-to-end tests; it is a Windows program
// so that the mouse buttons pressed over it are seen by Tovi under Wine too.
//
//   mapview FILE X Y [CAPTION]
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#include <stb_image.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Width = 0, Height = 0;
std::vector<uint32_t> Pixels;  // blue-green-red words, top row first

LRESULT CALLBACK View_proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = Width;
        bi.bmiHeader.biHeight = -Height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, DWORD(Width), DWORD(Height), 0, 0, 0, UINT(Height), Pixels.data(), &bi,
                          DIB_RGB_COLORS);
        EndPaint(wnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(wnd, msg, wparam, lparam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 4) {
        MessageBoxW(nullptr, L"usage: mapview FILE X Y [CAPTION]", L"mapview", MB_OK);
        return 2;
    }
    FILE* f = _wfopen(argv[1], L"rb");
    int channels = 0;
    unsigned char* data = f ? stbi_load_from_file(f, &Width, &Height, &channels, 4) : nullptr;
    if (f) fclose(f);
    if (!data) {
        MessageBoxW(nullptr, L"cannot read the picture", L"mapview", MB_OK);
        return 1;
    }
    Pixels.resize(size_t(Width) * size_t(Height));
    for (size_t i = 0; i < Pixels.size(); ++i)
        Pixels[i] = uint32_t(data[i * 4 + 2]) | uint32_t(data[i * 4 + 1]) << 8 | uint32_t(data[i * 4]) << 16;
    stbi_image_free(data);

    WNDCLASSW wc{};
    wc.lpfnWndProc = View_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"ToviMapView";
    RegisterClassW(&wc);
    const wchar_t* caption = argc >= 5 ? argv[4] : L"mapview";
    CreateWindowExW(0, wc.lpszClassName, caption, WS_POPUP | WS_VISIBLE, _wtoi(argv[2]), _wtoi(argv[3]), Width,
                    Height, nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
