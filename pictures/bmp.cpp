// BMP bytes: headers written field by field, and indexed BMPs read back (see bmp.h).
#include "pictures/bmp.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "common/bytes.h"
#include "store/names.h"

namespace {

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

std::string picturePath(const std::string& path, int32_t width, int32_t height)
{
    if (pictureFormat() != PictureFormat::Png || (width > 0 && height > 0) || path.size() < 4)
        return path;
    return withEnding(path, btmp);
}

void failPng(OutputFile& out)
{
    if (!out.error) {
        out.error = EIO;
        out.why = "not written: the PNG encoder failed";
    }
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

// Reading an edited BMP back:
//
//   0   2   "BM"                 2   4  file size (not read)
//   6   4   reserved (not read)  10  4  offset of the pixel rows
//   14  4   info header size     18  4  width
//   22  4   height, negative for rows stored top row first
//   26  2   planes               28  2  bits per pixel
//   30  4   compression          34  12 image size, resolutions (not read)
//   46  4   colours used, 0 for all   50  4  important colours (not read)
//   14 + info header size: the colour table, 4 bytes an entry
namespace {

bool refuseBmp(std::string& why, std::string text)
{
    why = std::move(text);
    return false;
}

const char* const kSaveAs = "save it as an 8-bit indexed BMP with its palette";

// Run-length rows (8 or 4 bits a pixel) from pos to the end of the file,
// bottom row first; pixels the codes skip stay 0, pixels past the width are dropped.
bool decodeBmpRuns(Source& source, int64_t pos, int32_t bits, BmpPicture& picture, std::string& why)
{
    const int32_t width = picture.width, height = picture.height;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint8_t index) {
        if (x < width && y < height)
            picture.pixels[size_t(height - 1 - y) * size_t(width) + size_t(x)] = index;
        x++;
    };
    while (y < height) {
        const uint8_t* code = view(source, pos, 2);
        if (!code)
            return refuseBmp(why, "the compressed rows end before the picture is complete");
        pos += 2;
        const int32_t count = code[0], value = code[1];
        if (count > 0) {
            // A run: count pixels of one value (two alternating nibbles at 4 bits).
            for (int32_t k = 0; k < count; k++)
                put(bits == 8 ? uint8_t(value) : uint8_t(k % 2 ? value & 15 : value >> 4));
        } else if (value == 0) {  // end of the row
            x = 0;
            y++;
        } else if (value == 1) {  // end of the picture
            break;
        } else if (value == 2) {  // move right and up
            const uint8_t* delta = view(source, pos, 2);
            if (!delta)
                return refuseBmp(why, "the compressed rows end before the picture is complete");
            pos += 2;
            x += delta[0];
            y += delta[1];
        } else {  // value pixels stored as they are, padded to an even byte count
            const int64_t bytes = bits == 8 ? value : (value + 1) / 2;
            const uint8_t* literal = view(source, pos, size_t(bytes));
            if (!literal)
                return refuseBmp(why, "the compressed rows end before the picture is complete");
            for (int32_t k = 0; k < value; k++)
                put(bits == 8 ? literal[k] : uint8_t(k % 2 ? literal[k / 2] & 15 : literal[k / 2] >> 4));
            pos += bytes + (bytes & 1);
        }
    }
    return true;
}

}  // namespace

bool readBmp(Source& source, BmpPicture& picture, std::string& why)
{
    const uint8_t* head = view(source, 0, 18);
    if (!head || head[0] != 'B' || head[1] != 'M')
        return refuseBmp(why, "not a BMP image");
    /* uint32 fileSize = */
    /* uint32 reserved = */
    const int64_t pixelsAt = uint32_t(toInt(head, 10));
    const int64_t infoSize = uint32_t(toInt(head, 14));
    if (infoSize == 12)
        return refuseBmp(why, std::string("an OS/2 BMP; ") + kSaveAs);
    if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124)
        return refuseBmp(why, "a BMP with an unknown " + std::to_string(infoSize) + "-byte info header; " + kSaveAs);
    const uint8_t* info = view(source, 14, size_t(infoSize));
    if (!info)
        return refuseBmp(why, "the BMP ends inside its header");
    const int32_t width = toInt(info, 4);
    const int32_t storedHeight = toInt(info, 8);
    const int32_t planes = toInt(info[12], info[13]);
    const int32_t bits = toInt(info[14], info[15]);
    const uint32_t compression = uint32_t(toInt(info, 16));
    /* uint32 imageSize, xResolution, yResolution = */
    const uint32_t coloursUsed = uint32_t(toInt(info, 32));
    /* uint32 importantColours = */
    if (bits != 1 && bits != 4 && bits != 8)
        return refuseBmp(why, std::to_string(bits) + "-bit image; " + kSaveAs);
    if (compression == 3 || compression == 6)
        return refuseBmp(why, std::string("an image with colour bit masks; ") + kSaveAs);
    if (compression == 4 || compression == 5)
        return refuseBmp(why, std::string("a BMP holding a JPEG or PNG picture; ") + kSaveAs);
    const bool runs = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    if (compression != 0 && !runs)
        return refuseBmp(why, "compression " + std::to_string(compression) + " is not known for " +
                                  std::to_string(bits) + "-bit images; " + kSaveAs);
    // An empty picture (a glyph of no pixels) has width or height 0.
    if (planes != 1 || width < 0 || storedHeight == INT32_MIN)
        return refuseBmp(why, "the header gives no usable picture size (" + std::to_string(width) + " x " +
                                  std::to_string(storedHeight) + ")");
    const bool topDown = storedHeight < 0;
    const int32_t height = topDown ? -storedHeight : storedHeight;
    if (topDown && runs)
        return refuseBmp(why, "compressed rows stored top row first are not a valid BMP; " + std::string(kSaveAs));
    const uint32_t maxColours = uint32_t(1) << bits;
    if (coloursUsed > maxColours)
        return refuseBmp(why, "the header announces " + std::to_string(coloursUsed) + " colours for a " +
                                  std::to_string(bits) + "-bit image");
    picture.colourCount = int32_t(coloursUsed ? coloursUsed : maxColours);
    const uint8_t* table = view(source, 14 + infoSize, size_t(4 * picture.colourCount));
    if (!table)
        return refuseBmp(why, "the BMP ends inside its colour table");
    picture.colours.fill(0);
    std::memcpy(picture.colours.data(), table, size_t(4 * picture.colourCount));
    picture.width = width;
    picture.height = height;
    picture.bitsPerPixel = bits;
    const int64_t pixelCount = int64_t(width) * height;

    if (runs) {
        if (pixelCount > kMaxPackedPicture)
            return refuseBmp(why, "a compressed picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                      " is larger than this tool unpacks; save it uncompressed");
        picture.pixels.assign(size_t(pixelCount), 0);
        return decodeBmpRuns(source, pixelsAt, bits, picture, why);
    }
    // Uncompressed rows are padded to four bytes; the file must hold every one.
    const int64_t stride = ((int64_t(width) * bits + 31) / 32) * 4;
    if (!holds(source, pixelsAt, uint64_t(stride) * uint64_t(height)))
        return refuseBmp(why, "the BMP ends before its " + std::to_string(height) + " rows of " +
                                  std::to_string(width) + " pixels");
    picture.pixels.assign(size_t(pixelCount), 0);
    for (int32_t r = 0; r < height && width > 0; r++) {
        const uint8_t* row = view(source, pixelsAt + int64_t(r) * stride, size_t(stride));
        if (!row)
            return refuseBmp(why, "the BMP cannot be read to its end");
        uint8_t* out = &picture.pixels[size_t(topDown ? r : height - 1 - r) * size_t(width)];
        if (bits == 8) {
            std::memcpy(out, row, size_t(width));
            continue;
        }
        const int32_t perByte = 8 / bits, mask = (1 << bits) - 1;
        for (int32_t x = 0; x < width; x++)
            out[x] = uint8_t(row[x / perByte] >> (8 - bits - bits * (x % perByte)) & mask);
    }
    return true;
}
