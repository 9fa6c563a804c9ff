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

// The output name of each palette and entry, as extraction gives them:
// palettes first, then the entries that can be shown. Empty: no file.
struct WadNames {
    std::vector<OutputName> palettes, entries;
};

std::string entryLabel(const WadEntry& e, int32_t i)
{
    return "entry " + std::to_string(i) + " \"" + storedText(e.name) + "\"";
}

// Why entry e cannot be shown (empty when it can), with its palette and row
// offsets when it can. A read error leaves in.readError set.
std::string entryTrouble(Source& in, const WadEntry& e, int32_t paletteCount, int32_t& paletteIndex,
                         std::vector<uint32_t>& rowOffsets)
{
    const size_t stride = rowStride(e.width);
    if (int64_t(stride) * e.height > kMaxImageSize)
        return formatted("its picture, %d x %d, is too large for a BMP file", e.width, e.height);
    const int64_t tailAt = e.bodyAt + e.length + (e.runLength ? 16 + 4 * int64_t(e.height) : 0);
    const uint8_t* tail = view(in, tailAt, 2);
    if (!tail)
        return "it is cut off";
    paletteIndex = toInt(tail[0], tail[1]);
    if (paletteIndex >= paletteCount)
        return formatted("it uses palette %d, but the archive has %d", paletteIndex, paletteCount);
    if (e.runLength) {
        const uint8_t* rowTable = view(in, e.bodyAt + e.length + 16, 4 * size_t(e.height));
        if (!rowTable)
            return "it is cut off";
        rowOffsets = readRowTable(rowTable, e.height);
        RunData run{&in, e.bodyAt, e.length, {}};
        if (int32_t bad = firstBadRleRow(run, rowOffsets, e.width); bad >= 0)
            return formatted("the codes of its row %d end before the row is complete", bad);
    } else if (e.height > 0 && int64_t(e.height - 1) * (e.width + 2) + e.width > e.length) {
        // The last row needs only its W bytes, not the two that follow the others.
        return formatted("its %d rows of %d pixels, %d bytes apart, do not fit its %d bytes", e.height, e.width,
                           e.width + 2, e.length);
    }
    return "";
}

// The file of palette i, whose record is at record; no file for a palette without a name.
OutputName paletteName(NameBook& book, const uint8_t* record, int32_t i)
{
    const std::string stored = fieldText(record + 512, 13);
    return stored.empty() ? OutputName{} : nameFor(book, stored, 3, "PAL", i);
}

// Every output name, as extraction gives them one by one.
WadNames nameOutputs(Source& in, int32_t paletteCount, const std::vector<WadEntry>& entries)
{
    WadNames names;
    NameBook book;
    for (int32_t i = 0; i < paletteCount; i++) {
        const uint8_t* record = view(in, kPalettesAt + kPaletteRecord * i, size_t(kPaletteRecord));
        names.palettes.push_back(record ? paletteName(book, record, i) : OutputName{});
    }
    int32_t paletteIndex;
    std::vector<uint32_t> rowOffsets;
    for (size_t i = 0; i < entries.size(); i++)
        names.entries.push_back(entryTrouble(in, entries[i], paletteCount, paletteIndex, rowOffsets).empty()
                                    ? nameFor(book, entries[i].name, 4, btmp, int(i))
                                    : OutputName{});
    return names;
}

bool writePalette(const std::string& path, Source& in, const std::string& dir, NameBook& book, int32_t i)
{
    const uint8_t* record = view(in, kPalettesAt + kPaletteRecord * i, size_t(kPaletteRecord));
    if (!record)
        return endsBefore(path, in, "palette %d is complete", i);
    const OutputName name = paletteName(book, record, i);
    if (name.file.empty())
        return true;  // a palette without a file; entries may still use it
    const ColourTable colours = pal2to3(record);
    if (name.substituted)
        reportProblem(path, "palette " + std::to_string(i) + " \"" + storedText(fieldText(record + 512, 13)) +
                                "\" is written as " + name.file);
    OutputFile out;
    openOutput(out, createFile(name.file, dir));
    writeOutput(out, colours.data(), colours.size());
    return placeOutputs({&out});
}

// Palette colours for the entries, read once: going back to the palette
// records for every entry would pull the read window back to the start of
// the archive. Up to kHeldPalettes are held (4 MiB); beyond, the last used.
constexpr int32_t kHeldPalettes = 4096;
struct PaletteColours {
    std::vector<ColourTable> held;
    int32_t lastIndex = -1;
    ColourTable last;
};

const ColourTable* paletteColours(Source& in, PaletteColours& p, int32_t paletteCount, int32_t index)
{
    if (p.held.empty() && paletteCount <= kHeldPalettes)
        for (int32_t k = 0; k < paletteCount; k++) {
            const uint8_t* palette = view(in, kPalettesAt + kPaletteRecord * k, 512);
            if (!palette)
                return nullptr;
            p.held.push_back(pal2to3(palette));
        }
    if (size_t(index) < p.held.size())
        return &p.held[size_t(index)];
    if (p.lastIndex != index) {
        const uint8_t* palette = view(in, kPalettesAt + kPaletteRecord * index, 512);
        if (!palette)
            return nullptr;
        p.lastIndex = index;
        p.last = pal2to3(palette);
    }
    return &p.last;
}

bool writeEntry(const std::string& path, Source& in, const WadEntry& e, int32_t i, int32_t paletteCount,
                const std::string& dir, NameBook& book, PaletteColours& palettes)
{
    const std::string shown = entryLabel(e, i);
    int32_t paletteIndex = 0;
    std::vector<uint32_t> rowOffsets;
    const std::string trouble = entryTrouble(in, e, paletteCount, paletteIndex, rowOffsets);
    if (!trouble.empty())
        return in.readError || trouble == "it is cut off"
                   ? endsBefore(path, in, "%s is complete", shown.c_str())
                   : refuse(path, "%s is not written: %s", shown.c_str(), trouble.c_str());
    RunData run{&in, e.bodyAt, e.length, {}};
    const ColourTable* found = paletteColours(in, palettes, paletteCount, paletteIndex);
    if (!found)
        return endsBefore(path, in, "palette %d is complete", paletteIndex);
    const ColourTable& colours = *found;

    const OutputName name = nameFor(book, e.name, 4, btmp, i);
    if (name.substituted)
        reportProblem(path, shown + " is written as " + name.file);
    const size_t stride = rowStride(e.width);
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

namespace {
// The counts and every entry's head, walked before anything is written; end
// is where the last entry ends.
bool readWadLayout(const std::string& path, Source& in, int32_t& paletteCount, std::vector<WadEntry>& entries,
                   int64_t& end)
{
    if (in.size < kMinFileSize)
        return tooShort(path, in, "a WAD archive", kMinFileSize);
    const uint8_t* countField = view(in, 400, 4);
    if (!countField)
        return endsBefore(path, in, "the palette count");
    paletteCount = toInt(countField[0], countField[1]);
    const int64_t entryCountAt = kPalettesAt + kPaletteRecord * paletteCount;
    countField = view(in, entryCountAt, 4);
    if (!countField)
        return endsBefore(path, in, "the entry count behind %d palette records", paletteCount);
    const int32_t entryCount = toInt(countField[0], countField[1]);

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
    end = pos;
    return true;
}
}  // namespace

bool extract_WAD(const std::string& path)
{
    Source in;
    int32_t paletteCount = 0;
    std::vector<WadEntry> entries;
    int64_t end = 0;
    if (!openInput(path, in) || !readWadLayout(path, in, paletteCount, entries, end))
        return false;

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    NameBook book;
    PaletteColours palettes;
    bool whole = true;
    for (int32_t i = 0; i < paletteCount; i++)
        whole = writePalette(path, in, dir, book, i) && whole;
    for (int32_t i = 0; i < int32_t(entries.size()); i++)
        whole = writeEntry(path, in, entries[size_t(i)], i, paletteCount, dir, book, palettes) && whole;
    return whole;
}

namespace {

// A name's file belongs to the last record written under it: earlier ones
// were overwritten by extraction, so they keep their original data.
std::vector<bool> lastOwners(const std::vector<OutputName>& names)
{
    std::vector<std::string> files;
    for (const OutputName& name : names)
        files.push_back(name.file);
    std::vector<bool> owner = lastOfEach(files);
    for (size_t i = 0; i < names.size(); i++)
        owner[i] = owner[i] && !names[i].file.empty();  // no file, nothing to read back
    return owner;
}

void put24(uint8_t* at, int64_t v)
{
    for (int k = 0; k < 3; k++)
        at[k] = toByte(int32_t(v), k);
}

// The descriptor fields that follow a picture: data length L, height, width.
void setEntrySize(uint8_t* descriptor, int64_t length, int32_t width, int32_t height)
{
    put24(descriptor, length);
    descriptor[16] = toByte(height, 0);
    descriptor[17] = toByte(height, 1);
    descriptor[20] = toByte(width, 0);
    descriptor[21] = toByte(width, 1);
}

// One entry rebuilt from its original and its edited image (and mask).
bool packEntry(const std::string& path, Source& in, const WadEntry& e, int32_t i, int32_t paletteCount,
               const std::string& dir, const OutputName& name, OutputFile& out)
{
    const uint8_t* headBytes = view(in, e.bodyAt - int64_t(kEntryHead), kEntryHead);
    if (!headBytes)
        return endsBefore(path, in, "entry %d is complete: the file changed while it was read", i);
    std::vector<uint8_t> head(headBytes, headBytes + kEntryHead);
    int32_t paletteIndex = 0;
    std::vector<uint32_t> rowOffsets;
    const std::string imagePath = createFile(name.file, dir);
    // Write failures stay in out, told when it is placed; false is a refusal.
    auto keep = [&] {
        writeOutput(out, head.data(), head.size());
        copyOriginal(out, in, e.bodyAt, bodySize(e));
        return true;
    };
    if (name.file.empty() || !entryTrouble(in, e, paletteCount, paletteIndex, rowOffsets).empty())
        return keep();  // never shown: kept as it is
    uint8_t* descriptor = &head[32];

    if (!e.runLength) {
        BmpPicture picture;
        const Edited read = readEditedImage(imagePath, picture);
        if (read == Edited::Refused)
            return false;
        if (read == Edited::Missing) {
            noteKept(imagePath, "picture");
            return keep();
        }
        if (picture.width > 65535 || picture.height > 65535)
            return refuse(imagePath, "%d x %d is larger than an archive entry holds (65535 x 65535 at most)",
                          picture.width, picture.height);
        // Rows lie W + 2 bytes apart; at the same size the bytes between them stay.
        const bool sameSize = picture.width == e.width && picture.height == e.height;
        const int64_t length = sameSize ? e.length : int64_t(picture.height) * (picture.width + 2);
        if (length >= (int64_t(1) << 24))
            return refuse(imagePath, "%d x %d needs more than the 16 MiB an archive entry holds", picture.width,
                          picture.height);
        std::vector<uint8_t> body(size_t(length), 0);
        if (sameSize) {
            const uint8_t* original = view(in, e.bodyAt, size_t(e.length));
            if (!original)
                return endsBefore(path, in, "entry %d is complete: the file changed while it was read", i);
            std::memcpy(body.data(), original, body.size());
        }
        for (int32_t r = 0; r < picture.height && picture.width > 0; r++)
            std::memcpy(body.data() + size_t(r) * size_t(picture.width + 2),
                        picture.pixels.data() + size_t(r) * size_t(picture.width), size_t(picture.width));
        setEntrySize(descriptor, length, picture.width, picture.height);
        writeOutput(out, head.data(), head.size());
        writeOutput(out, body.data(), body.size());
        copyOriginal(out, in, e.bodyAt + e.length, 4);  // palette index and two bytes
        return true;
    }

    RunData run{&in, e.bodyAt, e.length, {}};
    SpriteEdit edit;
    if (!readSpriteEdit(imagePath, createMask(e.name, dir, imagePath), e.width, e.height,
                        [&](int32_t r, uint8_t* image, uint8_t* mask) {
                            return decodeRleRow(run, rowOffsets[size_t(r)], e.width, image, mask);
                        },
                        edit))
        return false;
    if (edit.width > 65535 || edit.height > 65535)
        return refuse(imagePath, "%d x %d is larger than an archive entry holds (65535 x 65535 at most)", edit.width,
                      edit.height);
    std::vector<uint8_t> appended;
    const std::vector<uint32_t> offsets = packRleRows(run, rowOffsets, e.width, edit, e.length, appended);
    const int64_t length = e.length + int64_t(appended.size());
    if (length >= (int64_t(1) << 24))
        return refuse(imagePath, "the rebuilt rows need more than the 16 MiB an archive entry holds");
    setEntrySize(descriptor, length, edit.width, edit.height);
    const uint8_t* oldTable = view(in, e.bodyAt + e.length + 16, 4 * size_t(e.height));
    if (!oldTable)
        return endsBefore(path, in, "entry %d is complete: the file changed while it was read", i);
    std::vector<uint8_t> rowTable(4 * offsets.size());
    for (size_t r = 0; r < offsets.size(); r++) {
        put24(&rowTable[4 * r], offsets[r]);
        rowTable[4 * r + 3] = r < size_t(e.height) ? oldTable[4 * r + 3] : 0;  // not read; kept
    }
    writeOutput(out, head.data(), head.size());
    copyOriginal(out, in, e.bodyAt, e.length);  // every original row
    writeOutput(out, appended.data(), appended.size());
    copyOriginal(out, in, e.bodyAt + e.length, 16);
    writeOutput(out, rowTable.data(), rowTable.size());
    copyOriginal(out, in, e.bodyAt + e.length + 16 + 4 * int64_t(e.height), 4);  // palette index, two bytes
    return true;
}

}  // namespace

bool pack_WAD(const std::string& path)
{
    Source in;
    int32_t paletteCount = 0;
    std::vector<WadEntry> entries;
    int64_t end = 0;
    if (!openInput(path, in) || !readWadLayout(path, in, paletteCount, entries, end))
        return false;
    const std::string dir = path + extracted;
    const WadNames names = nameOutputs(in, paletteCount, entries);
    const std::vector<bool> paletteOwners = lastOwners(names.palettes);
    const std::vector<bool> entryOwners = lastOwners(names.entries);

    OutputFile out;
    openOutput(out, packedPath(path));
    copyOriginal(out, in, 0, kPalettesAt);  // the header block and the palette count
    bool whole = true;
    for (int32_t i = 0; i < paletteCount; i++) {
        const int64_t at = kPalettesAt + kPaletteRecord * i;
        const uint8_t* record = view(in, at, size_t(kPaletteRecord));
        if (!record)
            return endsBefore(path, in, "palette %d is complete: the file changed while it was read", i);
        std::vector<uint8_t> bytes(record, record + kPaletteRecord);
        if (paletteOwners[size_t(i)]) {
            const std::string palettePath = createFile(names.palettes[size_t(i)].file, dir);
            ColourTable table;
            const Edited read = readEditedPalette(palettePath, table);
            if (read == Edited::Refused)
                whole = false;
            else if (read == Edited::Missing)
                noteKept(palettePath, "palette");
            else
                noteRounded(palettePath, pal3to2(table, 256, record, bytes.data()));
        }
        writeOutput(out, bytes.data(), bytes.size());
    }
    copyOriginal(out, in, kPalettesAt + kPaletteRecord * paletteCount, 4);  // the entry count
    for (int32_t i = 0; i < int32_t(entries.size()) && whole; i++) {
        const OutputName owned = entryOwners[size_t(i)] ? names.entries[size_t(i)] : OutputName{};
        whole = packEntry(path, in, entries[size_t(i)], i, paletteCount, dir, owned, out);
    }
    if (!whole)
        return false;  // the temporary goes with out
    copyOriginal(out, in, end, in.size - end);  // whatever follows the last entry
    return placeOutputs({&out});
}
