// RLE sprites, WAD archives and the listing of an archive's folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "formats/sprites/sprites.h"
#include "support/bmp_reader.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace {

const std::string S(1, pathSeparator());

std::vector<uint8_t> bytes(const std::vector<uint8_t>& v, size_t from, size_t n)
{
    return std::vector<uint8_t>(v.begin() + long(from), v.begin() + long(from + n));
}

// Image and mask of a converted sprite, with the checks every pair must pass.
void readPair(const std::string& image, const std::string& maskPath, BmpImage& img, BmpImage& msk)
{
    ASSERT_TRUE(readBmp(image, img)) << image;
    ASSERT_TRUE(readBmp(maskPath, msk)) << maskPath;
    EXPECT_EQ(bytes(img.file, 0, 54), bytes(msk.file, 0, 54));  // identical headers
    EXPECT_EQ(img.file.size(), 1078 + bmpStride(img) * size_t(img.height));
    EXPECT_EQ(msk.colourTable.size(), 1024u);
    EXPECT_EQ(msk.colourTable[4 * 255], 255);
    EXPECT_EQ(msk.colourTable[4 * 1], 127);
}

}  // namespace

TEST(Rle, TheSmallestExampleConvertsToTheStatedBytes)
{
    TempDir tmp;
    std::vector<uint8_t> file = rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable());
    ASSERT_EQ(file.size(), 1097u);
    writeFile(tmp / "HERO.RLE", file);
    ASSERT_TRUE(extract_RLE(tmp / "HERO.RLE"));
    BmpImage img, msk;
    readPair(tmp / "HERO.RLE.FILES" + S + "HERO.BMP", tmp / "HERO.RLE.FILES" + S + "HERO.MASK.BMP", img, msk);
    EXPECT_EQ(img.file.size(), 1082u);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{10, 11, 0, 0}));
    EXPECT_EQ(msk.pixels, (std::vector<uint8_t>{255, 255, 0, 0}));
    EXPECT_EQ(img.colourTable, bytes(file, 54, 1024));
    EXPECT_EQ(img.bitsPerPixel, 8);
    EXPECT_EQ(img.width, 2);
    EXPECT_EQ(img.height, 1);
}

TEST(Rle, RowsMixEveryRunKindAndMayBeStoredInAnyOrder)
{
    TempDir tmp;
    // Five wide: rows of 5 pixels and 3 pad bytes. Row 0 is the top row.
    std::vector<ByteList> rows = {
        concat({rleTransparent(1), rleLiteral({1, 2}), rleGrey({3, 4})}),
        concat({rleGrey({5}), rleTransparent(3), rleLiteral({6})}),
        concat({rleLiteral({}), rleTransparent(0), rleGrey({}), rleLiteral({7, 8, 9, 10, 11})}),
    };
    writeFile(tmp / "m.rle", rleFile(5, 3, rows, sampleColourTable(), {2, 0, 1}));
    ASSERT_TRUE(extract_RLE(tmp / "m.rle"));
    BmpImage img, msk;
    readPair(tmp / "m.rle.FILES" + S + "m.BMP", tmp / "m.rle.FILES" + S + "m.MASK.BMP", img, msk);
    EXPECT_EQ(bmpRow(img, 0), (std::vector<uint8_t>{255, 1, 2, 3, 4}));
    EXPECT_EQ(bmpRow(msk, 0), (std::vector<uint8_t>{0, 255, 255, 127, 127}));
    EXPECT_EQ(bmpRow(img, 1), (std::vector<uint8_t>{5, 255, 255, 255, 6}));
    EXPECT_EQ(bmpRow(msk, 1), (std::vector<uint8_t>{127, 0, 0, 0, 255}));
    EXPECT_EQ(bmpRow(img, 2), (std::vector<uint8_t>{7, 8, 9, 10, 11}));
    EXPECT_EQ(bmpRow(msk, 2), (std::vector<uint8_t>{255, 255, 255, 255, 255}));
    // The top row is stored last, and every pad byte is 0 in both files.
    EXPECT_EQ(bytes(img.pixels, 16, 8), (std::vector<uint8_t>{255, 1, 2, 3, 4, 0, 0, 0}));
    for (size_t r = 0; r < 3; r++)
        for (size_t k = 5; k < 8; k++) {
            EXPECT_EQ(img.pixels[r * 8 + k], 0);
            EXPECT_EQ(msk.pixels[r * 8 + k], 0);
        }
}

TEST(Rle, LengthBoundaryAndHeaderChecks)
{
    TempDir tmp;
    // Height 0 with data offset 1090: the smallest accepted file is 1095 bytes.
    std::vector<uint8_t> empty = rleFile(4, 0, {}, sampleColourTable());
    empty.resize(1094);
    writeFile(tmp / "a.rle", empty);
    EXPECT_FALSE(extract_RLE(tmp / "a.rle"));
    EXPECT_FALSE(exists(tmp / "a.rle.FILES"));
    empty.push_back(0);
    writeFile(tmp / "b.rle", empty);
    ASSERT_TRUE(extract_RLE(tmp / "b.rle"));
    EXPECT_EQ(readFile(tmp / "b.rle.FILES" + S + "b.BMP").size(), 1078u);
    EXPECT_EQ(readFile(tmp / "b.rle.FILES" + S + "b.MASK.BMP").size(), 1078u);

    std::vector<uint8_t> good = rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable());
    struct Change { size_t at; uint8_t value; bool accepted; };
    const Change changes[] = {
        {0, 'b', false}, {1, 'm', false}, {14, 41, false}, {26, 2, false}, {28, 24, false},
        {30, 0, false},  // an ordinary uncompressed BMP
        {30, 1, false},  // run-length 8-bit BMP
        {10, 0x47, false},  // data offset no longer 1090 + 4 * height
        {15, 7, true}, {27, 7, true}, {31, 7, true},  // only the lowest byte of a field is tested
    };
    int n = 0;
    for (const Change& c : changes) {
        std::vector<uint8_t> f = good;
        f[c.at] = c.value;
        std::string name = numberedName("h", n++, ".rle");
        writeFile(tmp / name, f);
        EXPECT_EQ(extract_RLE(tmp / name), c.accepted) << "byte " << c.at;
        EXPECT_EQ(exists(tmp / (name + ".FILES")), c.accepted) << "byte " << c.at;
    }
}

TEST(Rle, PixelsPastTheWidthAreDroppedAndTheirBytesConsumed)
{
    TempDir tmp;
    // Width 3: the second literal run carries the row to 4 pixels; its last
    // pixel is dropped and never lands in the padding.
    std::vector<ByteList> rows = {concat({rleLiteral({1, 2}), rleLiteral({3, 4})}),
                                  concat({rleTransparent(200)}), concat({rleGrey({5, 6, 7, 8, 9})})};
    writeFile(tmp / "w.rle", rleFile(3, 3, rows, sampleColourTable()));
    ASSERT_TRUE(extract_RLE(tmp / "w.rle"));
    BmpImage img, msk;
    readPair(tmp / "w.rle.FILES" + S + "w.BMP", tmp / "w.rle.FILES" + S + "w.MASK.BMP", img, msk);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{5, 6, 7, 0, 255, 255, 255, 0, 1, 2, 3, 0}));
    EXPECT_EQ(msk.pixels, (std::vector<uint8_t>{127, 127, 127, 0, 0, 0, 0, 0, 255, 255, 255, 0}));
}

TEST(Rle, DamagedRowsAreRefusedWithNothingWritten)
{
    TempDir tmp;
    std::vector<uint8_t> good = rleFile(4, 2, {rleLiteral({1, 2, 3, 4}), rleTransparent(4)}, sampleColourTable());
    const size_t table = 1090, runData = 1098;

    std::vector<std::vector<uint8_t>> damaged;
    std::vector<uint8_t> f = good;
    f[table + 4] = 200;  // row 1 starts past the run data
    damaged.push_back(f);
    f = good;
    f[runData] = 9;  // a literal run of 9 in a 5-byte run data block
    damaged.push_back(f);
    f = good;
    f.resize(f.size() - 1);  // the transparent run loses its count
    damaged.push_back(f);
    f = good;
    f[runData + 5] = 254;  // a grey run whose count byte is missing
    f.resize(runData + 6);
    damaged.push_back(f);
    f = rleFile(2, 300, std::vector<ByteList>(300, rleLiteral({1, 2})), sampleColourTable());
    f.resize(1095 + 100);  // the row table alone needs 1200 bytes
    damaged.push_back(f);
    f = good;
    f[table + 4] = 0;  // rows may share their codes: this one converts
    damaged.push_back(f);

    for (size_t i = 0; i < damaged.size(); i++) {
        std::string name = numberedName("d", i, ".rle");
        writeFile(tmp / name, damaged[i]);
        bool last = i + 1 == damaged.size();
        EXPECT_EQ(extract_RLE(tmp / name), last) << name;
        EXPECT_EQ(exists(tmp / (name + ".FILES")), last) << name;
    }
}

TEST(Rle, RunningTwiceOverwrites)
{
    TempDir tmp;
    writeFile(tmp / "s.rle", rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable()));
    ASSERT_TRUE(extract_RLE(tmp / "s.rle"));
    writeFile(tmp / "s.rle", rleFile(1, 1, {rleLiteral({12})}, sampleColourTable()));
    ASSERT_TRUE(extract_RLE(tmp / "s.rle"));
    BmpImage img;
    ASSERT_TRUE(readBmp(tmp / "s.rle.FILES" + S + "s.BMP", img));
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{12, 0, 0, 0}));
}

namespace {

ByteList solidPalette(uint16_t colour)
{
    Bytes b;
    for (int i = 0; i < 256; i++)
        b.u16(colour);
    return b.data;
}

WadEntry rleEntry(const std::string& name, int w, int h, unsigned palette, std::vector<ByteList> rows)
{
    WadEntry e;
    e.name = name;
    e.width = w;
    e.height = h;
    e.paletteIndex = palette;
    e.runLength = true;
    e.rows = std::move(rows);
    return e;
}

WadEntry rawEntry(const std::string& name, int w, int h, unsigned palette, std::vector<ByteList> rows)
{
    WadEntry e = rleEntry(name, w, h, palette, std::move(rows));
    e.runLength = false;
    return e;
}

// Archives shorter than the minimum length get zero bytes behind their entries.
std::vector<uint8_t> padded(std::vector<uint8_t> wad)
{
    if (wad.size() < 1023)
        wad.resize(1023, 0);
    return wad;
}

}  // namespace

TEST(Wad, TheStated1024ByteArchive)
{
    TempDir tmp;
    std::vector<uint8_t> file = wadFile({{"X.PAL", rampPalette565()}}, {rleEntry("A.RLE", 2, 1, 0, {rleLiteral({10, 11})})});
    ASSERT_EQ(file.size(), 1024u);
    writeFile(tmp / "DATA.WAD", file);
    ASSERT_TRUE(extract_WAD(tmp / "DATA.WAD"));
    const std::string dir = tmp / "DATA.WAD.FILES" + S;
    EXPECT_EQ(listTree(tmp / "DATA.WAD.FILES"), (std::vector<std::string>{"A.BMP", "A.MASK.BMP", "X.PAL"}));
    std::vector<uint8_t> pal = readFile(dir + "X.PAL");
    ASSERT_EQ(pal.size(), 1024u);
    EXPECT_EQ(bytes(pal, 4 * 255, 4), (std::vector<uint8_t>{0, 255, 255, 0}));  // red 31, green 63, blue 0
    BmpImage img, msk;
    readPair(dir + "A.BMP", dir + "A.MASK.BMP", img, msk);
    EXPECT_EQ(img.file.size(), 1082u);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{10, 11, 0, 0}));
    EXPECT_EQ(msk.pixels, (std::vector<uint8_t>{255, 255, 0, 0}));
    EXPECT_EQ(img.colourTable, pal);
}

TEST(Wad, LengthBoundaryAndAnEmptyArchive)
{
    TempDir tmp;
    std::vector<uint8_t> empty = wadFile({}, {});
    empty.resize(1022, 0);
    writeFile(tmp / "a.wad", empty);
    EXPECT_FALSE(extract_WAD(tmp / "a.wad"));
    EXPECT_FALSE(exists(tmp / "a.wad.FILES"));
    empty.push_back(0);
    writeFile(tmp / "b.wad", empty);
    EXPECT_TRUE(extract_WAD(tmp / "b.wad"));
    EXPECT_TRUE(isDir(tmp / "b.wad.FILES"));
    EXPECT_TRUE(listTree(tmp / "b.wad.FILES").empty());
}

TEST(Wad, PalettesAndBothEntryKinds)
{
    TempDir tmp;
    std::vector<WadPalette> palettes = {
        {"RED.ACT", solidPalette(0xF800)}, {"", solidPalette(0x07E0)}, {"BLUEBLUEBLUE1", solidPalette(0x001F)}};
    std::vector<WadEntry> entries = {
        rleEntry("HERO.RLE", 3, 2, 1, {concat({rleGrey({1}), rleTransparent(2)}), rleLiteral({4, 5, 6})}),
        rawEntry("TILE.PIC", 3, 2, 2, {{1, 2, 3}, {4, 5, 6}}),
        rawEntry("LOWER.rle", 4, 1, 0, {{7, 8, 9, 10}}),
    };
    writeFile(tmp / "g.wad", padded(wadFile(palettes, entries)));
    ASSERT_TRUE(extract_WAD(tmp / "g.wad"));
    const std::string dir = tmp / "g.wad.FILES" + S;
    // The unnamed palette, which HERO uses, is written under a substitute so
    // that it can be recoloured; a 13-character name without a zero byte is used whole.
    EXPECT_EQ(listTree(tmp / "g.wad.FILES"),
              (std::vector<std::string>{"BLUEBLUEBLPAL", "HERO.BMP", "HERO.MASK.BMP", "LOWER.BMP", "RED.PAL",
                                        "TILE.BMP", "~1.PAL"}));
    BmpImage hero, heroMask, tile, lower;
    readPair(dir + "HERO.BMP", dir + "HERO.MASK.BMP", hero, heroMask);
    EXPECT_EQ(bytes(hero.colourTable, 0, 4), (std::vector<uint8_t>{0, 255, 0, 0}));  // the unnamed green palette
    EXPECT_EQ(bmpRow(hero, 0), (std::vector<uint8_t>{1, 255, 255}));
    EXPECT_EQ(bmpRow(heroMask, 0), (std::vector<uint8_t>{127, 0, 0}));
    EXPECT_EQ(bmpRow(hero, 1), (std::vector<uint8_t>{4, 5, 6}));

    // Raw rows lie W + 2 apart in the file and come out bottom-up with one pad byte.
    ASSERT_TRUE(readBmp(dir + "TILE.BMP", tile));
    EXPECT_EQ(tile.pixels, (std::vector<uint8_t>{4, 5, 6, 0, 1, 2, 3, 0}));
    EXPECT_EQ(bytes(tile.colourTable, 0, 4), (std::vector<uint8_t>{255, 0, 0, 0}));
    EXPECT_EQ(tile.file.size(), 1078u + 8);
    // A lower-case r makes a raw entry: no mask.
    ASSERT_TRUE(readBmp(dir + "LOWER.BMP", lower));
    EXPECT_EQ(lower.pixels, (std::vector<uint8_t>{7, 8, 9, 10}));
    EXPECT_EQ(bytes(lower.colourTable, 0, 4), (std::vector<uint8_t>{0, 0, 255, 0}));
}

// Every collision of names in one archive: each record keeps its own file,
// holding its own bytes, and the plain name goes to the later record (or to
// the pair whose mask has it); every substitute is told.
TEST(Wad, EveryRecordKeepsAnOutputOfItsOwn)
{
    struct Case {
        const char* what;
        std::vector<WadPalette> palettes;
        std::vector<WadEntry> entries;
        std::vector<std::string> files;  // in record order: palettes, then entries (image, mask)
    };
    const ByteList pal = rampPalette565();
    const std::vector<Case> cases = {
        {"later entry keeps the name", {{"P.PAL", pal}},
         {rawEntry("SAME.AAA", 1, 1, 0, {{1}}), rawEntry("SAME.BBB", 1, 1, 0, {{2}})},
         {"P.PAL", "SAME~0.BMP", "SAME.BMP"}},
        {"a raw entry named like a mask yields", {{"P.PAL", pal}},
         {rleEntry("GEM.RLE", 1, 1, 0, {rleLiteral({3})}), rawEntry("GEM.MASK.BIN", 1, 1, 0, {{4}})},
         {"P.PAL", "GEM.BMP", "GEM.MASK.BMP", "GEM.MASK~1.BMP"}},
        {"a raw entry before a pair of its name takes the image name", {{"P.PAL", pal}},
         {rawEntry("GEM.MASK.BIN", 1, 1, 0, {{4}}), rleEntry("GEM.RLE", 1, 1, 0, {rleLiteral({3})})},
         {"P.PAL", "GEM.MASK~0.BMP", "GEM.BMP", "GEM.MASK.BMP"}},
        {"a pair yields whole", {{"P.PAL", pal}},
         {rleEntry("HERO.RLE", 1, 1, 0, {rleLiteral({5})}), rawEntry("HERO.XYZ", 1, 1, 0, {{6}})},
         {"P.PAL", "HERO~0.BMP", "HERO~0.MASK.BMP", "HERO.BMP"}},
        {"a substitute never takes a real name", {{"P.PAL", pal}},
         {rawEntry("A?B.BIN", 1, 1, 0, {{7}}), rawEntry("A_B~0.BIN", 1, 1, 0, {{8}})},
         {"P.PAL", "A_B~0~2.BMP", "A_B~0.BMP"}},
        {"letter case", {{"P.PAL", pal}},
         {rawEntry("hero.PIC", 1, 1, 0, {{1}}), rawEntry("HERO.PIC", 1, 1, 0, {{2}})},
         {"P.PAL", "hero~0.BMP", "HERO.BMP"}},
        {"Latin-1 letter case", {{"P.PAL", pal}},
         {rawEntry("\xE9T\xE9.PIC", 1, 1, 0, {{1}}), rawEntry("\xC9T\xC9.PIC", 1, 1, 0, {{2}})},
         {"P.PAL", "\u00E9T\u00E9~0.BMP", "\u00C9T\u00C9.BMP"}},
        {"palettes differing in their last three", {{"P.ACT", pal}, {"P.XXX", rgb565Palette([](int) { return uint16_t(0xF800); })}},
         {rawEntry("X.PIC", 1, 1, 1, {{1}})},
         {"P~0.PAL", "P.PAL", "X.BMP"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        writeFile(tmp / "n.wad", padded(wadFile(c.palettes, c.entries)));
        testing::internal::CaptureStderr();
        ASSERT_TRUE(extract_WAD(tmp / "n.wad"));
        const std::string err = testing::internal::GetCapturedStderr();
        std::vector<std::string> sorted = c.files;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(listTree(tmp / "n.wad.FILES"), sorted);
        // Each file holds its own record's bytes: palettes their colours, images their pixel.
        size_t f = 0;
        for (size_t i = 0; i < c.palettes.size(); i++, f++)
            EXPECT_EQ(readFile(tmp / "n.wad.FILES" + S + c.files[f]).size(), 1024u) << c.files[f];
        for (const WadEntry& e : c.entries) {
            BmpImage image;
            ASSERT_TRUE(readBmp(tmp / "n.wad.FILES" + S + c.files[f], image)) << c.files[f];
            const uint8_t expected = e.runLength ? e.rows[0][1] : e.rows[0][0];
            EXPECT_EQ(image.pixels[0], expected) << c.files[f];
            f += e.runLength ? 2 : 1;
        }
        // One record yields in each case, and it is told.
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(" is written as "), std::string::npos) << err;
    }
}

TEST(Wad, NamesThatCannotStandAsTheyAreGetNumberedSubstitutes)
{
    TempDir tmp;
    WadEntry noZero = rawEntry("", 1, 1, 0, {{1}});
    noZero.name = std::string(32, 'N');
    std::vector<WadEntry> entries = {
        rawEntry("../ESCAPE.PIC", 1, 1, 0, {{1}}), rawEntry("..\\ESCAPE.PIC", 1, 1, 0, {{1}}),
        rawEntry("C:ESCAPE.PIC", 1, 1, 0, {{1}}),  rawEntry("..", 1, 1, 0, {{1}}),
        rawEntry(".", 1, 1, 0, {{1}}),             rawEntry("A.R", 1, 1, 0, {{1}}),
        rawEntry("nul.PIC", 1, 1, 0, {{1}}),       noZero,  // 32 bytes, all of them the name
        rawEntry("GOOD.PIC", 1, 1, 1, {{9}}),      rleEntry("FINE.RLE", 1, 1, 0, {rleLiteral({9})}),
        rawEntry("hero.PIC", 1, 1, 0, {{1}}),      rawEntry("HERO.PIC", 1, 1, 0, {{2}}),  // one file on Windows
    };
    std::vector<WadPalette> palettes = {{"../../P.PAL", rampPalette565()}, {"OK.PAL", rampPalette565()},
                                        {"/abs", rampPalette565()}, {"AB", rampPalette565()},
                                        {"CON.ACT", rampPalette565()}};
    writeFile(tmp / "h.wad", padded(wadFile(palettes, entries)));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(extract_WAD(tmp / "h.wad"));
    const std::string err = testing::internal::GetCapturedStderr();
    const std::vector<std::string> expected = {
        "h.wad", "h.wad.FILES/" + std::string(28, 'N') + ".BMP",
        "h.wad.FILES/.._ESCAPE~0.BMP", "h.wad.FILES/.._ESCAPE~1.BMP", "h.wad.FILES/.._.._P~0.PAL",
        "h.wad.FILES/.~3.BMP", "h.wad.FILES/~4.BMP", "h.wad.FILES/AB~3.PAL", "h.wad.FILES/A.R~5.BMP",
        "h.wad.FILES/CON~4.PAL", "h.wad.FILES/C_ESCAPE~2.BMP", "h.wad.FILES/FINE.BMP",
        "h.wad.FILES/FINE.MASK.BMP", "h.wad.FILES/GOOD.BMP", "h.wad.FILES/HERO.BMP",
        "h.wad.FILES/OK.PAL", "h.wad.FILES/_~2.PAL", "h.wad.FILES/hero~10.BMP", "h.wad.FILES/nul~6.BMP"};
    std::vector<std::string> sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(listTree(tmp.path), sorted);
    // Every substitute is told, one line each, naming the stored name.
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 12) << err;
    EXPECT_NE(err.find("h.wad: note: entry 2 \"C:ESCAPE.PIC\" is written as C_ESCAPE~2.BMP\n"), std::string::npos) << err;
    EXPECT_NE(err.find("h.wad: note: palette 4 \"CON.ACT\" is written as CON~4.PAL\n"), std::string::npos) << err;
}

TEST(Wad, EntriesThatCannotBeShownAreNamedAndFailTheArchiveWhileTheRestConverts)
{
    TempDir tmp;
    std::vector<WadEntry> entries = {
        rawEntry("BADPAL.PIC", 1, 1, 1, {{1}}),               // there is one palette
        rleEntry("BADPAL.RLE", 1, 1, 7, {rleLiteral({1})}),
        rleEntry("BADROW.RLE", 2, 1, 0, {rleLiteral({1})}),  // the row ends before its width
        rawEntry("SHORT.PIC", 3, 2, 0, {{1, 2, 3}, {4}}),    // the last row needs 3 bytes, has 1
        rawEntry("GOOD.PIC", 1, 1, 0, {{9}}),
    };
    writeFile(tmp / "c.wad", padded(wadFile({{"OK.PAL", rampPalette565()}}, entries)));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(extract_WAD(tmp / "c.wad"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(listTree(tmp / "c.wad.FILES"), (std::vector<std::string>{"GOOD.BMP", "OK.PAL"}));
    for (const char* name : {"BADPAL.PIC", "BADPAL.RLE", "BADROW.RLE", "SHORT.PIC"})
        EXPECT_NE(err.find(std::string("\"") + name + "\" is not written"), std::string::npos) << name << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4) << err;
}

TEST(Wad, AnArchiveThatEndsBeforeItsEntriesIsRefusedWithNothingMade)
{
    TempDir tmp;
    std::vector<WadEntry> entries = {rawEntry("ONE.PIC", 2, 2, 0, {{1, 2}, {3, 4}}),
                                     rleEntry("TWO.RLE", 600, 1, 0, {concat({rleTransparent(255), rleTransparent(255),
                                                                            rleTransparent(90)})})};
    std::vector<uint8_t> good = wadFile({{"P.PAL", rampPalette565()}}, entries);
    ASSERT_GE(good.size(), 1023u);
    for (size_t cut : {size_t(1), size_t(4), size_t(30)}) {
        std::vector<uint8_t> f(good.begin(), good.end() - long(cut));
        writeFile(tmp / "t.wad", f);
        EXPECT_FALSE(extract_WAD(tmp / "t.wad")) << cut;
        EXPECT_FALSE(exists(tmp / "t.wad.FILES")) << cut;
    }
    // A palette count whose records the file cannot hold.
    std::vector<uint8_t> f = good;
    f[401] = 0x10;
    writeFile(tmp / "p.wad", f);
    EXPECT_FALSE(extract_WAD(tmp / "p.wad"));
    EXPECT_FALSE(exists(tmp / "p.wad.FILES"));
    // The whole archive converts; a wide entry proves the reads are in step.
    writeFile(tmp / "g.wad", good);
    ASSERT_TRUE(extract_WAD(tmp / "g.wad"));
    BmpImage img;
    ASSERT_TRUE(readBmp(tmp / "g.wad.FILES" + S + "TWO.BMP", img));
    EXPECT_EQ(img.width, 600);
}
