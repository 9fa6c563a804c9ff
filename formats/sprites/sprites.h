// Sprites and sprite archives: RLE, WAD, RLC and ARLC files, and the listing
// of an extracted WAD directory.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/listing.h"
#include "common/source.h"
#include "common/stretches.h"
#include "pictures/bmp.h"
#include "back/edits.h"

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

// Run data of RLE row codes: size bytes of the source from base on, and the
// stretches of empty codes already walked in it.
struct RunData {
    Source* source;
    int64_t base;
    int64_t size;
    Stretches empty;
};

// Decodes the row whose codes start at offset into width image and mask
// bytes (mask already zero); with no image and mask given, only checks it.
// Pixels past the width are dropped, their bytes still consumed. False when
// the codes leave the run data before they cover the width.
bool decodeRleRow(RunData& run, uint32_t offset, int32_t width, uint8_t* image, uint8_t* mask);
// Every row (offsets top row first) into planes in BMP row order.
bool decodeRleRows(Source& source, int64_t base, int64_t size, const std::vector<uint32_t>& rowOffsets,
                   int32_t width, int32_t height, int32_t spaces, SpritePlanes& planes);
// Walks every row once; the first row that cannot be decoded, or -1.
int32_t firstBadRleRow(RunData& run, const std::vector<uint32_t>& rowOffsets, int32_t width);

// Appends the codes of one row of width pixels: transparent runs (mask 0),
// grey runs (127) and literal runs (anything else), each cut at its limit.
void encodeRleRow(const uint8_t* image, const uint8_t* mask, int32_t width, std::vector<uint8_t>& out);
// The row offsets, top row first, of an edited sprite whose original rows
// are in run: a row that decodes to what the edit shows keeps its original
// offset; any other is coded onto appended (which starts at offset end),
// rows with the same codes sharing one copy.
std::vector<uint32_t> packRleRows(RunData& original, const std::vector<uint32_t>& originalOffsets,
                                  int32_t originalWidth, const SpriteEdit& edit, int64_t end,
                                  std::vector<uint8_t>& appended);

// The file offsets of an RLC file's row records, top row first, and where
// the last one ends, found by walking them from the row data at rowsAt; false, having said why, when the
// records end before every row is covered.
bool findRlcRows(const std::string& path, Source& source, int64_t rowsAt, int32_t width, int32_t height,
                 std::vector<int64_t>& records);
// One RLC row record into width image and mask bytes (mask already zero).
// Pixels past the width are dropped, but a pair always consumes all its bytes.
bool decodeRlcRow(Source& source, int64_t record, int32_t width, uint8_t* image, uint8_t* mask);
// Appends the skip-and-copy pairs of one row (a pixel of mask 0 is skipped).
void encodeRlcRow(const uint8_t* image, const uint8_t* mask, int32_t width, std::vector<uint8_t>& out);

bool extract_RLE(const std::string& path);
// What each file holds, for --list: nothing is written.
bool list_RLE(const std::string& path, Listing& listing);
bool list_WAD(const std::string& path, Listing& listing);
bool list_RLC(const std::string& path, Listing& listing);
bool list_ARLC(const std::string& path, Listing& listing);
// A sprite's item: its size, and (unless quick) how many colours its
// visible pixels use, from row(r, image, mask) for each row r; false when a
// row cannot be decoded.
bool listSprite(Listing& listing, int32_t width, int32_t height,
                const std::function<bool(int32_t, uint8_t*, uint8_t*)>& row);
bool extract_WAD(const std::string& path);
bool extract_RLC(const std::string& path);
bool extract_ARLC(const std::string& path);

// Rebuild a file from its original and the edited files of its output
// folder, as FILE.packed.EXT beside it.
bool pack_RLE(const std::string& path);
bool pack_WAD(const std::string& path);
bool pack_RLC(const std::string& path);

// Prints the names in an extracted WAD directory, sorted and escaped; 0, or
// the errno of a directory that cannot be listed (then FAILED!, with it).
int listFiles(const std::string& path);
bool create_WAD(const std::string& path);
// The same names as items, for --list.
bool list_WAD_folder(const std::string& path, Listing& listing);
