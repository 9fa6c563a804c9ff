// Bitmap fonts: FNT (16 shades, 4-bit images), FNC (palettised, run-length
// coded, with masks) and FNM (three levels drawn with the mask palette).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/stretches.h"
#include "formats/fonts/glyphset.h"
#include "output/bmp.h"

bool extract_FNT(const std::string& path);
bool extract_FNC(const std::string& path);
bool extract_FNM(const std::string& path);

// One FNC glyph's runs into planes in BMP row order; rows of empty runs
// already walked are in empty. False when a table or a run lies outside the
// file or a run count is negative. Pixels past the width are dropped; their
// bytes are still consumed.
bool decodeFncGlyph(Source& in, const GlyphRecord& g, Stretches& empty, SpritePlanes& planes);

// One row of FNT pixels (one shade a byte) as a 4-bit BMP row: two pixels a
// byte, left one high, the last one alone in the high four bits.
void packFntRow(const uint8_t* pixels, int32_t width, uint8_t* row);
