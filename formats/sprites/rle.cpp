// RLE sprite: one 256-colour sprite with run-length coded rows.
//
//   0     54    BMP-like header: "BM", data offset (10), 40 (14), width (18),
//               height (22), 1 (26), 8 (28), compression 4 (30)
//   54    1024  colour table, copied unchanged into the image
//   1078  12    not read
//   1090  4*h   row table: 24-bit offset into the run data per row, top row first
//   1090+4h     run data, coded rows:
//               c 0..253  literal run: c bytes follow (mask 255)
//               c 254     grey run: count n, n bytes follow (mask 127)
//               c 255     transparent run: count n; n pixels of index 255 (mask 0)
#include <algorithm>
#include <cstring>

#include "common/file.h"
#include "formats/sprites/sprites.h"
#include "output/names.h"

namespace {
constexpr int64_t kMinFileSize = 1095;  // header, colour table, 12 bytes and something more
constexpr size_t kRowTableAt = 1090;
// True when the codes from p on cover width pixels inside the data. Run
// before the planes are allocated, so a picture's size is only trusted once
// its rows have shown they can fill it.
bool rowFits(const uint8_t* data, size_t size, size_t p, int32_t width)
{
    int64_t x = 0;
    while (x < width) {
        if (p >= size)
            return false;
        uint8_t c = data[p++];
        size_t n = c;
        if (c >= 254) {
            if (p >= size)
                return false;
            n = data[p++];
        }
        if (c != 255) {
            if (n > size - p)
                return false;
            p += n;
        }
        x += int64_t(n);
    }
    return true;
}
}  // namespace

std::optional<RleHeaderInfo> checkRleHeader(const uint8_t* header)
{
    // Only the lowest byte of each tested field counts.
    if (header[0] != 66 || header[1] != 77 || header[14] != 40 || header[26] != 1 || header[28] != 8 ||
        header[30] != 4)
        return std::nullopt;
    RleHeaderInfo info;
    info.offset = toInt(header[10], header[11]);
    info.width = toInt(header[18], header[19]);
    info.height = toInt(header[22], header[23]);
    info.spaces = get_spaces(info.width);
    if (info.offset != 1090 + 4 * info.height)
        return std::nullopt;
    return info;
}

std::vector<uint32_t> readRowTable(const uint8_t* table, int32_t height)
{
    std::vector<uint32_t> offsets(static_cast<size_t>(height));
    for (size_t r = 0; r < offsets.size(); r++)
        offsets[r] = uint32_t(toInt(table[4 * r], table[4 * r + 1], table[4 * r + 2]));  // fourth byte not read
    return offsets;
}

bool decodeRleRows(const Cursor& runData, const std::vector<uint32_t>& rowOffsets, int32_t width, int32_t height,
                   int32_t spaces, SpritePlanes& planes)
{
    const size_t stride = size_t(width) + size_t(spaces);
    if (int64_t(stride) * height > kMaxImageSize)
        return false;
    for (int32_t r = 0; r < height; r++)
        if (!rowFits(runData.data, runData.size, rowOffsets[size_t(r)], width))
            return false;
    planes.imagePlane.assign(stride * size_t(height), 0);
    planes.maskPlane.assign(stride * size_t(height), 0);

    const uint8_t* data = runData.data;
    const size_t size = runData.size;
    for (int32_t r = 0; r < height; r++) {
        // The table's first row is the picture's top row, stored last.
        uint8_t* image = planes.imagePlane.data() + size_t(height - 1 - r) * stride;
        uint8_t* maskRow = planes.maskPlane.data() + size_t(height - 1 - r) * stride;
        size_t p = rowOffsets[size_t(r)];
        int32_t x = 0;
        while (x < width) {
            if (p >= size)
                return false;
            uint8_t c = data[p++];
            size_t n;
            if (c == 255) {
                if (p >= size)
                    return false;
                n = data[p++];
                size_t shown = std::min(n, size_t(width - x));
                std::memset(image + x, 255, shown);
                // the mask row is already 0
            } else {
                uint8_t maskValue = 255;
                if (c == 254) {
                    if (p >= size)
                        return false;
                    n = data[p++];
                    maskValue = 127;
                } else {
                    n = c;
                }
                if (n > size - p)
                    return false;
                size_t shown = std::min(n, size_t(width - x));
                std::memcpy(image + x, data + p, shown);
                std::memset(maskRow + x, maskValue, shown);
                p += n;
            }
            x += int32_t(n);
        }
    }
    return true;
}

bool extract_RLE(const std::string& path)
{
    std::vector<uint8_t> file;
    if (!readWholeFile(path, file, kMinFileSize))
        return false;
    std::optional<RleHeaderInfo> info = checkRleHeader(file.data());
    if (!info)
        return false;
    // The row table has to be in the file before the run data can start behind it.
    if (size_t(info->offset) > file.size())
        return false;
    std::vector<uint32_t> rowOffsets = readRowTable(file.data() + kRowTableAt, info->height);
    Cursor runData{file.data() + info->offset, file.size() - size_t(info->offset), 0};
    SpritePlanes planes;
    if (!decodeRleRows(runData, rowOffsets, info->width, info->height, info->spaces, planes))
        return false;

    std::string dir = createDir(path);
    std::string imagePath = createBitmap(getName(path), dir);
    std::string maskPath = createMask(getName(path), dir, imagePath);
    BmpHeader header = getBmpHeader(info->width, info->height, int32_t(planes.imagePlane.size()));
    ColourTable table;
    std::memcpy(table.data(), &file[54], table.size());
    return writeImageAndMask(imagePath, maskPath, header, table, planes);
}
