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
#include <functional>
#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/fonts/fonts.h"
#include "back/edits.h"
#include "store/names.h"

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

namespace {
// Every glyph decoded, before anything is written or read back.
// Two glyphs whose images (and masks) are the same, byte for byte.
std::function<bool(size_t, size_t)> sameFncImage(const GlyphSet& set, const std::vector<SpritePlanes>& planes)
{
    return [&set, &planes](size_t a, size_t b) {
        return set.glyphs[a].width == set.glyphs[b].width && set.glyphs[a].height == set.glyphs[b].height &&
               planes[a].imagePlane == planes[b].imagePlane && planes[a].maskPlane == planes[b].maskPlane;
    };
}

bool decodeAllGlyphs(const std::string& path, Source& in, const GlyphSet& set, std::vector<SpritePlanes>& planes)
{
    Stretches empty;
    planes.resize(set.glyphs.size());
    for (size_t j = 0; j < set.glyphs.size(); j++)
        if (!decodeFncGlyph(in, set.glyphs[j], empty, planes[j]))
            return in.readError ? endsBefore(path, in, "glyph %zu is complete", j)
                                : refuse(path, "glyph %zu (code %d): its row table or runs lie outside the file, "
                                               "or a run count is negative",
                                         j, set.glyphs[j].code);
    return true;
}
// The font's colour table from its palette (768 bytes at D + 4, stored as
// blue, green, red; a font without glyphs needs none); false, having said
// why, when the file ends before it.
bool readFncPalette(const std::string& path, Source& in, const GlyphSet& set, ColourTable& table)
{
    if (set.glyphs.empty())
        return true;
    const uint8_t* palette = view(in, set.dataBase + 4, 768);
    if (!palette)
        return endsBefore(path, in, "the font's palette is complete");
    for (size_t i = 0; i < 256; i++)
        std::memcpy(&table[4 * i], palette + 3 * i, 3);
    return true;
}
}  // namespace

bool extract_FNC(const std::string& path)
{
    Source in;
    GlyphSet set;
    if (!openInput(path, in) || !readGlyphSet(path, "FNC", in, set))
        return false;
    ColourTable table{};
    std::vector<SpritePlanes> planes;
    if (!readFncPalette(path, in, set, table) || !decodeAllGlyphs(path, in, set, planes))
        return false;

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    const std::vector<OutputName> names = fontGlyphNames(path, glyphCodes(set), true, true, sameFncImage(set, planes));
    bool whole = writeGlyphSetInfo(set, dir);
    for (size_t j = 0; j < set.glyphs.size(); j++) {
        const GlyphRecord& g = set.glyphs[j];
        showing("glyph " + std::to_string(j));
        if (names[j].file.empty())
            continue;  // the same image as a later glyph of its code
        whole = writeSpritePlanes(createFile(names[j].file, dir), createFile(names[j].maskFile, dir),
                                  getBmpHeader(g.width, g.height, int32_t(planes[j].imagePlane.size())), table,
                                  g.width, g.height, planes[j]) &&
                whole;
    }
    return whole;
}

void encodeFncRow(const uint8_t* image, const uint8_t* mask, int32_t width, std::vector<uint8_t>& out)
{
    static constexpr uint8_t kindMask[4] = {0, 127, 255, 127};
    int kind = 0;
    for (int32_t x = 0; x < width; kind = (kind + 1) % 4) {
        // A run of the kind whose turn it is, empty when the next pixel is of another.
        int32_t n = 0;
        while (x + n < width && n < 127 && mask[x + n] == kindMask[kind])
            n++;
        out.push_back(uint8_t(n));
        if (kind != 0)
            out.insert(out.end(), image + x, image + x + n);
        x += n;
    }
}

bool pack_FNC(const std::string& path)
{
    Source in;
    GlyphSet set;
    if (!openInput(path, in) || !readGlyphSet(path, "FNC", in, set))
        return false;
    const std::string dir = editsFolderOf(path);
    std::vector<SpritePlanes> planes;
    if (!decodeAllGlyphs(path, in, set, planes))
        return false;
    const std::vector<OutputName> names = fontGlyphNames(path, glyphCodes(set), true, false, sameFncImage(set, planes));
    // The font has one palette, stored as blue, green, red. Every glyph image
    // was made with it; a new colour takes an entry no glyph uses, and the
    // first image whose table was recoloured in place gives the recolour.
    const uint8_t* stored = set.glyphs.empty() ? nullptr : view(in, set.dataBase + 4, 768);
    std::vector<uint8_t> palette(stored ? stored : nullptr, stored ? stored + 768 : nullptr);
    PictureTable shared;
    shared.own = true;
    for (size_t i = 0; i < palette.size() / 3; i++)
        std::copy_n(&palette[3 * i], 3, &shared.colours[4 * i]);
    for (const SpritePlanes& p : planes)
        for (size_t k = 0; k < p.imagePlane.size(); k++)
            if (p.maskPlane[k])
                shared.taken[p.imagePlane[k]] = true;
    std::vector<SpriteEdit> edits(set.glyphs.size());
    std::string recolouredBy;
    for (size_t j = 0; j < set.glyphs.size(); j++) {
        const GlyphRecord& g = set.glyphs[j];
        const std::string imagePath = createFile(names[j].file, dir);
        const std::string maskPath = createFile(names[j].maskFile, dir);
        const size_t stride = rowStride(g.width);
        if (names[j].file.empty())
            continue;  // no file: kept from the original as it is
        if (!readSpriteEdit(imagePath, maskPath, g.width, g.height,
                            [&](int32_t r, uint8_t* image, uint8_t* mask) {
                                const size_t at = size_t(g.height - 1 - r) * stride;  // planes go bottom row first
                                std::copy_n(planes[j].imagePlane.data() + at, g.width, image);
                                std::copy_n(planes[j].maskPlane.data() + at, g.width, mask);
                                return true;
                            },
                            shared, edits[j], 0))
            return false;
        const ColourRead& colours = edits[j].colours;
        noteColours(edits[j].imagePath, colours, "the font's palette (every entry in use)", "");
        if (!edits[j].imageGiven || palette.empty() || (!colours.recoloured && colours.newColours == 0))
            continue;
        if (colours.recoloured && !recolouredBy.empty()) {
            reportNoteAbout(edits[j].imagePath, "its changes to the font's palette are not kept: the font has one palette, "
                                     "recoloured from " + recolouredBy);
            continue;
        }
        if (colours.recoloured)
            recolouredBy = getName(edits[j].imagePath);
        for (size_t i = 0; i < palette.size() / 3; i++)
            if (!std::equal(&colours.table[4 * i], &colours.table[4 * i + 3], &shared.colours[4 * i]))
                std::copy_n(&colours.table[4 * i], 3, &palette[3 * i]);
    }
    return packGlyphSet(path, in, set, palette.empty() ? nullptr : palette.data(),
                        [&](size_t j, int32_t& width, int32_t& height, std::vector<uint8_t>& data) {
                            const GlyphRecord& g = set.glyphs[j];
                            const SpriteEdit& edit = edits[j];
                            if (names[j].file.empty())
                                return GlyphEdit::Kept;
                            const size_t stride = rowStride(g.width);
                            bool same = edit.width == g.width && edit.height == g.height;
                            for (int32_t r = 0; same && r < g.height; r++) {
                                const size_t at = size_t(g.height - 1 - r) * stride, w = size_t(g.width);
                                same = std::equal(edit.image.data() + size_t(r) * w, edit.image.data() + size_t(r) * w + w,
                                                  planes[j].imagePlane.data() + at) &&
                                       std::equal(edit.mask.data() + size_t(r) * w, edit.mask.data() + size_t(r) * w + w,
                                                  planes[j].maskPlane.data() + at);
                            }
                            if (same)
                                return GlyphEdit::Kept;
                            width = edit.width;
                            height = edit.height;
                            // 4 bytes not read, the row table, then each row's runs.
                            data.assign(4 + 4 * size_t(height), 0);
                            std::vector<uint8_t> runs;
                            for (int32_t r = 0; r < height; r++) {
                                const uint32_t offset = uint32_t(runs.size());
                                put32(&data[4 + 4 * size_t(r)], offset);
                                encodeFncRow(edit.image.data() + size_t(r) * size_t(width), edit.mask.data() + size_t(r) * size_t(width),
                                             width, runs);
                            }
                            data.insert(data.end(), runs.begin(), runs.end());
                            return GlyphEdit::Rebuilt;
                        });
}

bool list_FNC(const std::string& path, Listing& listing)
{
    Source in;
    GlyphSet set;
    listing.type = "FNC";
    if (!openInput(path, in) || !readGlyphSet(path, "FNC", in, set))
        return false;
    ColourTable table{};
    std::vector<SpritePlanes> planes;
    if (!readFncPalette(path, in, set, table) || (!listing.quick && !decodeAllGlyphs(path, in, set, planes)))
        return false;
    listGlyphSet(set, in.size, listing);
    return true;
}
