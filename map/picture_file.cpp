#include "map/picture_file.h"

#include <cstdint>
#include <vector>

#include "storage/file_io.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include "stb_image.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

bool Picture_read(const std::string& path, Image& out, std::string& why) {
    std::vector<uint8_t> file;
    if (!File_read_whole(path, file, size_t(1) << 30)) {
        why = "cannot read the file";
        return false;
    }
    if (file.size() > size_t(INT32_MAX)) {
        why = "file too large";
        return false;
    }
    const int length = int(file.size());
    int w = 0, h = 0, channels = 0;
    // The size first, so that no pixel memory is taken for an absurd picture.
    if (!stbi_info_from_memory(file.data(), length, &w, &h, &channels)) {
        why = std::string("not a picture this reader understands (") + stbi_failure_reason() + ")";
        return false;
    }
    if (w <= 0 || h <= 0 || w > Picture_side_max || h > Picture_side_max) {
        why = "picture size " + std::to_string(w) + " x " + std::to_string(h) + " out of range";
        return false;
    }
    stbi_uc* rgb = stbi_load_from_memory(file.data(), length, &w, &h, &channels, 3);
    if (!rgb) {
        why = std::string("cannot decode the picture (") + stbi_failure_reason() + ")";
        return false;
    }
    Image picture(w, h);
    const size_t n = size_t(w) * size_t(h);
    for (size_t i = 0; i < n; ++i) picture.px[i] = Rgb(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    stbi_image_free(rgb);
    out = std::move(picture);
    return true;
}
