// holdfile: a small Windows console helper for the end-to-end tests. It keeps
// a file open without sharing, as another program that holds a file would, so
// that every other open, rename or removal of it fails with a sharing
// violation until the helper ends.
//
//   holdfile PATH [SECONDS]   hold PATH until killed, or for SECONDS
//
// Prints "held PATH" once the file is open (exit 0 when the time is up), or
// the system's reason and exits 1 when the file cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: holdfile PATH [SECONDS]\n", stderr);
        return 2;
    }
    // Share mode 0: no other handle to the file may be opened meanwhile.
    HANDLE h = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "holdfile: cannot open %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::printf("held %ls\n", argv[1]);
    std::fflush(stdout);
    const long seconds = argc >= 3 ? std::wcstol(argv[2], nullptr, 10) : 0;
    Sleep(seconds > 0 ? DWORD(seconds) * 1000 : INFINITE);
    CloseHandle(h);
    return 0;
}
