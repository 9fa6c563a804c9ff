// The byte and number primitives.
#include <gtest/gtest.h>

#include "app/progress.h"

#include "common/bytes.h"
#include "common/source.h"
#include "support/files.h"

#include <algorithm>

TEST(Primitives, ToIntIsUnsignedAtEveryWidth)
{
    EXPECT_EQ(toInt(uint8_t(0xFF)), 255);
    EXPECT_EQ(toInt(0xFF, 0xFF), 65535);
    EXPECT_EQ(toInt(0x34, 0x12), 0x1234);
    EXPECT_EQ(toInt(0xFF, 0xFF, 0xFF), 16777215);
    EXPECT_EQ(toInt(0x01, 0x02, 0x03), 0x030201);
    const uint8_t word[] = {0x00, 0x78, 0x56, 0x34, 0x92};
    EXPECT_EQ(toInt(word, 1), 0x92345678 - 0x100000000LL);  // top bit set: negative
    EXPECT_EQ(toInt(word, 0), 0x34567800);
}

TEST(Primitives, SignedConversionsAtTheirBoundaries)
{
    EXPECT_EQ(toSignedInt(128), -128);
    EXPECT_EQ(toSignedInt(127), 127);
    EXPECT_EQ(toSignedInt(255), -1);
    EXPECT_EQ(toSignedInt(0), 0);
    EXPECT_EQ(toSignedInt(32768, 2), -32768);
    EXPECT_EQ(toSignedInt(32767, 2), 32767);
    EXPECT_EQ(toSignedInt(65535, 2), -1);
    EXPECT_EQ(toSignedInt(toInt(uint8_t(0x00), uint8_t(0x80)), 2), -32768);
}

TEST(Primitives, ToByteTakesOneByteAndNothingElse)
{
    EXPECT_EQ(toByte(1078, 0), 54);
    EXPECT_EQ(toByte(1078, 1), 4);
    EXPECT_EQ(toByte(0x12345678, 3), 0x12);
    EXPECT_EQ(toByte(0x12345678, 4), 0);
    EXPECT_EQ(toByte(0x12345678, -1), 0);
}

TEST(Primitives, RowPaddingAndDigits)
{
    const int32_t expected[] = {0, 3, 2, 1, 0, 3, 2, 1, 0};
    for (int32_t w = 0; w <= 8; w++)
        EXPECT_EQ(get_spaces(w), expected[w]) << "width " << w;
    EXPECT_EQ(pow(10, 3), 1000);
    EXPECT_EQ(pow(7, 0), 1);
    EXPECT_EQ(pow(7, -2), 1);
    EXPECT_EQ(toChar(7), '7');
    EXPECT_EQ(toChar(1234, 0), '4');
    EXPECT_EQ(toChar(1234, 2), '2');
    EXPECT_EQ(toChar(7, 3), '0');
    EXPECT_EQ(toChar(200, 2), '2');
}

TEST(Source, ViewsAnywhereInAFileLargerThanItsWindowAndNeverPastTheEnd)
{
    // 2.5 MiB of a known pattern: views forwards, backwards and across the
    // window's edges must all give the file's own bytes.
    TempDir tmp;
    std::vector<uint8_t> bytes(5 << 19);
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = uint8_t(i * 7 + i / 251);
    writeFile(tmp / "big", bytes);
    Source in;
    ASSERT_TRUE(openSource(in, tmp / "big"));
    EXPECT_EQ(in.size, int64_t(bytes.size()));
    const int64_t size = in.size;
    for (int64_t pos : {int64_t(0), size - 10, int64_t(1 << 20) - 3, int64_t(5), size / 2, int64_t(1 << 20) + 1, int64_t(0)}) {
        const uint8_t* at = view(in, pos, 10);
        ASSERT_NE(at, nullptr) << pos;
        EXPECT_TRUE(std::equal(at, at + 10, bytes.begin() + pos)) << pos;
    }
    const uint8_t* whole = view(in, 1, size_t(size - 1));  // larger than the window
    ASSERT_NE(whole, nullptr);
    EXPECT_TRUE(std::equal(whole, whole + size - 1, bytes.begin() + 1));
    EXPECT_EQ(view(in, size - 9, 10), nullptr);
    EXPECT_EQ(view(in, size, 1), nullptr);
    EXPECT_NE(view(in, size, 0), nullptr);
    EXPECT_EQ(view(in, -1, 1), nullptr);
    EXPECT_EQ(in.readError, 0);

    SourceCursor c{&in, size - 5};
    int32_t v;
    EXPECT_FALSE(readI32(c, v) && readI32(c, v));  // four bytes, then one left
    EXPECT_EQ(c.pos, size - 1);                    // a failed read leaves the cursor alone
    EXPECT_FALSE(skip(c, INT64_MAX));
    EXPECT_FALSE(skip(c, -1));
    EXPECT_TRUE(readU8(c, v));
    EXPECT_FALSE(holds(in, size, 1));
    EXPECT_TRUE(holds(in, size, 0));
    EXPECT_FALSE(holds(in, 1, UINT64_MAX));
}

TEST(Primitives, FieldTextStopsAtZeroOrFieldEnd)
{
    const uint8_t field[] = {'A', 0, 'B', 0};
    EXPECT_EQ(fieldText(field, 4), "A");
    const uint8_t full[] = {'A', 'B', 'C'};
    EXPECT_EQ(fieldText(full, 3), "ABC");
    EXPECT_EQ(fieldText(full, 0), "");
}

// The progress line is measured in terminal columns: wide characters take
// two, and a long path gives up its middle, never its ends.
TEST(Progress, LinesAreCutByTerminalColumns)
{
    struct Case {
        std::string text;
        size_t width;
        size_t columns;      // of the text as it is
        std::string shown;   // cut to width
    };
    const std::vector<Case> cases = {
        {"HERO.RLE", 20, 8, "HERO.RLE"},
        {"\u65E5\u672C/\u00C9T\u00C9.RLE", 20, 12, "\u65E5\u672C/\u00C9T\u00C9.RLE"},
        {"game/DATA/LONGNAME.RLE", 10, 22, "game/\u2026.RLE"},
        {"\u65E5\u672C\u65E5\u672C\u65E5\u672C.RLE", 9, 16, "\u65E5\u672C\u65E5\u2026LE"},
        {"e\u0301t\u0301e\u0301", 3, 3, "e\u0301t\u0301e\u0301"},  // combining accents take no column
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(columnsOf(c.text), c.columns);
        const std::string shown = cutToColumns(c.text, c.width);
        EXPECT_EQ(shown, c.shown);
        EXPECT_LE(columnsOf(shown), c.width);
    }
}
