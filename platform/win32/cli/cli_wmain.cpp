// tovi-cli's entry on Windows: the arguments arrive as wide text and reach the
// batch command as UTF-8, so folders and pictures with any name open.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "platform/win32/win_text.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
    // UTF-8 while the command prints; the console gets its own code page back.
    const UINT before = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    const int code = Cli_main(args);
    std::fflush(stdout);
    std::fflush(stderr);
    if (before != 0) SetConsoleOutputCP(before);
    return code;
}
