#include "formats/fonts/glyphset.h"

#include <cstring>

#include "common/bytes.h"
#include "common/file.h"
#include "output/names.h"

namespace {
constexpr int64_t kMinFileSize = 272;
constexpr size_t kCharacterList = 4;
constexpr size_t kFontHeight = 268;
constexpr size_t kVariantByte = 276;
}  // namespace

bool readFontFile(const std::string& path, std::vector<uint8_t>& file)
{
    File in = openFile(path, "rb");
    if (!in)
        return false;
    int64_t size = fileSize(in.get());
    return size >= kMinFileSize && readBytes(in.get(), size_t(size), file) > 0;
}

bool readGlyphSet(const std::vector<uint8_t>& file, GlyphSet& set)
{
    const size_t size = file.size();
    // The variant byte is the last fixed field read.
    if (size <= kVariantByte)
        return false;
    const uint8_t* list = &file[kCharacterList];
    const void* end = std::memchr(list, 0, 256);
    if (!end)
        return false;  // no zero byte: not a character list
    size_t count = size_t(static_cast<const uint8_t*>(end) - list);

    set.fontHeight = toInt(file.data(), kFontHeight);
    set.variant = toSignedInt(file[kVariantByte]) == set.fontHeight ? 2 : 3;
    size_t records = set.variant == 2 ? 272 : 276;
    set.extraValue = set.variant == 2 ? 0 : toSignedInt(file[272]);
    set.dataBase = records + 20 * count;
    // The first record's value is read even when there are no glyphs.
    if (!fits(size, records, 9) || set.dataBase > size)
        return false;
    set.glyphValue = toSignedInt(file[records + 8]);

    set.glyphs.clear();
    const size_t offsets = records + 16 * count;
    for (size_t j = 0; j < count; j++) {
        const uint8_t* record = &file[records + 16 * j];
        GlyphRecord g;
        g.code = list[j];
        g.width = toSignedInt(record[0]);
        g.height = toSignedInt(record[4]);
        uint32_t offset = uint32_t(toInt(file.data(), offsets + 4 * j));
        if (g.width < 0 || g.height < 0 || offset > size - set.dataBase)
            return false;
        g.dataAt = set.dataBase + offset;
        set.glyphs.push_back(g);
    }
    return true;
}

void writeGlyphSetInfo(const GlyphSet& set, const std::string& dir)
{
    File info = openFile(createFile("INFO.TXT", dir), "wb");
    if (!info)
        return;
    std::fprintf(info.get(), "%d%c%c%d%c%c%d%c%c%d%c%c", set.variant, 13, 10, set.fontHeight, 13, 10,
                 set.extraValue, 13, 10, set.glyphValue, 13, 10);
}
