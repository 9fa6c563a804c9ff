#include "output/bmp.h"

#include "common/bytes.h"

namespace {
void put16(uint8_t* at, int32_t v)
{
    at[0] = toByte(v, 0);
    at[1] = toByte(v, 1);
}
void put32(uint8_t* at, int32_t v)
{
    for (int k = 0; k < 4; k++)
        at[k] = toByte(v, k);
}

BmpHeader header(int32_t width, int32_t height, int32_t imageSize, int32_t pixelOffset, int32_t bitsPerPixel,
                 int32_t resolution)
{
    BmpHeader h{};
    h[0] = 'B';                             // file type
    h[1] = 'M';
    put32(&h[2], imageSize + pixelOffset);  // file size
    put32(&h[6], 0);                        // reserved
    put32(&h[10], pixelOffset);             // offset of the pixel rows
    put32(&h[14], 40);                      // info header size
    put32(&h[18], width);                   // width
    put32(&h[22], height);                  // height, positive: rows bottom-up
    put16(&h[26], 1);                       // planes
    put16(&h[28], bitsPerPixel);            // bits per pixel
    put32(&h[30], 0);                       // compression: none
    put32(&h[34], imageSize);               // size of the pixel rows
    put32(&h[38], resolution);              // horizontal resolution
    put32(&h[42], resolution);              // vertical resolution
    put32(&h[46], 0);                       // colours used: all
    put32(&h[50], 0);                       // important colours
    return h;
}
}  // namespace

BmpHeader getBmpHeader(int32_t width, int32_t height, int32_t imageSize)
{
    return header(width, height, imageSize, 1078, 8, 0);
}

BmpHeader getBmpHeader16(int32_t width, int32_t height, int32_t imageSize)
{
    return header(width, height, imageSize, 118, 4, 2835);
}

ColourTable createMskPal()
{
    ColourTable table{};
    for (int i = 1; i < 255; i++) {
        table[4 * i + 0] = 127;
        table[4 * i + 1] = 127;
        table[4 * i + 2] = 127;
    }
    table[4 * 255 + 0] = 255;
    table[4 * 255 + 1] = 255;
    table[4 * 255 + 2] = 255;
    return table;
}

bool writeSpritePlanes(const std::string& imagePath, const std::string& maskPath, const BmpHeader& header,
                       const ColourTable& table, int32_t width, int32_t height, const SpritePlanes& planes)
{
    const size_t stride = rowStride(width);
    return writeSprite(imagePath, maskPath, header, table, stride, height, [&](int32_t r, uint8_t* image, uint8_t* mask) {
        std::copy_n(planes.imagePlane.data() + size_t(r) * stride, stride, image);
        std::copy_n(planes.maskPlane.data() + size_t(r) * stride, stride, mask);
        return true;
    });
}
