// Output directory and output file names. Every path a converter writes is
// formed here: the input path plus ".FILES", then a separator and a name.
// Names made from stored data are the same on every platform and valid on
// every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern const char* const extracted;  // ".FILES", suffix of the output directory
extern const char* const btmp;       // ".BMP", extension of an image
extern const char* const pngEnding;  // ".PNG", extension of an image written as PNG
extern const char* const mask;       // ".MASK.BMP", ending of a mask image

// The characters after the last path separator; the whole path without one.
std::string getName(const std::string& path);

// dir, a separator, name.
std::string createFile(const std::string& name, const std::string& dir);
// dir, a separator, name less its last four characters, ".BMP".
std::string createBitmap(const std::string& name, const std::string& dir);
// The ending of a picture's name in this run's picture format (".BMP" or
// ".PNG"). Names are planned alike in both, masks included, though a PNG
// sprite has no mask file (it carries its transparency itself).
const char* pictureEnding();
// name with its last four characters (".BMP", ".PNG") replaced by ending.
std::string withEnding(const std::string& name, const char* ending);
// bitmapPath less its last four characters, ".MASK.BMP".
std::string createMask(const std::string& name, const std::string& dir, const std::string& bitmapPath);

// A glyph image's name: the character code in two digits up to 99, three from 100 on, ".BMP".
std::string glyphImageName(int code);
// The image i of a picture set: "ZOM", the character 48 + i, ".BMP"; by its
// decimal index where that character cannot stand in a Windows file name
// (":", "<", ">", "?", "\", "|"), where it is a small letter whose capital
// has an earlier picture (a-z, and Latin-1's from U+00E0: one name where
// letter case is ignored), and past 207, where no character is left.
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
    std::string stem;      // the name less its ending, as UTF-8; empty: no file
    std::string file;      // stem + ending
    std::string maskFile;  // an image's mask: stem + ".MASK.BMP"
    bool substituted;
};
OutputName storedOutputName(const std::string& stored, size_t cut, const std::string& ending, int number);

// What one record of an input asks of its folder's names.
struct NameRequest {
    std::string stored;    // the name stored in the input (or made from it)
    size_t cut;            // made into stored less its last cut bytes, then ending
    std::string ending;
    int number;            // the record's number, for a substitute
    bool withMask = false; // an image with its mask: the two names go together
    bool wanted = true;    // false: the record has no file
};
// The names of every output of one folder, decided before the first is
// written, so that no output ever replaces another of the same input. Names
// are compared as the strictest system does (letter case ignored for ASCII
// and Latin-1 letters). Where two records would share a name, one keeps it:
// a mask's name before an image's (an image and its mask keep their names
// together), and otherwise the later record. The other gets a substitute
// ("~" and its number, and "~2", "~3" ... where even that is taken) that no
// other output of the folder has.
std::vector<OutputName> planNames(const std::vector<NameRequest>& requests);
// The image names of a font's glyphs, in glyph order (planNames over their
// codes): where glyphs share a code the later keeps CODE.BMP, an earlier one
// is written as CODE~J.BMP, J its place in the font.
std::vector<OutputName> glyphNames(const std::vector<int32_t>& codes, bool withMasks);

// A name folded to one letter case, as Windows compares names.
std::string foldedName(const std::string& utf8Name);
