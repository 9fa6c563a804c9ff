// The glyph-set container that FNC and FNM fonts share.
//
//   0          4        not used
//   4          256      character codes, ended by the first zero byte
//   260        8        not read
//   268        4        font height
//   272        4        variant 3 only: extra value (first byte, signed)
//   T          16*n     glyph records: width (0), height (4), value (8), signed bytes
//   T+16n      4*n      glyph data offsets, counted from D
//   D=T+20n    4        not read
//   D+4        768      FNC only: palette, blue, green, red per colour
//
// Variant 2 (T = 272) when the signed byte at 276 equals the font height,
// variant 3 (T = 276) otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/listing.h"
#include "common/source.h"

struct GlyphRecord {
    int32_t code;    // character code, 1..255
    int32_t width;   // 0..127
    int32_t height;  // 0..127
    int64_t dataAt;  // file offset of the glyph's data, D + its offset
};

struct GlyphSet {
    int32_t variant;     // 2 or 3
    int32_t fontHeight;
    int32_t extraValue;  // variant 3's signed byte at 272; 0 in variant 2
    int32_t glyphValue;  // the first record's signed value
    int64_t recordsAt;   // T
    int64_t dataBase;    // D
    std::vector<GlyphRecord> glyphs;
};

// Reads the container of an open font; false, having said why, when the
// file is too short, its character list has no end, a
// table lies outside the file, or a glyph's width or height is negative. A
// glyph's data is checked by its format (and never for an empty glyph).
bool readGlyphSet(const std::string& path, const char* kind, Source& in, GlyphSet& set);

// A glyph's item for --list (detail: what else it has), and a glyph set's
// values and glyphs.
ListedItem glyphItem(size_t j, int32_t code, int32_t width, int32_t height, const std::string& detail);
void listGlyphSet(const GlyphSet& set, int64_t size, Listing& listing);
// The character codes of the glyphs, in glyph order.
std::vector<int32_t> glyphCodes(const GlyphSet& set);

// INFO.TXT with the variant, font height, extra value and glyph value, each
// line ended by CR LF; true when it is in place.
bool writeGlyphSetInfo(const GlyphSet& set, const std::string& dir);

// What editing gave a glyph: nothing to change, new size and data, or a refusal.
enum class GlyphEdit { Kept, Rebuilt, Refused };
// Rebuilds a glyph-set font beside the original: the header values from
// INFO.TXT, each glyph through encode(j, width, height, data) (called for
// the glyph that owns its image: the last with its code), and palette (768
// bytes, FNC only; nullptr keeps the original's). Glyph data that changed is
// appended behind the original's, which stays as it was.
bool packGlyphSet(const std::string& path, Source& in, const GlyphSet& set, const uint8_t* palette,
                  const std::function<GlyphEdit(size_t, int32_t&, int32_t&, std::vector<uint8_t>&)>& encode);
