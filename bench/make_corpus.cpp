// Writes the corpus of the end-to-end benchmark with the test builders:
//   DIR/wad/BIG.WAD   one archive of 10,000 x SCALE entries of mixed kinds
//                     and sizes (over 100 MB at scale 1)
//   DIR/rle/*.RLE     2,000 x SCALE sprites
//   DIR/fnt/*.FNT     200 x SCALE fonts of 224 glyphs
// usage: assetdump_corpus DIR [SCALE]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "common/file.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace {

struct Size {
    int width, height;
};
// Sprite sizes in rotation: odd and even widths, all four paddings.
const Size kSizes[] = {{64, 48}, {97, 80}, {130, 96}, {203, 121}, {32, 32}, {150, 150}, {255, 60}, {81, 111}};

// A sprite picture: a transparent margin, grey edges, a literal body.
void picture(int w, int h, std::mt19937& random, ByteList& pixels, ByteList& mask)
{
    pixels.resize(size_t(w * h));
    mask.resize(size_t(w * h));
    for (int y = 0; y < h; y++) {
        int margin = int(random() % uint32_t(w / 4 + 1));
        for (int x = 0; x < w; x++) {
            size_t i = size_t(y * w + x);
            pixels[i] = uint8_t(random());
            int edge = std::min(x - margin, w - 1 - margin - x);
            mask[i] = edge < 0 ? 0 : edge < 2 ? 127 : 255;
        }
    }
}

std::vector<ByteList> codedRows(int w, int h, const ByteList& pixels, const ByteList& mask)
{
    std::vector<ByteList> rows;
    for (int y = 0; y < h; y++)
        rows.push_back(rleEncodeRow(ByteList(pixels.begin() + y * w, pixels.begin() + (y + 1) * w),
                                    ByteList(mask.begin() + y * w, mask.begin() + (y + 1) * w)));
    return rows;
}

void writeWad(const std::string& path, int entries, std::mt19937& random)
{
    File out = openFile(path, "wb");
    const int palettes = 4;
    Bytes head;
    head.zeros(400).u16(palettes).zeros(2);
    for (int p = 0; p < palettes; p++)
        head.raw(rampPalette565()).field(numberedName("PAL", size_t(p), ".ACT"), 13);
    head.u16(unsigned(entries)).zeros(2);
    writeBlock(out.get(), head.data.data(), head.size());
    ByteList pixels, mask;
    for (int i = 0; i < entries; i++) {
        Size s = kSizes[i % 8];
        picture(s.width, s.height, random, pixels, mask);
        WadEntry e;
        e.width = s.width;
        e.height = s.height;
        e.paletteIndex = unsigned(i % palettes);
        e.runLength = i % 3 != 2;  // two run-length entries to one raw entry
        e.name = numberedName("E", size_t(i), e.runLength ? ".RLE" : ".BIN");
        if (e.runLength)
            e.rows = codedRows(s.width, s.height, pixels, mask);
        else
            for (int y = 0; y < s.height; y++)
                e.rows.push_back(ByteList(pixels.begin() + y * s.width, pixels.begin() + (y + 1) * s.width));
        ByteList bytes = wadEntry(e);
        writeBlock(out.get(), bytes.data(), bytes.size());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [SCALE]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
    std::mt19937 random(2026);
    for (const char* sub : {"wad", "rle", "fnt"})
        std::filesystem::create_directories(dir + "/" + sub);

    writeWad(dir + "/wad/BIG.WAD", int(10000 * scale), random);

    ByteList pixels, mask;
    for (int i = 0; i < int(2000 * scale); i++) {
        Size s = kSizes[i % 8];
        picture(s.width, s.height, random, pixels, mask);
        char name[32];
        std::snprintf(name, sizeof name, "/rle/S%05d.RLE", i);
        writeFile(dir + name, rleFile(s.width, s.height, codedRows(s.width, s.height, pixels, mask),
                                      sampleColourTable()));
    }

    for (int i = 0; i < int(200 * scale); i++) {
        std::vector<FntGlyph> glyphs;
        for (unsigned code = 32; code < 256; code++) {
            FntGlyph g;
            g.code = code;
            g.width = 6 + int(code % 7);
            g.height = 12;
            g.metric1 = int(code % 3) - 1;
            for (int p = 0; p < g.width * g.height; p++)
                g.pixels.push_back(uint8_t(random() % 16));
            glyphs.push_back(g);
        }
        char name[32];
        std::snprintf(name, sizeof name, "/fnt/F%04d.FNT", i);
        writeFile(dir + name, fntFile(glyphs));
    }
    return 0;
}
