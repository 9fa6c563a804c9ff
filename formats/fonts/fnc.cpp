// FNC font: the glyph-set container with a 768-byte palette at D + 4, and
// each glyph's rows coded as runs.
//
//   glyph data at D + offset:
//     0   4      not read
//     4   4*h    row offsets, top row first, counted from R = 4 + 4*h
//     R + offset of row r: runs of row r
//   A run is a count byte n (signed), then for every kind but the first n
//   pixel bytes. The kinds cycle from the left edge of every row:
//     transparent (image 0, mask 0), grey (127), literal (255), grey (127)
//   and the row ends after the run that reaches the width.
//
// All glyphs (at most 255 of at most 127 x 127 pixels) are decoded before
// the output directory is made, so a damaged font is refused with nothing
// written.
#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/fonts/fonts.h"
#include "output/names.h"

bool decodeFncGlyph(Source& in, const GlyphRecord& g, Stretches& empty, SpritePlanes& planes)
{
    const size_t stride = rowStride(g.width);
    planes.imagePlane.assign(stride * size_t(g.height), 0);
    planes.maskPlane.assign(stride * size_t(g.height), 0);
    if (g.width == 0 || g.height == 0)
        return true;  // no row is read

    const uint8_t* table = view(in, g.dataAt + 4, 4 * size_t(g.height));
    if (!table)
        return false;
    const std::vector<uint8_t> rowTable(table, table + 4 * size_t(g.height));
    const int64_t runsBase = g.dataAt + 4 + 4 * int64_t(g.height);
    auto emptyRun = [&](int64_t p) -> int64_t {
        const uint8_t* n = view(in, p, 1);
        return n && n[0] == 0 ? 1 : 0;
    };
    static constexpr uint8_t kindMask[4] = {0, 127, 255, 127};
    for (int32_t r = 0; r < g.height; r++) {
        int64_t p = runsBase + uint32_t(toInt(rowTable.data(), 4 * size_t(r)));
        uint8_t* image = planes.imagePlane.data() + size_t(g.height - 1 - r) * stride;
        uint8_t* maskRow = planes.maskPlane.data() + size_t(g.height - 1 - r) * stride;
        int32_t x = 0;
        int kind = 0;
        while (x < g.width) {
            const uint8_t* at = view(in, p, 1);
            if (!at)
                return false;
            int32_t n = toSignedInt(at[0]);
            if (n < 0)
                return false;
            if (n == 0) {  // empty runs: one byte each, the kind moving on
                int64_t end = skipEmptyCodes(empty, p, emptyRun);
                kind = int((kind + (end - p)) % 4);
                p = end;
                continue;
            }
            p++;
            if (kind != 0) {
                const uint8_t* pixels = view(in, p, size_t(n));
                if (!pixels)
                    return false;
                size_t shown = size_t(std::min(n, g.width - x));
                std::memcpy(image + x, pixels, shown);
                std::memset(maskRow + x, kindMask[kind], shown);
                p += n;
            }
            x += n;
            kind = (kind + 1) % 4;
        }
    }
    return true;
}

bool extract_FNC(const std::string& path)
{
    Source in;
    GlyphSet set;
    if (!openInput(path, in) || !readGlyphSet(path, "FNC", in, set))
        return false;
    const int64_t paletteAt = set.dataBase + 4;
    ColourTable table{};
    if (!set.glyphs.empty()) {
        const uint8_t* palette = view(in, paletteAt, 768);
        if (!palette)
            return endsBefore(path, in, "the font's palette is complete");
        for (size_t i = 0; i < 256; i++)
            std::memcpy(&table[4 * i], palette + 3 * i, 3);  // stored as blue, green, red
    }
    Stretches empty;
    std::vector<SpritePlanes> planes(set.glyphs.size());
    for (size_t j = 0; j < set.glyphs.size(); j++)
        if (!decodeFncGlyph(in, set.glyphs[j], empty, planes[j]))
            return in.readError ? endsBefore(path, in, "glyph %zu is complete", j)
                                : refuse(path, "glyph %zu (code %d): its row table or runs lie outside the file, "
                                               "or a run count is negative",
                                         j, set.glyphs[j].code);

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    bool whole = writeGlyphSetInfo(set, dir);
    for (size_t j = 0; j < set.glyphs.size(); j++) {
        const GlyphRecord& g = set.glyphs[j];
        const std::string imagePath = createBitmap(glyphImageName(g.code), dir);
        whole = writeSpritePlanes(imagePath, createMask(glyphImageName(g.code), dir, imagePath),
                                  getBmpHeader(g.width, g.height, int32_t(planes[j].imagePlane.size())), table,
                                  g.width, g.height, planes[j]) &&
                whole;
    }
    return whole;
}
