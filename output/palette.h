// 16-bit RGB565 palettes turned into BMP colour tables.
#pragma once

#include <cstdint>
#include <vector>

#include "output/bmp.h"

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
