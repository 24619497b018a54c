#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

static Platform* Current_platform = nullptr;

Platform& Plat() {
    if (!Current_platform) {
        std::fputs("no platform installed\n", stderr);
        std::abort();
    }
    return *Current_platform;
}

void Plat_install(Platform* p) { Current_platform = p; }

void Exit_now(int code) {
    Plat().Exit_process(code);
    std::abort();  // not reached: the platform never returns from Exit_process
}
