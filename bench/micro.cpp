// Micro-benchmarks of the decoders' hot paths. Throughput is counted in
// output bytes: the image-plane bytes a decoder produces.
#include <benchmark/benchmark.h>

#include <random>

#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"
#include "pictures/palette.h"
#include "support/fixtures.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// One sprite row of the given mix, shared by every row of the picture: runs
// of 40 pixels, their kinds spread in the given percentages.
ByteList spriteRow(int literalPercent, int greyPercent)
{
    ByteList pixels(kWidth), mask(kWidth);
    std::mt19937 random(7);
    for (int x = 0; x < kWidth; x++) {
        pixels[size_t(x)] = uint8_t(random());
        int share = (x / 40) * 37 % 100;
        mask[size_t(x)] = share < literalPercent ? 255 : share < literalPercent + greyPercent ? 127 : 0;
    }
    return rleEncodeRow(pixels, mask);
}

void decodeRle(benchmark::State& state, int literalPercent, int greyPercent)
{
    ByteList row = spriteRow(literalPercent, greyPercent);
    std::vector<uint32_t> offsets(kHeight, 0);  // every row shares the codes
    Source runData = memorySource(row);
    SpritePlanes planes;
    for (auto _ : state) {
        decodeRleRows(runData, 0, runData.size, offsets, kWidth, kHeight, get_spaces(kWidth), planes);
        benchmark::DoNotOptimize(planes.imagePlane.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void RleLiteralHeavy(benchmark::State& state) { decodeRle(state, 100, 0); }
void RleTransparentHeavy(benchmark::State& state) { decodeRle(state, 0, 0); }
void RleMixed(benchmark::State& state) { decodeRle(state, 50, 20); }

void RlcRows(benchmark::State& state)
{
    ByteList pixels(kWidth), opaque(kWidth);
    for (int x = 0; x < kWidth; x++) {
        pixels[size_t(x)] = uint8_t(x * 7);
        opaque[size_t(x)] = (x / 50) % 3 != 0;
    }
    ByteList record = Bytes().u16(0).raw(rlcEncodeRow(pixels, opaque)).data;
    ByteList rows;
    for (int y = 0; y < kHeight; y++)
        rows.insert(rows.end(), record.begin(), record.end());
    Source source = memorySource(rows);
    std::vector<int64_t> records;
    findRlcRows("", source, 0, kWidth, kHeight, records);
    std::vector<uint8_t> image(kWidth), mask(kWidth);
    for (auto _ : state) {
        for (int64_t record : records)
            decodeRlcRow(source, record, kWidth, image.data(), mask.data());
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void FncRows(benchmark::State& state)
{
    const int w = 120, h = 120;
    ByteList pixels(w), mask(w);
    for (int x = 0; x < w; x++) {
        pixels[size_t(x)] = uint8_t(x);
        mask[size_t(x)] = x % 30 < 10 ? 0 : x % 30 < 14 ? 127 : 255;
    }
    std::vector<ByteList> rows(h, fncEncodeRow(pixels, mask));
    GlyphSetSpec layout;
    layout.fontHeight = h;
    layout.palette = ByteList(768, 1);
    layout.glyphs.push_back({65, w, h, 0, fncGlyphData(rows)});
    Source file = memorySource(glyphSetFile(layout));
    GlyphSet set;
    readGlyphSet("", "FNC", file, set);
    SpritePlanes planes;
    Stretches empty;
    for (auto _ : state) {
        decodeFncGlyph(file, set.glyphs[0], empty, planes);
        benchmark::DoNotOptimize(planes.imagePlane.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h);
}

void FntPacking(benchmark::State& state)
{
    const int w = 255, h = 255;  // odd: the last pixel of a row stands alone
    ByteList pixels(size_t(w * h));
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = uint8_t(i * 13);
    std::vector<uint8_t> row(128);
    for (auto _ : state) {
        for (int y = 0; y < h; y++) {
            packFntRow(pixels.data() + y * w, w, row.data());
            benchmark::DoNotOptimize(row.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 128 * h);
}

void Pal2to3(benchmark::State& state)
{
    ByteList palette = rampPalette565();
    for (auto _ : state) {
        ColourTable table = pal2to3(palette.data());
        benchmark::DoNotOptimize(table.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 1024);
}

}  // namespace

BENCHMARK(RleLiteralHeavy);
BENCHMARK(RleTransparentHeavy);
BENCHMARK(RleMixed);
BENCHMARK(RlcRows);
BENCHMARK(FncRows);
BENCHMARK(FntPacking);
BENCHMARK(Pal2to3);
BENCHMARK_MAIN();
