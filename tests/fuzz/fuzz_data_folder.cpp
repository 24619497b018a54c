// Fuzz target: the checks a load runs on a data folder, and the picture
// reader, on mutated bytes.
//
// One input stands for one folder, cut down to what can be mutated usefully
// (whole 30 MB tables would only slow the fuzzer down):
//
//   2 bytes    n, little-endian: length of the base.dat part
//   n bytes    base.dat
//   2 bytes    k, little-endian: records in the table prefix (at most 4096)
//   16 k       the first k records of d1.dat
//   16 k       the first k records of d2.dat
//   k bytes    the first k bytes of d3.dat
//   the rest   tst.bmp
//
// A part cut short by the end of the input is as long as what is left. The
// record check runs over the prefix with the base's Road_rec_total when the
// base passed, so a total beyond the prefix is reported as a short table.
// Seeds: real saved folders cut down this way (tests/fuzz/run.sh).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "map/map_pictures.h"
#include "storage/data_folder.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    size_t left = size;

    size_t base_n = Take16(p, left);
    const uint8_t* base_bytes = Take(p, left, base_n);
    size_t k = Take16(p, left) % 4097;
    if (k * 33 > left) k = left / 33;
    size_t d1_n = k * 16, d2_n = k * 16, d3_n = k;
    const uint8_t* d1 = Take(p, left, d1_n);
    const uint8_t* d2 = Take(p, left, d2_n);
    const uint8_t* d3 = Take(p, left, d3_n);
    const uint8_t* bmp = p;
    const size_t bmp_n = left;

    Folder_problems problems;
    Base_record base{};
    Base_check(base_bytes, base_n, base, problems);
    const bool base_ok = problems.empty();
    if (base_ok) {
        // What the rest of the program relies on once a base has passed.
        Require(base.Road_rec_total >= 0 && base.Road_rec_total <= 1600 * 1200);
        Require(base.Evac_n >= 0 && base.Evac_n <= Evac_capacity);
        Require(base.Cong_n >= 0 && base.Cong_n <= Point_capacity);
        Require(base.Nopass_n >= 0 && base.Nopass_n <= Point_capacity);
        Require(base.Map_rect.right > base.Map_rect.left && base.Map_rect.bottom > base.Map_rect.top);
    }

    const size_t before = problems.size();
    Records_check(d1, d2, d3, int64_t(k), base_ok ? base.Road_rec_total : int32_t(k), problems);
    Require(problems.size() <= before + 1);

    Image picture;
    Picture_check(Map_picture_file, bmp, bmp_n, base_ok ? &base.Map_rect : nullptr, picture, problems);
    if (!picture.empty()) {
        Require(picture.px.size() == size_t(picture.w) * size_t(picture.h));
        if (base_ok)
            Require(picture.w == base.Map_rect.right - base.Map_rect.left &&
                    picture.h == base.Map_rect.bottom - base.Map_rect.top);
    }
    // The picture reader on its own, as the map pictures use it.
    Image direct;
    if (Bmp_decode(bmp, bmp_n, direct) == Bmp_ok) Require(direct.px.size() == size_t(direct.w) * size_t(direct.h));

    for (const Folder_problem& f : problems) Require(!f.text.empty() && !f.detail.empty());
    const std::string message = Load_refused_message("folder", problems);
    Require(!message.empty());
    return 0;
}
