#include "platform/file_read.h"

#include <fstream>
#include <system_error>

#include "platform/paths.h"

bool File_read_whole(const std::string& path, std::vector<uint8_t>& out, size_t max_bytes) {
    std::ifstream in(Fs_path(path), std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0 || uint64_t(length) > max_bytes) return false;
    in.seekg(0, std::ios::beg);
    out.resize(size_t(length));
    if (length > 0 && !in.read(reinterpret_cast<char*>(out.data()), length)) return false;
    return true;
}

bool File_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(Fs_path(path), ec);
}

void File_delete(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(Fs_path(path), ec);
}
