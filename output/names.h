// Output directory and output file names. Every path a converter writes is
// formed here: the input path plus ".FILES", then a separator and a name.
// Names made from stored data are the same on every platform and valid on
// every platform.
#pragma once

#include <string>

extern const char* const extracted;  // ".FILES", suffix of the output directory
extern const char* const btmp;       // ".BMP", extension of an image
extern const char* const mask;       // ".MASK.BMP", ending of a mask image

// The characters after the last path separator; the whole path without one.
std::string getName(const std::string& path);

// path + ".FILES"; the directory is created on the way (see makeOutputDir
// for the checked form).
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
// The image i of a picture set: "ZOM", the character 48 + i, ".BMP"; by its
// decimal index where that character cannot stand in a Windows file name
// (":", "<", ">", "?", "\", "|") and past 207, where no character is left.
std::string zomImageName(int index);

// Stored bytes as UTF-8: a name stored in a file is read as Latin-1, each
// byte the character of its own code, so it names the same file everywhere.
std::string storedText(const std::string& bytes);

// The file name for a name stored in an input, as the name functions above
// make it: the stored name less its last `cut` bytes, then `ending`. When
// that could not be used as it stands on every platform (a separator, one of
// : * ? " < > |, a control byte, a device name such as CON or COM1, or a
// name too short for the cut), a substitute: each such byte becomes '_',
// and "~" and the record's number keep it apart from the others.
struct OutputName {
    std::string stem;  // the name less its ending, as UTF-8
    std::string file;  // stem + ending
    bool substituted;
};
OutputName storedOutputName(const std::string& stored, size_t cut, const std::string& ending, int number);
// The same with the number appended whatever the name: for a valid name
// that collides with another only in letter case.
OutputName numberedOutputName(const std::string& stored, size_t cut, const std::string& ending, int number);

// A name folded to one letter case, as Windows compares names.
std::string foldedName(const std::string& utf8Name);
