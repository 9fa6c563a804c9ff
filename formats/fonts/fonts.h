// Bitmap fonts: FNT (16 shades, 4-bit images), FNC (palettised, run-length
// coded, with masks) and FNM (three levels drawn with the mask palette).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/stretches.h"
#include "formats/fonts/glyphset.h"
#include "pictures/bmp.h"
#include "store/names.h"

bool extract_FNT(const std::string& path);
// What each font holds, for --list: nothing is written.
bool list_FNT(const std::string& path, Listing& listing);
bool list_FNC(const std::string& path, Listing& listing);
bool list_FNM(const std::string& path, Listing& listing);

// The image names of a font's glyphs (glyphNames). An earlier glyph whose
// code a later one has, and whose image sameImage(earlier, later) says is
// that later glyph's, byte for byte, gets no file (an empty name: nothing is
// lost, and its data is kept from the original when the font is packed).
// With tell, each glyph written under a substitute is named on standard error.
std::vector<OutputName> fontGlyphNames(const std::string& path, const std::vector<int32_t>& codes, bool withMasks,
                                       bool tell, const std::function<bool(size_t, size_t)>& sameImage = nullptr);
bool extract_FNC(const std::string& path);
bool extract_FNM(const std::string& path);

// One FNC glyph's runs into planes in BMP row order; rows of empty runs
// already walked are in empty. False when a table or a run lies outside the
// file or a run count is negative. Pixels past the width are dropped; their
// bytes are still consumed.
bool decodeFncGlyph(Source& in, const GlyphRecord& g, Stretches& empty, SpritePlanes& planes);
// Appends the runs of one FNC row, kinds in their cycle, each run at most 127.
void encodeFncRow(const uint8_t* image, const uint8_t* mask, int32_t width, std::vector<uint8_t>& out);

// One row of FNT pixels (one shade a byte) as a 4-bit BMP row: two pixels a
// byte, left one high, the last one alone in the high four bits.
void packFntRow(const uint8_t* pixels, int32_t width, uint8_t* row);

// Rebuild a font from its original and its edited glyph images and INFO.TXT,
// as FILE.packed.EXT beside it.
bool pack_FNT(const std::string& path);
bool pack_FNC(const std::string& path);
bool pack_FNM(const std::string& path);

// The lines of an FNT font's INFO.TXT: three metrics and the character code
// of each of its 224 glyphs. False, with why naming the line, otherwise.
struct FntInfoLine {
    int32_t metric1, metric2, metric3, code;
};
bool parseFntInfo(const std::string& text, std::vector<FntInfoLine>& lines, std::string& why);
// The values of a glyph set's INFO.TXT: variant, font height, extra value
// and the first glyph's value, one a line.
bool parseGlyphSetInfo(const std::string& text, GlyphSet& set, std::string& why);
