// BMP headers, the mask palette, and writing an image (or an image and its
// mask) in one go.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// A decoded sprite: palette indexes and mask values, both in BMP row order
// (bottom row first), each row padded with zeros to a multiple of four bytes.
struct SpritePlanes {
    std::vector<uint8_t> imagePlane;
    std::vector<uint8_t> maskPlane;
};

// Writes header, colour table and pixel rows to an open file; false on a short write.
bool writeBmp(FILE* f, const BmpHeader& header, const uint8_t* table, size_t tableSize, const uint8_t* pixels,
              size_t pixelSize);
// Creates path and writes one image; false when it cannot be created or written.
bool writeBmpFile(const std::string& path, const BmpHeader& header, const uint8_t* table, size_t tableSize,
                  const uint8_t* pixels, size_t pixelSize);

// The image and mask pair of a sprite. Both files are created before either
// is written, so a mask that cannot be created leaves the image behind empty.
bool writeImageAndMask(const std::string& imagePath, const std::string& maskPath, const BmpHeader& header,
                       const ColourTable& table, const SpritePlanes& planes);
