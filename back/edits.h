// Reading back the files of an output folder as a user edited them, and
// writing the rebuilt input beside the original.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pictures/bmp.h"
#include "pictures/colours.h"
#include "back/rebuilt.h"
#include "store/names.h"

enum class Edited { Missing, Read, Refused };
// An edited image; Missing, with nothing said, when there is no such file;
// Refused, having said why on standard error, when it cannot be used.
// A PNG is read as well as a BMP, told by its content; where path (a .BMP
// name) is missing, the PNG of the same name is read, and path names it
// (not for a mask: orPng false). alpha, when given, gets a PNG's
// transparency (see readPng); png tells that the picture was one.
// Without alpha (a picture its file keeps no transparency for), pixels a PNG
// makes transparent are named in a note, opaqueWhy saying why they are not
// kept ("picture sets have no transparency").
Edited readEditedImage(std::string& path, BmpPicture& picture, std::vector<uint8_t>* alpha = nullptr,
                       bool* png = nullptr, bool orPng = true, const char* opaqueWhy = nullptr);
// An edited palette file, at path or under the same name with another
// palette format's extension, in any format editors exchange (palette.h):
// count entries of blue, green, red and 0 into table. path names the file
// that was read when one was.
Edited readEditedPalette(std::string& path, ColourTable& table, int32_t& count);
// Notes on standard error that a file is gone and the original's data is kept.
void noteKept(const std::string& path, const std::string& what);
// Notes colours rounded to RGB565 (nothing when none were).
void noteRounded(const std::string& path, int rounded);

// A sprite as a packer encodes it, top row first: palette indexes and mask
// values (0 transparent, 127 grey, 255 opaque), a transparent pixel's index
// the one the converter shows transparent pixels with.
struct SpriteEdit {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> image;
    std::vector<uint8_t> mask;
    ColourRead colours;  // how the image's colours came back, and the table to store
    bool imageGiven = false;
    std::string imagePath, maskPath;  // as read (a PNG's transparency is its mask: both name it)
};
// Reads a sprite's image and mask. A missing one is taken from the
// original, whose row r (0 = top) originalRow(r, image, mask) decodes;
// sizes must agree. The image's colours come back in the terms of table
// (readColours); pixels changed where the mask is transparent are named
// on standard error. False, having said why, when the pair cannot be used.
bool readSpriteEdit(const std::string& imagePath, const std::string& maskPath, int32_t width, int32_t height,
                    const std::function<bool(int32_t, uint8_t*, uint8_t*)>& originalRow, PictureTable& table,
                    SpriteEdit& edit, uint8_t transparentIndex = 255);

// The sprite converted from the input path: NAME.BMP and NAME.MASK.BMP in
// its folder, read as readSpriteEdit does.
bool readSpriteFolder(const std::string& path, int32_t width, int32_t height,
                      const std::function<bool(int32_t, uint8_t*, uint8_t*)>& originalRow, PictureTable& table,
                      SpriteEdit& edit);

// The original, unchanged, as the rebuilt file: nothing was edited.
bool packUnchanged(const std::string& path, Source& in);

// A mask pixel judged by its colour, not its index (an editor may reorder the
// palette): 255 for white, 0 for black, 127 for anything else.
inline uint8_t maskValue(const BmpPicture& picture, int32_t index)
{
    uint8_t red, green, blue;
    bmpColour(picture, index, red, green, blue);
    return red == 255 && green == 255 && blue == 255 ? 255 : (red | green | blue) == 0 ? 0 : 127;
}

// An edited text file, whole (at most kMaxEditedText bytes); Missing and
// Refused as for images.
constexpr int64_t kMaxEditedText = int64_t(16) << 20;
Edited readEditedText(const std::string& path, std::string& text);
// The lines of a text as editors leave them: LF or CR LF line ends, a final
// line end or not, trailing spaces and tabs dropped.
std::vector<std::string> splitLines(const std::string& text);
// The integers of a line, separated by spaces or tabs: an optional sign and
// decimal digits each, nothing else. False when the line holds anything
// else or a number beyond 64 bits.
bool lineIntegers(const std::string& line, std::vector<int64_t>& values);

// False, having said why, when the folder dir holds a glyph image (CODE.BMP
// or CODE.MASK.BMP, or CODE~J for an earlier glyph of a code) that is not
// one of the font's (names): glyphs cannot be added.
bool noGlyphsAdded(const std::string& dir, const std::vector<OutputName>& names);
// Names each file in an output folder that no record of the original reads
// (known: the names that are read, in any letter case), saying why it is
// not: an edit that cannot be kept is never dropped without a word.
void noteUnreadFiles(const std::string& dir, const std::vector<std::string>& known, const char* why);
