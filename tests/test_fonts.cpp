// FNT, FNC and FNM fonts: glyph images, INFO.TXT, and their damaged forms.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/fonts/fonts.h"
#include "support/bmp_reader.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace {
const std::string S(1, pathSeparator());

FntGlyph fntGlyph(int w, int h, unsigned code, ByteList pixels, int m1 = 0, int m2 = 0, int m3 = 0)
{
    FntGlyph g;
    g.width = w;
    g.height = h;
    g.code = code;
    g.pixels = std::move(pixels);
    g.metric1 = m1;
    g.metric2 = m2;
    g.metric3 = m3;
    return g;
}

FontGlyph fontGlyph(unsigned code, int w, int h, ByteList data, int value = 0)
{
    FontGlyph g;
    g.code = code;
    g.width = w;
    g.height = h;
    g.data = std::move(data);
    g.value = value;
    return g;
}

ByteList greyPalette768()
{
    ByteList p;
    for (int i = 0; i < 256; i++)
        p.insert(p.end(), {uint8_t(i), uint8_t(i / 2), uint8_t(255 - i)});
    return p;
}
}  // namespace

TEST(Fnt, GlyphsOfMixedWidthsPackTwoPixelsPerByte)
{
    TempDir tmp;
    std::vector<FntGlyph> glyphs = {
        fntGlyph(3, 2, 65, {1, 2, 3, 4, 5, 6}, -1, -32768, 32767),
        fntGlyph(1, 1, 7, {0x1F}),
        fntGlyph(8, 1, 200, {0, 1, 2, 3, 4, 5, 6, 7}),
        fntGlyph(9, 1, 100, {15, 14, 13, 12, 11, 10, 9, 8, 0x0F}),
        fntGlyph(0, 5, 0, {}),
    };
    writeFile(tmp / "f.fnt", fntFile(fntFullSet(glyphs)));
    ASSERT_TRUE(extract_FNT(tmp / "f.fnt"));
    const std::string dir = tmp / "f.fnt.FILES" + S;

    BmpImage a;
    ASSERT_TRUE(readBmp(dir + "65.BMP", a));
    EXPECT_EQ(a.bitsPerPixel, 4);
    EXPECT_EQ(a.pixelOffset, 118u);
    EXPECT_EQ(a.xResolution, 2835);
    EXPECT_EQ(a.pixels, (std::vector<uint8_t>{0x45, 0x60, 0, 0, 0x12, 0x30, 0, 0}));
    EXPECT_EQ(a.file.size(), 126u);
    EXPECT_EQ(std::vector<uint8_t>(a.colourTable.begin() + 4, a.colourTable.begin() + 8),
              (std::vector<uint8_t>{140, 182, 181, 0}));

    BmpImage one, eight, nine, empty;
    ASSERT_TRUE(readBmp(dir + "07.BMP", one));
    EXPECT_EQ(one.pixels, (std::vector<uint8_t>{0xF0, 0, 0, 0}));  // 0x1F is shade 15 too
    ASSERT_TRUE(readBmp(dir + "200.BMP", eight));
    EXPECT_EQ(eight.pixels, (std::vector<uint8_t>{0x01, 0x23, 0x45, 0x67}));
    ASSERT_TRUE(readBmp(dir + "100.BMP", nine));
    EXPECT_EQ(nine.pixels, (std::vector<uint8_t>{0xFE, 0xDC, 0xBA, 0x98, 0xF0, 0, 0, 0}));
    ASSERT_TRUE(readBmp(dir + "00.BMP", empty));
    EXPECT_EQ(empty.file.size(), 118u);

    std::string info = readText(dir + "INFO.TXT");
    EXPECT_EQ(info.substr(0, 40), "-1\t-32768\t32767\t65\r\n0\t0\t0\t7\r\n0\t0\t0\t200\r\n");
    size_t lines = 0;
    for (char c : info)
        lines += c == '\n';
    EXPECT_EQ(lines, 224u);
    EXPECT_EQ(info.substr(info.size() - 2), "\r\n");
}

TEST(Fnt, TheLaterGlyphOfACodeKeepsItsNameAndTheEarlierGetsASubstitute)
{
    TempDir tmp;
    writeFile(tmp / "d.fnt", fntFile(fntFullSet({fntGlyph(1, 1, 65, {1}, 5), fntGlyph(1, 1, 65, {2}, 6)})));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(extract_FNT(tmp / "d.fnt"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("glyph 0 (code 65) is written as 65~0.BMP"),
              std::string::npos);
    BmpImage img;
    ASSERT_TRUE(readBmp(tmp / "d.fnt.FILES" + S + "65.BMP", img));
    EXPECT_EQ(img.pixels[0], 0x20);
    ASSERT_TRUE(readBmp(tmp / "d.fnt.FILES" + S + "65~0.BMP", img));
    EXPECT_EQ(img.pixels[0], 0x10);
    EXPECT_EQ(readText(tmp / "d.fnt.FILES" + S + "INFO.TXT").substr(0, 20), "5\t0\t0\t65\r\n6\t0\t0\t65\r\n");
}

TEST(Fnt, WrongMagicOrAFontThatEndsEarlyLeavesNothing)
{
    TempDir tmp;
    std::vector<uint8_t> good = fntFile(fntFullSet({fntGlyph(2, 2, 65, {1, 2, 3, 4})}));
    std::vector<std::vector<uint8_t>> bad = {
        {0x10, 0x01}, {0x00, 0x10}, {0x10},
        std::vector<uint8_t>(good.begin(), good.end() - 1),                // the last head is cut
        std::vector<uint8_t>(good.begin(), good.begin() + 2 + 24 + 3),   // the first glyph's pixels cut
        fntFile(std::vector<FntGlyph>(223)),                               // one glyph too few
    };
    for (size_t i = 0; i < bad.size(); i++) {
        std::string name = numberedName("b", i, ".fnt");
        writeFile(tmp / name, bad[i]);
        EXPECT_FALSE(extract_FNT(tmp / name)) << name;
        EXPECT_FALSE(exists(tmp / (name + ".FILES"))) << name;
    }
    // Bytes behind the 224th glyph are not read.
    good.push_back(0x55);
    writeFile(tmp / "g.fnt", good);
    EXPECT_TRUE(extract_FNT(tmp / "g.fnt"));
}

TEST(Fnc, GlyphRunsInTheFourKindCycle)
{
    TempDir tmp;
    GlyphSetSpec layout;
    layout.fontHeight = 2;  // equals the first glyph's height: variant 2
    layout.palette = greyPalette768();
    // Glyph A, 5 wide: transparent 2, grey a, literal b, grey c; then a row
    // whose transparent run alone reaches the width (no other byte is read).
    layout.glyphs.push_back(fontGlyph('A', 5, 2, fncGlyphData({{2, 1, 10, 1, 11, 1, 12}, {5}}), -1));
    // Glyph 9, 2 wide: the cycle restarts on the second row; counts 0 allowed.
    layout.glyphs.push_back(fontGlyph(9, 2, 2, fncGlyphData({{0, 1, 20, 0, 1, 21}, {1, 0, 1, 22}})));
    // Glyph 200, 8 wide: no padding; a run past the width is cut.
    layout.glyphs.push_back(fontGlyph(200, 8, 1, fncGlyphData({{0, 0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9}})));
    writeFile(tmp / "f.fnc", glyphSetFile(layout));
    ASSERT_TRUE(extract_FNC(tmp / "f.fnc"));
    const std::string dir = tmp / "f.fnc.FILES" + S;
    EXPECT_EQ(listTree(tmp / "f.fnc.FILES"), (std::vector<std::string>{"09.BMP", "09.MASK.BMP", "200.BMP",
                                                                       "200.MASK.BMP", "65.BMP", "65.MASK.BMP",
                                                                       "INFO.TXT"}));
    EXPECT_EQ(readText(dir + "INFO.TXT"), "2\r\n2\r\n0\r\n-1\r\n");

    BmpImage img, msk;
    ASSERT_TRUE(readBmp(dir + "65.BMP", img));
    ASSERT_TRUE(readBmp(dir + "65.MASK.BMP", msk));
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 11, 12, 0, 0, 0}));
    EXPECT_EQ(msk.pixels, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 127, 255, 127, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(img.colourTable.begin() + 4, img.colourTable.begin() + 8),
              (std::vector<uint8_t>{1, 0, 254, 0}));  // stored as blue, green, red
    EXPECT_EQ(std::vector<uint8_t>(img.file.begin(), img.file.begin() + 54),
              std::vector<uint8_t>(msk.file.begin(), msk.file.begin() + 54));

    ASSERT_TRUE(readBmp(dir + "09.BMP", img));
    ASSERT_TRUE(readBmp(dir + "09.MASK.BMP", msk));
    EXPECT_EQ(bmpRow(img, 0), (std::vector<uint8_t>{20, 21}));
    EXPECT_EQ(bmpRow(msk, 0), (std::vector<uint8_t>{127, 127}));
    EXPECT_EQ(bmpRow(img, 1), (std::vector<uint8_t>{0, 22}));
    EXPECT_EQ(bmpRow(msk, 1), (std::vector<uint8_t>{0, 255}));

    ASSERT_TRUE(readBmp(dir + "200.BMP", img));
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Fnc, EmptyGlyphsReadNoRunsAndRepeatedCodesKeepEveryGlyph)
{
    TempDir tmp;
    GlyphSetSpec layout;
    layout.fontHeight = 1;
    layout.palette = greyPalette768();
    layout.glyphs.push_back(fontGlyph('Q', 2, 1, fncGlyphData({{0, 0, 2, 1, 2}})));
    layout.glyphs.push_back(fontGlyph('Q', 0, 3, {}));  // no data at all: nothing is read
    layout.glyphs.push_back(fontGlyph('R', 3, 0, {}));
    writeFile(tmp / "e.fnc", glyphSetFile(layout));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(extract_FNC(tmp / "e.fnc"));
    testing::internal::GetCapturedStderr();
    for (const char* name : {"81.BMP", "81.MASK.BMP", "82.BMP", "82.MASK.BMP"})
        EXPECT_EQ(readFile(tmp / "e.fnc.FILES" + S + name).size(), 1078u) << name;
    for (const char* name : {"81~0.BMP", "81~0.MASK.BMP"})  // 2 x 1: one padded row
        EXPECT_EQ(readFile(tmp / "e.fnc.FILES" + S + name).size(), 1078u + 4) << name;
}

TEST(GlyphSet, VariantThreeAndSignedValues)
{
    TempDir tmp;
    GlyphSetSpec layout;
    layout.variant = 3;
    layout.fontHeight = 200;  // 128 or more never equals a signed byte
    layout.extraValue = -5;
    layout.palette = greyPalette768();
    layout.glyphs.push_back(fontGlyph('B', 1, 1, fncGlyphData({{0, 0, 1, 7}}), 0x7F));
    layout.glyphs[0].width = 1;
    writeFile(tmp / "v.fnc", glyphSetFile(layout));
    ASSERT_TRUE(extract_FNC(tmp / "v.fnc"));
    EXPECT_EQ(readText(tmp / "v.fnc.FILES" + S + "INFO.TXT"), "3\r\n200\r\n-5\r\n127\r\n");

    // No glyphs: the directory and INFO.TXT only, the first record's value still read.
    GlyphSetSpec none;
    none.fontHeight = 16;
    writeFile(tmp / "n.fnm", glyphSetFile(none));
    ASSERT_TRUE(extract_FNM(tmp / "n.fnm"));
    EXPECT_EQ(listTree(tmp / "n.fnm.FILES"), (std::vector<std::string>{"INFO.TXT"}));
    EXPECT_EQ(readText(tmp / "n.fnm.FILES" + S + "INFO.TXT"), "3\r\n16\r\n0\r\n0\r\n");
}

TEST(Fnm, ThreeLevelsDrawnWithTheMaskPalette)
{
    TempDir tmp;
    GlyphSetSpec layout;
    layout.fontHeight = 2;
    layout.glyphs.push_back(fontGlyph('C', 3, 2, {0, 1, 2, 2, 2, 0}));
    layout.glyphs.push_back(fontGlyph('D', 4, 1, {3, 4, 0xFF, 0x80}));
    layout.glyphs.push_back(fontGlyph('E', 0, 3, {}));
    writeFile(tmp / "m.fnm", glyphSetFile(layout));
    ASSERT_TRUE(extract_FNM(tmp / "m.fnm"));
    const std::string dir = tmp / "m.fnm.FILES" + S;
    EXPECT_EQ(listTree(tmp / "m.fnm.FILES"),
              (std::vector<std::string>{"67.BMP", "68.BMP", "69.BMP", "INFO.TXT"}));  // no masks
    BmpImage img;
    ASSERT_TRUE(readBmp(dir + "67.BMP", img));
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{0, 0, 255, 0, 255, 127, 0, 0}));
    EXPECT_EQ(img.colourTable[4 * 255], 255);
    EXPECT_EQ(img.colourTable[4 * 1], 127);
    ASSERT_TRUE(readBmp(dir + "68.BMP", img));
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{129, 1, 126, uint8_t(int(255 + 127.5 * 128) & 255)}));
    ASSERT_TRUE(readBmp(dir + "69.BMP", img));
    EXPECT_EQ(img.file.size(), 1078u);
}

TEST(GlyphSet, DamagedContainersAndGlyphsAreRefusedWithNothingWritten)
{
    TempDir tmp;
    GlyphSetSpec layout;
    layout.fontHeight = 1;
    layout.palette = greyPalette768();
    layout.glyphs.push_back(fontGlyph('A', 2, 1, fncGlyphData({{0, 2, 1, 2}})));
    const std::vector<uint8_t> good = glyphSetFile(layout);
    const size_t T = 272, D = T + 20;
    const size_t glyph = D + 4 + 768;

    auto with = [&](size_t at, uint8_t v) { auto f = good; f[at] = v; return f; };
    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad = {
        {"271 bytes", std::vector<uint8_t>(271, 0)},
        {"no variant byte", std::vector<uint8_t>(276, 0)},
        {"list without a zero", [] { auto f = std::vector<uint8_t>(2000, 1); return f; }()},
        {"negative width", with(T, 0x80)},
        {"negative height", with(T + 4, 0xFF)},
        {"offset past the end", with(T + 16 + 3, 0x10)},
        {"row offset past the end", with(glyph + 4 + 2, 0x10)},
        {"negative run", with(glyph + 8 + 1, 0x81)},
        {"run past the end", with(glyph + 8 + 1, 100)},
        {"row never reaches its width", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"palette cut", std::vector<uint8_t>(good.begin(), good.begin() + long(D + 100))},
    };
    for (size_t i = 0; i < bad.size(); i++) {
        std::string name = numberedName("b", i, ".fnc");
        writeFile(tmp / name, bad[i].second);
        EXPECT_FALSE(extract_FNC(tmp / name)) << bad[i].first;
        EXPECT_FALSE(exists(tmp / (name + ".FILES"))) << bad[i].first;
    }
    writeFile(tmp / "good.fnc", good);
    EXPECT_TRUE(extract_FNC(tmp / "good.fnc"));

    // An FNM glyph whose pixels run past the end of the file.
    GlyphSetSpec raw;
    raw.fontHeight = 2;
    raw.glyphs.push_back(fontGlyph('A', 3, 2, {0, 1, 2, 0, 1}));
    writeFile(tmp / "short.fnm", glyphSetFile(raw));
    EXPECT_FALSE(extract_FNM(tmp / "short.fnm"));
    EXPECT_FALSE(exists(tmp / "short.fnm.FILES"));
}

// Glyphs that share a code: an earlier one whose image is the later one's,
// byte for byte, gets no file and no note; one that differs keeps its
// substitute. Unedited, each font packs back to itself (nothing written).
TEST(Fonts, AnEarlierGlyphThatLooksLikeTheLaterOfItsCodeGetsNoFile)
{
    TempDir tmp;
    GlyphSetSpec fnc;
    fnc.fontHeight = 1;
    fnc.palette = greyPalette768();
    const ByteList dot = fncGlyphData({{0, 0, 1, 5}}), other = fncGlyphData({{0, 0, 1, 6}});
    fnc.glyphs = {fontGlyph('Q', 1, 1, dot), fontGlyph('Q', 1, 1, other), fontGlyph('Q', 1, 1, dot),
                  fontGlyph('Z', 0, 0, {}), fontGlyph('Z', 0, 0, {})};
    GlyphSetSpec fnm;
    fnm.fontHeight = 1;
    fnm.glyphs = {fontGlyph('Q', 1, 1, {5}), fontGlyph('Q', 1, 1, {6}), fontGlyph('Q', 1, 1, {5}),
                  fontGlyph('Z', 0, 0, {}), fontGlyph('Z', 0, 0, {})};
    writeFile(tmp / "f.FNC", glyphSetFile(fnc));
    writeFile(tmp / "f.FNM", glyphSetFile(fnm));
    writeFile(tmp / "f.FNT", fntFile(fntFullSet({fntGlyph(1, 1, 81, {5}), fntGlyph(1, 1, 81, {6}),
                                                 fntGlyph(1, 1, 81, {5})})));
    const RunResult r = runTool({"f.FNC", "f.FNM", "f.FNT"}, tmp.path);
    EXPECT_EQ(r.out, "f.FNC\tDONE!\nf.FNM\tDONE!\nf.FNT\tDONE!\n\n");
    // One note each: glyph 1 (code 81) differs from glyph 2; glyph 0 and the empty ones do not.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
    EXPECT_NE(r.err.find("f.FNC: note: glyph 1 (code 81) is written as 81~1.BMP and 81~1.MASK.BMP"), std::string::npos);
    EXPECT_EQ(listTree(tmp / "f.FNC.FILES"),
              (std::vector<std::string>{"81.BMP", "81.MASK.BMP", "81~1.BMP", "81~1.MASK.BMP", "90.BMP", "90.MASK.BMP",
                                        "INFO.TXT"}));
    EXPECT_EQ(listTree(tmp / "f.FNM.FILES"), (std::vector<std::string>{"81.BMP", "81~1.BMP", "90.BMP", "INFO.TXT"}));
    EXPECT_TRUE(exists(tmp / "f.FNT.FILES" + S + "81~1.BMP"));
    EXPECT_FALSE(exists(tmp / "f.FNT.FILES" + S + "81~0.BMP"));
    const RunResult packed = runTool({"f.FNC", "f.FNM", "f.FNT"}, tmp.path, packerPath());
    EXPECT_EQ(packed.out, "f.FNC\tDONE!\nf.FNM\tDONE!\nf.FNT\tDONE!\n\n") << packed.err;
    EXPECT_EQ(packed.err, "");
    for (const char* rebuilt : {"f.packed.FNC", "f.packed.FNM", "f.packed.FNT"})
        EXPECT_FALSE(exists(tmp / rebuilt)) << rebuilt;
}
