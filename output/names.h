// Output directory and output file names. Every path a converter writes is
// formed here: the input path plus ".FILES", then a separator and a name.
#pragma once

#include <string>

extern const char* const extracted;  // ".FILES", suffix of the output directory
extern const char* const btmp;       // ".BMP", extension of an image
extern const char* const mask;       // ".MASK.BMP", ending of a mask image

// The characters after the last path separator; the whole path without one.
std::string getName(const std::string& path);

// path + ".FILES"; the directory is created on the way (result not examined).
std::string createDir(const std::string& path);
// dir, a separator, name.
std::string createFile(const std::string& name, const std::string& dir);
// dir, a separator, name with its last three characters replaced by PAL.
std::string createPal(const std::string& name, const std::string& dir);
// dir, a separator, name less its last four characters, ".BMP".
std::string createBitmap(const std::string& name, const std::string& dir);
// bitmapPath less its last four characters, ".MASK.BMP".
std::string createMask(const std::string& name, const std::string& dir, const std::string& bitmapPath);

// A glyph image's name: the character code in two digits up to 99, three from 100 on, ".BMP".
std::string glyphImageName(int code);
// The image i of a picture set: "ZOM", the character 48 + i, ".BMP".
std::string zomImageName(int index);

// A name taken from inside an input file may only name a file in the output
// directory: no separator of either platform, no drive or stream colon, not
// "." or "..", at least minLength characters for the name functions to cut,
// and no Windows device name (CON, NUL, COM1, ...) left once they have cut
// minLength characters off.
bool storedNameIsSafe(const std::string& name, size_t minLength);
