// Partial work that lines up with the whole game (--parents), and edits
// that a format cannot keep or a folder does not read: named, never lost
// without a word.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/source.h"
#include "pictures/bmp.h"
#include "pictures/png.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace fs = std::filesystem;

namespace {

const std::string S(1, pathSeparator());

ByteList sprite(int width)
{
    std::vector<ByteList> rows(2, width ? rleLiteral(ByteList(size_t(width), 7)) : ByteList());
    return rleFile(width, 2, rows, sampleColourTable());
}

}  // namespace

// With --parents each argument keeps its path below -o and -e, so a file
// converted or packed alone lands where the whole game's run put it; a
// path that climbs out is a usage error; files added to a folder are named.
TEST(Partial, ParentsLineUpWithTheWholeGame)
{
    TempDir tmp;
    makeDirectories(tmp / "game" + S + "DATA");
    writeFile(tmp / "game" + S + "DATA" + S + "HERO.RLE", sprite(4));
    ASSERT_EQ(runTool({"-o", "work", "game"}, tmp.path).status, 0);
    const std::string folder = tmp / "work" + S + "game" + S + "DATA" + S + "HERO.RLE.FILES";
    RunResult r = runTool({"-fo", "work", "--parents", "game/DATA/HERO.RLE"}, tmp.path);
    EXPECT_EQ(r.out, "HERO.RLE\tDONE!\n\n") << r.err;
    EXPECT_FALSE(exists(tmp / "work" + S + "HERO.RLE.FILES"));
    r = runTool({"--parents", "-o", "w", "game/../game/DATA/HERO.RLE"}, tmp.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("has a '..' in it"), std::string::npos) << r.err;

    ByteList picture = readFile(folder + S + "HERO.BMP");
    picture.back() ^= 1;
    writeFile(folder + S + "HERO.BMP", picture);
    writeFile(folder + S + "NEW.BMP", picture);
    r = runTool({"-e", "work", "game/DATA/HERO.RLE"}, tmp.path, packerPath());
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("there is no work/HERO.RLE.FILES folder"), std::string::npos) << r.err;
    r = runTool({"--parents", "-e", "work", "-o", "mod", "game/DATA/HERO.RLE"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "HERO.RLE\tDONE!\n\n") << r.err;
    EXPECT_TRUE(exists(tmp / "mod" + S + "game" + S + "DATA" + S + "HERO.RLE"));
    EXPECT_NE(r.err.find("HERO.RLE.FILES/NEW.BMP: note: not read"), std::string::npos) << r.err;
    // Packing the whole game into that mod later takes the file for its own.
    r = runTool({"-e", "work", "-o", "mod", "game"}, tmp.path, packerPath());
    EXPECT_EQ(r.status, 0) << r.err;
}

// In a PNG run: a sprite of no pixels converts (a BMP, as an empty picture
// is) and packs back; a pixel made transparent in a picture set, which keeps
// no transparency, is named when it is packed.
TEST(Partial, PngEdgesKeptOrNamed)
{
    TempDir tmp;
    writeFile(tmp / "EMPTY.RLE", sprite(0));
    fs::copy_file(fs::u8path(std::string(ASSETDUMP_SAMPLES_DIR) + "/CITY.ZOM"), fs::u8path(tmp / "CITY.ZOM"));
    RunResult r = runTool({"--format", "png", "EMPTY.RLE", "CITY.ZOM"}, tmp.path);
    EXPECT_EQ(r.out, "EMPTY.RLE\tDONE!\nCITY.ZOM\tDONE!\n\n") << r.err;
    EXPECT_TRUE(exists(tmp / "EMPTY.RLE.FILES" + S + "EMPTY.BMP"));

    // ZOM0.PNG again as RGBA, its first pixel cleared.
    const std::string png = tmp / "CITY.ZOM.FILES" + S + "ZOM0.PNG";
    Source source;
    ASSERT_TRUE(openSource(source, png));
    BmpPicture picture;
    std::vector<uint8_t> alpha;
    std::string why;
    ASSERT_TRUE(readPng(source, picture, alpha, why)) << why;
    source = Source();
    {
        OutputFile out;
        openOutput(out, png);
        PngWriter writer;
        ASSERT_TRUE(beginPng(writer, out, picture.width, picture.height, false, 8, nullptr, 0, nullptr));
        std::vector<uint8_t> row(size_t(picture.width) * 4);
        for (int32_t y = 0; y < picture.height; y++) {
            for (int32_t x = 0; x < picture.width; x++) {
                uint8_t* p = &row[size_t(x) * 4];
                bmpColour(picture, picture.pixels[size_t(y * picture.width + x)], p[0], p[1], p[2]);
                p[3] = x == 0 && y == 0 ? 0 : 255;
            }
            ASSERT_TRUE(writePngRow(writer, row.data()));
        }
        ASSERT_TRUE(endPng(writer));
        ASSERT_TRUE(placeOutputs({&out}));
    }
    r = runTool({"EMPTY.RLE", "CITY.ZOM"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "EMPTY.RLE\tDONE!\nCITY.ZOM\tDONE!\n\n") << r.err;
    EXPECT_NE(r.err.find("ZOM0.PNG: note: 1 pixel made transparent is not kept: picture sets have no transparency"),
              std::string::npos)
        << r.err;
}


// A three-level font's glyph shows many stored values in one grey: a pixel
// moved to another value the glyph holds, the table left in place, is an
// edit, and comes back by its index.
TEST(Partial, IndexEditsBetweenEntriesOfOneColourComeBack)
{
    TempDir tmp;
    // One glyph of stored values 1, 3, 4 and 5 (grey all) beside white and black.
    GlyphSetSpec font;
    font.fontHeight = 2;
    font.glyphs = {FontGlyph{65, 4, 2, 0, {0, 1, 3, 4, 5, 2, 1, 3}}};
    writeFile(tmp / "G.FNM", glyphSetFile(font));
    ASSERT_EQ(runTool({"G.FNM"}, tmp.path).status, 0);
    const std::string glyph = tmp / "G.FNM.FILES" + S + "65.BMP";
    ByteList bytes = readFile(glyph);
    ASSERT_GT(bytes.size(), size_t(54 + 1024));
    const auto pixels = bytes.begin() + 54 + 1024;
    const auto grey = std::find(pixels, bytes.end(), uint8_t(127));  // stored 1
    const auto other = std::find_if(pixels, bytes.end(), [](uint8_t v) { return v != 0 && v != 127 && v != 255; });
    ASSERT_TRUE(grey != bytes.end() && other != bytes.end());
    *grey = *other;  // another value of the same grey, which the glyph holds
    writeFile(glyph, bytes);
    const RunResult r = runTool({"G.FNM"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "G.FNM\tDONE!\n\n") << r.err;
    ASSERT_EQ(runTool({"G.packed.FNM"}, tmp.path).status, 0);
    EXPECT_EQ(readFile(tmp / "G.packed.FNM.FILES" + S + "65.BMP"), bytes);
}
