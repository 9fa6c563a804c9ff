// PNG pictures: written a row at a time, top row first, and compressed
// whole (a picture too large to hold, as it goes); read back whole, through
// libspng, as an indexed picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/source.h"
#include "pictures/formats.h"
#include "store/outputs.h"

struct BmpPicture;

// The format pictures are written in during this run (its choice: BMP unless set).
PictureFormat pictureFormat();
// The format a command line names ("bmp", "png"); false for another word.
bool pictureFormatNamed(const std::string& word, PictureFormat& format);

// A PNG being written into an output file.
struct PngWriter {
    OutputFile* out = nullptr;
    size_t rowBytes = 0;
    std::vector<uint8_t> rows;  // each row behind its filter byte, until they are compressed whole
    void* stream = nullptr;     // a picture too large for that: compressed as it goes
};
// Starts a PNG of width x height (both at least 1) on out. Indexed: bits 8
// or 4, the first entries colours of table, and when alpha is given a tRNS
// chunk of those entries' opacity. Otherwise 8-bit RGBA. Rows then follow,
// top row first: indexes as a BMP row holds them (4-bit rows high nibble
// first), or red, green, blue, alpha.
bool beginPng(PngWriter& png, OutputFile& out, int32_t width, int32_t height, bool indexed, int bits,
              const uint8_t* table, int entries, const uint8_t* alpha);
bool writePngRow(PngWriter& png, const uint8_t* row);
// Ends the picture (with its IEND chunk); false when it could not be made.
bool endPng(PngWriter& png);

// The opacity a mask value shows as: 0, 128 or 255.
inline uint8_t maskAlpha(uint8_t mask)
{
    return mask == 0 ? 0 : mask == 255 ? 255 : 128;
}

// True when the bytes start as a PNG does.
bool isPng(const uint8_t* data, size_t size);
// Reads a PNG an editor saved: an indexed picture of any bit depth keeps its
// indexes and palette order; greyscale and RGB (with or without alpha) of
// up to 256 colours become an indexed picture of those colours. alpha gets
// one mask value a pixel (0 transparent, 127 half, 255 opaque) when the
// file holds transparency, and is left empty otherwise. False with why set
// when the file is damaged or holds more colours than a table can.
bool readPng(Source& source, BmpPicture& picture, std::vector<uint8_t>& alpha, std::string& why);
