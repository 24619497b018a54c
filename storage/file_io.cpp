#include "storage/file_io.h"

#include "storage/folder_writer.h"

#include <fstream>
#include <system_error>

bool File_replace(const std::string& path, const void* data, size_t size) {
    // A set of one file: written aside, flushed, renamed over the old one.
    const std::filesystem::path p = Fs_path(path);
    const std::u8string folder = p.has_parent_path() ? p.parent_path().u8string() : std::u8string(u8".");
    const std::u8string name = p.filename().u8string();
    Write_failure ignored;
    return Folder_write(std::string(folder.begin(), folder.end()), {{std::string(name.begin(), name.end()), data, size}},
                        {}, ignored);
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
