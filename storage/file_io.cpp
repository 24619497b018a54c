#include "storage/file_io.h"

#include "map/map_pictures.h"
#include "route/render.h"
#include "storage/folder_writer.h"

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

bool Bmp_write(const Image& picture, const std::string& path, int32_t left, int32_t top, int32_t right,
               int32_t bottom) {
    const std::vector<uint8_t> file = Bmp_bytes(picture, left, top, right, bottom);
    return !file.empty() && File_replace(path, file.data(), file.size());
}

bool Png_write(const Image& picture, const std::string& path) {
    const std::vector<uint8_t> png = Png_bytes(picture);
    return !png.empty() && File_replace(path, png.data(), png.size());
}
