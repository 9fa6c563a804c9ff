// assetpack: unedited files rebuild to the same outputs, edits reach the
// formats exactly, and damaged or hostile edits are refused cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>

#include "pictures/bmp.h"
#include "back/edits.h"
#include "pictures/palette.h"
#include "support/bmp_reader.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace {

const std::string S(1, pathSeparator());

std::string extensionOf(const std::string& name)
{
    return name.substr(name.rfind('.') + 1);
}

// The files of an output folder by name, ".packed" taken out of the names
// made from the input's own name.
std::map<std::string, ByteList> outputsOf(const std::string& dir)
{
    std::map<std::string, ByteList> files;
    for (std::string name : listTree(dir)) {
        const ByteList bytes = readFile(dir + S + name);
        if (size_t at = name.find(".packed"); at != std::string::npos)
            name.erase(at, 7);
        files[name] = bytes;
    }
    return files;
}

TEST(Pack, UneditedFilesRebuildToTheSameOutputs)
{
    TempDir dir;
    writeFixtureSet(dir.path);
    for (const auto& entry : std::filesystem::directory_iterator(ASSETDUMP_SAMPLES_DIR))
        std::filesystem::copy(entry.path(), std::filesystem::path(dir.path) / entry.path().filename());
    std::vector<std::string> inputs;
    for (const std::string& name : listTree(dir.path)) {
        const std::string ext = extensionOf(name);
        if (ext != "ARLC" && name.find("DAMAGED") == std::string::npos)
            inputs.push_back(name);
    }
    ASSERT_GE(inputs.size(), 18u);
    ASSERT_EQ(runTool(inputs, dir.path).status, 0);
    const RunResult packed = runTool(inputs, dir.path, packerPath());
    EXPECT_EQ(std::count(packed.out.begin(), packed.out.end(), '\n'), long(inputs.size()) + 1);
    EXPECT_EQ(packed.out.find("FAILED!"), std::string::npos) << packed.out << packed.err;
    std::map<std::string, std::pair<int, int>> identical;  // per format: rebuilt byte for byte, of all
    for (const std::string& name : inputs) {
        const std::string ext = extensionOf(name);
        // An unedited folder rebuilds to its original: nothing is written beside it.
        const std::string rebuilt = name.substr(0, name.size() - ext.size()) + "packed." + ext;
        identical[ext].first += !exists(dir / rebuilt);
        identical[ext].second++;
    }
    for (const auto& [ext, counts] : identical) {
        std::cout << ext << ": " << counts.first << " of " << counts.second << " rebuilt byte for byte\n";
        EXPECT_EQ(counts.first, counts.second) << ext;  // nothing edited: nothing changes
    }
}

// --- Edited round trips ---

// An 8-bit BMP as editors save them: variant 0 bottom-up with a 40-byte
// header, 1 top-down with a 124-byte header, 2 run-length compressed with a
// 108-byte header, 3 a colour table only as long as the indexes used.
ByteList editorBmp(int width, int height, const ByteList& pixels, ByteList table, int variant)
{
    const int used = variant == 3 ? *std::max_element(pixels.begin(), pixels.end()) + 1 : 256;
    table.resize(size_t(4 * used));
    const uint32_t infoSize = variant == 1 ? 124 : variant == 2 ? 108 : 40;
    ByteList rows;
    for (int r = 0; r < height; r++) {
        const int y = variant == 1 ? r : height - 1 - r;
        const uint8_t* row = &pixels[size_t(y) * size_t(width)];
        if (variant != 2) {
            rows.insert(rows.end(), row, row + width);
            rows.resize(rows.size() + rowStride(width) - size_t(width), 0);
            continue;
        }
        for (int x = 0; x < width;) {  // runs of one index, then the end of the row
            int n = 1;
            while (x + n < width && n < 255 && row[x + n] == row[x])
                n++;
            rows.insert(rows.end(), {uint8_t(n), row[x]});
            x += n;
        }
        rows.insert(rows.end(), {0, 0});
    }
    if (variant == 2)
        rows.insert(rows.end(), {0, 1});
    Bytes b;
    b.text("BM").u32(uint32_t(14 + infoSize + table.size() + rows.size())).u32(0).u32(uint32_t(14 + infoSize + table.size()));
    b.u32(infoSize).u32(uint32_t(width)).u32(uint32_t(variant == 1 ? -height : height)).u16(1).u16(8);
    b.u32(variant == 2 ? 1 : 0).u32(uint32_t(rows.size())).u32(2835).u32(2835).u32(uint32_t(used)).u32(0);
    b.raw(ByteList(infoSize - 40, 0)).raw(table).raw(rows);
    return b.data;
}

// A colour table of 256 random colours; RGB565 ones (as pal2to3 widens them) when rgb565.
ByteList randomTable(std::mt19937& random, bool rgb565)
{
    ByteList palette(512);
    for (uint8_t& b : palette)
        b = uint8_t(random());
    const ColourTable widened = pal2to3(palette.data());
    ByteList table(widened.begin(), widened.end());
    if (!rgb565)
        for (uint8_t& b : table)
            b = uint8_t(random());
    return table;
}

enum class Colours { AsStored, Rgb565, FromPaletteFile };

struct PackCase {
    std::string file;   // the input
    ByteList bytes;
    std::string image;  // the edited picture in its folder
    std::string mask;   // its mask; empty when it has none
    bool grey;          // the mask may be grey
    Colours colours;
};

std::vector<PackCase> packCases()
{
    ByteList rows[2] = {rleEncodeRow({1, 2, 3}, {255, 127, 0}), rleEncodeRow({4, 5, 6}, {0, 255, 255})};
    WadEntry sprite{"E.RLE", 3, 2, 0, true, {rows[0], rows[1]}};
    WadEntry raw{"T.BIN", 3, 2, 0, false, {{1, 2, 3}, {4, 5, 6}}};
    ByteList wad = wadFile({{"P.ACT", rampPalette565()}}, {sprite, raw});
    wad.resize(std::max<size_t>(wad.size(), 1023));
    return {
        {"S.RLE", rleFile(3, 2, {rows[0], rows[1]}, sampleColourTable()), "S.BMP", "S.MASK.BMP", true,
         Colours::AsStored},
        {"S.RLC", rlcFile(3, 2, {rlcEncodeRow({1, 2, 3}, {1, 0, 1}), rlcEncodeRow({4, 5, 6}, {1, 1, 1})}, rampPalette565()),
         "S.BMP", "S.MASK.BMP", false, Colours::Rgb565},
        {"A.WAD", wad, "E.BMP", "E.MASK.BMP", true, Colours::FromPaletteFile},
        {"B.WAD", wad, "T.BMP", "", false, Colours::FromPaletteFile},
        {"Z.ZOM", zomFile(1, 1, {zomImage(2, 2, 0, 0, {1, 2, 3, 4}), zomImage(3, 1, 1, 1, {5, 6, 7})}, zomEntry(0)),
         "ZOM1.BMP", "", false, Colours::Rgb565},
    };
}

TEST(Pack, EditedPicturesMasksPalettesAndSizesComeBackExactly)
{
    std::mt19937 random(2026);
    for (const PackCase& c : packCases())
        for (int round = 0; round < 8; round++) {
            SCOPED_TRACE(c.file + " round " + std::to_string(round));
            TempDir dir;
            writeFile(dir / c.file, c.bytes);
            ASSERT_EQ(runTool({c.file}, dir.path).status, 0);
            const std::string folder = dir / (c.file + ".FILES");
            const int width = 1 + int(random() % 40), height = 1 + int(random() % 30);
            ByteList pixels(size_t(width * height)), maskValues(pixels.size(), 255);
            for (uint8_t& p : pixels)
                p = uint8_t(random() % (round % 4 == 3 ? 16 : 200));  // colours that all find an entry
            // The mask's palette is shuffled: it is read by colour, not by index.
            ByteList maskIndexes(pixels.size()), maskTable(1024, 0);
            const uint8_t white = uint8_t(random() % 85), black = uint8_t(85 + random() % 85), grey = 200;
            for (int k = 0; k < 3; k++) {
                maskTable[4 * white + size_t(k)] = 255;
                maskTable[4 * grey + size_t(k)] = 90;
            }
            for (size_t i = 0; i < pixels.size(); i++) {
                const int kind = int(random() % (c.grey ? 3 : 2));
                maskValues[i] = kind == 0 ? 0 : kind == 1 ? 255 : 127;
                maskIndexes[i] = kind == 0 ? black : kind == 1 ? white : grey;
            }
            // A sprite of an archive keeps the colours it was shown in (its own
            // come from the palette file); the others take random ones.
            const ColourTable ramp = pal2to3(rampPalette565().data());
            const ByteList table = c.colours == Colours::FromPaletteFile
                                       ? ByteList(ramp.begin(), ramp.end())
                                       : randomTable(random, c.colours == Colours::Rgb565 && round % 2 == 0);
            writeFile(folder + S + c.image, editorBmp(width, height, pixels, table, round % 4));
            if (!c.mask.empty())
                writeFile(folder + S + c.mask, editorBmp(width, height, maskIndexes, maskTable, (round + 1) % 3));
            else
                std::fill(maskValues.begin(), maskValues.end(), uint8_t(255));
            ByteList paletteFile;
            if (c.colours == Colours::FromPaletteFile) {
                paletteFile = randomTable(random, round % 2 == 0);
                writeFile(folder + S + "P.PAL", paletteFile);
            }

            const RunResult packed = runTool({c.file}, dir.path, packerPath());
            ASSERT_EQ(packed.out, c.file + "\tDONE!\n\n") << packed.err;
            const std::string rebuilt = c.file.substr(0, c.file.size() - 3) + "packed" + c.file.substr(c.file.size() - 4);
            ASSERT_EQ(runTool({rebuilt}, dir.path).out, rebuilt + "\tDONE!\n\n");
            const std::map<std::string, ByteList> outputs = outputsOf(dir / (rebuilt + ".FILES"));
            BmpImage image, mask;
            writeFile(dir / "image.bmp", outputs.at(c.image));
            ASSERT_TRUE(readBmp(dir / "image.bmp", image));
            ASSERT_EQ(image.width, width);
            ASSERT_EQ(image.height, height);
            if (!c.mask.empty()) {
                writeFile(dir / "mask.bmp", outputs.at(c.mask));
                ASSERT_TRUE(readBmp(dir / "mask.bmp", mask));
            }
            // A colour as the rebuilt file stores it: as given, or the nearest
            // RGB565 colour (exact for RGB565 ones).
            bool rounded = false;
            auto stored = [&](const uint8_t* in) {
                if (c.colours != Colours::Rgb565)
                    return ByteList(in, in + 3);
                uint8_t expected[512];
                const uint16_t v = nearest565(in[2], in[1], in[0]);
                expected[0] = uint8_t(v);
                expected[1] = uint8_t(v >> 8);
                const ColourTable widened = pal2to3(expected);
                rounded = rounded || !std::equal(in, in + 3, widened.begin());
                return ByteList(widened.begin(), widened.begin() + 3);
            };
            for (int y = 0; y < height; y++) {
                const ByteList row = bmpRow(image, y), maskRow = c.mask.empty() ? ByteList() : bmpRow(mask, y);
                for (int x = 0; x < width; x++) {
                    const size_t i = size_t(y * width + x);
                    if (!c.mask.empty()) {
                        ASSERT_EQ(maskRow[size_t(x)], maskValues[i]) << x << "," << y;
                    }
                    // A transparent pixel is stored transparent, whatever its index.
                    if (maskValues[i] == 0 || c.colours == Colours::FromPaletteFile) {
                        // An archive's sprite shows its palette's colours in place: its indexes stand.
                        ASSERT_EQ(row[size_t(x)], maskValues[i] == 0 ? 255 : pixels[i]) << x << "," << y;
                        continue;
                    }
                    // A new size and a new table: each pixel shows the colour it was given.
                    const uint8_t* out = &image.colourTable[4 * size_t(row[size_t(x)])];
                    ASSERT_EQ(ByteList(out, out + 3), stored(&table[4 * size_t(pixels[i])])) << x << "," << y;
                }
            }
            if (c.colours == Colours::FromPaletteFile) {
                for (size_t k = 0; k < 256; k++) {  // the palette file: colours rounded to RGB565
                    const uint8_t* in = &paletteFile[4 * k];
                    const uint8_t* out = &image.colourTable[4 * k];
                    uint8_t expected[512];
                    const uint16_t v = nearest565(in[2], in[1], in[0]);
                    expected[0] = uint8_t(v);
                    expected[1] = uint8_t(v >> 8);
                    const ColourTable widened = pal2to3(expected);
                    ASSERT_TRUE(std::equal(widened.begin(), widened.begin() + 3, out)) << k;
                    rounded = rounded || !std::equal(in, in + 3, out);
                }
            }
            if (c.colours != Colours::AsStored) {
                EXPECT_EQ(rounded, packed.err.find("rounded to the nearest") != std::string::npos) << packed.err;
            }
        }
}

// Fonts: a glyph changes size and pixels, and INFO.TXT values change.
TEST(Pack, EditedGlyphsAndFontValuesComeBackExactly)
{
    std::mt19937 random(7);
    struct FontCase {
        std::string file;
        std::string glyph;    // the glyph edited
        bool mask;            // FNC: a mask beside it
        int line;             // the INFO.TXT line edited (1 = first)
        std::string newLine;  // and what it becomes
        std::vector<size_t> levels = {0, 3, 9, 15};  // the indexes the edit paints with
        bool shuffled = true;  // the glyph's palette comes back reordered
    };
    const std::vector<FontCase> cases = {
        {"font.FNT", "65", false, 1, "-7\t300\t-2\t65"},
        {"font.FNC", "09", true, 4, "-5"},  // the glyph value
        {"font.FNM", "67", false, 3, "-9", {0, 127, 255}},  // the extra value
        // Stored values other than 0, 1 and 2 show as other grey indexes
        // (-1 as 126, 3 as 129): where the palette stays in place, an edit
        // to one of them comes back exactly.
        {"font.FNM", "67", false, 3, "-9", {0, 126, 127, 129, 255}, false},
    };
    for (const FontCase& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        writeFixtureSet(dir.path);
        ASSERT_EQ(runTool({c.file}, dir.path).status, 0);
        const std::string folder = dir / (c.file + ".FILES");
        BmpImage original;
        ASSERT_TRUE(readBmp(folder + S + c.glyph + ".BMP", original));
        // The glyph's palette, its entries shuffled: glyphs are read by colour.
        const size_t colours = original.colourTable.size() / 4;
        std::vector<size_t> order(colours);
        for (size_t k = 0; k < colours; k++)
            order[k] = c.shuffled ? colours - 1 - k : k;
        ByteList table(1024, 0);
        for (size_t k = 0; k < colours; k++)
            std::copy_n(&original.colourTable[4 * order[k]], 4, &table[4 * k]);
        const int width = 1 + int(random() % 9), height = 1 + int(random() % 9);
        const std::vector<size_t>& levels = c.levels;
        ByteList shown(size_t(width * height)), pixels(shown.size()), maskValues(shown.size(), 255);
        for (size_t i = 0; i < shown.size(); i++) {
            shown[i] = uint8_t(c.file == "font.FNC" ? random() % 256 : levels[random() % levels.size()]);
            pixels[i] = uint8_t(c.file == "font.FNC" ? shown[i] : order[shown[i]]);
            if (c.mask) {
                maskValues[i] = uint8_t(std::vector<int>{0, 127, 255}[random() % 3]);
                if (maskValues[i] == 0)
                    shown[i] = 0;  // a transparent FNC pixel shows index 0
            }
        }
        writeFile(folder + S + c.glyph + ".BMP", editorBmp(width, height, pixels, table, int(random() % 3)));
        const ColourTable maskTable = createMskPal();
        if (c.mask)
            writeFile(folder + S + c.glyph + ".MASK.BMP",
                      editorBmp(width, height, maskValues, ByteList(maskTable.begin(), maskTable.end()), 0));
        std::vector<std::string> info;
        for (std::string line; const char ch : readText(folder + S + "INFO.TXT"))
            if (ch == '\n') {
                info.push_back(line);
                line.clear();
            } else if (ch != '\r') {
                line += ch;
            }
        info[size_t(c.line - 1)] = c.newLine + "  ";  // trailing spaces and LF line ends are taken
        std::string text;
        for (const std::string& line : info)
            text += line + "\n";
        writeFile(folder + S + "INFO.TXT", ByteList(text.begin(), text.end()));

        const RunResult packed = runTool({c.file}, dir.path, packerPath());
        ASSERT_EQ(packed.out, c.file + "\tDONE!\n\n") << packed.err;
        const std::string rebuilt = "font.packed." + extensionOf(c.file);
        ASSERT_EQ(runTool({rebuilt}, dir.path).out, rebuilt + "\tDONE!\n\n");
        const std::string back = dir / (rebuilt + ".FILES");
        BmpImage image, mask;
        ASSERT_TRUE(readBmp(back + S + c.glyph + ".BMP", image));
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        if (c.mask) {
            ASSERT_TRUE(readBmp(back + S + c.glyph + ".MASK.BMP", mask));
        }
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                const size_t i = size_t(y * width + x);
                ASSERT_EQ(bmpRow(image, y)[size_t(x)], shown[i]) << x << "," << y;
                if (c.mask) {
                    ASSERT_EQ(bmpRow(mask, y)[size_t(x)], maskValues[i]) << x << "," << y;
                }
            }
        const std::string infoBack = readText(back + S + "INFO.TXT");
        EXPECT_NE(infoBack.find(c.newLine + "\r\n"), std::string::npos) << infoBack;
    }
}

TEST(Pack, BadFontTextsAreRefusedWithTheirLine)
{
    struct Case {
        const char* file;
        std::string info;
        const char* why;
        std::string name = "INFO.TXT";  // the file written into the folder
    };
    std::string fnt;
    for (int i = 0; i < 224; i++)
        fnt += i == 5 ? "1\t2\tthree\t0\r\n" : "0\t0\t0\t" + std::to_string(i == 0 ? 65 : 0) + "\r\n";
    const std::vector<Case> cases = {
        {"font.FNT", fnt, "INFO.TXT: line 6: expected three metrics and a character code"},
        {"font.FNT", "0\t0\t0\t65\n", "INFO.TXT: 1 lines; an FNT font has one for each of its 224 glyphs"},
        {"font.FNC", "3\n2\n0\n0\n", "line 1: the variant cannot change"},
        {"font.FNC", "2\n5\n0\n0\n", "would make the font read as variant 3"},
        {"font.FNM", "3\n9\n200\n0\n", "line 3: the extra value is 200, beyond -128 to 127"},
        {"font.FNM", "3\n9\n0\n", "3 lines; expected 4"},
        {"font.FNC", "", "66.BMP: the font has no glyph with code 66: glyphs cannot be added", "66.BMP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TempDir dir;
        writeFixtureSet(dir.path);
        ASSERT_EQ(runTool({c.file}, dir.path).status, 0);
        const ByteList bytes = c.name == "INFO.TXT" ? ByteList(c.info.begin(), c.info.end())
                                                    : editorBmp(1, 1, {0}, ByteList(1024, 0), 0);
        writeFile(dir / (std::string(c.file) + ".FILES") + S + c.name, bytes);
        const RunResult packed = runTool({c.file}, dir.path, packerPath());
        EXPECT_EQ(packed.out, std::string(c.file) + "\tFAILED!\n\n");
        EXPECT_NE(packed.err.find(c.why), std::string::npos) << packed.err;
        EXPECT_FALSE(exists(dir / ("font.packed." + extensionOf(c.file))));
    }
}

// Scripts and listings: the text as a user edits it, LF line ends, lines
// added, removed and changed; the rebuilt file converts to exactly that text.
std::string plainText(std::string text)
{
    std::string out;
    for (const std::string& line : splitLines(text))
        out += line + "\n";
    return out;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(Pack, EditedScriptsAndListingsConvertToExactlyTheEdit)
{
    struct TextCase {
        std::string file;
        std::vector<std::pair<std::string, std::string>> edits;  // each first match replaced
        const char* why;  // empty: packs; else the refusal
    };
    const std::vector<TextCase> cases = {
        {"WALK.ANM", {{"FRAME 1\n", "FRAME 9\nSPRITE \"NEW\",1,2,3\n"}, {"HOTSPOT -2,10,1\n", ""},
                      {"\"RUN\"", "\"SPRINTING\""}, {"\n}", "UNKNOWN_TOKEN_10 7,-7\n\n}"}}, ""},
        {"script.ANM", {{"SIZESPRITE \"S\",1,2,3,4,5\n", ""}, {"NUM_SEQUENCES 1", "NUM_SEQUENCES 2"}}, ""},
        {"LEVEL.SEC", {{"3 PATROL", "4 GUARD"}, {"2 0\n", "2 0\n7 7\n"}, {"-3.250000", "-3.100000"}}, ""},
        {"tables.SEC", {{"\n1\n9 10", "\n2\n9 10\n11 -12"}, {"\n0\n", "\n1\n\n0 1.000000 2.000000 3.000000 0 0 0 1\n"}},
         ""},
        {"WALK.ANM", {{"\n}", ""}}, "the script ends without its closing }"},
        {"WALK.ANM", {{"FRAME 0", "FRAME 300"}}, "300 is beyond 0 to 255"},
        {"WALK.ANM", {{"FRAME 0", "FRAMES 0"}}, "expected a keyword such as FRAME or SPRITE, found \"FRAMES\""},
        {"WALK.ANM", {{"NUM_SEQUENCES 3", "NUM_SEQUENCES 3,4"}}, "unexpected text after the values of NUM_SEQUENCES"},
        {"LEVEL.SEC", {{"3 PATROL", "4 PATROL"}}, "expected pair 3 of named list 0, two whole numbers"},
        {"LEVEL.SEC", {{"12.500000 -3.250000", "12.5"}}, "expected point 1, two numbers"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.file + (c.why[0] ? std::string(": ") + c.why : ""));
        TempDir dir;
        writeFixtureSet(dir.path);
        std::filesystem::copy(std::filesystem::path(ASSETDUMP_SAMPLES_DIR) / "WALK.ANM", std::filesystem::u8path(dir / "WALK.ANM"));
        std::filesystem::copy(std::filesystem::path(ASSETDUMP_SAMPLES_DIR) / "LEVEL.SEC", std::filesystem::u8path(dir / "LEVEL.SEC"));
        ASSERT_EQ(runTool({c.file}, dir.path).status, 0);
        const std::string listing = dir / (c.file + ".FILES") + S + c.file;
        std::string text = plainText(readText(listing));
        for (const auto& [from, to] : c.edits)
            text = replaced(text, from, to);
        writeFile(listing, ByteList(text.begin(), text.end()));
        const RunResult packed = runTool({c.file}, dir.path, packerPath());
        const std::string rebuilt = c.file.substr(0, c.file.size() - 3) + "packed." + extensionOf(c.file);
        if (c.why[0]) {
            EXPECT_EQ(packed.out, c.file + "\tFAILED!\n\n");
            EXPECT_NE(packed.err.find(c.file + ": line "), std::string::npos) << packed.err;
            EXPECT_NE(packed.err.find(c.why), std::string::npos) << packed.err;
            EXPECT_FALSE(exists(dir / rebuilt));
            continue;
        }
        ASSERT_EQ(packed.out, c.file + "\tDONE!\n\n") << packed.err;
        ASSERT_EQ(runTool({rebuilt}, dir.path).out, rebuilt + "\tDONE!\n\n");
        EXPECT_EQ(plainText(readText(dir / (rebuilt + ".FILES") + S + rebuilt)), text);
    }
}

// --- The BMP reader ---

TEST(Pack, BmpReaderTakesWhatEditorsSaveAndRefusesTheRestWithAReason)
{
    const ByteList pixels = {1, 2, 3, 4, 5, 6};
    const ByteList table(1024, 9);
    struct Case {
        const char* what;
        ByteList bytes;
        const char* why;  // empty: read, with the pixels above
    };
    auto patched = [&](int variant, size_t at, ByteList with) {
        ByteList b = editorBmp(3, 2, pixels, table, variant);
        std::copy(with.begin(), with.end(), b.begin() + long(at));
        return b;
    };
    ByteList cut = editorBmp(3, 2, pixels, table, 0);
    cut.resize(cut.size() - 1);
    ByteList fourBit = editorBmp(3, 2, pixels, table, 0);  // the same rows packed two pixels a byte
    fourBit.resize(54 + 64);
    fourBit[28] = 4;
    fourBit[46] = 16;  // colours used
    fourBit[47] = 0;
    fourBit[10] = 54 + 64;
    fourBit[11] = 0;
    fourBit.insert(fourBit.end(), {0x12, 0x30, 0, 0, 0x45, 0x60, 0, 0});
    std::swap_ranges(fourBit.end() - 8, fourBit.end() - 4, fourBit.end() - 4);  // bottom row first
    ByteList cutRuns = editorBmp(3, 2, pixels, table, 2);
    cutRuns.resize(cutRuns.size() - 4);  // no end of the last row, no end of the picture
    const std::vector<Case> cases = {
        {"bottom-up", editorBmp(3, 2, pixels, table, 0), ""},
        {"top-down, 124-byte header", editorBmp(3, 2, pixels, table, 1), ""},
        {"run-length, 108-byte header", editorBmp(3, 2, pixels, table, 2), ""},
        {"short colour table", editorBmp(3, 2, pixels, table, 3), ""},
        {"4-bit", fourBit, ""},
        {"24-bit", patched(0, 28, {24}), "24-bit image; save it as an 8-bit indexed BMP"},
        {"OS/2", patched(0, 14, {12}), "an OS/2 BMP"},
        {"bit masks", patched(0, 30, {3}), "colour bit masks"},
        {"PNG inside", patched(0, 30, {5}), "JPEG or PNG"},
        {"not a BMP", patched(0, 0, {'X'}), "not a BMP image"},
        {"cut-off rows", cut, "ends before its 2 rows"},
        {"a height that lies", patched(0, 22, {0, 0, 0, 0x40}), "ends before its 1073741824 rows"},
        {"a huge compressed picture", patched(2, 18, {0, 0, 0, 0x10}), "larger than this tool unpacks"},
        {"compressed rows cut off", cutRuns, "compressed rows end"},
        {"too many colours", patched(0, 46, {1, 1}), "announces 257 colours"},
        {"a negative width", patched(0, 18, {0xFD, 0xFF, 0xFF, 0xFF}), "no usable picture size"},
    };
    for (const Case& c : cases) {
        Source source = memorySource(c.bytes);
        BmpPicture picture;
        std::string why;
        const bool read = readBmp(source, picture, why);
        EXPECT_EQ(read, std::string(c.why).empty()) << c.what << ": " << why;
        if (read)
            EXPECT_EQ(picture.pixels, pixels) << c.what;
        else
            EXPECT_NE(why.find(c.why), std::string::npos) << c.what << ": " << why;
    }
}

// --- Damaged and hostile folders ---

TEST(Pack, BadEditsAreRefusedAndNothingButTheRebuiltFileIsEverWritten)
{
    const PackCase rle = packCases()[0], rlc = packCases()[1];
    const ByteList goodImage = editorBmp(3, 2, {1, 2, 3, 4, 5, 6}, ByteList(1024, 1), 0);
    ByteList cut = goodImage;
    cut.resize(60);
    ByteList lying = goodImage;
    std::copy_n(ByteList{0, 0, 0, 0x40}.begin(), 4, lying.begin() + 22);
    struct Case {
        const PackCase& input;
        std::string file;  // written into the folder
        ByteList bytes;
        const char* why;
    };
    const std::vector<Case> cases = {
        {rle, "S.BMP", cut, "S.BMP: the BMP ends inside its colour table"},
        {rle, "S.BMP", editorBmp(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, ByteList(1024, 1), 0), "the two must be the same size"},
        {rle, "S.BMP", lying, "ends before its 1073741824 rows"},
        {rlc, "S.MASK.BMP", editorBmp(3, 2, {1, 1, 1, 1, 1, 1}, ByteList(1024, 100), 0), "grey (half-transparent)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TempDir dir;
        writeFile(dir / c.input.file, c.input.bytes);
        ASSERT_EQ(runTool({c.input.file}, dir.path).status, 0);
        writeFile(dir / (c.input.file + ".FILES") + S + c.file, c.bytes);
        const std::vector<std::string> before = listTree(dir.path);
        const RunResult packed = runTool({c.input.file}, dir.path, packerPath());
        EXPECT_EQ(packed.out, c.input.file + "\tFAILED!\n\n");
        EXPECT_NE(packed.err.find(c.why), std::string::npos) << packed.err;
        EXPECT_EQ(listTree(dir.path), before);  // no rebuilt file, no temporary, nothing changed
        EXPECT_EQ(readFile(dir / c.input.file), c.input.bytes);
    }

    // A deleted output keeps the original's data; a folder argument stands for its file;
    // files without outputs to put back, or not converted, are refused.
    TempDir dir;
    writeFile(dir / rle.file, rle.bytes);
    writeFile(dir / "I.ARLC", arlcFile(2, 2));
    writeFile(dir / "F.FNT", fntFile(fntFullSet({})));
    ASSERT_EQ(runTool({rle.file}, dir.path).status, 0);
    std::filesystem::remove(std::filesystem::u8path(dir / "S.RLE.FILES") / "S.MASK.BMP");
    const RunResult packed = runTool({"S.RLE.FILES", "I.ARLC", "F.FNT"}, dir.path, packerPath());
    EXPECT_EQ(packed.out, "S.RLE.FILES\tDONE!\nI.ARLC\tFAILED!\nF.FNT\tFAILED!\n\n");
    EXPECT_NE(packed.err.find("F.FNT: there is no F.FNT.FILES folder to put back"), std::string::npos);
    EXPECT_NE(packed.err.find("S.MASK.BMP: note: not found; the original's mask is kept"), std::string::npos);
    EXPECT_NE(packed.err.find("I.ARLC: an ARLC sprite has no outputs to put back"), std::string::npos);
    EXPECT_FALSE(exists(dir / "S.packed.RLE"));  // the mask kept, the image unedited: the original
}

}  // namespace

// --- Colours as editors leave them ---

namespace {
struct Shown {
    std::vector<uint32_t> colours;  // the picture's table, 0xRRGGBB
    ByteList indexes;
};
BmpPicture pictureOf(const Shown& s, int32_t width, int bits = 8)
{
    BmpPicture p;
    p.width = width;
    p.height = int32_t(s.indexes.size()) / width;
    p.pixels = s.indexes;
    p.colourCount = int32_t(s.colours.size());
    p.bitsPerPixel = bits;
    for (size_t i = 0; i < s.colours.size(); i++) {
        p.colours[4 * i] = uint8_t(s.colours[i]);
        p.colours[4 * i + 1] = uint8_t(s.colours[i] >> 8);
        p.colours[4 * i + 2] = uint8_t(s.colours[i] >> 16);
    }
    return p;
}
uint32_t entry(const ColourTable& t, size_t i)
{
    return uint32_t(t[4 * i + 2]) << 16 | uint32_t(t[4 * i + 1]) << 8 | t[4 * i];
}
// The picture an editor saves: every colour used once (equal entries
// merged), in the order first met (as ImageMagick compacts), or the other
// way round.
Shown compacted(const ColourTable& t, const ByteList& indexes, bool reversed, size_t padTo = 0)
{
    Shown s;
    std::map<uint32_t, uint8_t> placed;
    for (uint8_t i : indexes)
        if (!placed.count(entry(t, i))) {
            placed[entry(t, i)] = uint8_t(s.colours.size());
            s.colours.push_back(entry(t, i));
        }
    if (reversed) {
        std::reverse(s.colours.begin(), s.colours.end());
        for (auto& [from, to] : placed)
            to = uint8_t(s.colours.size() - 1 - to);
    }
    for (uint8_t i : indexes)
        s.indexes.push_back(placed[entry(t, i)]);
    s.colours.resize(std::max(s.colours.size(), padTo), 0);
    return s;
}
}  // namespace

TEST(Pack, ColoursComeBackByColourWhateverTheEditorDidWithTheTable)
{
    // The sprite's own table: fourth bytes that are not zero, and entries 3
    // and 7 of one colour; 255 is the transparent stand-in.
    ColourTable table{};
    for (int i = 0; i < 256; i++) {
        table[size_t(4 * i)] = uint8_t(i);
        table[size_t(4 * i + 1)] = uint8_t(255 - i);
        table[size_t(4 * i + 2)] = uint8_t(i * 7);
        table[size_t(4 * i + 3)] = uint8_t(i % 5);
    }
    std::copy_n(&table[4 * 3], 3, &table[4 * 7]);
    const ByteList original = {3, 7, 1, 2, 255, 5, 3, 7};
    Shown same;
    for (int i = 0; i < 256; i++)
        same.colours.push_back(entry(table, size_t(i)));
    same.indexes = original;
    Shown recoloured = same;
    recoloured.colours[1] = 0x123456;
    Shown painted = compacted(table, original, true);
    painted.colours.push_back(0xFE0000);  // not in the table
    painted.indexes[2] = uint8_t(painted.colours.size() - 1);
    ByteList expectPainted = original;
    expectPainted[2] = 0;  // the first entry no pixel uses
    const ByteList twoColours = {1, 2, 2, 1, 1, 1, 2, 2};
    // An editor's rebuilt table with more new colours than kept ones (a
    // resize with smoothing): still read by colour, never as a recolour.
    Shown rebuilt = compacted(table, original, true);
    const size_t paintedPixels[] = {0, 1, 2, 3, 5};
    for (size_t k = 0; k < 5; k++) {
        rebuilt.colours.push_back(0xFE0001 + uint32_t(k));
        rebuilt.indexes[paintedPixels[k]] = uint8_t(rebuilt.colours.size() - 1);
    }

    struct Case {
        const char* what;
        Shown shown;
        int bits;
        bool own;
        ByteList originalIndexes;
        ByteList indexes;            // expected
        std::map<size_t, uint32_t> newEntries;  // table entries expected to change
        int64_t forced;
    };
    const std::vector<Case> cases = {
        {"re-saved as it was, fourth bytes zeroed", same, 8, true, original, original, {}, 0},
        {"reordered", compacted(table, original, true, 256), 8, true, original, original, {}, 0},
        {"compacted, duplicates merged", compacted(table, original, false), 8, true, original, original, {}, 0},
        {"4-bit re-save", compacted(table, original, false, 16), 4, true, original, original, {}, 0},
        {"1-bit re-save", compacted(table, twoColours, true), 1, true, twoColours, twoColours, {}, 0},
        {"recolour in place", recoloured, 8, true, original, original, {{1, 0x123456}}, 0},
        {"a new colour takes a free entry", painted, 8, true, original, expectPainted, {{0, 0xFE0000}}, 0},
        {"a table that cannot take it: the nearest colour", painted, 8, false, original,
         ByteList{3, 7, 1, 2, 255, 5, 3, 7}, {}, 1},
        {"a rebuilt table, mostly new colours", rebuilt, 8, true, original, ByteList{0, 1, 2, 4, 255, 5, 3, 7},
         {{0, 0xFE0001}, {1, 0xFE0002}, {2, 0xFE0003}, {4, 0xFE0004}, {5, 0xFE0005}}, 0},
        {"resized: by colour alone", compacted(table, original, true), 8, true, {}, ByteList{3, 3, 1, 2, 255, 5, 3, 3},
         {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PictureTable t;
        t.colours = table;
        t.own = c.own;
        t.taken[255] = true;
        BmpPicture picture = pictureOf(c.shown, 4, c.bits);
        ColourRead read;
        readColours(picture, c.originalIndexes.empty() ? nullptr : c.originalIndexes.data(), nullptr, t, read);
        // The new colour, where it cannot be held, takes the table's nearest.
        ByteList expected = c.indexes;
        if (c.forced)
            expected[2] = read.indexes[2];
        EXPECT_EQ(read.indexes, expected);
        EXPECT_EQ(read.forced, c.forced);
        for (size_t i = 0; i < 256; i++) {
            const auto changed = c.newEntries.find(i);
            if (changed != c.newEntries.end())
                EXPECT_EQ(entry(read.table, i), changed->second) << i;
            else  // exactly as it was, fourth bytes and all
                EXPECT_TRUE(std::equal(read.table.data() + 4 * i, read.table.data() + 4 * i + 4, table.data() + 4 * i))
                    << i;
        }
    }
    // A table whose every entry stays in use: the new colour goes to the
    // nearest. (Entries 3 and 7 share a colour, so the picture's table has
    // room for one more.)
    ByteList everyEntry(257);
    for (int i = 0; i < 256; i++)
        everyEntry[size_t(i)] = uint8_t(i);
    Shown full = compacted(table, everyEntry, true);
    full.colours.push_back(0xFEFEFE);
    full.indexes[256] = 255;
    PictureTable t;
    t.colours = table;
    t.own = true;
    ColourRead read;
    readColours(pictureOf(full, 257), everyEntry.data(), nullptr, t, read);
    EXPECT_EQ(read.forced, 1);
    EXPECT_EQ(read.newColours, 0);
    EXPECT_EQ(ByteList(read.indexes.begin(), read.indexes.begin() + 256),
              ByteList(everyEntry.begin(), everyEntry.begin() + 256));
}

namespace {
// An output image as an editor holds it: indexes top row first, its table.
struct Held {
    int width = 0, height = 0;
    ByteList pixels, table;
};
Held hold(const std::string& path)
{
    BmpImage image;
    EXPECT_TRUE(readBmp(path, image)) << path;
    Held h{image.width, image.height, {}, image.colourTable};
    for (int y = 0; y < image.height; y++) {
        const ByteList row = bmpRow(image, y);
        h.pixels.insert(h.pixels.end(), row.begin(), row.begin() + image.width);
    }
    h.table.resize(1024, 0);
    return h;
}
}  // namespace

// Every edit the format cannot keep is named, once, with what to do instead.
TEST(Pack, EveryEditThatCannotBeKeptIsNamed)
{
    TempDir dir;
    for (const char* name : {"HERO.RLE", "ARCHIVE.WAD", "LETTERS.FNT", "INK.FNM"})
        std::filesystem::copy(std::string(ASSETDUMP_SAMPLES_DIR) + "/" + name, dir / name);
    ASSERT_EQ(runTool({"HERO.RLE", "ARCHIVE.WAD", "LETTERS.FNT", "INK.FNM"}, dir.path).status, 0);
    struct Case {
        const char* image;  // in the folder of the first part of its path
        std::string note;
        void (*edit)(Held&, const Held& mask);
    };
    const std::vector<Case> cases = {
        {"HERO.RLE.FILES/HERO.BMP", "1 pixel changed where HERO.MASK.BMP is transparent is not kept: make them white "
                                    "in HERO.MASK.BMP",
         [](Held& h, const Held& mask) {
             for (size_t k = 0; k < h.pixels.size(); k++)
                 if (mask.pixels[k] == 0) {
                     h.pixels[k] = 1;
                     return;
                 }
         }},
        {"ARCHIVE.WAD.FILES/GEM.BMP", "its colour table was changed, but its colours come from SUNSET.PAL: ",
         [](Held& h, const Held& mask) {
             const size_t opaque = size_t(std::find(mask.pixels.begin(), mask.pixels.end(), 255) - mask.pixels.begin());
             for (int b = 0; b < 3; b++)
                 h.table[size_t(4 * h.pixels[opaque] + b)] ^= 0x55;  // a used entry, recoloured in place
         }},
        {"LETTERS.FNT.FILES/65.BMP", "1 pixel of colours the font's 16 shades does not hold was given the nearest it "
                                     "holds",
         [](Held& h, const Held&) {
             h.table[4 * 20 + 2] = 255;  // red, at an entry past the 16 shades
             h.pixels[0] = 20;
         }},
        {"INK.FNM.FILES/65.BMP", "1 pixel of colours white, grey and black does not hold was given the nearest it holds",
         [](Held& h, const Held&) {
             std::swap_ranges(&h.table[0], &h.table[4], &h.table[4]);  // reordered: no longer in place
             h.table[4 * 200 + 1] = 0;           // an entry no pixel uses becomes magenta
             h.table[4 * 200] = h.table[4 * 200 + 2] = 255;
             for (uint8_t& p : h.pixels)
                 p = p == 0 ? 1 : p == 1 ? 0 : p;
             h.pixels[0] = 200;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const std::string path = dir / c.image;
        const std::string maskPath = path.substr(0, path.size() - 4) + ".MASK.BMP";
        Held h = hold(path);
        h.table.resize(1024);
        c.edit(h, exists(maskPath) ? hold(maskPath) : Held{});
        writeFile(path, editorBmp(h.width, h.height, h.pixels, h.table, 0));
        const std::string input = std::string(c.image).substr(0, std::string(c.image).find(".FILES"));
        const RunResult packed = runTool({input}, dir.path, packerPath());
        EXPECT_EQ(packed.out, input + "\tDONE!\n\n");  // a note never changes the result
        EXPECT_NE(packed.err.find(std::string(c.image) + ": note: " + c.note), std::string::npos) << packed.err;
        EXPECT_EQ(std::count(packed.err.begin(), packed.err.end(), '\n'), 1) << packed.err;
    }
}

// Both directions read a file through one check: the same refusal, word for
// word, for a file too short for its format and for one that is another thing.
TEST(Pack, BothProgramsRefuseABadFileAlike)
{
    TempDir tmp;
    const std::vector<std::pair<std::string, ByteList>> bodies = {
        {"short", ByteList{1, 2, 3}},
        {"other", ByteList(4096, 0xEE)},
    };
    for (const char* ext : {"RLE", "RLC", "WAD", "ZOM", "FNT", "FNC", "FNM", "SEC", "ANM"})
        for (const auto& [what, bytes] : bodies) {
            const std::string name = what + "." + ext;
            SCOPED_TRACE(name);
            writeFile(tmp / name, bytes);
            makeDirectories(tmp / (name + ".FILES"));  // so assetpack reads the file
            const RunResult dumped = runTool({name}, tmp.path), packed = runTool({name}, tmp.path, packerPath());
            EXPECT_NE(dumped.out.find("FAILED!"), std::string::npos);
            EXPECT_NE(packed.out.find("FAILED!"), std::string::npos);
            EXPECT_FALSE(dumped.err.empty());
            EXPECT_EQ(dumped.err, packed.err);
        }
}

// A file that no record of the original reads is named, never dropped
// without a word: an archive's folder and a picture set's.
TEST(Pack, FilesNoRecordReadsAreNamed)
{
    TempDir tmp;
    for (const auto& [sample, picture] : {std::pair{"ARCHIVE.WAD", "SKY.BMP"}, std::pair{"CITY.ZOM", "ZOM0.BMP"}}) {
        SCOPED_TRACE(sample);
        std::filesystem::copy(std::filesystem::path(ASSETDUMP_SAMPLES_DIR) / sample, std::filesystem::path(tmp.path) / sample);
        ASSERT_EQ(runTool({sample}, tmp.path).status, 0);
        const std::string folder = tmp / (std::string(sample) + ".FILES");
        std::filesystem::copy(std::filesystem::path(folder) / picture, std::filesystem::path(folder) / "NEWBALL.BMP");
        const RunResult r = runTool({sample}, tmp.path, packerPath());
        EXPECT_EQ(r.out, std::string(sample) + "\tDONE!\n\n");
        EXPECT_NE(r.err.find("NEWBALL.BMP: note: not read: "), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// Every value of a picture set's INFO.TXT is put back, or refused with the
// reason the file cannot hold it.
TEST(Pack, PictureSetValuesComeBackOrAreNamed)
{
    ByteList table = zomEntry(3, 40);
    const ByteList ending = zomEntry(0, 5, 7);
    table.insert(table.end(), ending.begin(), ending.end());
    const ByteList zom = zomFile(9, 2, {zomImage(2, 1, 0.5f, 1.5f, {1, 2}), zomImage(1, 1, 2.5f, 3.5f, {3}),
                                        zomImage(1, 1, 4.5f, 5.5f, {4})}, table);
    const std::string asWritten = "9 2 3 ZOM\r\n0 0 0.500000 1.500000\r\n40 0 2.500000 3.500000\r\n"
                                  "12 1 4.500000 5.500000\r\n";
    struct Case {
        const char* what;
        std::string text;
        std::string err;  // empty: packed, and converting the rebuild gives text back
    };
    const std::vector<Case> cases = {
        {"first value, floats and entry values",
         "300 2 3 ZOM\r\n0 0 0.250000 1.500000\r\n41 0 2.500000 -3.000000\r\n20 1 4.500000 6.000000\r\n", ""},
        {"the entry count", "9 3 3 ZOM\n0 0 0.5 1.5\n40 0 2.5 3.5\n12 1 4.5 5.5\n",
         "line 1: the entry count cannot change (it is 2)"},
        {"the ending value below what it adds", asWritten.substr(0, asWritten.size() - 24) + "6 1 4.500000 5.500000\n",
         "line 4: 6 cannot be stored: the ending entry's value is its value at 4 plus 7 (kept)"},
        {"a float that is none", "9 2 3 ZOM\n0 0 x 1.5\n40 0 2.5 3.5\n12 1 4.5 5.5\n",
         "line 2: value 3 is a number with a point (a float), not x"},
        {"a line less", "9 2 3 ZOM\n0 0 0.5 1.5\n40 0 2.5 3.5\n", "3 lines; this picture set's has 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir / "S.ZOM", zom);
        ASSERT_EQ(runTool({"S.ZOM"}, dir.path).status, 0);
        ASSERT_EQ(readFile(dir / "S.ZOM.FILES/INFO.TXT"), ByteList(asWritten.begin(), asWritten.end()));
        writeFile(dir / "S.ZOM.FILES/INFO.TXT", ByteList(c.text.begin(), c.text.end()));
        const RunResult packed = runTool({"S.ZOM"}, dir.path, packerPath());
        if (!c.err.empty()) {
            EXPECT_EQ(packed.out, "S.ZOM\tFAILED!\n\n");
            EXPECT_NE(packed.err.find("S.ZOM.FILES/INFO.TXT: " + c.err), std::string::npos) << packed.err;
            continue;
        }
        ASSERT_EQ(packed.out, "S.ZOM\tDONE!\n\n") << packed.err;
        ASSERT_EQ(runTool({"S.packed.ZOM"}, dir.path).status, 0);
        EXPECT_EQ(readFile(dir / "S.packed.ZOM.FILES/INFO.TXT"), ByteList(c.text.begin(), c.text.end()));
    }
}

// An archive's palettes in every format editors exchange: written with
// --palette-format, read back by content, whatever the extension.
TEST(Pack, PalettesComeBackFromEveryPaletteFormat)
{
    ByteList wad = wadFile({{"SUNSET.PAL", rampPalette565()}}, {WadEntry{"A.PIC", 2, 2, 0, false, {{1, 2}, {3, 4}}}});
    wad.resize(std::max<size_t>(wad.size(), 1023));  // an archive is never shorter
    const ColourTable ramp = pal2to3(rampPalette565().data());
    ColourTable edited = ramp;
    edited[4 * 7 + 2] = 0xFF;  // entry 7 red, an RGB565 colour
    edited[4 * 7 + 1] = 0x00;
    edited[4 * 7] = 0x00;
    // A RIFF palette and an Adobe table with its count of colours in use
    // (the entries past it keep the archive's).
    ByteList riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'P', 'A', 'L', ' ', 'd', 'a', 't', 'a', 0, 0, 0, 0, 0, 3, 8, 0};
    for (size_t i = 0; i < 8; i++)
        riff.insert(riff.end(), {edited[4 * i + 2], edited[4 * i + 1], edited[4 * i], 0});
    riff[16] = uint8_t(riff.size() - 20);
    std::vector<uint8_t> act772 = encodePalette(PaletteFormat::Act, edited, "");
    act772.insert(act772.end(), {0, 8, 0xFF, 0xFF});
    struct Case {
        const char* format;
        const char* file;    // the palette file assetdump writes
        const char* starts;  // its first bytes
        std::string editedFile;
        std::vector<uint8_t> editedBytes;
    };
    const std::vector<Case> cases = {
        {"raw", "SUNSET.PAL", "", "SUNSET.PAL", encodePalette(PaletteFormat::Raw, edited, "SUNSET")},
        {"jasc", "SUNSET.PAL", "JASC-PAL\r\n0100\r\n256\r\n", "SUNSET.PAL", encodePalette(PaletteFormat::Jasc, edited, "")},
        {"gpl", "SUNSET.gpl", "GIMP Palette\nName: SUNSET\n", "SUNSET.gpl", encodePalette(PaletteFormat::Gpl, edited, "")},
        {"act", "SUNSET.act", "", "SUNSET.act", encodePalette(PaletteFormat::Act, edited, "")},
        {"act", "SUNSET.act", "", "SUNSET.act", act772},
        {"raw", "SUNSET.PAL", "", "SUNSET.PAL", riff},          // a RIFF palette under the .PAL name
        {"raw", "SUNSET.PAL", "", "SUNSET.gpl", encodePalette(PaletteFormat::Gpl, edited, "")},  // saved as .gpl
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.editedFile);
        TempDir dir;
        writeFile(dir / "G.WAD", wad);
        ASSERT_EQ(runTool({"--palette-format", c.format, "G.WAD"}, dir.path).out, "G.WAD\tDONE!\n\n");
        const ByteList written = readFile(dir / ("G.WAD.FILES/" + std::string(c.file)));
        EXPECT_EQ(std::string(written.begin(), written.begin() + std::ptrdiff_t(std::strlen(c.starts))), c.starts);
        // Unedited: the rebuild is the original, and nothing is written.
        RunResult packed = runTool({"G.WAD"}, dir.path, packerPath());
        ASSERT_EQ(packed.out, "G.WAD\tDONE!\n\n") << packed.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "G.packed.WAD"));
        // One colour changed: the archive's palette takes it.
        std::filesystem::remove(std::filesystem::path(dir.path) / "G.WAD.FILES" / c.file);
        writeFile(dir / ("G.WAD.FILES/" + c.editedFile), ByteList(c.editedBytes.begin(), c.editedBytes.end()));
        packed = runTool({"G.WAD"}, dir.path, packerPath());
        ASSERT_EQ(packed.out, "G.WAD\tDONE!\n\n") << packed.err;
        EXPECT_EQ(packed.err, "");
        ASSERT_EQ(runTool({"G.packed.WAD"}, dir.path).status, 0);
        const ByteList back = readFile(dir / "G.packed.WAD.FILES/SUNSET.PAL");
        EXPECT_EQ(back, ByteList(edited.begin(), edited.end()));
    }
    // Two files for one palette, or bytes of no palette format: refused, named.
    TempDir dir;
    writeFile(dir / "G.WAD", wad);
    ASSERT_EQ(runTool({"G.WAD"}, dir.path).status, 0);
    writeFile(dir / "G.WAD.FILES/SUNSET.act", ByteList(768, 0));
    RunResult r = runTool({"G.WAD"}, dir.path, packerPath());
    EXPECT_NE(r.err.find("SUNSET.act: a second file for the palette of SUNSET.PAL: keep one of the two"),
              std::string::npos) << r.err;
    std::filesystem::remove(std::filesystem::path(dir.path) / "G.WAD.FILES/SUNSET.act");
    writeFile(dir / "G.WAD.FILES/SUNSET.PAL", ByteList(1000, 0));
    r = runTool({"G.WAD"}, dir.path, packerPath());
    EXPECT_NE(r.err.find("SUNSET.PAL: 1000 bytes, and not a palette file"), std::string::npos) << r.err;
    EXPECT_EQ(runTool({"--palette-format=bmp", "G.WAD"}, dir.path).status, 1);
}
