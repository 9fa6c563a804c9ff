// SEC listings and ZOM picture sets, and their damaged forms.
#include <gtest/gtest.h>

#include <set>

#include "formats/data/data.h"
#include "store/names.h"
#include "support/bmp_reader.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace {
const std::string S(1, pathSeparator());

SecElement element(float x, float y, float z, std::vector<int32_t> attributes, std::vector<int32_t> values,
                   ByteList extra = {})
{
    SecElement e;
    e.x = x;
    e.y = y;
    e.z = z;
    for (size_t i = 0; i < 4; i++)
        e.attributes[i] = attributes[i];
    e.values = std::move(values);
    e.extra = std::move(extra);
    return e;
}

std::string convertSec(const TempDir& tmp, const std::string& name, const std::vector<uint8_t>& file)
{
    writeFile(tmp / name, file);
    if (!extract_SEC(tmp / name))
        return "<failed>";
    return readText(tmp / name + ".FILES" + S + name);
}
}  // namespace

TEST(Sec, EmptyTablesGiveFiveCounts)
{
    TempDir tmp;
    EXPECT_EQ(convertSec(tmp, "e.sec", secFile({})), "0\n\n0\n\n0\n\n0\n\n0\n");
}

TEST(Sec, TheWholeFileExample)
{
    TempDir tmp;
    SecSpec layout;
    layout.points = {{1.5f, -2.0f}};
    layout.firstTable = {element(10, 20, 3.25f, {1, 2, 3, 4}, {7, 8})};
    layout.lists = {{"MAP", 4, {{5, 6}}}};
    layout.pairs = {{9, 10}};
    EXPECT_EQ(convertSec(tmp, "LEVEL1.SEC", secFile(layout)),
              "1\n1.500000 -2.000000\n\n1\n\n2 10 20 3 1 2 3 4\n7\n8\n\n0\n\n1\n1 MAP\n5 6\n\n1\n9 10\n");
}

TEST(Sec, AttributeThreeChoosesDecimalsAndExtraBlocksAreSkipped)
{
    TempDir tmp;
    SecSpec layout;
    layout.firstTable = {element(10, 20, 3.25f, {1, 2, 3, 5}, {}), element(2.5f, -0.4f, 3.5f, {0, 0, 0, -1}, {}),
                       element(1, 2, 3, {0, 0, 0, 2}, {1}, {9, 9, 9, 9, 9, 9})};
    layout.secondTable = {element(-2.5f, 0.5f, 1.5f, {-7, 0, 0, 7}, {-1, 2147483647})};
    std::vector<uint8_t> file = secFile(layout);
    // Rounding is the C library's: half-way cases go to the even neighbour.
    EXPECT_EQ(convertSec(tmp, "a.sec", file),
              "0\n\n3\n\n0 10.000000 20.000000 3.250000 1 2 3 5\n\n0 2 -0 4 0 0 0 -1\n\n1 1 2 3 0 0 0 2\n1\n"
              "\n1\n\n2 -2.500000 0.500000 1.500000 -7 0 0 7\n-1\n2147483647\n\n0\n\n0\n");
}

TEST(Sec, ListNamesStopAtTheirZeroOrTheirField)
{
    TempDir tmp;
    SecSpec layout;
    layout.lists = {{"AB\0CD", 6, {}}, {"WHOLE", 5, {{1, 2}, {3, 4}}}};
    layout.lists[0].name = std::string("AB\0CD", 5);
    EXPECT_EQ(convertSec(tmp, "n.sec", secFile(layout)), "0\n\n0\n\n0\n\n2\n0 AB\n2 WHOLE\n1 2\n3 4\n\n0\n");
}

TEST(Sec, NegativeCountsReadNothingAndDamageIsRefused)
{
    TempDir tmp;
    Bytes negative;
    negative.text("NIBS").i32(-3).i32(-1).i32(0).i32(-5).i32(-2);
    EXPECT_EQ(convertSec(tmp, "neg.sec", negative.data), "-3\n\n-1\n\n0\n\n-5\n\n-2\n");

    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad;
    bad.push_back({"magic", Bytes().text("NIBs").zeros(20).data});
    bad.push_back({"three bytes", Bytes().text("NIB").data});
    bad.push_back({"ends inside the pair table", [] { auto f = secFile({}); f.pop_back(); return f; }()});
    bad.push_back({"point count too large", Bytes().text("NIBS").i32(1000).zeros(16).data});
    bad.push_back({"negative extra length", Bytes().text("NIBS").i32(0).i32(1).i32(0).zeros(28).i32(-4).zeros(40).data});
    bad.push_back({"negative name length", Bytes().text("NIBS").i32(0).i32(0).i32(0).i32(1).i32(0).i32(-1).zeros(8).data});
    bad.push_back({"name past the end", Bytes().text("NIBS").i32(0).i32(0).i32(0).i32(1).i32(0).i32(100).zeros(8).data});
    bad.push_back({"huge value count", Bytes().text("NIBS").i32(0).i32(1).i32(0x7FFFFFFF).zeros(32).zeros(8).data});
    for (size_t i = 0; i < bad.size(); i++) {
        std::string name = numberedName("b", i, ".sec");
        EXPECT_EQ(convertSec(tmp, name, bad[i].second), "<failed>") << bad[i].first;
        EXPECT_FALSE(exists(tmp / (name + ".FILES"))) << bad[i].first;
    }
}

namespace {

const ByteList kEntries =
    concat({zomEntry(1), zomEntry(3, 40), zomEntry(3, 50), zomEntry(0, 100, 20)});
}  // namespace

TEST(Zom, ImagesAndTheEntryWalk)
{
    TempDir tmp;
    std::vector<ZomImage> images = {zomImage(5, 2, 1.5f, -2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
                                    zomImage(1, 1, 0.25f, 3, {42}), zomImage(0, 0, -1, 100, {})};
    writeFile(tmp / "CITY.ZOM", zomFile(7, 5, images, kEntries));
    ASSERT_TRUE(extract_ZOM(tmp / "CITY.ZOM"));
    const std::string dir = tmp / "CITY.ZOM.FILES" + S;
    EXPECT_EQ(listTree(tmp / "CITY.ZOM.FILES"),
              (std::vector<std::string>{"INFO.TXT", "ZOM0.BMP", "ZOM1.BMP", "ZOM2.BMP"}));
    EXPECT_EQ(readText(dir + "INFO.TXT"),
              "7 5 3 ZOM\r\n0 0 1.500000 -2.000000\r\n40 1 0.250000 3.000000\r\n120 3 -1.000000 100.000000\r\n");
    BmpImage img;
    ASSERT_TRUE(readBmp(dir + "ZOM0.BMP", img));
    EXPECT_EQ(img.imageSize, 16u);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{6, 7, 8, 9, 10, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(img.colourTable.end() - 4, img.colourTable.end()),
              (std::vector<uint8_t>{0, 255, 255, 0}));
    ASSERT_TRUE(readBmp(dir + "ZOM2.BMP", img));
    EXPECT_EQ(img.file.size(), 1078u);
}

TEST(Zom, WalkVerdictsAndMissingImagesPrintZeros)
{
    TempDir tmp;
    // The first entry ends the table: line 4 with index 0 and no line 3.
    std::vector<uint8_t> f = zomFile(1, 3, {zomImage(0, 0, 2, 3, {})}, concat({zomEntry(2, 1, 2)}));
    f.resize(std::max<size_t>(f.size(), 540));
    writeFile(tmp / "a.zom", f);
    ASSERT_TRUE(extract_ZOM(tmp / "a.zom"));
    EXPECT_EQ(readText(tmp / "a.zom.FILES" + S + "INFO.TXT"),
              "1 3 1 ZOM\r\n0 0 2.000000 3.000000\r\n3 0 0.000000 0.000000\r\n");

    // Entry count 0: every image and lines 1 and 2, but false.
    f = zomFile(1, 0, {zomImage(1, 1, 2, 3, {9})}, kEntries);
    writeFile(tmp / "b.zom", f);
    EXPECT_FALSE(extract_ZOM(tmp / "b.zom"));
    EXPECT_EQ(readText(tmp / "b.zom.FILES" + S + "INFO.TXT"), "1 0 1 ZOM\r\n0 0 2.000000 3.000000\r\n");
    EXPECT_TRUE(exists(tmp / "b.zom.FILES" + S + "ZOM0.BMP"));

    // The count runs out after a type-3 entry: lines 1 to 3, false.
    f = zomFile(1, 2, {zomImage(1, 1, 2, 3, {9})}, kEntries);
    writeFile(tmp / "c.zom", f);
    EXPECT_FALSE(extract_ZOM(tmp / "c.zom"));
    EXPECT_EQ(readText(tmp / "c.zom.FILES" + S + "INFO.TXT"),
              "1 2 1 ZOM\r\n0 0 2.000000 3.000000\r\n40 1 0.000000 0.000000\r\n");
}

TEST(Zom, PicturesAreNamedByCharacterOrWhereNoneCanStandByIndex)
{
    TempDir tmp;
    std::vector<ZomImage> images(16, zomImage(1, 1, 0, 0, {1}));
    writeFile(tmp / "e.zom", zomFile(0, 1, images, zomEntry(0)));
    ASSERT_TRUE(extract_ZOM(tmp / "e.zom"));
    // The same names on every platform: ':', '<', '>' and '?' give way to numbers.
    EXPECT_EQ(listTree(tmp / "e.zom.FILES"),
              (std::vector<std::string>{"INFO.TXT", "ZOM0.BMP", "ZOM1.BMP", "ZOM10.BMP", "ZOM12.BMP", "ZOM14.BMP",
                                        "ZOM15.BMP", "ZOM2.BMP", "ZOM3.BMP", "ZOM4.BMP", "ZOM5.BMP", "ZOM6.BMP",
                                        "ZOM7.BMP", "ZOM8.BMP", "ZOM9.BMP", "ZOM;.BMP", "ZOM=.BMP"}));

    // 200 pictures: every one a name of its own where letter case is
    // ignored, small letters (a-z, and Latin-1's) by their index.
    std::vector<ZomImage> many;
    for (int i = 0; i < 200; i++)
        many.push_back(zomImage(1, 1, 0, 0, {uint8_t(i)}));
    writeFile(tmp / "m.zom", zomFile(0, 1, many, zomEntry(0)));
    ASSERT_TRUE(extract_ZOM(tmp / "m.zom"));
    std::set<std::string> folded;
    for (const std::string& name : listTree(tmp / "m.zom.FILES"))
        folded.insert(foldedName(name));
    EXPECT_EQ(folded.size(), 201u);
    EXPECT_EQ(zomImageName(17), "ZOMA.BMP");
    EXPECT_EQ(zomImageName(49), "ZOM49.BMP");  // 'a'
    EXPECT_EQ(zomImageName(144), "ZOM\u00C0.BMP");
    EXPECT_EQ(zomImageName(176), "ZOM176.BMP");  // U+00E0
    EXPECT_EQ(zomImageName(199), "ZOM\u00F7.BMP");  // the division sign has no capital
    BmpImage picture;
    ASSERT_TRUE(readBmp(tmp / "m.zom.FILES" + S + "ZOM49.BMP", picture));
    EXPECT_EQ(picture.pixels[0], 49);
}

TEST(Zom, DamagedFilesAreRefusedWithNothingMade)
{
    TempDir tmp;
    const std::vector<uint8_t> good = zomFile(1, 4, {zomImage(2, 2, 0, 0, {1, 2, 3, 4})}, kEntries);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad = {
        {"539 bytes", std::vector<uint8_t>(539, 0)},
        {"negative width", zomFile(1, 4, {zomImage(-1, 2, 0, 0, {})}, ByteList(600, 0))},
        {"negative height", zomFile(1, 4, {zomImage(2, -2, 0, 0, {})}, ByteList(600, 0))},
        {"width at the int32 limit", zomFile(1, 4, {zomImage(0x7FFFFFFF, 1, 0, 0, {})}, ByteList(600, 0))},
        {"pixels past the end", zomFile(1, 4, {zomImage(100, 100, 0, 0, {})}, ByteList(600, 2))},
        {"image count past the end", zomFile(1, 4, std::vector<ZomImage>(3, zomImage(0, 0, 0, 0, {})), {})},
        {"entry past the end", std::vector<uint8_t>(good.begin(), good.end() - 3)},  // the ending entry needs 22 bytes
        {"table ends before the count", std::vector<uint8_t>(good.begin(), good.end() - 24)},
    };
    bad[4].second[8] = 9;  // nine images announced, three present
    for (size_t i = 0; i < bad.size(); i++) {
        std::string name = numberedName("b", i, ".zom");
        writeFile(tmp / name, bad[i].second);
        EXPECT_FALSE(extract_ZOM(tmp / name)) << bad[i].first;
        EXPECT_FALSE(exists(tmp / (name + ".FILES"))) << bad[i].first;
    }
    std::vector<uint8_t> ok(good.begin(), good.end());
    writeFile(tmp / "ok.zom", ok);
    EXPECT_TRUE(extract_ZOM(tmp / "ok.zom"));
}
