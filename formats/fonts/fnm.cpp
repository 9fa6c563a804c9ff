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
#include <functional>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/fonts/fonts.h"
#include "back/edits.h"
#include "store/names.h"

namespace {

// Two glyphs whose images are the same, byte for byte (FNM pixels are stored
// one a byte, as they are shown).
std::function<bool(size_t, size_t)> sameFnmImage(Source& in, const GlyphSet& set)
{
    return [&in, &set](size_t a, size_t b) {
        const GlyphRecord &x = set.glyphs[a], &y = set.glyphs[b];
        return x.width == y.width && x.height == y.height &&
               sameBytes(in, x.dataAt, y.dataAt, int64_t(x.width) * x.height);
    };
}

std::array<uint8_t, 256> levelTable()
{
    std::array<uint8_t, 256> table;
    for (int b = 0; b < 256; b++)
        table[size_t(b)] = uint8_t(int32_t(255.0 - 127.5 * toSignedInt(b)));
    return table;
}

}  // namespace

namespace {
bool glyphsHeld(const std::string& path, Source& in, const GlyphSet& set)
{
    for (size_t j = 0; j < set.glyphs.size(); j++) {
        const GlyphRecord& g = set.glyphs[j];
        // An empty glyph reads nothing, wherever its offset points.
        if (g.width > 0 && g.height > 0 && !holds(in, g.dataAt, uint64_t(g.width) * uint64_t(g.height)))
            return endsBefore(path, in, "the %d x %d pixels of glyph %zu (code %d)", g.width, g.height, j, g.code);
    }
    return true;
}
}  // namespace

bool extract_FNM(const std::string& path)
{
    Source in;
    GlyphSet set;
    if (!openInput(path, in) || !readGlyphSet(path, "FNM", in, set))
        return false;
    if (!glyphsHeld(path, in, set))
        return false;

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    const std::vector<OutputName> names = fontGlyphNames(path, glyphCodes(set), false, true, sameFnmImage(in, set));
    bool whole = writeGlyphSetInfo(set, dir);
    const std::array<uint8_t, 256> level = levelTable();
    const ColourTable maskTable = createMskPal();
    for (size_t j = 0; j < set.glyphs.size(); j++) {
        const GlyphRecord& g = set.glyphs[j];
        const size_t stride = rowStride(g.width);
        showing("glyph " + std::to_string(j));
        if (names[j].file.empty())
            continue;  // the same image as a later glyph of its code
        whole = writeImage(createFile(names[j].file, dir),
                           getBmpHeader(g.width, g.height, int32_t(stride * size_t(g.height))), maskTable.data(),
                           maskTable.size(), stride, g.height,
                           [&](int32_t r, uint8_t* row) {
                               // Source rows go top first; BMP rows bottom first.
                               const int32_t source = g.height - 1 - r;
                               const uint8_t* src = view(in, g.dataAt + int64_t(source) * g.width, size_t(g.width));
                               if (!src)
                                   return endsBefore(path, in, "glyph %d's row %d is complete",
                                                     g.code, source);
                               for (int32_t x = 0; x < g.width; x++)
                                   row[x] = level[src[x]];
                               return true;
                           }) &&
                whole;
    }
    return whole;
}

bool pack_FNM(const std::string& path)
{
    Source in;
    GlyphSet set;
    if (!openInput(path, in) || !readGlyphSet(path, "FNM", in, set))
        return false;
    const std::string dir = editsFolderOf(path);
    const std::vector<OutputName> names = fontGlyphNames(path, glyphCodes(set), false, false, sameFnmImage(in, set));
    const std::array<uint8_t, 256> level = levelTable();
    // The index each stored value is drawn with, inverted: the value that
    // gives an index, 0, 1 and 2 first (white, grey, black).
    std::array<int, 256> valueOf;
    valueOf.fill(-1);
    for (int v : {0, 1, 2})
        valueOf[level[size_t(v)]] = v;
    for (int v = 0; v < 256; v++)
        if (valueOf[level[size_t(v)]] < 0)
            valueOf[level[size_t(v)]] = v;
    return packGlyphSet(path, in, set, nullptr,
                        [&](size_t j, int32_t& width, int32_t& height, std::vector<uint8_t>& data) {
                            const GlyphRecord& g = set.glyphs[j];
                            if (names[j].file.empty())
                                return GlyphEdit::Kept;  // the same image as a later glyph of its code
                            std::string imagePath = createFile(names[j].file, dir);
                            BmpPicture picture;
                            switch (readEditedImage(imagePath, picture, nullptr, nullptr, true, "FNM glyphs have no transparency")) {
                            case Edited::Refused:
                                return GlyphEdit::Refused;
                            case Edited::Missing:
                                noteKept(imagePath, "glyph");
                                return GlyphEdit::Kept;
                            case Edited::Read:
                                break;
                            }
                            const bool sameSize = picture.width == g.width && picture.height == g.height;
                            const size_t size = size_t(picture.width) * size_t(picture.height);
                            const uint8_t* stored = sameSize && size ? view(in, g.dataAt, size) : nullptr;
                            if (sameSize && size && !stored) {
                                endsBefore(path, in, "glyph %zu is complete", j);
                                return GlyphEdit::Refused;
                            }
                            const std::vector<uint8_t> original(stored, stored ? stored + size : nullptr);
                            std::vector<uint8_t> shownAs(original.size());
                            for (size_t k = 0; k < original.size(); k++)
                                shownAs[k] = level[original[k]];
                            PictureTable table;
                            table.colours = createMskPal();
                            ColourRead colours;
                            readColours(picture, original.empty() ? nullptr : shownAs.data(), nullptr, table, colours);
                            noteColours(imagePath, colours, "white, grey and black", "");
                            data.resize(size);
                            for (size_t k = 0; k < size; k++) {
                                const uint8_t index = colours.indexes[k];
                                if (!original.empty() && shownAs[k] == index)
                                    data[k] = original[k];  // shown as it was: its byte, whatever its value
                                else if (valueOf[index] >= 0)
                                    data[k] = uint8_t(valueOf[index]);  // the value drawn with this index
                                else  // no value draws it: the nearest level by colour
                                    data[k] = index == 255 ? 0 : index == 0 ? 2 : 1;
                            }
                            if (data == original)
                                return GlyphEdit::Kept;
                            width = picture.width;
                            height = picture.height;
                            return GlyphEdit::Rebuilt;
                        });
}

bool list_FNM(const std::string& path, Listing& listing)
{
    Source in;
    GlyphSet set;
    listing.type = "FNM";
    if (!openInput(path, in) || !readGlyphSet(path, "FNM", in, set) || !glyphsHeld(path, in, set))
        return false;
    listGlyphSet(set, in.size, listing);
    return true;
}
