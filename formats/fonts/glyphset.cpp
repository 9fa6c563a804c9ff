#include "formats/fonts/glyphset.h"

#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "output/names.h"
#include "output/outputs.h"

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

bool writeGlyphSetInfo(const GlyphSet& set, const std::string& dir)
{
    OutputFile info;
    openOutput(info, createFile("INFO.TXT", dir));
    printOutput(info, "%d%c%c%d%c%c%d%c%c%d%c%c", set.variant, 13, 10, set.fontHeight, 13, 10, set.extraValue, 13, 10,
                set.glyphValue, 13, 10);
    return placeOutputs({&info});
}
