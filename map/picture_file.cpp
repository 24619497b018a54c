#include "map/picture_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/file_read.h"

namespace {

// The decoder takes its memory through these, so that no single block can
// outgrow what the checked size needs: a tiny picture whose data inflates to
// gigabytes fails at the budget instead of taking them.
thread_local size_t Decode_block_max = 0;
thread_local bool Decode_block_refused = false;
void* Decode_malloc(size_t n) {
    if (n > Decode_block_max) return Decode_block_refused = true, nullptr;
    return std::malloc(n);
}
void* Decode_realloc(void* p, size_t n) {
    if (n > Decode_block_max) return Decode_block_refused = true, nullptr;
    return std::realloc(p, n);
}

}  // namespace

#define STBI_MALLOC(n) Decode_malloc(n)
#define STBI_REALLOC(p, n) Decode_realloc(p, n)
#define STBI_FREE(p) std::free(p)
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

namespace {

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// What a header declares, read here rather than by the decoder, so that the
// decoder never takes memory for a size the file cannot back.
struct Declared {
    int64_t w = 0;
    int64_t h = 0;
    int64_t needed = 0;     // bytes the checked quantity comes to
    int64_t available = 0;  // what the file can give of it
    const char* what = "";  // the quantity, for the message
    const char* whence = "file";  // what it comes from
    int64_t whence_bytes = 0;
    int64_t block_max = 0;  // the largest block of memory the decode may take
};

std::string Size_text(int64_t w, int64_t h) { return std::to_string(w) + " x " + std::to_string(h); }

bool Is_png(const uint8_t* d, size_t n) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return n >= 8 && std::memcmp(d, signature, 8) == 0;
}

// The image header, the first chunk (after Apple's CgBI chunk, which the
// decoder also accepts). Its raw rows, one filter byte and the packed pixels
// each, are a lower bound on what the image data must inflate to. Every
// chunk up to the end marker must lie inside the file, so that the decoder
// never sizes a buffer by a length the file does not hold.
bool Png_declared(const uint8_t* d, size_t n, Declared& out, std::string& why) {
    size_t at = 8;
    if (n >= at + 8 && std::memcmp(d + at + 4, "CgBI", 4) == 0) at += 12 + size_t(Be32(d + at));
    if (at > n || n - at < 8 + 13 || std::memcmp(d + at + 4, "IHDR", 4) != 0 || Be32(d + at) != 13) {
        why = "damaged PNG: no image header";
        return false;
    }
    const uint8_t* ihdr = d + at + 8;
    out.w = Be32(ihdr);
    out.h = Be32(ihdr + 4);
    const int64_t depth = ihdr[8];
    int64_t channels;
    switch (ihdr[9]) {
    case 0: channels = 1; break;  // grey
    case 2: channels = 3; break;  // RGB
    case 3: channels = 1; break;  // palette
    case 4: channels = 2; break;  // grey and alpha
    case 6: channels = 4; break;  // RGBA
    default: why = "damaged PNG: unknown colour type " + std::to_string(ihdr[9]); return false;
    }
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) {
        why = "damaged PNG: bit depth " + std::to_string(depth);
        return false;
    }
    int64_t data_bytes = 0;
    for (at = 8; at <= n && n - at >= 8; at += 12 + size_t(Be32(d + at))) {
        const uint32_t length = Be32(d + at);
        const uint8_t* type = d + at + 4;
        if (length > n - at - 8) {
            why = "damaged PNG: a chunk of " + std::to_string(length) + " bytes runs past the end of the file";
            return false;
        }
        if (std::memcmp(type, "IDAT", 4) == 0) data_bytes += length;
        if (std::memcmp(type, "IEND", 4) == 0) break;
    }
    // Checked by the caller against the size limits before this is used;
    // below those limits the products fit easily.
    if (out.w <= Picture_side_max && out.h <= Picture_side_max) {
        out.needed = out.h * (1 + (out.w * channels * depth + 7) / 8);
        // The decoder's largest blocks: the inflated rows (its own estimate,
        // doubled when an interlaced picture outgrows it) and 16-bit RGBA pixels.
        const int64_t estimate = out.h * (1 + (out.w * depth + 7) / 8 * channels);
        out.block_max = 2 * estimate + out.w * out.h * 8 + (int64_t(1) << 20);
    }
    out.available = Png_inflate_ratio_max * data_bytes;
    out.what = "raw pixel rows";
    out.whence = "compressed image data";
    out.whence_bytes = data_bytes;
    return true;
}

// The bitmap header: the rows of an uncompressed bitmap must lie in the file
// from the pixel data offset on (the last row's padding may be missing).
// Run-length rows have no such bound; the decoder refuses them anyway.
bool Bmp_declared(const uint8_t* d, size_t n, Declared& out, std::string& why) {
    if (n < 26) {
        why = "damaged BMP: header cut short";
        return false;
    }
    const int64_t offset = Le32(d + 10);
    const int64_t header = Le32(d + 14);
    int64_t bits, compression = 0;
    if (header == 12) {  // the old core header: 16-bit sizes, rows always bottom-up
        out.w = Le16(d + 18);
        out.h = Le16(d + 20);
        bits = Le16(d + 24);
    } else {
        if (n < 54) {
            why = "damaged BMP: header cut short";
            return false;
        }
        out.w = int32_t(Le32(d + 18));
        out.h = int32_t(Le32(d + 22));  // negative: rows top-down
        if (out.h < 0) out.h = -out.h;  // in 64 bits, so the most negative height is just large
        bits = Le16(d + 28);
        compression = Le32(d + 30);
    }
    if (offset < 14 + header) {
        why = "damaged BMP: pixel data offset " + std::to_string(offset) + " inside the header";
        return false;
    }
    out.what = "pixel rows";
    // Checked by the caller against the size limits before these are used.
    if (out.w <= 0 || out.h <= 0 || out.w > Picture_side_max || out.h > Picture_side_max) return true;
    out.block_max = out.w * out.h * 8 + (int64_t(1) << 20);  // RGBA pixels and a margin
    if (compression == 1 || compression == 2) return true;   // run-length: nothing to compare
    out.needed = offset + (out.w * bits + 31) / 32 * 4 * (out.h - 1) + (out.w * bits + 7) / 8;
    out.available = int64_t(n);
    out.whence_bytes = int64_t(n);
    return true;
}

}  // namespace

bool Picture_decode(const uint8_t* data, size_t size, Image& out, std::string& why) {
    if (size > size_t(INT32_MAX)) {
        why = "file too large";
        return false;
    }
    Declared declared;
    const bool png = Is_png(data, size);
    if (png) {
        if (!Png_declared(data, size, declared, why)) return false;
    } else if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        if (!Bmp_declared(data, size, declared, why)) return false;
    } else {
        why = "not a picture this reader understands (neither PNG nor BMP)";
        return false;
    }
    const int64_t w = declared.w, h = declared.h;
    if (w <= 0 || h <= 0) {
        why = "picture size " + Size_text(w, h) + " out of range";
        return false;
    }
    if (w > Picture_side_max || h > Picture_side_max || w * h > Picture_pixels_max) {
        why = "picture size " + Size_text(w, h) + " larger than the largest screen accepted (" +
              std::to_string(Picture_side_max) + " pixels a side, " + std::to_string(Picture_pixels_max) +
              " pixels in all)";
        return false;
    }
    if (declared.needed > declared.available) {
        why = std::string("damaged ") + (png ? "PNG" : "BMP") + ": a " + Size_text(w, h) + " picture needs " +
              std::to_string(declared.needed) + " bytes of " + declared.what + ", more than " +
              std::to_string(declared.whence_bytes) + " bytes of " + declared.whence + " can hold";
        return false;
    }

    const int length = int(size);
    int got_w = 0, got_h = 0, channels = 0;
    Decode_block_max = size_t(declared.block_max);
    Decode_block_refused = false;
    stbi_uc* rgb = stbi_load_from_memory(data, length, &got_w, &got_h, &channels, 3);
    Decode_block_max = 0;
    if (!rgb) {
        if (Decode_block_refused)
            why = std::string("damaged ") + (png ? "PNG" : "BMP") + ": its data comes to more than a " +
                  Size_text(w, h) + " picture holds";
        else
            why = std::string("cannot decode the picture (") + stbi_failure_reason() + ")";
        return false;
    }
    if (got_w != w || got_h != h) {  // the decoder read another header than the one checked
        stbi_image_free(rgb);
        why = "cannot decode the picture (its header is read two ways)";
        return false;
    }
    Image picture(got_w, got_h);
    const size_t n = size_t(got_w) * size_t(got_h);
    for (size_t i = 0; i < n; ++i) picture.px[i] = Rgb(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    stbi_image_free(rgb);
    out = std::move(picture);
    return true;
}

bool Picture_read(const std::string& path, Image& out, std::string& why) {
    std::vector<uint8_t> file;
    if (!File_read_whole(path, file, size_t(1) << 30)) {
        why = "cannot read the file";
        return false;
    }
    return Picture_decode(file.data(), file.size(), out, why);
}
