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
#include <atomic>
#include <cstring>
#include <map>

#include "common/report.h"
#include "formats/sprites/sprites.h"
#include "store/names.h"
#include "app/share.h"
#include "pictures/palette.h"

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

std::string entryLabel(const WadEntry& e, int32_t i)
{
    return "entry " + std::to_string(i) + " \"" + storedText(e.name) + "\"";
}

// Why entry e cannot be shown (empty when it can), with its palette and row
// offsets when it can; its run-length rows are walked only when asked. A
// read error leaves in.readError set.
std::string entryTrouble(Source& in, const WadEntry& e, int32_t paletteCount, int32_t& paletteIndex,
                         std::vector<uint32_t>& rowOffsets, bool walkRows)
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
        if (walkRows)
            if (int32_t bad = firstBadRleRow(run, rowOffsets, e.width); bad >= 0)
                return formatted("the codes of its row %d end before the row is complete", bad);
    } else if (e.height > 0 && int64_t(e.height - 1) * (e.width + 2) + e.width > e.length) {
        // The last row needs only its W bytes, not the two that follow the others.
        return formatted("its %d rows of %d pixels, %d bytes apart, do not fit its %d bytes", e.height, e.width,
                           e.width + 2, e.length);
    }
    return "";
}

// Every output's name, decided before the first is written: the file of each
// palette (none for a palette without a name that no entry uses) and of each
// entry that can be shown (why the others cannot is kept for extraction).
struct WadNames {
    std::vector<OutputName> palettes, entries;
    std::vector<std::string> troubles;  // per entry; empty when it is shown
};

WadNames nameOutputs(Source& in, int32_t paletteCount, const std::vector<WadEntry>& entries)
{
    WadNames names;
    std::vector<bool> used(size_t(paletteCount), false);
    int32_t paletteIndex = 0;
    std::vector<uint32_t> rowOffsets;
    for (const WadEntry& e : entries) {
        names.troubles.push_back(entryTrouble(in, e, paletteCount, paletteIndex, rowOffsets, true));
        if (names.troubles.back().empty())
            used[size_t(paletteIndex)] = true;
    }
    std::vector<NameRequest> requests;
    for (int32_t i = 0; i < paletteCount; i++) {
        const uint8_t* record = view(in, kPalettesAt + kPaletteRecord * i, size_t(kPaletteRecord));
        const std::string stored = record ? fieldText(record + 512, 13) : std::string();
        // A palette without a name gets a file only when a sprite needs it to be recoloured.
        requests.push_back({stored, 3, paletteExtension(paletteFormat()), i, false,
                            record && (!stored.empty() || used[size_t(i)])});
    }
    for (size_t i = 0; i < entries.size(); i++)
        requests.push_back({entries[i].name, 4, btmp, int(i), entries[i].runLength, names.troubles[i].empty()});
    const std::vector<OutputName> planned = planNames(requests);
    names.palettes.assign(planned.begin(), planned.begin() + paletteCount);
    names.entries.assign(planned.begin() + paletteCount, planned.end());
    return names;
}

bool writePalette(const std::string& path, Source& in, const std::string& dir, const OutputName& name, int32_t i)
{
    const uint8_t* record = view(in, kPalettesAt + kPaletteRecord * i, size_t(kPaletteRecord));
    if (!record)
        return endsBefore(path, in, "palette %d is complete", i);
    if (name.file.empty())
        return true;  // a palette without a file; entries may still use it
    const ColourTable colours = pal2to3(record);
    if (name.substituted)
        noteRenamed(path, "palette " + std::to_string(i) + " \"" + storedText(fieldText(record + 512, 13)) +
                                "\" is written as " + name.file);
    OutputFile out;
    showing("palette " + std::to_string(i));
    openOutput(out, createFile(name.file, dir));
    const size_t dot = name.file.rfind('.');
    const std::vector<uint8_t> bytes = encodePalette(paletteFormat(), colours, name.file.substr(0, dot));
    writeOutput(out, bytes.data(), bytes.size());
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
                const std::string& dir, const WadNames& names, PaletteColours& palettes)
{
    const std::string shown = entryLabel(e, i);
    const std::string& trouble = names.troubles[size_t(i)];
    int32_t paletteIndex = 0;
    std::vector<uint32_t> rowOffsets;
    if (!trouble.empty() || !entryTrouble(in, e, paletteCount, paletteIndex, rowOffsets, false).empty())
        return in.readError || trouble == "it is cut off" || trouble.empty()
                   ? endsBefore(path, in, "%s is complete", shown.c_str())
                   : refuse(path, "%s is not written: %s", shown.c_str(), trouble.c_str());
    RunData run{&in, e.bodyAt, e.length, {}};
    const ColourTable* found = paletteColours(in, palettes, paletteCount, paletteIndex);
    if (!found)
        return endsBefore(path, in, "palette %d is complete", paletteIndex);
    const ColourTable& colours = *found;

    const OutputName& name = names.entries[size_t(i)];
    if (name.substituted)
        noteRenamed(path, shown + " is written as " + name.file + (e.runLength ? " and " + name.maskFile : ""));
    const size_t stride = rowStride(e.width);
    const std::string imagePath = createFile(name.file, dir);
    const BmpHeader header = getBmpHeader(e.width, e.height, int32_t(stride * size_t(e.height)));
    showing("entry " + std::to_string(i));
    auto changed = [&](int32_t row) { return endsBefore(path, in, "%s's row %d is complete", shown.c_str(), row); };
    if (e.runLength)
        return writeSprite(imagePath, createFile(name.maskFile, dir), header, colours, stride, e.height,
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
    // An archive has no magic of its own, but a file that starts with
    // another format's is that format, not a damaged archive.
    static const struct {
        const char* magic;
        const char* what;
    } others[] = {{"BM", "an RLE sprite or a BMP picture"}, {"rlc", "an RLC or ARLC sprite"},
                  {"NIBS", "an SEC file"}, {"BNM ", "an ANM script"}};
    if (const uint8_t* head = view(in, 0, 4))
        for (const auto& other : others)
            if (std::memcmp(head, other.magic, std::strlen(other.magic)) == 0)
                return refuse(path, "not a WAD archive: it starts as %s does (\"%s\")", other.what, other.magic);
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
    const WadNames names = nameOutputs(in, paletteCount, entries);

    if (in.readError)
        return endsBefore(path, in, "its entries are checked");
    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    bool whole = true;
    for (int32_t i = 0; i < paletteCount && !in.readError; i++)
        whole = writePalette(path, in, dir, names.palettes[size_t(i)], i) && whole;
    if (in.readError)
        return endsBefore(path, in, "its palettes are complete");
    // The entries are independent: where the conversion may use more
    // threads, each reads its pieces of the archive through a window of its own.
    std::atomic<bool> entriesWhole{true}, readFailed{false};
    shareWork(entries.size(), 64, [&](size_t begin, size_t end) {
        Source own;
        own.windowSize = 256 << 10;  // a piece of entries: its window need not hold many of them
        if (readFailed || !openInput(path, own)) {
            entriesWhole = false;
            return;
        }
        PaletteColours palettes;
        for (size_t i = begin; i < end && !own.readError; i++)
            if (!writeEntry(path, own, entries[i], int32_t(i), paletteCount, dir, names, palettes))
                entriesWhole = false;
        if (own.readError && !readFailed.exchange(true))
            endsBefore(path, own, "its entries are complete");
    });
    return whole && entriesWhole;
}

namespace {

// The descriptor fields that follow a picture: data length L, height, width.
void setEntrySize(uint8_t* descriptor, int64_t length, int32_t width, int32_t height)
{
    put24(descriptor, uint32_t(length));
    put16(descriptor + 16, uint32_t(height));
    put16(descriptor + 20, uint32_t(width));
}

// One entry rebuilt from its original and its edited image (and mask).
bool packEntry(const std::string& path, Source& in, const WadEntry& e, int32_t i, int32_t paletteCount,
               const std::string& dir, const OutputName& name, const std::vector<OutputName>& paletteNames,
               OutputFile& out)
{
    const uint8_t* headBytes = view(in, e.bodyAt - int64_t(kEntryHead), kEntryHead);
    if (!headBytes)
        return endsBefore(path, in, "entry %d is complete", i);
    std::vector<uint8_t> head(headBytes, headBytes + kEntryHead);
    int32_t paletteIndex = 0;
    std::vector<uint32_t> rowOffsets;
    std::string imagePath = createFile(name.file, dir);
    // Write failures stay in out, told when it is placed; false is a refusal.
    auto keep = [&] {
        writeOutput(out, head.data(), head.size());
        copyOriginal(out, in, e.bodyAt, bodySize(e));
        return true;
    };
    if (name.file.empty() || !entryTrouble(in, e, paletteCount, paletteIndex, rowOffsets, false).empty())
        return keep();  // never shown: kept as it is
    uint8_t* descriptor = &head[32];
    // The picture was made in its palette's colours, which come back from
    // the palette file, not from the picture.
    const uint8_t* palette = view(in, kPalettesAt + kPaletteRecord * paletteIndex, 512);
    if (!palette)
        return endsBefore(path, in, "palette %d is complete", paletteIndex);
    PictureTable table;
    table.colours = pal2to3(palette);
    const std::string& paletteFile = paletteNames[size_t(paletteIndex)].file;
    auto note = [&](const std::string& image, const ColourRead& read) {
        noteColours(image, read, paletteFile, "edit " + paletteFile + " to change a sprite's colours");
    };

    if (!e.runLength) {
        BmpPicture picture;
        const Edited read = readEditedImage(imagePath, picture, nullptr, nullptr, true, "raw archive entries have no transparency");
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
        std::vector<uint8_t> original;
        for (int32_t r = 0; sameSize && r < e.height; r++) {
            const uint8_t* row = view(in, e.bodyAt + int64_t(r) * (e.width + 2), size_t(e.width));
            if (!row)
                return endsBefore(path, in, "entry %d is complete", i);
            original.insert(original.end(), row, row + e.width);
        }
        ColourRead colours;
        readColours(picture, sameSize ? original.data() : nullptr, nullptr, table, colours);
        note(imagePath, colours);
        const int64_t length = sameSize ? e.length : int64_t(picture.height) * (picture.width + 2);
        if (length >= (int64_t(1) << 24))
            return refuse(imagePath, "%d x %d needs more than the 16 MiB an archive entry holds", picture.width,
                          picture.height);
        std::vector<uint8_t> body(size_t(length), 0);
        if (sameSize) {
            const uint8_t* original = view(in, e.bodyAt, size_t(e.length));
            if (!original)
                return endsBefore(path, in, "entry %d is complete", i);
            std::memcpy(body.data(), original, body.size());
        }
        for (int32_t r = 0; r < picture.height && picture.width > 0; r++)
            std::memcpy(body.data() + size_t(r) * size_t(picture.width + 2),
                        colours.indexes.data() + size_t(r) * size_t(picture.width), size_t(picture.width));
        setEntrySize(descriptor, length, picture.width, picture.height);
        writeOutput(out, head.data(), head.size());
        writeOutput(out, body.data(), body.size());
        copyOriginal(out, in, e.bodyAt + e.length, 4);  // palette index and two bytes
        return true;
    }

    RunData run{&in, e.bodyAt, e.length, {}};
    SpriteEdit edit;
    if (!readSpriteEdit(imagePath, createFile(name.maskFile, dir), e.width, e.height,
                        [&](int32_t r, uint8_t* image, uint8_t* mask) {
                            return decodeRleRow(run, rowOffsets[size_t(r)], e.width, image, mask);
                        },
                        table, edit))
        return false;
    note(edit.imagePath, edit.colours);
    if (edit.width > 65535 || edit.height > 65535)
        return refuse(edit.imagePath, "%d x %d is larger than an archive entry holds (65535 x 65535 at most)", edit.width,
                      edit.height);
    std::vector<uint8_t> appended;
    const std::vector<uint32_t> offsets = packRleRows(run, rowOffsets, e.width, edit, e.length, appended);
    const int64_t length = e.length + int64_t(appended.size());
    if (length >= (int64_t(1) << 24))
        return refuse(imagePath, "the rebuilt rows need more than the 16 MiB an archive entry holds");
    setEntrySize(descriptor, length, edit.width, edit.height);
    const uint8_t* oldTable = view(in, e.bodyAt + e.length + 16, 4 * size_t(e.height));
    if (!oldTable)
        return endsBefore(path, in, "entry %d is complete", i);
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
    const std::string dir = editsFolderOf(path);
    const WadNames names = nameOutputs(in, paletteCount, entries);
    std::vector<std::string> known;
    for (const std::vector<OutputName>* list : {&names.palettes, &names.entries})
        for (const OutputName& name : *list)
            if (!name.file.empty())
                known.insert(known.end(), {name.file, name.maskFile});
    for (const OutputName& name : names.palettes)  // a palette saved in another editor's format
        if (!name.file.empty())
            for (const std::string& other : paletteFileNames(name.file))
                known.push_back(other);
    noteUnreadFiles(dir, known, "an archive's palettes and entries are read by their names; adding entries is not "
                                "supported yet");

    OutputFile out;
    openRebuilt(out, path);
    copyOriginal(out, in, 0, kPalettesAt);  // the header block and the palette count
    bool whole = true;
    for (int32_t i = 0; i < paletteCount; i++) {
        const int64_t at = kPalettesAt + kPaletteRecord * i;
        const uint8_t* record = view(in, at, size_t(kPaletteRecord));
        if (!record)
            return endsBefore(path, in, "palette %d is complete", i);
        std::vector<uint8_t> bytes(record, record + kPaletteRecord);
        if (!names.palettes[size_t(i)].file.empty()) {
            std::string palettePath = createFile(names.palettes[size_t(i)].file, dir);
            ColourTable table;
            int32_t count = 0;
            const Edited read = readEditedPalette(palettePath, table, count);
            if (read == Edited::Refused)
                whole = false;
            else if (read == Edited::Missing)
                noteKept(palettePath, "palette");
            else
                noteRounded(palettePath, pal3to2(table, count, record, bytes.data()));
        }
        writeOutput(out, bytes.data(), bytes.size());
    }
    copyOriginal(out, in, kPalettesAt + kPaletteRecord * paletteCount, 4);  // the entry count
    for (int32_t i = 0; i < int32_t(entries.size()) && whole; i++) {
        whole = packEntry(path, in, entries[size_t(i)], i, paletteCount, dir, names.entries[size_t(i)], names.palettes,
                          out);
    }
    if (!whole)
        return false;  // the temporary goes with out
    copyOriginal(out, in, end, in.size - end);  // whatever follows the last entry
    return placeOutputs({&out});
}

bool list_WAD(const std::string& path, Listing& listing)
{
    Source in;
    int32_t paletteCount = 0;
    std::vector<WadEntry> entries;
    int64_t end = 0;
    listing.type = "WAD";
    if (!openInput(path, in))
        return false;
    if (listing.quick)
        in.windowSize = 4 << 10;  // only the entries' heads and tails are read: the pixels between are skipped
    if (!readWadLayout(path, in, paletteCount, entries, end))
        return false;
    listing.size = in.size;
    for (int32_t i = 0; i < paletteCount; i++) {
        const uint8_t* record = view(in, kPalettesAt + kPaletteRecord * i, size_t(kPaletteRecord));
        if (!record)
            return endsBefore(path, in, "palette %d is complete", i);
        ListedItem item;
        item.kind = "palette";
        item.index = i;
        item.name = fieldText(record + 512, 13);
        listing.items.push_back(item);
    }
    bool whole = true;
    std::vector<uint32_t> rowOffsets;
    for (size_t i = 0; i < entries.size(); i++) {
        const WadEntry& e = entries[i];
        ListedItem item;
        item.kind = "entry";
        item.index = int64_t(i);
        item.name = e.name;
        item.width = e.width;
        item.height = e.height;
        item.detail = e.runLength ? "run-length" : "raw";
        int32_t paletteIndex = -1;
        const std::string trouble = entryTrouble(in, e, paletteCount, paletteIndex, rowOffsets, !listing.quick);
        if (in.readError)
            return endsBefore(path, in, "its entries are checked");
        if (trouble.empty())
            item.palette = paletteIndex;
        else
            whole = refuse(path, "%s cannot be shown: %s", entryLabel(e, int32_t(i)).c_str(), trouble.c_str());
        listing.items.push_back(item);
    }
    return whole;
}
