#include "app/cli/cli_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

bool Cli_platform::Key_down(int) { return false; }
Point Cli_platform::Cursor_pos() { return {0, 0}; }
Point Cli_platform::Screen_to_client(Point p) { return p; }
bool Cli_platform::On_map(Point) { return false; }

void Cli_platform::Sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int64_t Cli_platform::Now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int Cli_platform::Message_box(const std::string& text, const std::string& caption, int style, int,
                              const std::atomic<bool>*) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return style == Box_yes_no ? Answer_yes : Answer_ok;
}

int Cli_platform::Ask_yes_no(const std::string&) {
    if (aerial.empty()) return 1;
    // The person switches the map to its aerial view, then answers YES.
    screen = std::move(aerial);
    aerial = Image();
    return 0;
}

void Cli_platform::Set_main_caption(const std::string&) {}
void Cli_platform::Set_panel_caption(const std::string&) {}
void Cli_platform::Set_control_text(int, const std::string&) {}
void Cli_platform::Enable_control(int, bool) {}
void Cli_platform::Check_control(int, bool) {}
bool Cli_platform::Pick_folder(int, bool, const std::string&, std::string&) { return false; }
void Cli_platform::Beep() {}
void Cli_platform::Fit_main_window(int w, int h) { fitted = {w, h}; }
void Cli_platform::Main_window_refresh() {}

bool Cli_platform::Screen_snapshot(Image& out, Point& origin) {
    if (screen.empty()) return false;
    // Handed over rather than copied: a batch capture takes each screen once.
    out = std::move(screen);
    screen = Image();
    origin = {0, 0};
    return true;
}

void Cli_platform::Exit_process(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(code);
}

void Cli_large_blocks_returned() {
#if defined(__GLIBC__)
    // Blocks of a megabyte or more each in a mapping of their own; a fixed
    // threshold no longer grows with the blocks freed.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}
