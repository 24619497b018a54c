// The process-wide flags of the application shell and the small helpers that
// every subsystem calls to talk to the user or to the main window.
//
// Owns: Stop_request, Space_request, Scale_flag, Aerial_mode, Exe_folder.
// Called by: the platform layer at start (Shell_start) and every worker that
// reports an error (Msg_confirm, Fatal_error).
#pragma once
#include <atomic>
#include <filesystem>
#include <string>

#include "platform/paths.h"  // Fs_path, Path_join

extern std::atomic<int> Stop_request;   // 1 asks the running tool, flood or wave to stop
extern std::atomic<int> Space_request;  // 1 = Space was pressed in the main window
extern std::atomic<int> Scale_flag;     // map scale: 0 = 100 m, 1 = 200 m
extern std::atomic<int> Aerial_mode;    // 1 = Shift was held when the capture started
extern std::string Exe_folder;          // the program folder, UTF-8, no trailing separator

// What the main window does when it is created: the flags take their start
// values. The folder check and the control panel thread are the platform's.
void Shell_start();

// Yes/No box "[0] message" with caption "確認", owned by the main window.
// No ends the process with exit code 1. The message is shown as it is: it is
// never read as a format, so a path with a percent sign shows unchanged.
void Msg_confirm(const std::string& message);

// A fatal condition: box without owner, caption "error", OK only; exit code 1.
[[noreturn]] void Fatal_error(const std::string& text);

// A box without owner, caption "error", OK only, that the caller goes on after.
void Error_box(const std::string& text);

// Fits the main window at (0, 100) so that its client area is exactly
// map_w x map_h pixels, whatever the frame of this Windows looks like.
void Fit_main_window(int map_w, int map_h);

// The working sub-folder "tovi" of the program folder: made if missing and
// probed for writing. False when that fails; the caller then ends the program
// with Folder_error_text.
bool Prepare_working_folder(const std::string& exe_folder);

// Removes a file; a failure is ignored.
void File_delete(const std::string& path);


// Texts of the shell, used exactly as they stand.
inline constexpr const char* Main_title = "Tovi ﾙｰﾀ ver 1.00 26-3-07 ";
inline constexpr const char* Confirm_caption = "確認";
inline constexpr const char* Error_caption = "error";
inline constexpr const char* Folder_error_text = "ホルダーを作成出来ません。";
inline constexpr const char* Memory_error_text = "メモリーが確保出来ません、終了します。";
