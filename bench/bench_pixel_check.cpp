// Classifying every pixel of a 1600 x 1200 picture, as the flood and the
// route wave do many times over: a real rendered street map, a synthetic mix
// of map colours scattered at random (no two neighbours alike, so nothing is
// predictable), and the worst case of 1,920,000 distinct colours. The
// "first" runs are a single pass over a picture no earlier pass has seen.
//
// The street map is read from TOVI_MAPS (default: the repository's resources/maps); without
// it those runs are skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <unordered_set>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "map/pixel_check.h"

namespace {

constexpr int32_t W = 1600, H = 1200;

// Mostly white roads and light greys, the exact map colours, a small palette
// of area colours with their anti-aliased edges, and a few stray colours.
Image Map_like() {
    Image img(W, H);
    std::mt19937 rng(7);
    std::vector<uint32_t> palette;
    for (int i = 0; i < 200; ++i) palette.push_back(rng() & 0xFFFFFF);
    const uint32_t exact[] = {Rgb(242, 239, 233), Rgb(232, 214, 180), Rgb(151, 151, 151), Rgb(244, 209, 102),
                              Rgb(255, 247, 165), Rgb(254, 107, 95),  Rgb(170, 211, 223)};
    for (uint32_t& c : img.px) {
        const uint32_t pick = rng() % 100;
        if (pick < 50) c = Colour_white;
        else if (pick < 65) { const uint32_t g = 200 + rng() % 56; c = Rgb(g, g, g); }
        else if (pick < 85) c = exact[rng() % 7];
        else if (pick < 97) c = palette[rng() % palette.size()];
        else c = rng() & 0xFFFFFF;
    }
    return img;
}

// Every pixel a different colour: an odd multiplier permutes the 24-bit space.
Image All_distinct() {
    Image img(W, H);
    for (size_t i = 0; i < img.px.size(); ++i) img.px[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    return img;
}

Image Street_map() {
    const char* folder = std::getenv("TOVI_MAPS");
    const std::string path = std::string(folder ? folder : TOVI_SOURCE_DIR "/resources/maps") + "/kyoto-1600x1200.png";
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &n, 3);
    if (!data) return Image();
    Image img(w, h);
    for (size_t i = 0; i < img.px.size(); ++i) img.px[i] = Rgb(data[i * 3], data[i * 3 + 1], data[i * 3 + 2]);
    stbi_image_free(data);
    return img;
}

Image Make(int which) { return which == 0 ? Street_map() : which == 1 ? Map_like() : All_distinct(); }

const char* Name(int which) { return which == 0 ? "street map" : which == 1 ? "scattered map colours" : "all distinct"; }

const Image& Picture(int which) {
    static const Image pictures[3] = {Make(0), Make(1), Make(2)};
    return pictures[which];
}

std::string Label(int which, const Image& img) {
    std::unordered_set<uint32_t> colours(img.px.begin(), img.px.end());
    return std::string(Name(which)) + ", " + std::to_string(colours.size()) + " colours";
}

void Code_pass(benchmark::State& state) {
    const Image& img = Picture(int(state.range(0)));
    if (img.empty()) return state.SkipWithError("no street map");
    for (auto _ : state) {
        uint32_t roads = 0;
        for (uint32_t c : img.px) roads += Pixel_code(c) & Code_road;
        benchmark::DoNotOptimize(roads);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(img.px.size()));
    state.SetLabel(Label(int(state.range(0)), img));
}

// Through Pixel_check, with its bounds check and side results, as the tools call it.
void Check_pass(benchmark::State& state) {
    const Image& img = Picture(int(state.range(0)));
    if (img.empty()) return state.SkipWithError("no street map");
    for (auto _ : state) {
        uint32_t roads = 0;
        for (int32_t y = 0; y < img.h; ++y)
            for (int32_t x = 0; x < img.w; ++x) roads += uint32_t(Pixel_check(img, x, y));
        benchmark::DoNotOptimize(roads);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(img.px.size()));
    state.SetLabel(Label(int(state.range(0)), img));
}

// One pass over a freshly made picture: nothing of it is in any cache yet.
void First_pass(benchmark::State& state) {
    Image img;
    for (auto _ : state) {
        state.PauseTiming();
        img = Make(int(state.range(0)));
        state.ResumeTiming();
        uint32_t roads = 0;
        for (int32_t y = 0; y < img.h; ++y)
            for (int32_t x = 0; x < img.w; ++x) roads += uint32_t(Pixel_check(img, x, y));
        benchmark::DoNotOptimize(roads);
    }
    if (img.empty()) return state.SkipWithError("no street map");
    state.SetLabel(Name(int(state.range(0))));
}

}  // namespace

BENCHMARK(First_pass)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Code_pass)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(Check_pass)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
