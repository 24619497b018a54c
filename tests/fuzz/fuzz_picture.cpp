// Fuzz target: the capture's screen picture reader (the PNG or BMP given to
// tovi-cli capture) on arbitrary bytes, and the capture's flood on whatever
// it decodes.
//
// The input is the picture file itself. A picture that decodes is cut to the
// screen region the flood reads (at most 1600 x 1200 from the top left, as
// the capture's screen copy cuts it) and flooded from its centre, so that odd
// pictures (one pixel wide, all road, no road, any colours) reach the flood.
// Seeds: the sample maps cut small, as PNG and BMP, and a few small bitmaps
// of other layouts (tests/fuzz/run.sh).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "map/flood.h"
#include "map/grid.h"
#include "map/map_pictures.h"
#include "map/picture_file.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Image picture(2, 2, 42);
    std::string why;
    if (!Picture_decode(data, size, picture, why)) {
        Require(!why.empty());
        Require(picture.w == 2 && picture.h == 2 && picture.px.size() == 4 && picture.px[0] == 42);  // untouched
        return 0;
    }
    Require(picture.w > 0 && picture.h > 0 && picture.w <= Picture_side_max && picture.h <= Picture_side_max);
    Require(int64_t(picture.w) * picture.h <= Picture_pixels_max);
    Require(picture.px.size() == size_t(picture.w) * size_t(picture.h));

    // A bitmap in the map pictures' own layout reads the same through both readers.
    Image direct;
    if (Bmp_decode(data, size, direct) == Bmp_ok && Le32(data + 10) == 54 && Le32(data + 14) == 40)
        Require(direct.w == picture.w && direct.h == picture.h && direct.px == picture.px);

    // The capture's screen copy: the region from the top left the grid holds.
    const int32_t w = std::min(picture.w, Grid_w_fixed), h = std::min(picture.h, Grid_h_fixed);
    Image surface(w, h);
    for (int32_t y = 0; y < h; ++y)
        std::copy_n(&picture.px[size_t(y) * size_t(picture.w)], size_t(w), &surface.px[size_t(y) * size_t(w)]);
    const Flood_result r = Flood_fill(surface, w / 2, h / 2);
    Require(r.records >= 1 && r.records <= Grid_cells);
    Require(r.obstacles >= 0);
    if (r.box.right >= r.box.left) {  // some record was processed: the box lies inside the surface
        Require(r.box.left >= 0 && r.box.top >= 0 && r.box.right < w && r.box.bottom < h);
    }
    Require(surface.w == w && surface.h == h && surface.px.size() == size_t(w) * size_t(h));
    return 0;
}
