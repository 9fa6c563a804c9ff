// 16-bit RGB565 palettes turned into BMP colour tables.
#pragma once

#include <cstdint>
#include <vector>

#include "output/bmp.h"

// The colour table of the 512-byte palette at data (256 little-endian RGB565 entries).
ColourTable pal2to3(const uint8_t* data);
// count colour tables, table i from the 512 bytes at data + 525 * i.
std::vector<ColourTable> pal2to3(const uint8_t* data, int32_t count);
