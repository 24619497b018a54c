// The fade and the PNG file.
#include "route/render.h"


#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

void Png_sink(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

uint32_t Travel_faded(uint32_t colour) {
    const uint32_t r = Red_of(colour), g = Green_of(colour), b = Blue_of(colour);
    const uint32_t grey = (r * 299 + g * 587 + b * 114) / 1000;
    // Half way to grey, then a little more than half way to white.
    auto fade = [&](uint32_t c) { return 255 - (255 - (c + grey) / 2) * 9 / 20; };
    return Rgb(fade(r), fade(g), fade(b));
}

std::vector<uint8_t> Png_bytes(const Image& picture) {
    std::vector<uint8_t> png;
    if (picture.empty()) return png;
    std::vector<uint8_t> rgb(size_t(picture.w) * size_t(picture.h) * 3);
    for (size_t i = 0; i < picture.px.size(); ++i) {
        rgb[i * 3] = uint8_t(Red_of(picture.px[i]));
        rgb[i * 3 + 1] = uint8_t(Green_of(picture.px[i]));
        rgb[i * 3 + 2] = uint8_t(Blue_of(picture.px[i]));
    }
    if (!stbi_write_png_to_func(Png_sink, &png, picture.w, picture.h, 3, rgb.data(), picture.w * 3)) png.clear();
    return png;
}

