// ZOM picture set: palettised pictures, then a table of typed entries.
//
//   0   2   first header value     2  2  not read
//   4   2   entry count            6  2  not read
//   8   1   image count            9  3  not read
//   12  ... image records: width, height (int32), two floats, a 512-byte
//           RGB565 palette, width * height pixels, top row first
//   then the entry table, entries back to back, the first byte their type:
//           1: 20 bytes, skipped
//           3: 52 bytes, value (16 bits) at 4; only the first one counts
//           other: ends the table; value at 4 and second value at 20
//
// Images and entries are walked once before anything is written: a file that
// ends early or has a negative size is refused with nothing made.
#include <cstring>

#include "common/bytes.h"
#include "common/file.h"
#include "formats/data/data.h"
#include "output/bmp.h"
#include "output/names.h"
#include "output/palette.h"

namespace {

constexpr int64_t kMinFileSize = 540;  // header and one image record without pixels
constexpr size_t kImageHead = 16;
constexpr size_t kPaletteSize = 512;

struct ZomImage {
    int32_t width, height;
    float first, second;
    const uint8_t* palette;
    const uint8_t* pixels;
};

enum class Walk { Ended, Exhausted, Truncated };

// The float pair of image i; an image the file does not have prints as zeros.
void imageFloats(const std::vector<ZomImage>& images, size_t i, double& first, double& second)
{
    first = i < images.size() ? double(images[i].first) : 0.0;
    second = i < images.size() ? double(images[i].second) : 0.0;
}

// Visits at most entryCount entries; writes lines 3 and 4 when info is given.
Walk walkEntries(Cursor table, int32_t entryCount, const std::vector<ZomImage>& images, FILE* info)
{
    bool typeThreeSeen = false;
    double first, second;
    for (int32_t r = 0; r < entryCount; r++) {
        const uint8_t* entry = table.data + table.pos;
        int32_t type;
        if (!readU8(table, type))
            return Walk::Truncated;
        if (type == 1) {
            if (!skip(table, 19))
                return Walk::Truncated;
        } else if (type == 3) {
            if (!skip(table, 51))
                return Walk::Truncated;
            if (!typeThreeSeen && info) {
                imageFloats(images, 1, first, second);
                std::fprintf(info, "%d %d %f %f%c%c", toInt(entry[4], entry[5]), r, first, second, 13, 10);
            }
            typeThreeSeen = true;
        } else {
            if (!skip(table, 21))
                return Walk::Truncated;
            if (info) {
                imageFloats(images, 2, first, second);
                std::fprintf(info, "%d %d %f %f%c%c", toInt(entry[4], entry[5]) + toInt(entry[20], entry[21]), r,
                             first, second, 13, 10);
            }
            return Walk::Ended;
        }
    }
    return Walk::Exhausted;
}

}  // namespace

bool extract_ZOM(const std::string& path)
{
    std::vector<uint8_t> file;
    if (!readWholeFile(path, file, kMinFileSize))
        return false;
    const int32_t firstValue = toInt(file[0], file[1]);
    const int32_t entryCount = toInt(file[4], file[5]);
    const int32_t imageCount = toInt(file[8]);

    Cursor in{file.data(), file.size(), 12};
    std::vector<ZomImage> images;
    for (int32_t i = 0; i < imageCount; i++) {
        ZomImage image;
        const uint8_t* head;
        if (!take(in, kImageHead, head))
            return false;
        image.width = toInt(head, 0);
        image.height = toInt(head, 4);
        image.first = toFloat(head, 8);
        image.second = toFloat(head, 12);
        if (image.width < 0 || image.height < 0 ||
            (int64_t(image.width) + get_spaces(image.width)) * image.height > kMaxImageSize ||
            !take(in, kPaletteSize, image.palette) ||
            !take(in, size_t(image.width) * size_t(image.height), image.pixels))
            return false;
        images.push_back(image);
    }
    const Cursor table{file.data() + in.pos, file.size() - in.pos, 0};
    if (walkEntries(table, entryCount, images, nullptr) == Walk::Truncated)
        return false;

    std::string dir = createDir(path);
    File info = openFile(createFile("INFO.TXT", dir), "wb");
    if (!info)
        return false;
    std::fprintf(info.get(), "%d %d %d %s%c%c", firstValue, entryCount, imageCount, "ZOM", 13, 10);
    for (size_t i = 0; i < images.size(); i++) {
        const ZomImage& image = images[i];
        const size_t stride = size_t(image.width) + size_t(get_spaces(image.width));
        std::vector<uint8_t> rows(stride * size_t(image.height), 0);
        for (int32_t y = 0; y < image.height && image.width > 0; y++)
            std::memcpy(rows.data() + size_t(image.height - 1 - y) * stride, image.pixels + size_t(y) * size_t(image.width),
                        size_t(image.width));
        const ColourTable colours = pal2to3(image.palette);
        if (!writeBmpFile(createBitmap(zomImageName(int(i)), dir),
                          getBmpHeader(image.width, image.height, int32_t(rows.size())), colours.data(),
                          colours.size(), rows.data(), rows.size()))
            return false;
    }
    double first, second;
    imageFloats(images, 0, first, second);
    std::fprintf(info.get(), "%d %d %f %f%c%c", 0, 0, first, second, 13, 10);
    return walkEntries(table, entryCount, images, info.get()) == Walk::Ended;
}
