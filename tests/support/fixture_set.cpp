// Small valid input files of every format, DIR/<name>.<extension>,
// that reach each converter's deeper paths: seeds for the fuzz targets and
// inputs for comparing the Linux and Windows builds.
#include <algorithm>
#include <filesystem>

#include "support/files.h"
#include "support/fixtures.h"

namespace {
std::string root;

void seed(const std::string& ext, const std::string& name, const ByteList& bytes)
{
    std::filesystem::create_directories(root);
    writeFile(root + "/" + name + "." + ext, bytes);
}
}  // namespace

void writeFixtureSet(const std::string& dir)
{
    root = dir;
    seed("RLE", "mixed", rleFile(5, 3, {concat({rleTransparent(1), rleLiteral({1, 2}), rleGrey({3, 4})}),
                                        concat({rleGrey({5}), rleTransparent(3), rleLiteral({6})}),
                                        rleLiteral({7, 8, 9, 10, 11})},
                                 sampleColourTable(), {2, 0, 1}));
    seed("RLE", "tiny", rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable()));

    seed("RLC", "pairs", rlcFile(10, 3, {concat({rlcPair(3, {1, 2, 3, 4}), rlcPair(3, {})}),
                                         concat({rlcPair(0, {}), rlcPair(0, {5, 6, 7, 8, 9, 10, 11, 12, 13, 14})}),
                                         rlcPair(10, {})},
                                 rampPalette565()));
    seed("ARLC", "small", arlcFile(2, 2));

    WadEntry rle;
    rle.name = "HERO.RLE";
    rle.width = 3;
    rle.height = 2;
    rle.runLength = true;
    rle.rows = {concat({rleGrey({1}), rleTransparent(2)}), rleLiteral({4, 5, 6})};
    WadEntry raw;
    raw.name = "TILE.BIN";
    raw.width = 3;
    raw.height = 2;
    raw.paletteIndex = 1;
    raw.rows = {{1, 2, 3}, {4, 5, 6}};
    ByteList wad = wadFile({{"A.ACT", rampPalette565()}, {"", rampPalette565()}}, {rle, raw});
    wad.resize(std::max<size_t>(wad.size(), 1023));
    seed("WAD", "both", wad);

    FntGlyph glyph;
    glyph.width = 3;
    glyph.height = 2;
    glyph.code = 65;
    glyph.metric1 = -1;
    glyph.pixels = {1, 2, 3, 4, 5, 6};
    seed("FNT", "font", fntFile(fntFullSet({glyph})));

    ByteList palette(768, 7);
    GlyphSetSpec fnc;
    fnc.fontHeight = 2;
    fnc.palette = palette;
    fnc.glyphs.push_back({65, 5, 2, -1, fncGlyphData({{2, 1, 10, 1, 11, 1, 12}, {5}})});
    fnc.glyphs.push_back({9, 2, 2, 0, fncGlyphData({{0, 1, 20, 0, 1, 21}, {1, 0, 1, 22}})});
    seed("FNC", "font", glyphSetFile(fnc));
    GlyphSetSpec fnm;
    fnm.variant = 3;
    fnm.fontHeight = 9;
    fnm.glyphs.push_back({67, 3, 2, 0, {0, 1, 2, 2, 2, 0}});
    seed("FNM", "font", glyphSetFile(fnm));

    SecSpec sec;
    sec.points = {{1.5f, -2}};
    SecElement e;
    e.x = 10;
    e.attributes[3] = 5;
    e.extra = {1, 2};
    e.values = {7, 8};
    sec.firstTable = {e};
    sec.lists = {{"MAP", 0, {{5, 6}}}};
    sec.pairs = {{9, 10}};
    seed("SEC", "tables", secFile(sec));

    ZomImage image;
    image.width = 3;
    image.height = 2;
    image.palette = rampPalette565();
    image.pixels = {1, 2, 3, 4, 5, 6};
    seed("ZOM", "set", zomFile(1, 6, {image, image}, concat({zomEntry(1), zomEntry(3, 4), zomEntry(0, 1, 2)})));
    // Sixteen pictures: the eleventh and later are named where Windows allows.
    seed("ZOM", "sixteen", zomFile(1, 1, std::vector<ZomImage>(16, zomImage(1, 1, 0, 0, {3})), zomEntry(0)));

    // Names that cannot stand as they are on one platform or the other.
    std::vector<WadEntry> named;
    for (const char* name : {"A?B.PIC", "C|D<E>.PIC", "F*G\"H.PIC", "../UP.PIC", "DIR\\X.PIC", "CON.PIC", "lpt1.PIC",
                             "AB", "tab\tNAME.PIC", "hero.PIC", "HERO.PIC", "caf\xE9.PIC", "CAF\xC9.PIC"})
        named.push_back(WadEntry{name, 1, 1, 0, false, {{uint8_t(named.size())}}});
    seed("WAD", "names", wadFile({{"A:B.ACT", rampPalette565()}, {"NUL.ACT", rampPalette565()}}, named));

    // Names that are markup: a page shows them as text.
    seed("WAD", "markup",
         wadFile({{"<b>P</b>.ACT", rampPalette565()}},
                 {WadEntry{"<img src=x onerror=alert(1)>", 2, 2, 0, false, {{1, 2}, {3, 4}}},
                  WadEntry{"\"><script>alert(2)</script>", 2, 1, 0, false, {{5, 6}}},
                  WadEntry{"&amp;'x'.PIC", 1, 1, 0, false, {{7}}}}));

    // Records that would share a name: every one gets a file of its own.
    auto sprite = [](const char* name, uint8_t index) {
        return WadEntry{name, 1, 1, 0, true, {rleLiteral({index})}};
    };
    auto tile = [](const char* name, uint8_t index) { return WadEntry{name, 1, 1, 1, false, {{index}}}; };
    seed("WAD", "collide",
         wadFile({{"P.ACT", rampPalette565()}, {"P.XXX", rampPalette565()}, {"Q.ACT", rampPalette565()}},
                 {sprite("GEM.RLE", 1), tile("GEM.MASK.BIN", 2), tile("A?B.BIN", 3), tile("A_B~2.BIN", 4),
                  sprite("HERO.RLE", 5), tile("HERO.XYZ", 6), tile("case.PIC", 7), tile("CASE.PIC", 8),
                  tile("\xE0te.PIC", 9), tile("\xC0TE.PIC", 10)}));
    // 200 pictures: small letters (a-z, Latin-1's) share no name with capitals.
    std::vector<ZomImage> pictures;
    for (int i = 0; i < 200; i++)
        pictures.push_back(zomImage(1, 1, 0, 0, {uint8_t(i)}));
    seed("ZOM", "many", zomFile(1, 1, pictures, zomEntry(0)));

    seed("ANM", "script", anmFile({anmShort(0, {1}), anmLong(1, {0, 1, 2}, textArea("A", 2)), anmShort(4, {0}),
                                   anmShort(8, {-1, 2, 3}), anmLong(3, {1, 2, 3, 2, 4}, {'A', 0, 'B', 0, 'C', 0}),
                                   anmLong(6, {1, 2, 3, 4, 5}, textArea("S", 2)), anmShort(9, {0, 1, 2}),
                                   anmShort(10, {-1, 1}), anmEnd()}));
}
