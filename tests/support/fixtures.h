// Builders for every input format the tool reads, from named parts. Tests,
// the sample generator, benchmarks and fuzz seeds all make their files here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes_builder.h"

using ByteList = std::vector<uint8_t>;

// --- Run-length row codes of RLE sprites and WAD run-length entries ---
ByteList rleLiteral(const ByteList& pixels);      // 0..253 pixels, mask 255
ByteList rleGrey(const ByteList& pixels);         // 254, count, pixels, mask 127
ByteList rleTransparent(unsigned count);          // 255, count
ByteList concat(const std::vector<ByteList>& parts);
// Codes for a picture row whose mask says 0 (transparent), 127 (grey) or
// anything else (literal) for each pixel; runs split at their limits.
ByteList rleEncodeRow(const ByteList& pixels, const ByteList& maskValues);

// A colour table of 256 entries whose entry i is (i, 255 - i, i / 2, 0).
ByteList sampleColourTable();
// 256 RGB565 colours, entry i taken from the given function of i.
ByteList rgb565Palette(uint16_t (*colour)(int));
ByteList rampPalette565();  // entry i: red i/8, green i/4, blue 31 - i/8

// RLE file: rows top row first; stored in the given order of rows
// (storeOrder[k] is the row whose codes come k-th), row table pointing at them.
ByteList rleFile(int width, int height, const std::vector<ByteList>& rows, const ByteList& colourTable,
                 const std::vector<int>& storeOrder = {});

// RLC run pair and file (records top row first; each record gets its prefix).
ByteList rlcPair(unsigned skip, const ByteList& copy);
ByteList rlcFile(int width, int height, const std::vector<ByteList>& rowPairs, const ByteList& palette565);
ByteList rlcEncodeRow(const ByteList& pixels, const ByteList& opaque);  // opaque[x] != 0 marks a literal pixel

// ARLC file: 16-byte header and width * height picture bytes.
ByteList arlcFile(int width, int height, const std::string& magic = "rlc ");

// WAD archive.
struct WadPalette {
    std::string name;  // up to 13 characters; empty for a palette without a file
    ByteList colours;  // 512 bytes RGB565
};
struct WadEntry {
    std::string name;  // 32-byte field
    int width = 0, height = 0;
    unsigned paletteIndex = 0;
    bool runLength = false;      // rows are coded rows (top first), else raw pixel rows
    std::vector<ByteList> rows;  // raw rows are width bytes; two pad bytes are added
};
ByteList wadEntry(const WadEntry& entry);
ByteList wadFile(const std::vector<WadPalette>& palettes, const std::vector<WadEntry>& entries);
// A small archive for reruns: palette P.PAL, raw 4 x 4 entries A.PIC (when
// withA, all shadeA) and B.PIC (all 9).
ByteList rerunArchive(bool withA, uint8_t shadeA);

// FNT font.
struct FntGlyph {
    int width = 0, height = 0;
    int metric1 = 0, metric2 = 0, metric3 = 0;
    unsigned code = 0;
    ByteList pixels;  // width * height shades, top row first
};
ByteList fntFile(const std::vector<FntGlyph>& glyphs);  // exactly these entries, no more
std::vector<FntGlyph> fntFullSet(const std::vector<FntGlyph>& glyphs);  // padded to 224 with empty glyphs

// FNC and FNM fonts (the shared container).
struct FontGlyph {
    unsigned code = 0;
    int width = 0, height = 0;
    int value = 0;
    ByteList data;  // the glyph's data as stored at D + its offset
};
struct GlyphSetSpec {
    int variant = 2;  // 3 adds the extra value; the caller keeps the variant rule true
    int32_t fontHeight = 0;
    int extraValue = 0;
    std::vector<FontGlyph> glyphs;
    ByteList palette;  // FNC: 768 bytes stored at D + 4; empty for FNM
};
ByteList glyphSetFile(const GlyphSetSpec& layout);
// FNC glyph data: 4 unread bytes, the row table, the rows' runs in order.
ByteList fncGlyphData(const std::vector<ByteList>& rowRuns);
// Runs for a row of pixels with mask values 0, 127 or 255, in the four-kind cycle.
ByteList fncEncodeRow(const ByteList& pixels, const ByteList& maskValues);

// ANM tokens.
ByteList anmShort(int code, const std::vector<int>& slots);  // one 4-byte slot per operand from offset 8
ByteList anmLong(int code, const std::vector<int>& slots, const ByteList& textArea);  // slots from 12
ByteList anmEnd();
ByteList anmFile(const std::vector<ByteList>& tokens);
ByteList textArea(const std::string& text, size_t length);  // text, zero-filled to length

// ZOM picture sets.
struct ZomImage {
    int32_t width = 0, height = 0;
    float first = 0, second = 0;
    ByteList palette;  // 512 bytes
    ByteList pixels;   // width * height, top row first
};
ByteList zomFile(unsigned firstValue, unsigned entryCount, const std::vector<ZomImage>& images,
                 const ByteList& entryTable);
ByteList zomEntry(int type, unsigned value = 0, unsigned secondValue = 0);
// A picture with the ramp palette.
ZomImage zomImage(int32_t width, int32_t height, float first, float second, ByteList pixels);

// SEC tables.
struct SecElement {
    float x = 0, y = 0, z = 0;
    int32_t attributes[4] = {0, 0, 0, 0};
    ByteList extra;
    std::vector<int32_t> values;
};
struct SecList {
    std::string name;
    int32_t nameLength = 0;  // the field's length; 0 means name plus its zero byte
    std::vector<std::pair<int32_t, int32_t>> pairs;
};
struct SecSpec {
    std::vector<std::pair<float, float>> points;
    std::vector<SecElement> firstTable, secondTable;
    std::vector<SecList> lists;
    std::vector<std::pair<int32_t, int32_t>> pairs;
};
ByteList secFile(const SecSpec& layout);

// Small valid input files of every format that reach each converter's deeper
// paths, written as DIR/<name>.<extension>.
void writeFixtureSet(const std::string& dir);
