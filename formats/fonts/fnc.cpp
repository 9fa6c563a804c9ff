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
// All glyphs are decoded before the output directory is made, so a damaged
// font is refused with nothing written.
#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/file.h"
#include "formats/fonts/fonts.h"
#include "formats/fonts/glyphset.h"
#include "output/bmp.h"
#include "output/names.h"

bool decodeFncGlyph(const std::vector<uint8_t>& file, const GlyphRecord& g, SpritePlanes& planes)
{
    const size_t stride = size_t(g.width) + size_t(get_spaces(g.width));
    planes.imagePlane.assign(stride * size_t(g.height), 0);
    planes.maskPlane.assign(stride * size_t(g.height), 0);
    if (g.width == 0 || g.height == 0)
        return true;  // no row is read

    const size_t rowTable = g.dataAt + 4;
    const size_t runsBase = rowTable + 4 * size_t(g.height);
    if (!fits(file.size(), g.dataAt, 4 + 4 * size_t(g.height)))
        return false;
    static constexpr uint8_t kindMask[4] = {0, 127, 255, 127};
    for (int32_t r = 0; r < g.height; r++) {
        uint32_t offset = uint32_t(toInt(file.data(), rowTable + 4 * size_t(r)));
        if (offset > file.size() - runsBase)
            return false;
        Cursor runs{file.data(), file.size(), runsBase + offset};
        uint8_t* image = planes.imagePlane.data() + size_t(g.height - 1 - r) * stride;
        uint8_t* maskRow = planes.maskPlane.data() + size_t(g.height - 1 - r) * stride;
        int32_t x = 0;
        for (int kind = 0; x < g.width; kind = (kind + 1) % 4) {
            int32_t n;
            if (!readU8(runs, n) || (n = toSignedInt(n)) < 0)
                return false;
            if (kind != 0) {
                const uint8_t* pixels;
                if (!take(runs, size_t(n), pixels))
                    return false;
                size_t shown = size_t(std::min(n, g.width - x));
                std::memcpy(image + x, pixels, shown);
                std::memset(maskRow + x, kindMask[kind], shown);
            }
            x += n;
        }
    }
    return true;
}

bool extract_FNC(const std::string& path)
{
    std::vector<uint8_t> file;
    GlyphSet set;
    if (!readFontFile(path, file) || !readGlyphSet(file, set))
        return false;
    const size_t paletteAt = set.dataBase + 4;
    if (!set.glyphs.empty() && !fits(file.size(), paletteAt, 768))
        return false;
    std::vector<SpritePlanes> planes(set.glyphs.size());
    for (size_t j = 0; j < set.glyphs.size(); j++)
        if (!decodeFncGlyph(file, set.glyphs[j], planes[j]))
            return false;

    std::string dir = createDir(path);
    writeGlyphSetInfo(set, dir);
    ColourTable table{};
    for (size_t i = 0; i < 256 && !set.glyphs.empty(); i++)
        std::memcpy(&table[4 * i], &file[paletteAt + 3 * i], 3);  // stored as blue, green, red
    const ColourTable maskTable = createMskPal();
    for (size_t j = 0; j < set.glyphs.size(); j++) {
        const GlyphRecord& g = set.glyphs[j];
        BmpHeader header = getBmpHeader(g.width, g.height, int32_t(planes[j].imagePlane.size()));
        std::string imagePath = createBitmap(glyphImageName(g.code), dir);
        // The mask is written only when its image could be.
        if (writeBmpFile(imagePath, header, table.data(), table.size(), planes[j].imagePlane.data(),
                         planes[j].imagePlane.size()))
            writeBmpFile(createMask(glyphImageName(g.code), dir, imagePath), header, maskTable.data(),
                         maskTable.size(), planes[j].maskPlane.data(), planes[j].maskPlane.size());
    }
    return true;
}
