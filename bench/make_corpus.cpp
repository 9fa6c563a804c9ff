// Writes the corpus of the end-to-end benchmark with the test builders:
//   DIR/wad/BIG.WAD   one archive of 10,000 x SCALE entries of mixed kinds
//                     and sizes (over 100 MB at scale 1)
//   DIR/rle/*.RLE     2,000 x SCALE sprites
//   DIR/fnt/*.FNT     200 x SCALE fonts of 224 glyphs
// usage: assetdump_corpus DIR [SCALE [drawn]]   (drawn: bodies in runs of colour, not noise)
//        assetdump_corpus DIR hostile   the hostile set (see writeHostile)
//        assetdump_corpus DIR largest   DIR/largest/MAX.WAD: 65,535 entries, the most the format allows
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/files.h"
#include "common/bytes.h"
#include "support/fixtures.h"

namespace {

struct Size {
    int width, height;
};
// Sprite sizes in rotation: odd and even widths, all four paddings.
const Size kSizes[] = {{64, 48}, {97, 80}, {130, 96}, {203, 121}, {32, 32}, {150, 150}, {255, 60}, {81, 111}};

// Bodies of noise (every pixel drawn at random), or drawn as sprites are,
// in runs of one colour (the "drawn" corpus).
bool drawn = false;

// A sprite picture: a transparent margin, grey edges, a literal body.
void picture(int w, int h, std::mt19937& random, ByteList& pixels, ByteList& mask)
{
    pixels.resize(size_t(w * h));
    mask.resize(size_t(w * h));
    uint8_t colour = 0;
    for (int y = 0; y < h; y++) {
        int margin = int(random() % uint32_t(w / 4 + 1));
        for (int x = 0; x < w; x++) {
            size_t i = size_t(y * w + x);
            if (!drawn || random() % 12 == 0)
                colour = uint8_t(random());
            pixels[i] = colour;
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const int palettes = 4;
    Bytes head;
    head.zeros(400).u16(palettes).zeros(2);
    for (int p = 0; p < palettes; p++)
        head.raw(rampPalette565()).field(numberedName("PAL", size_t(p), ".ACT"), 13);
    head.u16(unsigned(entries)).zeros(2);
    out.write(reinterpret_cast<const char*>(head.data.data()), std::streamsize(head.size()));
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
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
}

// An RLE file whose row table is given: rows may share their codes.
ByteList rleWithOffsets(int width, const std::vector<uint32_t>& offsets, const ByteList& runData)
{
    Bytes f;
    const unsigned height = unsigned(offsets.size());
    f.text("BM").zeros(8).u16(1090 + 4 * height).zeros(2).u32(40).u16(unsigned(width)).zeros(2).u16(height).zeros(2);
    f.u16(1).u16(8).u32(4).padTo(54).raw(sampleColourTable()).zeros(12);
    for (uint32_t offset : offsets)
        f.u32(offset);
    return f.raw(runData).data;
}

// A stretch of empty codes (FF 00, a transparent run of nothing) ended by
// one literal pixel: every byte of it starts a row that walks to the pixel.
ByteList emptyStretch(size_t codes)
{
    Bytes run;
    for (size_t i = 0; i < codes; i++)
        run.raw({255, 0});
    return run.raw({1, 42}).data;
}

// Files built to cost time or memory out of proportion if the converters
// were not bounded:
//   SLOW-SHARED.RLE   16,111 one-pixel rows, all starting at one stretch of
//                     200,000 empty codes (00)
//   SLOW-STAGGER.RLE  16,111 rows starting one byte apart in such a stretch
//   SLOW.WAD          a run-length entry of the same kind
//   SLOW.FNC          255 glyphs of 127 rows, every row one byte further
//                     into one stretch of 200,000 empty runs
//   WIDE.RLE          65,000 x 16,000 pixels from 66 KB: its rows share one offset
//   SPARSE-*.xxx      a small valid file of every type, then 3 GB never read
void writeHostile(const std::string& dir)
{
    const size_t rows = 16111;
    Bytes zeros;
    zeros.zeros(200000).raw({1, 42});
    writeFile(dir + "/SLOW-SHARED.RLE", rleWithOffsets(1, std::vector<uint32_t>(rows, 0), zeros.data));
    std::vector<uint32_t> staggered(rows);
    for (size_t r = 0; r < rows; r++)
        staggered[r] = uint32_t(r);
    const ByteList stretch = emptyStretch(100000);
    writeFile(dir + "/SLOW-STAGGER.RLE", rleWithOffsets(1, staggered, stretch));

    Bytes wad;
    wad.zeros(400).u16(1).zeros(2).raw(rampPalette565()).field("P.PAL", 13).u16(1).zeros(2);
    wad.field("SLOW.RLE", 32).u24(uint32_t(stretch.size())).zeros(13).u16(unsigned(rows)).zeros(2).u16(1).zeros(10);
    wad.raw(stretch).zeros(16);
    for (uint32_t offset : staggered)
        wad.u32(offset);
    writeFile(dir + "/SLOW.WAD", wad.u16(0).zeros(2).data);

    GlyphSetSpec font;
    font.fontHeight = 127;
    font.palette = ByteList(768, 3);
    for (unsigned code = 1; code < 256; code++)
        font.glyphs.push_back({code, 127, 127, 0, ByteList(4 + 4 * 127, 0)});
    Bytes fnc;
    fnc.raw(glyphSetFile(font));
    const size_t stretchAt = fnc.size();
    fnc.zeros(200000).u8(127).fill(127, 5);
    const size_t offsetTable = 272 + 16 * 255, dataBase = 272 + 20 * 255;
    for (size_t j = 0; j < 255; j++) {
        const size_t glyphAt = dataBase + toInt(fnc.data.data(), offsetTable + 4 * j);
        const size_t runsBase = glyphAt + 4 + 4 * 127;
        for (size_t r = 0; r < 127; r++)
            fnc.patch32(glyphAt + 4 + 4 * r, uint32_t(stretchAt + j * 127 + r - runsBase));
    }
    writeFile(dir + "/SLOW.FNC", fnc.data);

    ByteList wide;
    for (int i = 0; i < 65000 / 253; i++) {
        ByteList run = rleLiteral(ByteList(253, uint8_t(i)));
        wide.insert(wide.end(), run.begin(), run.end());
    }
    ByteList tail = rleLiteral(ByteList(65000 % 253, 9));
    wide.insert(wide.end(), tail.begin(), tail.end());
    writeFile(dir + "/WIDE.RLE", rleWithOffsets(65000, std::vector<uint32_t>(16000, 0), wide));

    GlyphSetSpec fnm;
    fnm.fontHeight = 2;
    fnm.glyphs.push_back({65, 2, 2, 0, {0, 1, 2, 1}});
    font.glyphs.resize(1);
    font.glyphs[0].width = font.glyphs[0].height = 1;
    font.fontHeight = 1;
    font.glyphs[0].data = fncGlyphData({fncEncodeRow({5}, {255})});
    SecSpec sec;
    const std::pair<const char*, ByteList> small[] = {
        {"RLE", rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable())},
        {"RLC", rlcFile(1, 1, {rlcPair(0, {7})}, rampPalette565())},
        {"ARLC", arlcFile(2, 2)},
        {"WAD", wadFile({{"P.PAL", rampPalette565()}}, {WadEntry{"A.PIC", 1, 1, 0, false, {{3}}}})},
        {"FNT", fntFile(fntFullSet({}))},
        {"FNC", glyphSetFile(font)},
        {"FNM", glyphSetFile(fnm)},
        {"SEC", secFile(sec)},
        {"ZOM", zomFile(1, 1, {zomImage(1, 1, 0, 0, {5})}, zomEntry(0))},
        {"ANM", anmFile({anmShort(4, {1}), anmEnd()})},
    };
    for (const auto& [ext, head] : small) {
        const std::string path = dir + "/SPARSE-" + ext + "." + ext;
        writeFile(path, head);
        std::filesystem::resize_file(path, uintmax_t(3) << 30);
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
    if (argc > 2 && std::string(argv[2]) == "hostile") {
        std::filesystem::create_directories(dir);
        writeHostile(dir);
        return 0;
    }
    if (argc > 2 && std::string(argv[2]) == "largest") {
        // The largest archive the format allows: 65,535 entries.
        std::mt19937 random(2026);
        std::filesystem::create_directories(dir + "/largest");
        writeWad(dir + "/largest/MAX.WAD", 65535, random);
        return 0;
    }
    drawn = argc > 3 && std::string(argv[3]) == "drawn";
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
