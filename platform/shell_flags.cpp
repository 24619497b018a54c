#include "platform/shell_flags.h"

#include "platform/platform.h"

std::atomic<int> Stop_request{0};
std::atomic<int> Space_request{0};
std::atomic<int> Scale_flag{1};
std::atomic<int> Aerial_mode{0};
std::string Exe_folder;

void Msg_confirm(const std::string& message) {
    const std::string text = "[0] " + message;
    if (Plat().Message_box(text, Confirm_caption, Box_yes_no, Owner_main) == Answer_no) Exit_now(1);
}

void Fatal_error(const std::string& text) {
    Plat().Message_box(text, Error_caption, Box_ok, Owner_none);
    Exit_now(1);
}

void Error_box(const std::string& text) { Plat().Message_box(text, Error_caption, Box_ok, Owner_none); }
