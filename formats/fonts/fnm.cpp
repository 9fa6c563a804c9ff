// FNM font: the glyph-set container with raw glyphs of three levels.
//
//   glyph data at D + offset: width * height bytes, top row first; a byte v
//   (signed) is drawn as the low 8 bits of trunc(255 - 127.5 * v), so
//   0 is white (255), 1 grey (127), 2 black (0) in the mask palette.
//
// Every glyph is checked to lie inside the file before the output directory
// is made.
#include <array>
#include <cstring>

#include "common/bytes.h"
#include "common/file.h"
#include "formats/fonts/fonts.h"
#include "formats/fonts/glyphset.h"
#include "output/bmp.h"
#include "output/names.h"

namespace {

std::array<uint8_t, 256> levelTable()
{
    std::array<uint8_t, 256> table;
    for (int b = 0; b < 256; b++)
        table[size_t(b)] = uint8_t(int32_t(255.0 - 127.5 * toSignedInt(b)));
    return table;
}

}  // namespace

bool extract_FNM(const std::string& path)
{
    std::vector<uint8_t> file;
    GlyphSet set;
    if (!readFontFile(path, file) || !readGlyphSet(file, set))
        return false;
    for (const GlyphRecord& g : set.glyphs)
        if (!fits(file.size(), g.dataAt, size_t(g.width) * size_t(g.height)))
            return false;

    std::string dir = createDir(path);
    writeGlyphSetInfo(set, dir);
    const std::array<uint8_t, 256> level = levelTable();
    const ColourTable maskTable = createMskPal();
    for (const GlyphRecord& g : set.glyphs) {
        const size_t stride = size_t(g.width) + size_t(get_spaces(g.width));
        std::vector<uint8_t> rows(stride * size_t(g.height), 0);
        for (int32_t r = 0; r < g.height; r++) {
            const uint8_t* src = file.data() + g.dataAt + size_t(r) * size_t(g.width);
            uint8_t* dst = rows.data() + size_t(g.height - 1 - r) * stride;
            for (int32_t x = 0; x < g.width; x++)
                dst[x] = level[src[x]];
        }
        writeBmpFile(createBitmap(glyphImageName(g.code), dir), getBmpHeader(g.width, g.height, int32_t(rows.size())),
                     maskTable.data(), maskTable.size(), rows.data(), rows.size());
    }
    return true;
}
