// The glyph-set container FNC and FNM share: its checks, its walk and its rebuild.
#include "formats/fonts/glyphset.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/fonts/fonts.h"
#include "back/edits.h"
#include "store/names.h"
#include "store/outputs.h"

namespace {
constexpr int64_t kMinFileSize = 272;
constexpr int64_t kCharacterList = 4;
constexpr int64_t kFontHeight = 268;
constexpr int64_t kVariantByte = 276;
}  // namespace

bool readGlyphSet(const std::string& path, const char* kind, Source& in, GlyphSet& set)
{
    // The variant byte at 276 is the last fixed field read.
    if (in.size <= kVariantByte)
        return refuse(path, "too short for an %s font: %lld bytes, at least %lld needed (and %lld to tell its variant)",
                      kind, (long long)in.size, (long long)kMinFileSize, (long long)kVariantByte + 1);
    const uint8_t* head = view(in, 0, size_t(kVariantByte) + 1);
    if (!head)
        return endsBefore(path, in, "the font header is complete");
    const uint8_t* list = head + kCharacterList;
    const void* end = std::memchr(list, 0, 256);
    if (!end)
        return refuse(path, "not an %s font: its character list has no zero byte to end it", kind);
    const size_t count = size_t(static_cast<const uint8_t*>(end) - list);
    std::vector<int32_t> codes(list, list + count);

    set.fontHeight = toInt(head, size_t(kFontHeight));
    set.variant = toSignedInt(head[kVariantByte]) == set.fontHeight ? 2 : 3;
    set.recordsAt = set.variant == 2 ? 272 : 276;
    set.extraValue = set.variant == 2 ? 0 : toSignedInt(head[272]);
    set.dataBase = set.recordsAt + 20 * int64_t(count);
    // The first record's value is read even when there are no glyphs.
    const int64_t tablesSize = std::max<int64_t>(9, 20 * int64_t(count));
    const uint8_t* records = view(in, set.recordsAt, size_t(tablesSize));
    if (!records)
        return endsBefore(path, in, "the records and offsets of its %zu glyphs", count);
    set.glyphValue = toSignedInt(records[8]);

    set.glyphs.clear();
    const uint8_t* offsets = records + 16 * count;
    for (size_t j = 0; j < count; j++) {
        const uint8_t* record = records + 16 * j;
        GlyphRecord g;
        g.code = codes[j];
        g.width = toSignedInt(record[0]);
        g.height = toSignedInt(record[4]);
        g.dataAt = set.dataBase + int64_t(uint32_t(toInt(offsets, 4 * j)));
        if (g.width < 0 || g.height < 0)
            return refuse(path, "glyph %zu (code %d) has a negative size, %d x %d", j, g.code, g.width, g.height);
        set.glyphs.push_back(g);
    }
    return true;
}

std::vector<OutputName> fontGlyphNames(const std::string& path, const std::vector<int32_t>& codes, bool withMasks,
                                       bool tell, const std::function<bool(size_t, size_t)>& sameImage)
{
    std::vector<OutputName> names = glyphNames(codes, withMasks);
    // The glyph that keeps each code's plain name: the last of that code.
    std::map<int32_t, size_t> keeper;
    for (size_t j = 0; j < codes.size(); j++)
        keeper[codes[j]] = j;
    for (size_t j = 0; sameImage && j < names.size(); j++) {
        const size_t k = keeper[codes[j]];
        if (names[j].substituted && k != j && !names[k].substituted && sameImage(j, k))
            names[j] = OutputName{};
    }
    for (size_t j = 0; tell && j < names.size(); j++)
        if (names[j].substituted)
            noteRenamed(path, formatted("glyph %zu (code %d) is written as %s", j, codes[j], names[j].file.c_str()) +
                                    (withMasks ? " and " + names[j].maskFile : "") +
                                    ": a later glyph has the same code");
    return names;
}

std::vector<int32_t> glyphCodes(const GlyphSet& set)
{
    std::vector<int32_t> codes;
    for (const GlyphRecord& g : set.glyphs)
        codes.push_back(g.code);
    return codes;
}

bool writeGlyphSetInfo(const GlyphSet& set, const std::string& dir)
{
    OutputFile info;
    openOutput(info, createFile("INFO.TXT", dir));
    printOutput(info, "%d%c%c%d%c%c%d%c%c%d%c%c", set.variant, 13, 10, set.fontHeight, 13, 10, set.extraValue, 13, 10,
                set.glyphValue, 13, 10);
    return placeOutputs({&info});
}

bool parseGlyphSetInfo(const std::string& text, GlyphSet& set, std::string& why)
{
    const std::vector<std::string> lines = splitLines(text);
    static const char* const names[4] = {"the variant", "the font height", "the extra value", "the glyph value"};
    if (lines.size() != 4) {
        why = formatted("%zu lines; expected 4: the variant, the font height, the extra value and the glyph value",
                        lines.size());
        return false;
    }
    int64_t v[4];
    std::vector<int64_t> values;
    for (size_t n = 0; n < 4; n++) {
        if (!lineIntegers(lines[n], values) || values.size() != 1) {
            why = formatted("line %zu: expected %s, a whole number", n + 1, names[n]);
            return false;
        }
        v[n] = values[0];
    }
    if (v[0] != 2 && v[0] != 3) {
        why = formatted("line 1: the variant is 2 or 3, not %lld", (long long)v[0]);
        return false;
    }
    if (v[1] < INT32_MIN || v[1] > INT32_MAX) {
        why = "line 2: the font height is beyond 32 bits";
        return false;
    }
    for (size_t n = 2; n < 4; n++)
        if (v[n] < -128 || v[n] > 127) {
            why = formatted("line %zu: %s is %lld, beyond -128 to 127", n + 1, names[n], (long long)v[n]);
            return false;
        }
    if (v[0] == 2 && v[2] != 0) {
        why = "line 3: a variant 2 font has no extra value; leave it 0";
        return false;
    }
    set.variant = int32_t(v[0]);
    set.fontHeight = int32_t(v[1]);
    set.extraValue = int32_t(v[2]);
    set.glyphValue = int32_t(v[3]);
    return true;
}

bool packGlyphSet(const std::string& path, Source& in, const GlyphSet& set, const uint8_t* palette,
                  const std::function<GlyphEdit(size_t, int32_t&, int32_t&, std::vector<uint8_t>&)>& encode)
{
    const std::string dir = editsFolderOf(path);
    if (!noGlyphsAdded(dir, fontGlyphNames(path, glyphCodes(set), palette != nullptr, false)))
        return false;
    const std::string infoPath = createFile("INFO.TXT", dir);
    GlyphSet edited = set;
    std::string text, why;
    switch (readEditedText(infoPath, text)) {
    case Edited::Refused:
        return false;
    case Edited::Missing:
        noteKept(infoPath, "values are");
        break;
    case Edited::Read:
        if (!parseGlyphSetInfo(text, edited, why))
            return refuse(infoPath, "%s", why.c_str());
        if (edited.variant != set.variant)
            return refuse(infoPath, "line 1: the variant cannot change (the font is variant %d)", set.variant);
        break;
    }

    // The fixed fields, records, offsets and what the font reads behind them
    // (the FNC palette), patched in place; the rest is copied as it is.
    const int64_t count = int64_t(set.glyphs.size());
    const int64_t headEnd = std::min(in.size, std::max(set.dataBase + (palette ? 772 : 4), set.recordsAt + 16 * count + 9));
    const uint8_t* original = view(in, 0, size_t(headEnd));
    if (!original)
        return endsBefore(path, in, "the font header is complete");
    std::vector<uint8_t> head(original, original + headEnd);
    put32(&head[size_t(kFontHeight)], uint32_t(edited.fontHeight));  // the font height, 32 bits
    if (set.variant == 3)
        head[272] = uint8_t(edited.extraValue & 255);  // one signed byte; the next three are kept
    head[size_t(set.recordsAt + 8)] = uint8_t(edited.glyphValue & 255);  // the first record's value
    if (palette)
        std::memcpy(&head[size_t(set.dataBase + 4)], palette, 768);

    std::vector<uint8_t> appended;
    for (size_t j = 0; j < set.glyphs.size(); j++) {
        int32_t width = set.glyphs[j].width, height = set.glyphs[j].height;
        std::vector<uint8_t> data;
        const GlyphEdit result = encode(j, width, height, data);
        if (result == GlyphEdit::Refused)
            return false;
        if (result == GlyphEdit::Kept)
            continue;
        if (width > 127 || height > 127)
            return refuse(path, "glyph %zu (code %d): %d x %d is larger than a glyph holds (127 x 127 at most)", j,
                          set.glyphs[j].code, width, height);
        uint8_t* record = &head[size_t(set.recordsAt + 16 * int64_t(j))];
        record[0] = uint8_t(width);  // signed bytes; the three after each are kept
        record[4] = uint8_t(height);
        const int64_t offset = in.size + int64_t(appended.size()) - set.dataBase;
        if (offset > INT32_MAX)
            return refuse(path, "the rebuilt glyphs lie further than a glyph offset reaches");
        uint8_t* offsetField = &head[size_t(set.recordsAt + 16 * count + 4 * int64_t(j))];
        put32(offsetField, uint32_t(offset));
        appended.insert(appended.end(), data.begin(), data.end());
    }
    // The variant is told by the byte at 276: an edit must not change it.
    const int32_t tellingByte = toSignedInt(head[size_t(kVariantByte)]);
    if ((tellingByte == edited.fontHeight ? 2 : 3) != set.variant)
        return refuse(path, "the edits would make the font read as variant %d: in a variant %d font the byte at 276 "
                            "(%d, glyph 0's %s) must %s the font height (%d)",
                      5 - set.variant, set.variant, tellingByte, set.variant == 2 ? "height" : "width",
                      set.variant == 2 ? "equal" : "differ from", edited.fontHeight);

    OutputFile out;
    openRebuilt(out, path);
    writeOutput(out, head.data(), head.size());
    copyOriginal(out, in, headEnd, in.size - headEnd);  // every original glyph and what follows
    writeOutput(out, appended.data(), appended.size());
    return placeOutputs({&out});
}

ListedItem glyphItem(size_t j, int32_t code, int32_t width, int32_t height, const std::string& detail)
{
    ListedItem item;
    item.kind = "glyph";
    item.index = int64_t(j);
    if (code > 32 && code < 127)
        item.name = std::string(1, char(code));  // the character, where it is plain ASCII
    item.width = width;
    item.height = height;
    item.detail = "code " + std::to_string(code) + (detail.empty() ? "" : ", " + detail);
    return item;
}

void listGlyphSet(const GlyphSet& set, int64_t size, Listing& listing)
{
    listing.size = size;
    ListedItem values;
    values.kind = "values";
    values.count = 4;
    values.counted = "values";
    values.detail = formatted("variant %d, font height %d, extra value %d, glyph value %d", set.variant,
                              set.fontHeight, set.extraValue, set.glyphValue);
    listing.items.push_back(values);
    for (size_t j = 0; j < set.glyphs.size(); j++)
        listing.items.push_back(glyphItem(j, set.glyphs[j].code, set.glyphs[j].width, set.glyphs[j].height, ""));
}
