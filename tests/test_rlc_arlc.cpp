// RLC and ARLC sprites.
#include <gtest/gtest.h>

#include "formats/sprites/sprites.h"
#include "support/bmp_reader.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace {
const std::string S(1, pathSeparator());

struct Converted {
    BmpImage image, mask;
};

bool convertRlc(const TempDir& tmp, const std::string& name, const std::vector<uint8_t>& file, Converted& out)
{
    writeFile(tmp / name, file);
    if (!extract_RLC(tmp / name))
        return false;
    std::string stem = name.substr(0, name.size() - 4);
    return readBmp(tmp / name + ".FILES" + S + stem + ".BMP", out.image) &&
           readBmp(tmp / name + ".FILES" + S + stem + ".MASK.BMP", out.mask);
}
}  // namespace

TEST(Rlc, TheSmallestFileAndTheLengthBoundary)
{
    TempDir tmp;
    std::vector<uint8_t> file = rlcFile(1, 1, {rlcPair(1, {})}, rampPalette565());
    ASSERT_EQ(file.size(), 528u);
    Converted c;
    ASSERT_TRUE(convertRlc(tmp, "a.rlc", file, c));
    EXPECT_EQ(c.image.pixels, (std::vector<uint8_t>{0xFF, 0, 0, 0}));
    EXPECT_EQ(c.mask.pixels, (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(c.image.file.size(), 1082u);
    EXPECT_EQ(c.mask.file.size(), 1082u);
    EXPECT_EQ(c.image.imageSize, 4u);
    EXPECT_EQ(std::vector<uint8_t>(c.image.file.begin(), c.image.file.begin() + 54),
              std::vector<uint8_t>(c.mask.file.begin(), c.mask.file.begin() + 54));

    file.pop_back();
    writeFile(tmp / "b.rlc", file);
    EXPECT_FALSE(extract_RLC(tmp / "b.rlc"));
    EXPECT_FALSE(exists(tmp / "b.rlc.FILES"));
}

TEST(Rlc, MagicIsCaseSensitiveWithItsSpace)
{
    TempDir tmp;
    std::vector<uint8_t> file = rlcFile(1, 1, {rlcPair(1, {})}, rampPalette565());
    for (const char* magic : {"rlcX", "RLC ", "rlc\0"}) {
        std::copy(magic, magic + 4, file.begin());
        writeFile(tmp / "m.rlc", file);
        EXPECT_FALSE(extract_RLC(tmp / "m.rlc")) << magic;
        EXPECT_FALSE(exists(tmp / "m.rlc.FILES"));
    }
}

TEST(Rlc, RecordsGoTopRowFirstAndUseTheFilePalette)
{
    TempDir tmp;
    Converted c;
    ASSERT_TRUE(convertRlc(tmp, "t.rlc", rlcFile(1, 2, {rlcPair(0, {7}), rlcPair(0, {9})}, rampPalette565()), c));
    EXPECT_EQ(c.image.pixels, (std::vector<uint8_t>{9, 0, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(c.mask.pixels, (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0}));
    // Entry 255 of the ramp: red 31, green 63, blue 0.
    EXPECT_EQ(std::vector<uint8_t>(c.image.colourTable.end() - 4, c.image.colourTable.end()),
              (std::vector<uint8_t>{0, 255, 255, 0}));
}

TEST(Rlc, PairsCycleAcrossTheRowAndEmptyPairsCoverNothing)
{
    TempDir tmp;
    // Width 10: (3,4) then (3,0); the next record starts right behind.
    // Width padding is 2 bytes. The second row uses an empty pair first, and a
    // lone transparent pair still carries its copy byte.
    std::vector<ByteList> rows = {concat({rlcPair(3, {1, 2, 3, 4}), rlcPair(3, {})}),
                                  concat({rlcPair(0, {}), rlcPair(0, {5, 6, 7, 8, 9, 10, 11, 12, 13, 14})}),
                                  rlcPair(10, {})};
    Converted c;
    ASSERT_TRUE(convertRlc(tmp, "p.rlc", rlcFile(10, 3, rows, rampPalette565()), c));
    EXPECT_EQ(bmpRow(c.image, 0), (std::vector<uint8_t>{255, 255, 255, 1, 2, 3, 4, 255, 255, 255}));
    EXPECT_EQ(bmpRow(c.mask, 0), (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 255, 0, 0, 0}));
    EXPECT_EQ(bmpRow(c.image, 1), (std::vector<uint8_t>{5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(bmpRow(c.mask, 2), std::vector<uint8_t>(10, 0));
    EXPECT_EQ(c.image.pixels.size(), 36u);
    for (size_t r = 0; r < 3; r++) {
        EXPECT_EQ(c.image.pixels[r * 12 + 10], 0);
        EXPECT_EQ(c.mask.pixels[r * 12 + 11], 0);
    }
}

TEST(Rlc, ZeroWidthOrHeightAndIgnoredHeaderBytes)
{
    TempDir tmp;
    Converted c;
    // Width 0: each record is its prefix alone. The 528-byte minimum is met by trailing bytes.
    std::vector<uint8_t> f = rlcFile(0, 2, {{}, {}}, rampPalette565());
    f.resize(528, 0xEE);
    ASSERT_TRUE(convertRlc(tmp, "w.rlc", f, c));
    EXPECT_EQ(c.image.file.size(), 1078u);
    f = rlcFile(3, 0, {}, rampPalette565());
    f.resize(528);
    ASSERT_TRUE(convertRlc(tmp, "h.rlc", f, c));
    EXPECT_EQ(c.mask.file.size(), 1078u);

    f = rlcFile(1, 1, {rlcPair(0, {3})}, rampPalette565());
    f[6] = f[7] = f[10] = f[11] = 0xAB;
    ASSERT_TRUE(convertRlc(tmp, "i.rlc", f, c));
    EXPECT_EQ(c.image.pixels, (std::vector<uint8_t>{3, 0, 0, 0}));
}

TEST(Rlc, OverrunsAreDroppedButConsumedAndShortDataIsRefused)
{
    TempDir tmp;
    // Width 2: the first pair reaches 3 pixels; all its literal bytes are
    // consumed, so the second record still starts in the right place.
    std::vector<ByteList> rows = {rlcPair(1, {4, 5}), rlcPair(0, {6, 7})};
    Converted c;
    ASSERT_TRUE(convertRlc(tmp, "o.rlc", rlcFile(2, 2, rows, rampPalette565()), c));
    EXPECT_EQ(bmpRow(c.image, 0), (std::vector<uint8_t>{255, 4}));
    EXPECT_EQ(bmpRow(c.image, 1), (std::vector<uint8_t>{6, 7}));
    EXPECT_EQ(c.image.pixels[2], 0);  // the padding stays zero
    EXPECT_EQ(c.mask.pixels[6], 0);

    // Each cut leaves a record unfinished: missing copy bytes, a missing
    // copy count, a missing prefix; and a height the data cannot hold.
    std::vector<uint8_t> good = rlcFile(2, 2, rows, rampPalette565());
    std::vector<std::vector<uint8_t>> damaged = {
        std::vector<uint8_t>(good.begin(), good.end() - 1), std::vector<uint8_t>(good.begin(), good.end() - 3),
        rlcFile(2, 3, rows, rampPalette565()), rlcFile(2, 60000, rows, rampPalette565())};
    for (size_t i = 0; i < damaged.size(); i++) {
        std::string name = numberedName("d", i, ".rlc");
        writeFile(tmp / name, damaged[i]);
        EXPECT_FALSE(extract_RLC(tmp / name)) << name;
        EXPECT_FALSE(exists(tmp / (name + ".FILES"))) << name;
    }
}

TEST(Arlc, ValidatesTheThreeLettersAndWritesNothing)
{
    TempDir tmp;
    struct Case { std::vector<uint8_t> file; bool ok; };
    std::vector<uint8_t> seventeen = arlcFile(0, 0, "rlcZ");
    seventeen.push_back(0);
    std::vector<uint8_t> sixteen = arlcFile(0, 0, "rlc ");
    const Case cases[] = {
        {seventeen, true},                 // byte 3 not examined; size and fields do not matter
        {arlcFile(1000, 1000, "rlc "), true},
        {[] { auto f = arlcFile(100, 100, "rlc "); f.resize(20); return f; }(), true},  // short picture data
        {sixteen, false},
        {arlcFile(4, 4, "RLC "), false},
        {arlcFile(4, 4, "rl c"), false},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string name = numberedName("s", n++, ".ARLC");
        writeFile(tmp / name, c.file);
        EXPECT_EQ(extract_ARLC(tmp / name), c.ok) << name;
        EXPECT_FALSE(exists(tmp / (name + ".FILES")));
    }
    EXPECT_FALSE(extract_ARLC(tmp / "missing.ARLC"));
}
