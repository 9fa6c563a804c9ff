#include "output/palette.h"

#include "common/bytes.h"

ColourTable pal2to3(const uint8_t* data)
{
    ColourTable table;
    for (int i = 0; i < 256; i++) {
        uint32_t v = uint32_t(toInt(data[2 * i], data[2 * i + 1]));
        uint32_t red = v >> 11, green = (v >> 5) & 63, blue = v & 31;
        // Widening by bit replication equals truncating c * 8.258 (5 bits)
        // and c * 4.063 (6 bits) for every channel value.
        table[4 * i + 0] = uint8_t(blue << 3 | blue >> 2);
        table[4 * i + 1] = uint8_t(green << 2 | green >> 4);
        table[4 * i + 2] = uint8_t(red << 3 | red >> 2);
        table[4 * i + 3] = 0;
    }
    return table;
}

std::vector<ColourTable> pal2to3(const uint8_t* data, int32_t count)
{
    std::vector<ColourTable> tables;
    tables.reserve(size_t(count > 0 ? count : 0));
    for (int32_t i = 0; i < count; i++)
        tables.push_back(pal2to3(data + size_t(525) * size_t(i)));
    return tables;
}
