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
#include <algorithm>
#include <cstring>

#include "common/file.h"
#include "formats/sprites/sprites.h"
#include "output/names.h"
#include "output/palette.h"

const char* const mw_rlc = "rlc ";

namespace {
constexpr int64_t kMinFileSize = 528;  // header, palette, one prefix and one pair
constexpr size_t kRowDataAt = 524;
}  // namespace

bool decodeRlcRows(Cursor rows, int32_t width, int32_t height, SpritePlanes& planes)
{
    // Every record holds its prefix and, for a non-empty row, at least one
    // pair per 510 pixels: reject a height the data cannot hold before allocating.
    int64_t minRecord = 2 + (width > 0 ? 2 * ((int64_t(width) + 509) / 510) : 0);
    if (minRecord * height > int64_t(rows.size))
        return false;
    const size_t stride = size_t(width) + size_t(get_spaces(width));
    planes.imagePlane.assign(stride * size_t(height), 0);
    planes.maskPlane.assign(stride * size_t(height), 0);

    // The first record fills the last buffer row: BMP rows go bottom-up.
    for (int32_t r = height - 1; r >= 0; r--) {
        uint8_t* image = planes.imagePlane.data() + size_t(r) * stride;
        uint8_t* maskRow = planes.maskPlane.data() + size_t(r) * stride;
        if (!skip(rows, 2))
            return false;
        int32_t x = 0;
        while (x < width) {
            const uint8_t* pair;
            if (!take(rows, 2, pair))
                return false;
            int32_t skipCount = pair[0], copyCount = pair[1];
            size_t shown = size_t(std::min(skipCount, std::max(width - x, 0)));
            std::memset(image + std::min(x, width), 255, shown);
            x += skipCount;
            const uint8_t* pixels;
            if (!take(rows, size_t(copyCount), pixels))
                return false;
            shown = size_t(std::min(copyCount, std::max(width - x, 0)));
            std::memcpy(image + std::min(x, width), pixels, shown);
            std::memset(maskRow + std::min(x, width), 255, shown);
            x += copyCount;
        }
    }
    return true;
}

bool extract_RLC(const std::string& path)
{
    std::vector<uint8_t> file;
    if (!readWholeFile(path, file, kMinFileSize) || std::memcmp(file.data(), mw_rlc, 4) != 0)
        return false;
    int32_t width = toInt(file[4], file[5]);
    int32_t height = toInt(file[8], file[9]);
    int64_t imageSize = int64_t(width + get_spaces(width)) * height;
    if (imageSize > kMaxImageSize)
        return false;
    SpritePlanes planes;
    if (!decodeRlcRows(Cursor{file.data() + kRowDataAt, file.size() - kRowDataAt, 0}, width, height, planes))
        return false;

    std::string dir = createDir(path);
    std::string imagePath = createBitmap(getName(path), dir);
    std::string maskPath = createMask(getName(path), dir, imagePath);
    return writeImageAndMask(imagePath, maskPath, getBmpHeader(width, height, int32_t(imageSize)), pal2to3(&file[12]),
                             planes);
}
