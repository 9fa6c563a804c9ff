// 16-bit palettes as BMP colour tables, and back (see palette.h).
#include "pictures/palette.h"

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

namespace {
// The n-bit value whose widened 8-bit value is nearest to v.
uint8_t nearestChannel(uint8_t v, int bits)
{
    int best = 0, bestDistance = 256;
    for (int c = 0; c < (1 << bits); c++) {
        const int wide = bits == 5 ? (c << 3 | c >> 2) : (c << 2 | c >> 4);
        const int distance = wide > v ? wide - v : v - wide;
        if (distance < bestDistance) {
            best = c;
            bestDistance = distance;
        }
    }
    return uint8_t(best);
}
}  // namespace

uint16_t nearest565(uint8_t red, uint8_t green, uint8_t blue)
{
    static const auto tables = [] {
        std::array<std::array<uint8_t, 256>, 2> t{};
        for (int v = 0; v < 256; v++) {
            t[0][size_t(v)] = nearestChannel(uint8_t(v), 5);
            t[1][size_t(v)] = nearestChannel(uint8_t(v), 6);
        }
        return t;
    }();
    return uint16_t(tables[0][red] << 11 | tables[1][green] << 5 | tables[0][blue]);
}

int pal3to2(const ColourTable& table, int32_t count, const uint8_t* original, uint8_t* palette)
{
    int rounded = 0;
    for (int i = 0; i < 256; i++) {
        if (i >= count) {
            palette[2 * i] = original[2 * i];
            palette[2 * i + 1] = original[2 * i + 1];
            continue;
        }
        const uint8_t blue = table[size_t(4 * i)], green = table[size_t(4 * i + 1)], red = table[size_t(4 * i + 2)];
        const uint16_t v = nearest565(red, green, blue);
        palette[2 * i] = uint8_t(v & 255);
        palette[2 * i + 1] = uint8_t(v >> 8);
        const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        if (uint8_t(r << 3 | r >> 2) != red || uint8_t(g << 2 | g >> 4) != green || uint8_t(b << 3 | b >> 2) != blue)
            rounded++;
    }
    return rounded;
}
