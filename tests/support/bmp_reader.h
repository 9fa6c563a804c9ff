// Reads back the BMP files the tool writes, for assertions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BmpImage {
    std::vector<uint8_t> file;        // every byte of the file
    uint32_t fileSize = 0, pixelOffset = 0, infoSize = 0, compression = 0, imageSize = 0;
    int32_t width = 0, height = 0, xResolution = 0, yResolution = 0;
    uint16_t planes = 0, bitsPerPixel = 0;
    std::vector<uint8_t> colourTable;  // pixelOffset - 54 bytes
    std::vector<uint8_t> pixels;       // the rows as stored, bottom row first
};

// False when the file is missing or is not a BMP of the tool's layout.
bool readBmp(const std::string& path, BmpImage& image);

// True when the file holds exactly what its header announces: no cut-off image.
bool bmpIsWhole(const std::string& path);

// Bytes per stored row: 8- and 4-bit rows padded to four bytes.
size_t bmpStride(const BmpImage& image);
// The palette indexes of picture row y (0 = top), width entries.
std::vector<uint8_t> bmpRow(const BmpImage& image, int y);
