// BMP headers, the mask palette, and writing images row by row, so that no
// picture is ever held whole in memory.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/source.h"
#include "store/outputs.h"
#include "pictures/png.h"
#include "store/names.h"

using BmpHeader = std::array<uint8_t, 54>;
using ColourTable = std::array<uint8_t, 1024>;  // 256 entries of blue, green, red, 0

// 8-bit palettised header: pixel rows at 1078, behind a 1024-byte colour table.
BmpHeader getBmpHeader(int32_t width, int32_t height, int32_t imageSize);
// 4-bit header: pixel rows at 118, behind a 64-byte colour table, 2835 dots per metre.
BmpHeader getBmpHeader16(int32_t width, int32_t height, int32_t imageSize);
// Black for 0, white for 255, grey for everything between.
ColourTable createMskPal();

// The largest pixel block a BMP can describe: its file size is a 32-bit field.
constexpr int64_t kMaxImageSize = 0x7FFFFFFF - 1078;
// Bytes of an 8-bit row of width pixels, padded to a multiple of four.
inline size_t rowStride(int32_t width)
{
    return (size_t(width) + 3) & ~size_t(3);
}

// A decoded sprite: palette indexes and mask values, both in BMP row order
// (bottom row first), each row padded with zeros to a multiple of four bytes.
struct SpritePlanes {
    std::vector<uint8_t> imagePlane;
    std::vector<uint8_t> maskPlane;
};

// The width and the bits a pixel of a header.
inline int32_t headerWidth(const BmpHeader& header)
{
    return int32_t(uint32_t(header[18]) | uint32_t(header[19]) << 8 | uint32_t(header[20]) << 16 |
                   uint32_t(header[21]) << 24);
}
inline int headerBits(const BmpHeader& header)
{
    return header[28];
}
// Where a picture of this run's format goes: a PNG of no pixels cannot be,
// so an empty picture (a glyph of no size) stays a BMP ("X.PNG" becomes
// "X.BMP"), which no other output of the folder is then named.
std::string picturePath(const std::string& path, int32_t width, int32_t height);
// An encoder's failure that left no system error: the output is not whole.
void failPng(OutputFile& out);

// Writes a PNG begun as beginPng says: row k (0 the top row) is the bytes
// rowBytes(k) gives, null when the row cannot be made (having said why),
// which drops the whole file. True when the picture is in place.
template <typename RowBytes>
bool writePngRows(const std::string& path, int32_t width, int32_t height, bool indexed, int bits,
                  const uint8_t* table, int entries, const uint8_t* alpha, RowBytes rowBytes)
{
    OutputFile out;
    openOutput(out, path);
    PngWriter png;
    bool ok = beginPng(png, out, width, height, indexed, bits, table, entries, alpha);
    for (int32_t k = 0; ok && k < height && !out.error; k++) {
        const uint8_t* bytes = rowBytes(k);
        if (!bytes) {
            endPng(png);
            return false;
        }
        ok = writePngRow(png, bytes);
    }
    ok = endPng(png) && ok;
    if (!ok)
        failPng(out);
    return placeOutputs({&out});
}

// A picture as an indexed PNG of the header's size and depth, rows made as
// for writeImage.
template <typename MakeRow>
bool writePngImage(const std::string& path, const BmpHeader& header, const uint8_t* table, size_t tableSize,
                   size_t stride, int32_t height, MakeRow makeRow)
{
    std::vector<uint8_t> row(stride);
    return writePngRows(path, headerWidth(header), height, true, headerBits(header), table, int(tableSize / 4),
                        nullptr, [&](int32_t k) -> const uint8_t* {
                            std::fill(row.begin(), row.end(), uint8_t(0));
                            return makeRow(height - 1 - k, row.data()) ? row.data() : nullptr;
                        });
}

// A sprite as one PNG whose transparency shows what its mask says: indexed,
// with a tRNS chunk, where every pixel of an index has one mask level and
// none is half-transparent; otherwise RGBA, each pixel the colour of its
// index (editors that give indexed pictures only full transparency, GIMP
// among them, keep an RGBA picture's half-transparent pixels). A first pass
// over the rows tells which.
template <typename MakeRows>
bool writePngSprite(const std::string& path, int32_t width, int32_t height, const ColourTable& table, size_t stride,
                    MakeRows makeRows)
{
    std::vector<uint8_t> image(stride), mask(stride);
    std::array<int, 256> level;
    level.fill(-1);
    bool mixed = false, opaque = true;
    for (int32_t r = 0; r < height && !mixed; r++) {
        std::fill(image.begin(), image.end(), uint8_t(0));
        std::fill(mask.begin(), mask.end(), uint8_t(0));
        if (!makeRows(r, image.data(), mask.data()))
            return false;
        for (int32_t x = 0; x < width; x++) {
            int& l = level[image[size_t(x)]];
            mixed = mixed || (l >= 0 && l != maskAlpha(mask[size_t(x)])) || maskAlpha(mask[size_t(x)]) == 128;
            l = maskAlpha(mask[size_t(x)]);
            opaque = opaque && l == 255;
        }
    }
    std::array<uint8_t, 256> alpha;
    for (size_t i = 0; i < 256; i++)
        alpha[i] = uint8_t(level[i] < 0 ? 255 : level[i]);
    std::vector<uint8_t> rgba(mixed ? size_t(width) * 4 : 0);
    return writePngRows(path, width, height, !mixed, 8, table.data(), 256, opaque ? nullptr : alpha.data(),
                        [&](int32_t k) -> const uint8_t* {
                            std::fill(image.begin(), image.end(), uint8_t(0));
                            std::fill(mask.begin(), mask.end(), uint8_t(0));
                            if (!makeRows(height - 1 - k, image.data(), mask.data()))
                                return nullptr;
                            for (size_t x = 0; mixed && x < size_t(width); x++) {
                                const uint8_t* c = &table[4 * size_t(image[x])];
                                rgba[4 * x] = c[2];
                                rgba[4 * x + 1] = c[1];
                                rgba[4 * x + 2] = c[0];
                                rgba[4 * x + 3] = maskAlpha(mask[x]);
                            }
                            return mixed ? rgba.data() : image.data();
                        });
}

// Writes one image: the header, the colour table, then height rows of stride
// bytes, bottom row first, each made by makeRow(r, row) into zeroed bytes
// (r = 0 is the bottom row). A row that cannot be made (makeRow returns
// false, having said why) drops the whole file. True when the image is in
// place. In a run that writes PNG, the image is an indexed PNG instead.
template <typename MakeRow>
bool writeImage(const std::string& pathGiven, const BmpHeader& header, const uint8_t* table, size_t tableSize,
                size_t stride, int32_t height, MakeRow makeRow)
{
    const std::string path = picturePath(pathGiven, headerWidth(header), height);
    if (headerWidth(header) > 0 && height > 0 && pictureFormat() == PictureFormat::Png)  // a picture of pixels
        return writePngImage(path, header, table, tableSize, stride, height, makeRow);
    OutputFile out;
    openOutput(out, path);
    writeOutput(out, header.data(), header.size());
    writeOutput(out, table, tableSize);
    std::vector<uint8_t> row(stride);
    for (int32_t r = 0; r < height && stride && !out.error; r++) {  // rows of no pixels have nothing to make
        std::fill(row.begin(), row.end(), uint8_t(0));
        if (!makeRow(r, row.data()))
            return false;
        writeOutput(out, row.data(), stride);
    }
    return placeOutputs({&out});
}

// The image and mask pair of a sprite: the same header, the sprite's colour
// table and the mask palette, rows made together by makeRows(r, image, mask).
// Both files are written whole before either is put in place. In a run
// that writes PNG, the sprite is one PNG and there is no mask file.
template <typename MakeRows>
bool writeSprite(const std::string& imagePath, const std::string& maskPath, const BmpHeader& header,
                 const ColourTable& table, size_t stride, int32_t height, MakeRows makeRows)
{
    if (pictureFormat() == PictureFormat::Png) {
        // A sprite of no pixels has no PNG: it stays a BMP, as pictures of
        // no pixels do (its mask would hold nothing either).
        const bool pixels = headerWidth(header) > 0 && height > 0;
        const std::string path = pixels ? imagePath : withEnding(imagePath, btmp);
        if (pixels)
            return writePngSprite(path, headerWidth(header), height, table, stride, makeRows);
        return writeImage(path, header, table.data(), table.size(), stride, height, [&](int32_t r, uint8_t* row) {
            std::vector<uint8_t> unused(stride);
            return makeRows(r, row, unused.data());
        });
    }
    OutputFile image, maskFile;
    openOutput(image, imagePath);
    openOutput(maskFile, maskPath);
    const ColourTable maskTable = createMskPal();
    writeOutput(image, header.data(), header.size());
    writeOutput(image, table.data(), table.size());
    writeOutput(maskFile, header.data(), header.size());
    writeOutput(maskFile, maskTable.data(), maskTable.size());
    std::vector<uint8_t> imageRow(stride), maskRow(stride);
    for (int32_t r = 0; r < height && stride && !image.error && !maskFile.error; r++) {
        std::fill(imageRow.begin(), imageRow.end(), uint8_t(0));
        std::fill(maskRow.begin(), maskRow.end(), uint8_t(0));
        if (!makeRows(r, imageRow.data(), maskRow.data()))
            return false;
        writeOutput(image, imageRow.data(), stride);
        writeOutput(maskFile, maskRow.data(), stride);
    }
    return placeOutputs({&image, &maskFile});
}

// A sprite already decoded into planes.
bool writeSpritePlanes(const std::string& imagePath, const std::string& maskPath, const BmpHeader& header,
                       const ColourTable& table, int32_t width, int32_t height, const SpritePlanes& planes);

// A picture read back from a BMP file an editor saved: palette indexes, top
// row first, width bytes a row, and its colour table.
struct BmpPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
    ColourTable colours{};      // blue, green, red, reserved; unused entries zero
    int32_t colourCount = 0;    // entries the file gave
    int32_t bitsPerPixel = 0;
};

// Reads an indexed BMP: 1, 4 or 8 bits a pixel, an info header of 40, 52,
// 56, 108 or 124 bytes, rows bottom-up or top-down, a colour table of any
// length up to its bit depth, 8-bit (and 4-bit) run-length compression.
// Anything else, or a file that does not hold what its header announces, is
// refused: false, with why saying so in words that tell how to save it.
// Nothing is allocated beyond what the file's bytes can describe (a
// compressed picture is held to kMaxPackedPicture pixels).
bool readBmp(Source& source, BmpPicture& picture, std::string& why);
constexpr int64_t kMaxPackedPicture = int64_t(16) << 20;
// The colour of palette index i as red, green, blue; black past the table.
inline void bmpColour(const BmpPicture& picture, int32_t i, uint8_t& red, uint8_t& green, uint8_t& blue)
{
    const bool inTable = i < picture.colourCount;
    blue = inTable ? picture.colours[size_t(4 * i)] : 0;
    green = inTable ? picture.colours[size_t(4 * i + 1)] : 0;
    red = inTable ? picture.colours[size_t(4 * i + 2)] : 0;
}
