// Bitmap fonts: FNT (16 shades, 4-bit images), FNC (palettised, run-length
// coded, with masks) and FNM (three levels drawn with the mask palette).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/fonts/glyphset.h"
#include "output/bmp.h"

bool extract_FNT(const std::string& path);
bool extract_FNC(const std::string& path);
bool extract_FNM(const std::string& path);

// One FNC glyph's runs into planes in BMP row order. False when a table or a
// run lies outside the file or a run count is negative. Pixels past the width
// are dropped; their bytes are still consumed.
bool decodeFncGlyph(const std::vector<uint8_t>& file, const GlyphRecord& g, SpritePlanes& planes);

// FNT pixels (one shade a byte, top row first) as 4-bit BMP rows: two pixels
// a byte, left one high, rows bottom-up and padded to four bytes.
std::vector<uint8_t> packFntRows(const uint8_t* pixels, int32_t width, int32_t height);
