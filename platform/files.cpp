#include "platform/files.h"

#include <atomic>

namespace {
std::atomic<Files*> Installed{nullptr};
}

Files& Fs() {
    Files* layer = Installed.load(std::memory_order_acquire);
    return layer ? *layer : System_files();
}

void Fs_install(Files* layer) { Installed.store(layer, std::memory_order_release); }
