// FNT font: 224 glyphs of 16 shades, white (0) to black (15).
//
//   0   1   0x10
//   1   1   0x00
//   2   ... 224 entries back to back, each a 24-byte head and its pixels:
//           width (0), height (4), metric1 (8), metric2 (12), metric3 (16):
//           16 bits each, the metrics signed; code (20): 8 bits;
//           then width * height pixel bytes, top row first, low four bits used
//
// Every entry is located before the output directory is made: a font that
// ends before its last glyph is refused with nothing written. Glyph rows are
// read and written one at a time.
#include <array>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/fonts/fonts.h"
#include "output/bmp.h"
#include "output/names.h"

namespace {

constexpr int kGlyphCount = 224;
constexpr size_t kHeadSize = 24;

// The fixed 16-shade colour table: blue, green, red, 0.
constexpr std::array<uint8_t, 64> fntPalette = {
    255, 255, 255, 0, 140, 182, 181, 0, 132, 170, 165, 0, 123, 158, 156, 0,
    115, 146, 140, 0, 99,  130, 132, 0, 90,  117, 115, 0, 82,  105, 99,  0,
    66,  89,  90,  0, 57,  77,  74,  0, 49,  65,  66,  0, 41,  52,  49,  0,
    24,  36,  33,  0, 16,  24,  24,  0, 8,   12,  8,   0, 0,   0,   0,   0,
};

struct FntGlyphHead {
    int32_t width, height;
    int32_t metric1, metric2, metric3;
    int32_t code;
    int64_t pixelsAt;
};

FntGlyphHead readHead(const uint8_t* h, int64_t at)
{
    FntGlyphHead g;
    g.width = toInt(h[0], h[1]);
    /* 2 bytes not read */
    g.height = toInt(h[4], h[5]);
    /* 2 bytes not read */
    g.metric1 = toSignedInt(toInt(h[8], h[9]), 2);
    /* 2 bytes not read */
    g.metric2 = toSignedInt(toInt(h[12], h[13]), 2);
    /* 2 bytes not read */
    g.metric3 = toSignedInt(toInt(h[16], h[17]), 2);
    /* 2 bytes not read */
    g.code = toInt(h[20]);
    /* 3 bytes not read */
    g.pixelsAt = at + int64_t(kHeadSize);
    return g;
}

// Bytes of a 4-bit row: two pixels a byte, padded to a multiple of four.
size_t fntStride(int32_t width)
{
    return rowStride(int32_t((int64_t(width) + 1) / 2));
}

}  // namespace

void packFntRow(const uint8_t* src, int32_t width, uint8_t* row)
{
    const size_t pairs = size_t(width) / 2;
    for (size_t i = 0; i < pairs; i++)
        row[i] = uint8_t((src[2 * i] & 15) << 4 | (src[2 * i + 1] & 15));
    if (width % 2)  // the last pixel alone, in the high four bits
        row[pairs] = uint8_t((src[width - 1] & 15) << 4);
}

bool extract_FNT(const std::string& path)
{
    Source in;
    if (!openInput(path, in))
        return false;
    const uint8_t* magic = view(in, 0, 2);
    if (!magic)
        return in.readError ? endsBefore(path, in, "its first two bytes")
                            : refuse(path, "too short for an FNT font: %lld bytes", (long long)in.size);
    if (magic[0] != 0x10 || magic[1] != 0x00)
        return refuse(path, "not an FNT font: it does not start with the bytes 10 00");

    std::vector<FntGlyphHead> glyphs;
    int64_t pos = 2;
    for (int i = 0; i < kGlyphCount; i++) {
        const uint8_t* head = view(in, pos, kHeadSize);
        if (!head)
            return endsBefore(path, in, "the head of glyph %d of %d", i, kGlyphCount);
        FntGlyphHead g = readHead(head, pos);
        const uint64_t pixels = uint64_t(g.width) * uint64_t(g.height);
        if (!holds(in, g.pixelsAt, pixels))
            return endsBefore(path, in, "the %d x %d pixels of glyph %d (code %d)", g.width, g.height, i, g.code);
        if (int64_t(fntStride(g.width)) * g.height > kMaxImageSize)
            return refuse(path, "glyph %d (code %d), %d x %d, is too large for a BMP file", i, g.code, g.width,
                          g.height);
        glyphs.push_back(g);
        pos = g.pixelsAt + int64_t(pixels);
    }

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    OutputFile info;
    openOutput(info, createFile("INFO.TXT", dir));
    bool whole = true;
    for (const FntGlyphHead& g : glyphs) {
        printOutput(info, "%d\t%d\t%d\t%d%c%c", g.metric1, g.metric2, g.metric3, g.code, 13, 10);
        const size_t stride = fntStride(g.width);
        BmpHeader header = getBmpHeader16(g.width, g.height, int32_t(stride * size_t(g.height)));
        whole = writeImage(createBitmap(glyphImageName(g.code), dir), header, fntPalette.data(), fntPalette.size(),
                           stride, g.height,
                           [&](int32_t r, uint8_t* row) {
                               const int32_t source = g.height - 1 - r;  // bottom row first
                               const uint8_t* src = view(in, g.pixelsAt + int64_t(source) * g.width, size_t(g.width));
                               if (!src)
                                   return endsBefore(path, in, "glyph %d's row %d: the file changed while it was read",
                                                     g.code, source);
                               packFntRow(src, g.width, row);
                               return true;
                           }) &&
                whole;
    }
    return placeOutputs({&info}) && whole;
}
