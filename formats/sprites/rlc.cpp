// RLC sprite: a 256-colour sprite with its own RGB565 palette.
//
//   0    4    magic "rlc "
//   4    2    width            6   2  not read
//   8    2    height           10  2  not read
//   12   512  palette, 256 RGB565 colours
//   524  ...  one row record per row, top row first, back to back:
//             2 prefix bytes (not interpreted), then pairs of
//             skip (transparent run), copy (literal run), copy bytes,
//             until the pairs cover the width
//
// The records have no index: one walk finds where each starts (and shows the
// file holds them all) before the output folder is made; the rows are then
// decoded from the file in BMP order, bottom row first.
#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/sprites/sprites.h"
#include "store/names.h"
#include "pictures/palette.h"

const char* const mw_rlc = "rlc ";

namespace {
constexpr int64_t kMinFileSize = 528;  // header, palette, one prefix and one pair
constexpr int64_t kRowDataAt = 524;
}  // namespace

bool findRlcRows(const std::string& path, Source& source, int64_t rowsAt, int32_t width, int32_t height,
                 std::vector<int64_t>& records)
{
    records.clear();
    int64_t p = rowsAt;
    for (int32_t r = 0; r < height; r++) {
        records.push_back(p);
        p += 2;  // the row prefix
        for (int32_t x = 0; x < width;) {
            const uint8_t* pair = view(source, p, 2);
            if (!pair)
                return endsBefore(path, source, "row record %d is complete", r);
            x += pair[0] + pair[1];
            p += 2 + pair[1];
        }
        if (!holds(source, rowsAt, uint64_t(p - rowsAt)))
            return endsBefore(path, source, "row record %d is complete", r);
    }
    records.push_back(p);  // where the last record ends
    return true;
}

bool decodeRlcRow(Source& source, int64_t record, int32_t width, uint8_t* image, uint8_t* mask)
{
    int64_t p = record + 2;
    int32_t x = 0;
    while (x < width) {
        const uint8_t* pair = view(source, p, 2);
        if (!pair)
            return false;
        const int32_t skipCount = pair[0], copyCount = pair[1];
        std::memset(image + x, 255, size_t(std::min(skipCount, width - x)));
        x = std::min(x + skipCount, width);
        const uint8_t* pixels = view(source, p + 2, size_t(copyCount));
        if (!pixels)
            return false;
        const size_t shown = size_t(std::min(copyCount, width - x));
        std::memcpy(image + x, pixels, shown);
        std::memset(mask + x, 255, shown);
        x += copyCount;
        p += 2 + copyCount;
    }
    return true;
}

void encodeRlcRow(const uint8_t* image, const uint8_t* mask, int32_t width, std::vector<uint8_t>& out)
{
    for (int32_t x = 0; x < width;) {
        int32_t skipCount = 0, copyCount = 0;
        while (x + skipCount < width && mask[x + skipCount] == 0 && skipCount < 255)
            skipCount++;
        while (x + skipCount + copyCount < width && mask[x + skipCount + copyCount] != 0 && copyCount < 255)
            copyCount++;
        out.insert(out.end(), {uint8_t(skipCount), uint8_t(copyCount)});
        out.insert(out.end(), image + x + skipCount, image + x + skipCount + copyCount);
        x += skipCount + copyCount;
    }
}

namespace {
// What extraction and packing both check before they use an RLC sprite.
struct RlcSprite {
    int32_t width, height;
    std::vector<int64_t> records;  // and, last, where the records end
};

bool readRlcSprite(const std::string& path, Source& in, RlcSprite& sprite)
{
    if (in.size < kMinFileSize)
        return tooShort(path, in, "an RLC sprite", kMinFileSize);
    const uint8_t* head = view(in, 0, size_t(kRowDataAt));
    if (!head)
        return endsBefore(path, in, "the header is complete");
    if (std::memcmp(head, mw_rlc, 4) != 0)
        return refuse(path, "not an RLC sprite: it does not start with \"rlc \"");
    sprite.width = toInt(head[4], head[5]);
    sprite.height = toInt(head[8], head[9]);
    if (int64_t(rowStride(sprite.width)) * sprite.height > kMaxImageSize)
        return refuse(path, "the picture, %d x %d, is too large for a BMP file", sprite.width, sprite.height);
    return findRlcRows(path, in, kRowDataAt, sprite.width, sprite.height, sprite.records);
}
}  // namespace

bool extract_RLC(const std::string& path)
{
    Source in;
    RlcSprite sprite;
    if (!openInput(path, in) || !readRlcSprite(path, in, sprite))
        return false;
    const int32_t width = sprite.width, height = sprite.height;
    const std::vector<int64_t>& records = sprite.records;
    const uint8_t* head = view(in, 0, size_t(kRowDataAt));
    if (!head)
        return endsBefore(path, in, "the header is complete");
    const ColourTable table = pal2to3(head + 12);
    const size_t stride = rowStride(width);

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    std::string imagePath = createBitmap(getName(path), dir);
    std::string maskPath = createMask(getName(path), dir, imagePath);
    BmpHeader header = getBmpHeader(width, height, int32_t(stride * size_t(height)));
    return writeSprite(imagePath, maskPath, header, table, stride, height, [&](int32_t r, uint8_t* image, uint8_t* mask) {
        // The first record is the top row, stored last.
        return decodeRlcRow(in, records[size_t(height - 1 - r)], width, image, mask) ||
               endsBefore(path, in, "row record %d is complete", height - 1 - r);
    });
}

bool pack_RLC(const std::string& path)
{
    Source in;
    RlcSprite sprite;
    if (!openInput(path, in) || !readRlcSprite(path, in, sprite))
        return false;
    const int32_t width = sprite.width, height = sprite.height;
    const uint8_t* palette = view(in, 12, 512);
    if (!palette)
        return endsBefore(path, in, "the header is complete");
    SpriteEdit edit;
    PictureTable table;
    table.colours = pal2to3(palette);
    table.own = true;
    if (!readSpriteFolder(path, width, height,
                          [&](int32_t r, uint8_t* image, uint8_t* maskRow) {
                              return decodeRlcRow(in, sprite.records[size_t(r)], width, image, maskRow);
                          },
                          table, edit))
        return false;
    noteColours(edit.imagePath, edit.colours, kFullTable, "");
    if (std::find(edit.mask.begin(), edit.mask.end(), uint8_t(127)) != edit.mask.end())
        return refuse(edit.maskPath, "grey (half-transparent) pixels, which an RLC sprite cannot hold: %s",
                      edit.maskPath == edit.imagePath ? "make every pixel fully opaque or fully transparent"
                                                      : "make every mask pixel black or white");
    if (edit.width > 65535 || edit.height > 65535)
        return refuse(edit.imagePath, "%d x %d is larger than an RLC sprite holds (65535 x 65535 at most)", edit.width,
                      edit.height);

    const uint8_t* head = view(in, 0, size_t(kRowDataAt));
    if (!head)
        return endsBefore(path, in, "the header is complete");
    std::vector<uint8_t> front(head, head + kRowDataAt);
    put16(&front[4], uint32_t(edit.width));  // width; the next two bytes are kept
    put16(&front[8], uint32_t(edit.height));  // height; the next two bytes are kept
    if (edit.imageGiven)
        noteRounded(edit.imagePath, pal3to2(edit.colours.table, 256, head + 12, &front[12]));

    OutputFile out;
    openRebuilt(out, path);
    writeOutput(out, front.data(), front.size());
    const size_t w = size_t(edit.width);
    std::vector<uint8_t> image(w), maskRow(w), record;
    for (int32_t r = 0; r < edit.height && !out.error; r++) {
        const uint8_t* editImage = edit.image.data() + size_t(r) * w;
        const uint8_t* editMask = edit.mask.data() + size_t(r) * w;
        if (r < height) {
            const int64_t at = sprite.records[size_t(r)], end = sprite.records[size_t(r) + 1];
            std::fill(maskRow.begin(), maskRow.end(), uint8_t(0));
            if (edit.width == width && decodeRlcRow(in, at, width, image.data(), maskRow.data()) &&
                std::equal(image.begin(), image.end(), editImage) &&
                std::equal(maskRow.begin(), maskRow.end(), editMask)) {
                copyOriginal(out, in, at, end - at);  // unchanged: the record as it was
                continue;
            }
        }
        // The two prefix bytes are not interpreted: a row keeps its own.
        const uint8_t* prefix = r < height ? view(in, sprite.records[size_t(r)], 2) : nullptr;
        record.assign({prefix ? prefix[0] : uint8_t(0), prefix ? prefix[1] : uint8_t(0)});
        encodeRlcRow(editImage, editMask, edit.width, record);
        writeOutput(out, record.data(), record.size());
    }
    copyOriginal(out, in, sprite.records.back(), in.size - sprite.records.back());  // what follows the rows
    return placeOutputs({&out});
}

bool list_RLC(const std::string& path, Listing& listing)
{
    Source in;
    RlcSprite sprite;
    listing.type = "RLC";
    if (!openInput(path, in) || !readRlcSprite(path, in, sprite))
        return false;
    listing.size = in.size;
    return listSprite(listing, sprite.width, sprite.height, [&](int32_t r, uint8_t* image, uint8_t* mask) {
        return decodeRlcRow(in, sprite.records[size_t(r)], sprite.width, image, mask) ||
               endsBefore(path, in, "row record %d is complete", r);
    });
}
