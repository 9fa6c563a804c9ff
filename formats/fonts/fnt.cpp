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
#include <climits>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/fonts/fonts.h"
#include "pictures/bmp.h"
#include "back/edits.h"
#include "store/names.h"

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

namespace {
// Two glyphs whose images are the same, byte for byte.
std::function<bool(size_t, size_t)> sameFntImage(Source& in, const std::vector<FntGlyphHead>& glyphs)
{
    return [&in, &glyphs](size_t a, size_t b) {
        const FntGlyphHead &x = glyphs[a], &y = glyphs[b];
        return x.width == y.width && x.height == y.height &&
               sameBytes(in, x.pixelsAt, y.pixelsAt, int64_t(x.width) * x.height);
    };
}

std::vector<int32_t> codesOf(const std::vector<FntGlyphHead>& glyphs)
{
    std::vector<int32_t> codes;
    for (const FntGlyphHead& g : glyphs)
        codes.push_back(g.code);
    return codes;
}

// Every glyph located, before anything is written.
bool readFntGlyphs(const std::string& path, Source& in, std::vector<FntGlyphHead>& glyphs)
{
    const uint8_t* magic = view(in, 0, 2);
    if (!magic)
        return in.readError ? endsBefore(path, in, "its first two bytes")
                            : refuse(path, "too short for an FNT font: %lld bytes", (long long)in.size);
    if (magic[0] != 0x10 || magic[1] != 0x00)
        return refuse(path, "not an FNT font: it does not start with the bytes 10 00");
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
    return true;
}
}  // namespace

bool extract_FNT(const std::string& path)
{
    Source in;
    std::vector<FntGlyphHead> glyphs;
    if (!openInput(path, in) || !readFntGlyphs(path, in, glyphs))
        return false;

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    const std::vector<OutputName> names = fontGlyphNames(path, codesOf(glyphs), false, true, sameFntImage(in, glyphs));
    OutputFile info;
    openOutput(info, createFile("INFO.TXT", dir));
    bool whole = true;
    for (size_t j = 0; j < glyphs.size(); j++) {
        const FntGlyphHead& g = glyphs[j];
        printOutput(info, "%d\t%d\t%d\t%d%c%c", g.metric1, g.metric2, g.metric3, g.code, 13, 10);
        showing("glyph " + std::to_string(j));
        if (names[j].file.empty())
            continue;  // the same image as a later glyph of its code
        const size_t stride = fntStride(g.width);
        BmpHeader header = getBmpHeader16(g.width, g.height, int32_t(stride * size_t(g.height)));
        whole = writeImage(createFile(names[j].file, dir), header, fntPalette.data(), fntPalette.size(),
                           stride, g.height,
                           [&](int32_t r, uint8_t* row) {
                               const int32_t source = g.height - 1 - r;  // bottom row first
                               const uint8_t* src = view(in, g.pixelsAt + int64_t(source) * g.width, size_t(g.width));
                               if (!src)
                                   return endsBefore(path, in, "glyph %d's row %d is complete",
                                                     g.code, source);
                               packFntRow(src, g.width, row);
                               return true;
                           }) &&
                whole;
    }
    return placeOutputs({&info}) && whole;
}

bool parseFntInfo(const std::string& text, std::vector<FntInfoLine>& lines, std::string& why)
{
    const std::vector<std::string> rows = splitLines(text);
    lines.clear();
    std::vector<int64_t> v;
    for (size_t n = 0; n < rows.size(); n++) {
        if (!lineIntegers(rows[n], v) || v.size() != 4) {
            why = formatted("line %zu: expected three metrics and a character code, numbers separated by tabs", n + 1);
            return false;
        }
        for (int k = 0; k < 3; k++)
            if (v[size_t(k)] < -32768 || v[size_t(k)] > 32767) {
                why = formatted("line %zu: metric %d is %lld, beyond -32768 to 32767", n + 1, k + 1, (long long)v[size_t(k)]);
                return false;
            }
        if (v[3] < 0 || v[3] > 255) {
            why = formatted("line %zu: the character code %lld is beyond 0 to 255", n + 1, (long long)v[3]);
            return false;
        }
        lines.push_back({int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])});
    }
    if (lines.size() != size_t(kGlyphCount)) {
        why = formatted("%zu lines; an FNT font has one for each of its %d glyphs", lines.size(), kGlyphCount);
        return false;
    }
    return true;
}

bool pack_FNT(const std::string& path)
{
    Source in;
    std::vector<FntGlyphHead> glyphs;
    if (!openInput(path, in) || !readFntGlyphs(path, in, glyphs))
        return false;
    const std::string dir = editsFolderOf(path);
    const std::vector<OutputName> names = fontGlyphNames(path, codesOf(glyphs), false, false, sameFntImage(in, glyphs));
    if (!noGlyphsAdded(dir, names))
        return false;
    const std::string infoPath = createFile("INFO.TXT", dir);
    std::vector<FntInfoLine> info;
    std::string text, why;
    switch (readEditedText(infoPath, text)) {
    case Edited::Refused:
        return false;
    case Edited::Missing:
        noteKept(infoPath, "metrics are");
        for (const FntGlyphHead& g : glyphs)
            info.push_back({g.metric1, g.metric2, g.metric3, g.code});
        break;
    case Edited::Read:
        if (!parseFntInfo(text, info, why))
            return refuse(infoPath, "%s", why.c_str());
        for (size_t i = 0; i < glyphs.size(); i++)
            if (info[i].code != glyphs[i].code)
                return refuse(infoPath, "line %zu: code %d, but glyph %zu of the font has code %d: codes cannot change",
                              i + 1, info[i].code, i, glyphs[i].code);
        break;
    }
    OutputFile out;
    openRebuilt(out, path);
    copyOriginal(out, in, 0, 2);
    for (size_t i = 0; i < glyphs.size() && !out.error; i++) {
        const FntGlyphHead& g = glyphs[i];
        const uint8_t* headBytes = view(in, g.pixelsAt - int64_t(kHeadSize), kHeadSize);
        if (!headBytes)
            return endsBefore(path, in, "glyph %zu is complete", i);
        std::vector<uint8_t> head(headBytes, headBytes + kHeadSize);
        const int32_t metrics[3] = {info[i].metric1, info[i].metric2, info[i].metric3};
        for (int k = 0; k < 3; k++)  // 16 bits each; the two bytes after each are kept
            put16(&head[size_t(8 + 4 * k)], uint32_t(metrics[k]));
        BmpPicture picture;
        std::string imagePath = createFile(names[i].file, dir);
        const Edited read = names[i].file.empty() ? Edited::Missing : readEditedImage(imagePath, picture, nullptr, nullptr, true, "FNT glyphs have no transparency");
        if (read == Edited::Refused)
            return false;
        if (read == Edited::Missing) {
            if (!names[i].file.empty())
                noteKept(imagePath, "glyph");
            writeOutput(out, head.data(), head.size());
            copyOriginal(out, in, g.pixelsAt, int64_t(g.width) * g.height);
            continue;
        }
        if (picture.width > 65535 || picture.height > 65535)
            return refuse(imagePath, "%d x %d is larger than a glyph holds (65535 x 65535 at most)", picture.width,
                          picture.height);
        put16(&head[0], uint32_t(picture.width));  // width; two bytes kept
        put16(&head[4], uint32_t(picture.height));  // height; two bytes kept
        // Shades by colour, against the font's fixed 16: an editor may have
        // saved the image with another table.
        PictureTable table;
        std::copy(fntPalette.begin(), fntPalette.end(), table.colours.begin());
        table.count = 16;
        const bool sameSize = picture.width == g.width && picture.height == g.height;
        const uint8_t* stored = sameSize ? view(in, g.pixelsAt, picture.pixels.size()) : nullptr;
        if (sameSize && !stored && !picture.pixels.empty())
            return endsBefore(path, in, "glyph %zu is complete", i);
        std::vector<uint8_t> original(stored ? stored : nullptr, stored ? stored + picture.pixels.size() : nullptr);
        std::vector<uint8_t> shades(original.size());
        for (size_t k = 0; k < original.size(); k++)
            shades[k] = original[k] & 15;
        ColourRead colours;
        readColours(picture, sameSize ? shades.data() : nullptr, nullptr, table, colours);
        noteColours(imagePath, colours, "the font's 16 shades", "");
        std::vector<uint8_t> pixels(picture.pixels.size());
        for (size_t k = 0; k < pixels.size(); k++) {
            const uint8_t value = colours.indexes[k];
            // A pixel that shows what it showed keeps its byte, high bits and all.
            pixels[k] = sameSize && shades[k] == value ? original[k] : value;
        }
        writeOutput(out, head.data(), head.size());
        writeOutput(out, pixels.data(), pixels.size());
    }
    const int64_t end = glyphs.back().pixelsAt + int64_t(glyphs.back().width) * glyphs.back().height;
    copyOriginal(out, in, end, in.size - end);  // whatever follows the last glyph
    return placeOutputs({&out});
}

bool list_FNT(const std::string& path, Listing& listing)
{
    Source in;
    std::vector<FntGlyphHead> glyphs;
    listing.type = "FNT";
    if (!openInput(path, in) || !readFntGlyphs(path, in, glyphs))
        return false;
    listing.size = in.size;
    for (size_t j = 0; j < glyphs.size(); j++)
        listing.items.push_back(glyphItem(j, glyphs[j].code, glyphs[j].width, glyphs[j].height,
                                          formatted("metrics %d %d %d", glyphs[j].metric1, glyphs[j].metric2,
                                                    glyphs[j].metric3)));
    return true;
}
