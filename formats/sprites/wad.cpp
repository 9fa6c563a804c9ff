// WAD archive: sprites that share a set of RGB565 palettes.
//
//   0        400      header block, not read
//   400      4        palette count P (16 bits)
//   404      525*P    palette records: 512-byte RGB565 palette, 13-byte name
//   404+525P 4        entry count E (16 bits)
//   408+525P ...      E entries, each a 32-byte name, a 32-byte descriptor
//                     (L: 24 bits at 0, height at 16, width at 20), a body:
//     run-length entry (name's third-from-last character 'R'):
//                     L bytes of run data, 16 bytes, row table of 4*H,
//                     palette index (16 bits), 2 bytes
//     raw entry:      L bytes of rows W + 2 apart, palette index, 2 bytes
//
// The entries' heads are walked first: an archive that ends before its
// counts and lengths say is refused with nothing made. Then every named
// palette and every entry is written, a row at a time, so memory follows
// the widest row, not the archive. An entry that cannot be shown (no such
// palette, rows that cannot be decoded) is named on standard error and the
// rest still converts; names that cannot be used as they stand get a
// substitute, named on standard error too.
#include <cstring>
#include <map>

#include "common/report.h"
#include "formats/sprites/sprites.h"
#include "output/names.h"
#include "output/palette.h"

namespace {

constexpr int64_t kMinFileSize = 1023;
constexpr int64_t kPalettesAt = 404;
constexpr int64_t kPaletteRecord = 525;
constexpr size_t kEntryHead = 64;

// The entry's name and descriptor, as far as the extraction uses them.
struct WadEntry {
    std::string name;  // up to the zero byte, or all 32 bytes
    bool runLength;
    int32_t length;    // L
    int32_t height;
    int32_t width;
    int64_t bodyAt;
};

WadEntry readEntryHead(const uint8_t* head, int64_t at)
{
    WadEntry e;
    e.name = fieldText(head, 32);
    e.runLength = e.name.size() >= 3 && e.name[e.name.size() - 3] == 'R';
    const uint8_t* d = head + 32;
    e.length = toInt(d[0], d[1], d[2]);
    /* 13 bytes not read */
    e.height = toInt(d[16], d[17]);
    /* 2 bytes not read */
    e.width = toInt(d[20], d[21]);
    e.bodyAt = at + int64_t(kEntryHead);
    return e;
}

int64_t bodySize(const WadEntry& e)
{
    return int64_t(e.length) + (e.runLength ? 4 * (int64_t(e.height) + 5) : 4);
}

// Output names of one archive: the same stored name always gives the same
// file; another name that differs only in letter case (one file on Windows)
// is given a numbered one.
struct NameBook {
    std::map<std::string, std::string> byFolded;  // folded file name -> file name
};

OutputName nameFor(NameBook& book, const std::string& stored, size_t cut, const std::string& ending, int number)
{
    OutputName name = storedOutputName(stored, cut, ending, number);
    auto [it, added] = book.byFolded.emplace(foldedName(name.file), name.file);
    if (!added && it->second != name.file) {
        name = numberedOutputName(stored, cut, ending, number);
        book.byFolded.emplace(foldedName(name.file), name.file);
    }
    return name;
}

bool writePalette(const std::string& path, Source& in, const std::string& dir, NameBook& book, int32_t i)
{
    const uint8_t* record = view(in, kPalettesAt + kPaletteRecord * i, size_t(kPaletteRecord));
    if (!record)
        return endsBefore(path, in, "palette %d is complete", i);
    const std::string stored = fieldText(record + 512, 13);
    if (stored.empty())
        return true;  // a palette without a file; entries may still use it
    const ColourTable colours = pal2to3(record);
    OutputName name = nameFor(book, stored, 3, "PAL", i);
    if (name.substituted)
        reportProblem(path, "palette " + std::to_string(i) + " \"" + storedText(stored) + "\" is written as " +
                                name.file);
    OutputFile out;
    openOutput(out, createFile(name.file, dir));
    writeOutput(out, colours.data(), colours.size());
    return placeOutputs({&out});
}

bool writeEntry(const std::string& path, Source& in, const WadEntry& e, int32_t i, int32_t paletteCount,
                const std::string& dir, NameBook& book)
{
    const std::string shown = "entry " + std::to_string(i) + " \"" + storedText(e.name) + "\"";
    const size_t stride = rowStride(e.width);
    if (int64_t(stride) * e.height > kMaxImageSize)
        return refuse(path, "%s is not written: its picture, %d x %d, is too large for a BMP file", shown.c_str(),
                      e.width, e.height);
    const int64_t tailAt = e.bodyAt + e.length + (e.runLength ? 16 + 4 * int64_t(e.height) : 0);
    const uint8_t* tail = view(in, tailAt, 2);
    if (!tail)
        return endsBefore(path, in, "%s is complete", shown.c_str());
    const int32_t paletteIndex = toInt(tail[0], tail[1]);
    if (paletteIndex >= paletteCount)
        return refuse(path, "%s is not written: it uses palette %d, but the archive has %d", shown.c_str(),
                      paletteIndex, paletteCount);

    std::vector<uint32_t> rowOffsets;
    RunData run{&in, e.bodyAt, e.length, {}};
    if (e.runLength) {
        const uint8_t* rowTable = view(in, e.bodyAt + e.length + 16, 4 * size_t(e.height));
        if (!rowTable)
            return endsBefore(path, in, "%s is complete", shown.c_str());
        rowOffsets = readRowTable(rowTable, e.height);
        if (int32_t bad = firstBadRleRow(run, rowOffsets, e.width); bad >= 0)
            return in.readError ? endsBefore(path, in, "%s is complete", shown.c_str())
                                : refuse(path, "%s is not written: the codes of its row %d end before the row is "
                                               "complete",
                                         shown.c_str(), bad);
    } else if (e.height > 0 && int64_t(e.height - 1) * (e.width + 2) + e.width > e.length) {
        // The last row needs only its W bytes, not the two that follow the others.
        return refuse(path, "%s is not written: its %d rows of %d pixels, %d bytes apart, do not fit its %d bytes",
                      shown.c_str(), e.height, e.width, e.width + 2, e.length);
    }
    const uint8_t* palette = view(in, kPalettesAt + kPaletteRecord * paletteIndex, 512);
    if (!palette)
        return endsBefore(path, in, "palette %d is complete", paletteIndex);
    const ColourTable colours = pal2to3(palette);

    OutputName name = nameFor(book, e.name, 4, btmp, i);
    if (name.substituted)
        reportProblem(path, shown + " is written as " + name.file);
    const std::string imagePath = createFile(name.file, dir);
    const BmpHeader header = getBmpHeader(e.width, e.height, int32_t(stride * size_t(e.height)));
    auto changed = [&](int32_t row) {
        return endsBefore(path, in, "%s's row %d is complete: the file changed while it was read", shown.c_str(), row);
    };
    if (e.runLength)
        return writeSprite(imagePath, createMask(e.name, dir, imagePath), header, colours, stride, e.height,
                           [&](int32_t r, uint8_t* image, uint8_t* mask) {
                               const int32_t row = e.height - 1 - r;  // the table's first row is the top one
                               return decodeRleRow(run, rowOffsets[size_t(row)], e.width, image, mask) || changed(row);
                           });
    return writeImage(imagePath, header, colours.data(), colours.size(), stride, e.height, [&](int32_t r, uint8_t* row) {
        // Source row 0 is the top row, stored last; rows lie W + 2 bytes apart.
        const int32_t source = e.height - 1 - r;
        const uint8_t* pixels = view(in, e.bodyAt + int64_t(source) * (e.width + 2), size_t(e.width));
        if (!pixels)
            return changed(source);
        std::memcpy(row, pixels, size_t(e.width));
        return true;
    });
}

}  // namespace

bool extract_WAD(const std::string& path)
{
    Source in;
    if (!openInput(path, in))
        return false;
    if (in.size < kMinFileSize)
        return refuse(path, "too short for a WAD archive: %lld bytes, at least %lld needed", (long long)in.size,
                      (long long)kMinFileSize);
    const uint8_t* countField = view(in, 400, 4);
    if (!countField)
        return endsBefore(path, in, "the palette count");
    const int32_t paletteCount = toInt(countField[0], countField[1]);
    const int64_t entryCountAt = kPalettesAt + kPaletteRecord * paletteCount;
    countField = view(in, entryCountAt, 4);
    if (!countField)
        return endsBefore(path, in, "the entry count behind %d palette records", paletteCount);
    const int32_t entryCount = toInt(countField[0], countField[1]);

    std::vector<WadEntry> entries;
    int64_t pos = entryCountAt + 4;
    for (int32_t i = 0; i < entryCount; i++) {
        const uint8_t* head = view(in, pos, kEntryHead);
        if (!head)
            return endsBefore(path, in, "the head of entry %d of %d", i, entryCount);
        WadEntry e = readEntryHead(head, pos);
        pos = e.bodyAt + bodySize(e);
        if (!holds(in, e.bodyAt, uint64_t(bodySize(e))))
            return endsBefore(path, in, "the end of entry %d \"%s\" (%lld bytes)", i, storedText(e.name).c_str(),
                              (long long)bodySize(e));
        entries.push_back(e);
    }

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    NameBook book;
    bool whole = true;
    for (int32_t i = 0; i < paletteCount; i++)
        whole = writePalette(path, in, dir, book, i) && whole;
    for (int32_t i = 0; i < entryCount; i++)
        whole = writeEntry(path, in, entries[size_t(i)], i, paletteCount, dir, book) && whole;
    return whole;
}
