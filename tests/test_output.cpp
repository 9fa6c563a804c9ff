// Output names, BMP headers, palettes, and the platform layer beneath them.
#include <gtest/gtest.h>

#include "pictures/bmp.h"
#include "store/names.h"
#include "pictures/palette.h"
#include "support/bytes_builder.h"
#include "platform/platform.h"
#include "support/files.h"

#include <algorithm>

namespace {
const std::string S(1, pathSeparator());
}

TEST(Names, BaseNameAndOutputPaths)
{
    EXPECT_EQ(getName("HERO.RLE"), "HERO.RLE");
    EXPECT_EQ(getName("a" + S + "b" + S + "HERO.RLE"), "HERO.RLE");
    EXPECT_EQ(getName("dir" + S), "");
    EXPECT_EQ(createFile("INFO.TXT", "x.FNT.FILES"), "x.FNT.FILES" + S + "INFO.TXT");
    EXPECT_EQ(createBitmap("hero.rle", "d"), "d" + S + "hero.BMP");  // the stem keeps its case
    EXPECT_EQ(createBitmap("HERO.ARLC", "d"), "d" + S + "HERO..BMP");  // always four characters off
    EXPECT_EQ(createMask("HERO.RLE", "d", "d" + S + "HERO.BMP"), "d" + S + "HERO.MASK.BMP");
    EXPECT_EQ(createBitmap("RLE", "d"), "d" + S + ".BMP");  // a short name loses all it has
}

TEST(Names, GlyphAndPictureNames)
{
    EXPECT_EQ(glyphImageName(0), "00.BMP");
    EXPECT_EQ(glyphImageName(7), "07.BMP");
    EXPECT_EQ(glyphImageName(65), "65.BMP");
    EXPECT_EQ(glyphImageName(99), "99.BMP");
    EXPECT_EQ(glyphImageName(100), "100.BMP");
    EXPECT_EQ(glyphImageName(255), "255.BMP");
    EXPECT_EQ(zomImageName(0), "ZOM0.BMP");
    EXPECT_EQ(zomImageName(9), "ZOM9.BMP");
    EXPECT_EQ(zomImageName(11), "ZOM;.BMP");
    EXPECT_EQ(zomImageName(17), "ZOMA.BMP");
    // Characters no Windows file name may hold: the decimal index instead.
    for (int index : {10, 12, 14, 15, 44, 76})
        EXPECT_EQ(zomImageName(index), "ZOM" + std::to_string(index) + ".BMP");
    EXPECT_EQ(zomImageName(207), "ZOM\xC3\xBF.BMP");  // the character of code 255, in UTF-8
    EXPECT_EQ(zomImageName(208), "ZOM208.BMP");  // no character left past code 255
}

TEST(Names, StoredNamesAreKeptWhereValidEverywhereAndOtherwiseNumbered)
{
    struct Case {
        std::string stored;
        size_t cut;
        const char* ending;
        std::string file;
    };
    const Case cases[] = {
        {"HERO.RLE", 4, ".BMP", "HERO.BMP"},
        {"..X.RLE", 4, ".BMP", "..X.BMP"},      // dots inside a name are harmless
        {"HERO.RLE", 4, ".BMP", "HERO.BMP"},
        {"DESERT.ACT", 3, "PAL", "DESERT.PAL"},
        {"ABC", 3, "PAL", "PAL"},                // the cut may take the whole name
        {"CONSOLE.RLE", 4, ".BMP", "CONSOLE.BMP"},
        {"COM0.RLE", 4, ".BMP", "COM0.BMP"},
        {"XCON.RLE", 4, ".BMP", "XCON.BMP"},
        {"CAF\xC9.RLE", 4, ".BMP", "CAF\xC3\x89.BMP"},  // Latin-1 stored, UTF-8 written
        // Substitutes: each bad byte becomes '_', and the record number follows.
        {"../X.RLE", 4, ".BMP", ".._X~7.BMP"},
        {"..\\X.RLE", 4, ".BMP", ".._X~7.BMP"},
        {"C:X.RLE", 4, ".BMP", "C_X~7.BMP"},
        {"A?B|C*\"<>.RLE", 4, ".BMP", "A_B_C____~7.BMP"},
        {"TAB\tX.RLE", 4, ".BMP", "TAB_X~7.BMP"},
        {"A.R", 4, ".BMP", "A.R~7.BMP"},        // too short for the cut
        {"AB", 3, "PAL", "AB~7.PAL"},
        {"CON.RLE", 4, ".BMP", "CON~7.BMP"},     // Windows devices, whatever their extension
        {"nul.xyz.RLE", 4, ".BMP", "nul.xyz~7.BMP"},
        {"COM1 .RLE", 4, ".BMP", "COM1 ~7.BMP"},
        {"LPT9XRLE", 4, ".BMP", "LPT9~7.BMP"},
        {"AUX.ACT", 3, "PAL", "AUX~7.PAL"},
    };
    for (const Case& c : cases) {
        OutputName name = storedOutputName(c.stored, c.cut, c.ending, 7);
        EXPECT_EQ(name.file, c.file) << c.stored;
        EXPECT_EQ(name.substituted, c.file.find('~') != std::string::npos) << c.stored;
    }
    EXPECT_EQ(foldedName("Hero\xC3\xA9.bmp"), "HERO\xC3\x89.BMP");
}

TEST(Bmp, EightBitHeaderFieldByField)
{
    // A sprite 5 wide and 2 high: rows of 5 + 3 bytes, 16 bytes of pixels.
    BmpHeader h = getBmpHeader(5, 2, 16);
    Bytes expected;
    expected.text("BM").u32(1094).u32(0).u32(1078).u32(40).u32(5).u32(2).u16(1).u16(8).u32(0).u32(16);
    expected.u32(0).u32(0).u32(0).u32(0);
    EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()), expected.data);
    EXPECT_EQ(h[2], 0x46);
    EXPECT_EQ(h[3], 0x04);
}

TEST(Bmp, FourBitHeaderFieldByField)
{
    BmpHeader h = getBmpHeader16(3, 2, 8);
    Bytes expected;
    expected.text("BM").u32(126).u32(0).u32(118).u32(40).u32(3).u32(2).u16(1).u16(4).u32(0).u32(8);
    expected.u32(2835).u32(2835).u32(0).u32(0);
    EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()), expected.data);
}

TEST(Bmp, MaskPaletteIsBlackGreyWhite)
{
    ColourTable t = createMskPal();
    for (int i = 0; i < 256; i++) {
        uint8_t shade = i == 0 ? 0 : i == 255 ? 255 : 127;
        EXPECT_EQ(t[4 * i], shade) << i;
        EXPECT_EQ(t[4 * i + 1], shade) << i;
        EXPECT_EQ(t[4 * i + 2], shade) << i;
        EXPECT_EQ(t[4 * i + 3], 0) << i;
    }
}

TEST(Palette, NamedColours)
{
    Bytes p;
    p.raw({0x00, 0x00, 0xFF, 0xFF, 0x1F, 0x00, 0x00, 0xF8, 0xE0, 0x07, 0x10, 0x84}).padTo(512);
    ColourTable t = pal2to3(p.data.data());
    const std::vector<uint8_t> expected = {0,   0,   0, 0, 255, 255, 255, 0, 255, 0,   0,   0,
                                           0,   0, 255, 0, 0,   255, 0,   0, 132, 130, 132, 0};
    EXPECT_EQ(std::vector<uint8_t>(t.begin(), t.begin() + 24), expected);
}

TEST(Palette, EveryColourMatchesTheScaleFactorsAndBitReplication)
{
    // All 65,536 values, 256 to a palette.
    for (uint32_t base = 0; base < 65536; base += 256) {
        Bytes p;
        for (uint32_t i = 0; i < 256; i++)
            p.u16(base + i);
        ColourTable t = pal2to3(p.data.data());
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t v = base + i, r = v >> 11, g = (v >> 5) & 63, b = v & 31;
            ASSERT_EQ(t[4 * i], uint8_t(b * 8.258)) << v;
            ASSERT_EQ(t[4 * i + 1], uint8_t(g * 4.063)) << v;
            ASSERT_EQ(t[4 * i + 2], uint8_t(r * 8.258)) << v;
            ASSERT_EQ(t[4 * i], (b << 3 | b >> 2)) << v;
            ASSERT_EQ(t[4 * i + 1], (g << 2 | g >> 4)) << v;
            ASSERT_EQ(t[4 * i + 3], 0) << v;
        }
    }
}

TEST(Palette, RecordsOfAnArchiveLie525BytesApart)
{
    Bytes records;
    records.u16(0x001F).padTo(525).u16(0xF800).padTo(1050);
    std::vector<ColourTable> tables = pal2to3(records.data.data(), 2);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0][0], 255);  // blue
    EXPECT_EQ(tables[1][2], 255);  // red
    EXPECT_TRUE(pal2to3(records.data.data(), 0).empty());
}

#ifdef _WIN32
TEST(WindowsPaths, BothSlashesSeparate)
{
    EXPECT_EQ(getName("C:\\dir\\sub\\FOO.RLE"), "FOO.RLE");
    EXPECT_EQ(getName("dir/FOO.RLE"), "FOO.RLE");
    EXPECT_EQ(getName("C:/dir\\sub/FOO.RLE"), "FOO.RLE");
    EXPECT_EQ(createFile("INFO.TXT", "D:\\art\\HERO.RLE.FILES"), "D:\\art\\HERO.RLE.FILES\\INFO.TXT");
    EXPECT_EQ(createBitmap("HERO.RLE", "D:\\art\\HERO.RLE.FILES"), "D:\\art\\HERO.RLE.FILES\\HERO.BMP");
}
#else
TEST(PosixPaths, OnlyTheSlashSeparates)
{
    EXPECT_EQ(getName("sub/HERO.RLE"), "HERO.RLE");
    EXPECT_EQ(getName("C:\\dir\\FOO.RLE"), "C:\\dir\\FOO.RLE");
    EXPECT_EQ(createBitmap("HERO.RLE", "sub/HERO.RLE.FILES"), "sub/HERO.RLE.FILES/HERO.BMP");
}
#endif

TEST(Platform, DirectoryListingAndOneLevelCreation)
{
    TempDir tmp;
    makeDirectory(tmp / "a" + S + "b");  // one level at a time: the parent is missing
    EXPECT_FALSE(isDir(tmp / "a"));
    makeDirectory(tmp / "a");
    makeDirectory(tmp / "a");  // an existing directory is no error
    EXPECT_TRUE(isDir(tmp / "a"));
    writeFile(tmp / "a" + S + "HERO.BMP", {1});
    std::vector<std::string> names;
    ASSERT_TRUE(listDirectory(tmp / "a", names));
    std::sort(names.begin(), names.end());
#ifdef _WIN32
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "HERO.BMP"}));  // the enumeration yields both
#else
    names.erase(std::remove_if(names.begin(), names.end(), [](const std::string& n) { return n == "." || n == ".."; }),
                names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"HERO.BMP"}));
#endif
    EXPECT_FALSE(listDirectory(tmp / "missing", names));
    EXPECT_FALSE(isDir(tmp / "a" + S + "HERO.BMP"));
}
