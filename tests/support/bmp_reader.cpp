// A plain BMP reader for the tests, independent of the tool's own.
#include "support/bmp_reader.h"

#include "support/files.h"

namespace {
uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
}  // namespace

bool readBmp(const std::string& path, BmpImage& image)
{
    if (!readFile(path, image.file) || image.file.size() < 54)
        return false;
    const std::vector<uint8_t>& b = image.file;
    if (b[0] != 'B' || b[1] != 'M')
        return false;
    image.fileSize = le32(b, 2);
    image.pixelOffset = le32(b, 10);
    image.infoSize = le32(b, 14);
    image.width = int32_t(le32(b, 18));
    image.height = int32_t(le32(b, 22));
    image.planes = le16(b, 26);
    image.bitsPerPixel = le16(b, 28);
    image.compression = le32(b, 30);
    image.imageSize = le32(b, 34);
    image.xResolution = int32_t(le32(b, 38));
    image.yResolution = int32_t(le32(b, 42));
    if (image.pixelOffset < 54 || image.pixelOffset > b.size())
        return false;
    image.colourTable.assign(b.begin() + 54, b.begin() + image.pixelOffset);
    image.pixels.assign(b.begin() + image.pixelOffset, b.end());
    return true;
}

size_t bmpStride(const BmpImage& image)
{
    size_t bits = size_t(image.width) * image.bitsPerPixel;
    return (bits + 31) / 32 * 4;
}

std::vector<uint8_t> bmpRow(const BmpImage& image, int y)
{
    size_t stride = bmpStride(image);
    size_t at = size_t(image.height - 1 - y) * stride;
    std::vector<uint8_t> row;
    for (int x = 0; x < image.width; x++) {
        if (image.bitsPerPixel == 4) {
            uint8_t b = image.pixels.at(at + size_t(x) / 2);
            row.push_back(x % 2 == 0 ? b >> 4 : b & 15);
        } else {
            row.push_back(image.pixels.at(at + size_t(x)));
        }
    }
    return row;
}

bool bmpIsWhole(const std::string& path)
{
    BmpImage image;
    return readBmp(path, image) && image.fileSize == image.file.size() &&
           image.pixels.size() == bmpStride(image) * size_t(image.height) && image.imageSize == image.pixels.size();
}
