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

#include "common/report.h"
#include "formats/sprites/sprites.h"
#include "output/names.h"
#include "output/palette.h"

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

bool extract_RLC(const std::string& path)
{
    Source in;
    if (!openInput(path, in))
        return false;
    if (in.size < kMinFileSize)
        return refuse(path, "too short for an RLC sprite: %lld bytes, at least %lld needed", (long long)in.size,
                      (long long)kMinFileSize);
    const uint8_t* head = view(in, 0, size_t(kRowDataAt));
    if (!head)
        return endsBefore(path, in, "the header is complete");
    if (std::memcmp(head, mw_rlc, 4) != 0)
        return refuse(path, "not an RLC sprite: it does not start with \"rlc \"");
    const int32_t width = toInt(head[4], head[5]);
    const int32_t height = toInt(head[8], head[9]);
    const ColourTable table = pal2to3(head + 12);
    const size_t stride = rowStride(width);
    if (int64_t(stride) * height > kMaxImageSize)
        return refuse(path, "the picture, %d x %d, is too large for a BMP file", width, height);
    std::vector<int64_t> records;
    if (!findRlcRows(path, in, kRowDataAt, width, height, records))
        return false;

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    std::string imagePath = createBitmap(getName(path), dir);
    std::string maskPath = createMask(getName(path), dir, imagePath);
    BmpHeader header = getBmpHeader(width, height, int32_t(stride * size_t(height)));
    return writeSprite(imagePath, maskPath, header, table, stride, height, [&](int32_t r, uint8_t* image, uint8_t* mask) {
        // The first record is the top row, stored last.
        return decodeRlcRow(in, records[size_t(height - 1 - r)], width, image, mask) ||
               endsBefore(path, in, "row record %d is complete: the file changed while it was read", height - 1 - r);
    });
}
