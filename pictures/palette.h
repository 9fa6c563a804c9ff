// 16-bit RGB565 palettes turned into BMP colour tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pictures/bmp.h"
#include "pictures/formats.h"

// The colour table of the 512-byte palette at data (256 little-endian RGB565 entries).
ColourTable pal2to3(const uint8_t* data);
// count colour tables, table i from the 512 bytes at data + 525 * i.
std::vector<ColourTable> pal2to3(const uint8_t* data, int32_t count);

// The RGB565 value nearest to a colour, channel by channel; exact for every
// colour pal2to3 makes.
uint16_t nearest565(uint8_t red, uint8_t green, uint8_t blue);
// A 512-byte RGB565 palette from the first count entries of a colour table;
// entries past count keep those of original. Returns how many colours were
// not RGB565 colours and were rounded.
int pal3to2(const ColourTable& table, int32_t count, const uint8_t* original, uint8_t* palette);

// Palette files, as editors exchange them. Written in the format chosen for
// the run; read back in any of them, told by content, not by name.
//   raw   1024 bytes: 256 entries of blue, green, red and 0 (".PAL")
//   jasc  text: "JASC-PAL", "0100", the count, then "R G B" lines, CR LF (".PAL")
//   gpl   text: "GIMP Palette", "Name: ...", "Columns: 16", "#", then "R G B<TAB>name" lines (".gpl")
//   act   768 bytes: 256 entries of red, green, blue (".act"); read also with
//         the count and transparent index some editors append (772 bytes)
// RIFF palettes ("RIFF", "PAL ", a "data" chunk) are read too.
constexpr const char* kPaletteFormatNames = "raw, jasc, gpl or act";
// The format a command line names; false for another word.
bool paletteFormatNamed(const std::string& word, PaletteFormat& format);
// The format palette files are written in during this run (raw unless set).
PaletteFormat paletteFormat();
// The extension of a palette file of that format, without the dot, and the
// format's name on the command line.
const char* paletteExtension(PaletteFormat format);
const char* paletteFormatName(PaletteFormat format);
// The names a palette file may have been saved under: name (as planned, in
// the run's format) with each format's extension.
std::vector<std::string> paletteFileNames(const std::string& name);
// A palette file's bytes; name (the file's stem) goes into a GIMP palette.
std::vector<uint8_t> encodePalette(PaletteFormat format, const ColourTable& table, const std::string& name);
// Reads a palette file of any of these formats into table (blue, green,
// red, 0), count its entries (the others stay as they are); false with
// why set when the bytes are none of them.
bool decodePalette(const uint8_t* data, size_t size, ColourTable& table, int32_t& count, std::string& why);
