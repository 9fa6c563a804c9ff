#include <gtest/gtest.h>

#include "common/bytes.h"

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

TEST(Primitives, CursorNeverMovesPastItsData)
{
    const uint8_t data[] = {1, 2, 3, 4, 5};
    Cursor c{data, sizeof data, 0};
    int32_t v;
    EXPECT_TRUE(readU16(c, v));
    EXPECT_EQ(v, 0x0201);
    EXPECT_FALSE(readI32(c, v));  // three bytes left
    EXPECT_EQ(c.pos, 2u);         // a failed read leaves the cursor alone
    EXPECT_FALSE(skip(c, SIZE_MAX));
    EXPECT_TRUE(skip(c, 3));
    EXPECT_FALSE(readU8(c, v));
    EXPECT_FALSE(fits(5, 6, 0));
    EXPECT_TRUE(fits(5, 5, 0));
    EXPECT_FALSE(fits(5, 1, SIZE_MAX));
}

TEST(Primitives, FieldTextStopsAtZeroOrFieldEnd)
{
    const uint8_t field[] = {'A', 0, 'B', 0};
    EXPECT_EQ(fieldText(field, 4), "A");
    const uint8_t full[] = {'A', 'B', 'C'};
    EXPECT_EQ(fieldText(full, 3), "ABC");
    EXPECT_EQ(fieldText(full, 0), "");
}
