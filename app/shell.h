// The application shell's start and its small helpers for the main window.
// The flags it sets and the boxes every worker reports through are in
// platform/shell_flags.h, below every feature.
//
// Owns: the start values of the flags (Shell_start), the listeners through
// which the features tell the shell what happened. Called by: the platform
// layer at start, tovi-cli, tests.
#pragma once
#include <atomic>
#include <filesystem>
#include <string>

#include "platform/file_read.h"    // File_delete
#include "platform/paths.h"        // Fs_path, Path_join
#include "platform/shell_flags.h"  // the flags, the boxes

// What the main window does when it is created: the flags take their start
// values and the shell listens to the features. The folder check and the
// control panel thread are the platform's.
void Shell_start();
// The listening part of it alone: what the features tell the shell (a map
// captured, the markers changed, a load done, figures to show) reaches the panel.
void Shell_listen();

// Fits the main window at (0, 100) so that its client area is exactly
// map_w x map_h pixels, whatever the frame of this Windows looks like.
void Fit_main_window(int map_w, int map_h);

// The working sub-folder "tovi" of the program folder: made if missing and
// probed for writing. False when that fails; the caller then ends the program
// with Folder_error_text.
bool Prepare_working_folder(const std::string& exe_folder);

// The folder Tovi keeps its working files in (the captured pictures, the
// working data set, the sub-folder "tovi"): the program folder where Tovi may
// write there, otherwise "Tovi" in the user's local application data, made
// on first use (a program under Program Files). "" when neither works.
// prepare is Prepare_working_folder in the program.
std::string Working_folder_choose(const std::string& program_folder, const std::string& local_app_data,
                                  bool (*prepare)(const std::string& folder));
// The message when no folder works: Folder_error_text and the folders tried.
std::string Folder_error_message(const std::string& program_folder, const std::string& local_app_data);


// Texts of the shell, used exactly as they stand.
inline constexpr const char* Main_title = "Tovi ﾙｰﾀ ver 1.00 26-3-07 ";
inline constexpr const char* Folder_error_text = "ホルダーを作成出来ません。";
inline constexpr const char* Already_running_text =
    "Tovi はすでに起動しています。同じ作業フォルダで起動できる Tovi は一つだけです。起動中の Tovi をお使いください。";
// The help line at the start when the work is kept outside the program folder.
inline constexpr const char* Working_folder_line = " 作業フォルダ：";
