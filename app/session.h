// The program's run as the user sees it end to end: at start, an offer of the
// last work when the run before did not end regularly (a crash, a power cut),
// and at the end a question when there are changes that were not saved.
//
// The working folder (the program folder) holds the last capture, and the
// markers are kept there after every change (Markers_keep), so the last work
// survives a crash. A file "running" in the working sub-folder "tovi" says that
// a run has not ended regularly yet.
//
// Owns: the running file. Called by: the platform layer at start
// (Session_start, once the panel is up) and for every regular end of the
// program: "終了", the close box of the panel or of the main window.
#pragma once

// Offers the last work if the run before did not end regularly, then marks
// this run as running, and has the markers kept in the working folder.
void Session_start();

// A regular end asked for: with unsaved changes, asks whether to save them
// first (はい: save, then end; いいえ: end; キャンセル: go on). Returns only
// when the program goes on (cancelled, or the save did not happen).
void Quit_request(int owner);

inline constexpr const char* Session_running_file = "running";
inline constexpr const char* Quit_question = "保存されていない変更があります。終了する前に保存しますか？";
inline constexpr const char* Recover_question =
    "前回の Tovi は正しく終了しませんでした。最後に取り込んだ地図と設定を読み込みますか？";
