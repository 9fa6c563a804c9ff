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
// The archive is read entry by entry, so memory follows the largest entry.
// Before anything is written the whole layout is walked once, so an archive
// that ends before its counts and lengths say is refused with nothing made.
#include <cstring>

#include "common/file.h"
#include "formats/sprites/sprites.h"
#include "output/names.h"
#include "output/palette.h"

namespace {

constexpr int64_t kMinFileSize = 1023;
constexpr size_t kHeaderBlock = 400;
constexpr size_t kPaletteRecord = 525;
constexpr size_t kEntryHead = 64;

// The entry's name and descriptor, as far as the extraction uses them.
struct WadEntry {
    std::string name;
    bool terminated;  // a zero byte ends the name inside its 32 bytes
    bool runLength;
    int32_t length;   // L
    int32_t height;
    int32_t width;
};

WadEntry readEntryHead(const uint8_t* head)
{
    WadEntry e;
    e.name = fieldText(head, 32);
    e.terminated = e.name.size() < 32;
    e.runLength = e.name.size() >= 3 && e.name[e.name.size() - 3] == 'R';
    const uint8_t* d = head + 32;
    e.length = toInt(d[0], d[1], d[2]);
    /* 13 bytes not read */
    e.height = toInt(d[16], d[17]);
    /* 2 bytes not read */
    e.width = toInt(d[20], d[21]);
    return e;
}

size_t bodySize(const WadEntry& e)
{
    return size_t(e.length) + (e.runLength ? 4 * (size_t(e.height) + 5) : 4);
}

// Walks the entries' heads without reading their bodies: every entry must end
// inside the file.
bool entriesFit(FILE* in, int64_t fileLength, int64_t start, int32_t count)
{
    int64_t pos = start;
    uint8_t head[kEntryHead];
    for (int32_t i = 0; i < count; i++) {
        if (fileLength - pos < int64_t(kEntryHead))
            return false;
        if (!seekTo(in, pos) || std::fread(head, 1, kEntryHead, in) != kEntryHead)
            return false;
        pos += int64_t(kEntryHead) + int64_t(bodySize(readEntryHead(head)));
        if (pos > fileLength)
            return false;
    }
    return true;
}

// Writes one entry's image (and mask); an entry that cannot be shown
// faithfully or safely is skipped like an output that cannot be created.
void writeEntry(const WadEntry& e, const uint8_t* body, const std::vector<ColourTable>& palettes,
                const std::string& dir)
{
    if (!e.terminated || !storedNameIsSafe(e.name, 4))
        return;
    int32_t spaces = get_spaces(e.width);
    int64_t imageSize = int64_t(e.height) * (e.width + spaces);
    if (imageSize > kMaxImageSize)
        return;
    BmpHeader header = getBmpHeader(e.width, e.height, int32_t(imageSize));
    std::string imagePath = createBitmap(e.name, dir);

    if (e.runLength) {
        const uint8_t* rowBlock = body + e.length;
        size_t paletteIndex = size_t(toInt(rowBlock[16 + 4 * e.height], rowBlock[17 + 4 * e.height]));
        if (paletteIndex >= palettes.size())
            return;
        SpritePlanes planes;
        if (!wad_rle(Cursor{body, size_t(e.length), 0}, rowBlock, e.width, e.height, spaces, planes))
            return;
        writeImageAndMask(imagePath, createMask(e.name, dir, imagePath), header, palettes[paletteIndex], planes);
        return;
    }

    size_t paletteIndex = size_t(toInt(body[e.length], body[e.length + 1]));
    if (paletteIndex >= palettes.size())
        return;
    // The last row needs only its W bytes, not the two that follow the others.
    if (e.height > 0 && int64_t(e.height - 1) * (e.width + 2) + e.width > e.length)
        return;
    std::vector<uint8_t> pixels = wad_bmp(body, e.width, e.height, spaces);
    writeBmpFile(imagePath, header, palettes[paletteIndex].data(), sizeof(ColourTable), pixels.data(),
                 pixels.size());
}

}  // namespace

bool wad_rle(const Cursor& runData, const uint8_t* rowBlock, int32_t width, int32_t height, int32_t spaces,
             SpritePlanes& planes)
{
    return decodeRleRows(runData, readRowTable(rowBlock + 16, height), width, height, spaces, planes);
}

std::vector<uint8_t> wad_bmp(const uint8_t* pixels, int32_t width, int32_t height, int32_t spaces)
{
    const size_t stride = size_t(width) + size_t(spaces);
    std::vector<uint8_t> rows(stride * size_t(height), 0);
    for (int32_t r = 0; r < height && width > 0; r++)
        std::memcpy(rows.data() + size_t(height - 1 - r) * stride, pixels + size_t(r) * (size_t(width) + 2), size_t(width));
    return rows;
}

bool extract_WAD(const std::string& path)
{
    File in = openFile(path, "rb");
    if (!in)
        return false;
    int64_t length = fileSize(in.get());
    if (length < kMinFileSize)
        return false;

    uint8_t countField[4];
    std::vector<uint8_t> records;
    if (!seekTo(in.get(), kHeaderBlock) || std::fread(countField, 1, 4, in.get()) != 4)
        return false;
    int32_t paletteCount = toInt(countField[0], countField[1]);
    size_t recordBytes = kPaletteRecord * size_t(paletteCount);
    if (int64_t(kHeaderBlock + 4 + recordBytes + 4) > length)
        return false;
    if (readBytes(in.get(), recordBytes, records) != recordBytes || std::fread(countField, 1, 4, in.get()) != 4)
        return false;
    int32_t entryCount = toInt(countField[0], countField[1]);
    const int64_t entriesStart = int64_t(kHeaderBlock + 8 + recordBytes);
    if (!entriesFit(in.get(), length, entriesStart, entryCount))
        return false;

    std::string dir = createDir(path);
    std::vector<ColourTable> palettes = pal2to3(records.data(), paletteCount);
    for (int32_t i = 0; i < paletteCount; i++) {
        const uint8_t* field = &records[kPaletteRecord * size_t(i) + 512];
        std::string name = fieldText(field, 13);
        if (name.empty() || !storedNameIsSafe(name, 3))
            continue;
        File pal = openFile(createPal(name, dir), "wb");
        if (pal)
            writeBlock(pal.get(), palettes[size_t(i)].data(), sizeof(ColourTable));
    }

    if (!seekTo(in.get(), entriesStart))
        return true;
    std::vector<uint8_t> body;  // reused: grows to the largest entry only
    for (int32_t i = 0; i < entryCount; i++) {
        uint8_t head[kEntryHead];
        if (std::fread(head, 1, kEntryHead, in.get()) != kEntryHead)
            return true;  // the file shrank since it was walked; what is written stays
        WadEntry e = readEntryHead(head);
        size_t size = bodySize(e);
        body.resize(size);
        if (std::fread(body.data(), 1, size, in.get()) != size)
            return true;
        writeEntry(e, body.data(), palettes, dir);
    }
    return true;
}
