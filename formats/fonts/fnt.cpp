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
// ends before its last glyph is refused with nothing written.
#include <array>
#include <cstdio>

#include "common/bytes.h"
#include "common/file.h"
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
    const uint8_t* pixels;
};

FntGlyphHead readHead(const uint8_t* h)
{
    FntGlyphHead g;
    g.width = toInt(h[0], h[1]);
    /* 2 bytes not read */
    g.height = toInt(h[4], h[5]);
    /* 2 bytes not read */
    g.metric1 = toSignedInt(toInt(h[8], h[9]), 2);
    g.metric2 = toSignedInt(toInt(h[12], h[13]), 2);
    g.metric3 = toSignedInt(toInt(h[16], h[17]), 2);
    g.code = toInt(h[20]);
    g.pixels = nullptr;  // set once the pixel block is known to be in the file
    return g;
}

}  // namespace

std::vector<uint8_t> packFntRows(const uint8_t* pixels, int32_t width, int32_t height)
{
    const size_t rowBytes = (size_t(width) + 1) / 2;
    const size_t stride = rowBytes + size_t(get_spaces(int32_t(rowBytes)));
    std::vector<uint8_t> rows(stride * size_t(height), 0);
    for (int32_t y = 0; y < height; y++) {
        const uint8_t* src = pixels + size_t(y) * size_t(width);
        uint8_t* dst = rows.data() + size_t(height - 1 - y) * stride;
        const size_t pairs = size_t(width) / 2;
        for (size_t i = 0; i < pairs; i++)
            dst[i] = uint8_t((src[2 * i] & 15) << 4 | (src[2 * i + 1] & 15));
        if (width % 2)  // the last pixel alone, in the high four bits
            dst[pairs] = uint8_t((src[width - 1] & 15) << 4);
    }
    return rows;
}

bool extract_FNT(const std::string& path)
{
    std::vector<uint8_t> file;
    if (!readWholeFile(path, file, 2) || file[0] != 0x10 || file[1] != 0x00)
        return false;

    std::vector<FntGlyphHead> glyphs;
    Cursor in{file.data(), file.size(), 2};
    for (int i = 0; i < kGlyphCount; i++) {
        const uint8_t* head;
        if (!take(in, kHeadSize, head))
            return false;
        FntGlyphHead g = readHead(head);
        if (!take(in, size_t(g.width) * size_t(g.height), g.pixels) || int64_t(g.width) * g.height > kMaxImageSize)
            return false;  // a 4-bit image takes at most as many bytes as its pixels
        glyphs.push_back(g);
    }

    std::string dir = createDir(path);
    File info = openFile(createFile("INFO.TXT", dir), "wb");
    if (!info)
        return false;
    for (const FntGlyphHead& g : glyphs) {
        std::fprintf(info.get(), "%d\t%d\t%d\t%d%c%c", g.metric1, g.metric2, g.metric3, g.code, 13, 10);
        std::vector<uint8_t> rows = packFntRows(g.pixels, g.width, g.height);
        BmpHeader header = getBmpHeader16(g.width, g.height, int32_t(rows.size()));
        if (!writeBmpFile(createBitmap(glyphImageName(g.code), dir), header, fntPalette.data(), fntPalette.size(),
                          rows.data(), rows.size()))
            return false;
    }
    return true;
}
