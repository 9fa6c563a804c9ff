// Sprites and sprite archives: RLE, WAD, RLC and ARLC files, and the listing
// of an extracted WAD directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "output/bmp.h"

// What an accepted RLE header says.
struct RleHeaderInfo {
    int32_t offset;  // file offset of the run data
    int32_t width;
    int32_t height;
    int32_t spaces;  // pad bytes that end each output row
};

// header is the file's first 54 bytes; nothing when it is not an RLE sprite.
std::optional<RleHeaderInfo> checkRleHeader(const uint8_t* header);

// The 24-bit row offsets of a row table of 4-byte slots, top row first.
std::vector<uint32_t> readRowTable(const uint8_t* table, int32_t height);

// Decodes height coded rows (offsets top row first, counted from the start of
// runData) into planes in BMP row order. Pixels past width are dropped, their
// bytes still consumed. False when a row's codes leave runData before they
// cover the width, or when the picture is too large for a BMP.
bool decodeRleRows(const Cursor& runData, const std::vector<uint32_t>& rowOffsets, int32_t width, int32_t height,
                   int32_t spaces, SpritePlanes& planes);

// A WAD run-length entry: rowBlock holds 16 unread bytes, then the row table.
bool wad_rle(const Cursor& runData, const uint8_t* rowBlock, int32_t width, int32_t height, int32_t spaces,
             SpritePlanes& planes);
// A WAD raw entry: height rows, width + 2 bytes apart, re-laid in BMP row order.
std::vector<uint8_t> wad_bmp(const uint8_t* pixels, int32_t width, int32_t height, int32_t spaces);

// RLC row records, top row first, into planes in BMP row order. False when the
// records end before every row is covered. Pixels past the width are dropped,
// but a pair always consumes all of its literal bytes.
bool decodeRlcRows(Cursor rows, int32_t width, int32_t height, SpritePlanes& planes);

bool extract_RLE(const std::string& path);
bool extract_WAD(const std::string& path);
bool extract_RLC(const std::string& path);
bool extract_ARLC(const std::string& path);

// Prints the names in an extracted WAD directory; always reports success.
int listFiles(const std::string& path);
bool create_WAD(const std::string& path);
