// The shell's process-wide flags, the program folder, and the boxes through
// which every worker reports to the user. They sit at the bottom of the
// house so that the features may read the flags and report without knowing
// the shell: the shell sets them, the features honour them.
//
// Each record: what it holds; who writes it; what guards it.
#pragma once
#include <atomic>
#include <string>

// 1 asks the running capture, flood, wave, route display or evacuation tool
// to stop. Raised by the shell when the user cancels (Esc in a capture), by
// tests; cleared by the shell's start and by whoever honoured it. Atomic.
extern std::atomic<int> Stop_request;
// 1 = Space was pressed in the main window. Written by the main window's
// thread, cleared by the route display that takes it. Atomic.
extern std::atomic<int> Space_request;
// Map scale: 0 = 100 m, 1 = 200 m. Written by the panel's scale boxes and
// tovi-cli, read by the walking figures. Atomic.
extern std::atomic<int> Scale_flag;
// 1 = Shift was held when the capture started. Written by the panel before a
// capture, read by the capture. Atomic.
extern std::atomic<int> Aerial_mode;
// The working folder, UTF-8, no trailing separator, where the captured
// pictures and the working data set go: the program folder where Tovi may
// write there, else Tovi in the user's local application data (Program
// Files). Written once at start (or by tovi-cli) before any other thread
// runs; read-only afterwards.
extern std::string Exe_folder;

// Yes/No box "[0] message" with caption "確認", owned by the main window.
// No ends the process with exit code 1. The message is shown as it is: it is
// never read as a format, so a path with a percent sign shows unchanged.
void Msg_confirm(const std::string& message);

// A fatal condition: box without owner, caption "error", OK only; exit code 1.
[[noreturn]] void Fatal_error(const std::string& text);

// A box without owner, caption "error", OK only, that the caller goes on after.
void Error_box(const std::string& text);

inline constexpr const char* Confirm_caption = "確認";
inline constexpr const char* Error_caption = "error";
inline constexpr const char* Memory_error_text = "メモリーが確保出来ません、終了します。";
