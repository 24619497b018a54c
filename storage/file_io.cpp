#include "storage/file_io.h"

#include <fstream>
#include <system_error>

bool File_replace(const std::string& path, const void* data, size_t size) {
    const std::filesystem::path target = Fs_path(path);
    std::filesystem::path temp = target;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        if (size) out.write(static_cast<const char*>(data), std::streamsize(size));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return false;
    }
    return true;
}

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
