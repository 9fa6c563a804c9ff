// Inputs that must neither block the run, abort it, nor cost out of
// proportion to what they hold; and refusals no wider than safety needs.
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "formats/sprites/sprites.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace fs = std::filesystem;

namespace {

const std::string S(1, pathSeparator());

#ifndef _WIN32
ByteList smallSprite()
{
    return rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable());
}

// A valid file followed by gigabytes that are never read: a sparse file,
// so the disk holds only its first block.
void sparse(const std::string& path, const ByteList& head, uintmax_t size)
{
    writeFile(path, head);
    fs::resize_file(path, size);
}
#endif

}  // namespace

TEST(Bounded, RowsEnteringAStretchOfEmptyCodesAnywhereDecodeAlike)
{
    // Run data: a stretch of empty codes of every kind, then one literal
    // pixel. Rows start at every byte of the stretch; each must find the pixel.
    Bytes run;
    for (int i = 0; i < 50; i++)
        run.raw({0, 255, 0, 254, 0, 0});
    run.raw({1, 42});
    std::vector<uint32_t> offsets;
    for (uint32_t at = 0; at + 2 < run.size(); at++)
        offsets.push_back(at);
    Source source = memorySource(run.data);
    SpritePlanes planes;
    ASSERT_TRUE(decodeRleRows(source, 0, source.size, offsets, 1, int32_t(offsets.size()), 3, planes));
    for (size_t r = 0; r < offsets.size(); r++) {
        EXPECT_EQ(planes.imagePlane[4 * r], 42) << r;
        EXPECT_EQ(planes.maskPlane[4 * r], 255) << r;
    }
    // A stretch that runs to the end of the data leaves its rows unfinished.
    Source cut = memorySource(ByteList(run.data.begin(), run.data.end() - 2));
    EXPECT_FALSE(decodeRleRows(cut, 0, cut.size, {5}, 1, 1, 3, planes));
}

TEST(Bounded, RefusalsGoNoFurtherThanTheBytesThatAreRead)
{
    TempDir tmp;
    // An end token whose last four bytes are missing: only its first and fourth are read.
    writeFile(tmp / "END.ANM", {'B', 'N', 'M', ' ', 0, 0, 0, 0x7F});
    // An empty glyph whose offset points far outside the file.
    for (const char* name : {"EMPTY.FNC", "EMPTY.FNM"}) {
        GlyphSetSpec font;
        font.fontHeight = 5;  // the glyph's height: variant 2, the record at 272
        font.palette = std::string(name).back() == 'C' ? ByteList(768, 3) : ByteList();
        font.glyphs.push_back({65, 0, 5, 0, {}});
        ByteList file = glyphSetFile(font);
        file[272 + 16 + 3] = 0xF0;  // the offset that follows the one record
        writeFile(tmp / name, file);
    }
    // A picture set whose last counted entry is cut short: the walk reads its type only.
    ByteList zom = zomFile(1, 2, {zomImage(1, 1, 0, 0, {5})}, concat({zomEntry(1), zomEntry(1)}));
    zom.resize(zom.size() - 17);
    writeFile(tmp / "CUT.ZOM", zom);

    RunResult r = runTool({"END.ANM", "EMPTY.FNC", "EMPTY.FNM", "CUT.ZOM"}, tmp.path);
    EXPECT_EQ(r.out, "END.ANM\tDONE!\nEMPTY.FNC\tDONE!\nEMPTY.FNM\tDONE!\nCUT.ZOM\tFAILED!\n\n");
    EXPECT_EQ(readText(tmp / "END.ANM.FILES" + S + "END.ANM"), "\r\n}\r\n");
    EXPECT_EQ(readFile(tmp / "EMPTY.FNM.FILES" + S + "65.BMP").size(), 1078u);
    EXPECT_EQ(listTree(tmp / "CUT.ZOM.FILES"), (std::vector<std::string>{"INFO.TXT", "ZOM0.BMP"}));
    EXPECT_EQ(r.err, "CUT.ZOM: the entry table has no ending entry among its 2 entries\n");
}

#ifndef _WIN32
TEST(Bounded, FifosAndDevicesFailAtOnceBesideAGoodFile)
{
    TempDir tmp;
    writeFile(tmp / "HERO.RLE", smallSprite());
    ASSERT_EQ(mkfifo((tmp / "F.RLE").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", tmp / "DEV.WAD");
    RunResult r = runToolWith({"F.RLE", "DEV.WAD", "HERO.RLE"}, tmp.path, RunLimits{.timeoutSeconds = 20});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "F.RLE\tFAILED!\nDEV.WAD\tFAILED!\nHERO.RLE\tDONE!\n\n");
    EXPECT_EQ(r.err, "F.RLE: not a regular file: it is a FIFO\nDEV.WAD: not a regular file: it is a device\n");
}

TEST(Bounded, HugeSparseInputsCostWhatTheirFormatReads)
{
    TempDir tmp;
    // 5 GB of zeros: refused on its header. 3 GB behind a valid empty table:
    // converted from its first 24 bytes.
    sparse(tmp / "ZERO.RLE", {}, uintmax_t(5) << 30);
    ByteList table(24, 0);  // the magic, then five counts of zero
    const char magic[] = "NIBS";
    std::copy(magic, magic + 4, table.begin());
    sparse(tmp / "BIG.SEC", table, uintmax_t(3) << 30);
    writeFile(tmp / "HERO.RLE", smallSprite());
    RunResult r = runToolWith({"ZERO.RLE", "BIG.SEC", "HERO.RLE"}, tmp.path, RunLimits{.timeoutSeconds = 20});
    EXPECT_EQ(r.out, "ZERO.RLE\tFAILED!\nBIG.SEC\tDONE!\nHERO.RLE\tDONE!\n\n");
    EXPECT_EQ(readText(tmp / "BIG.SEC.FILES" + S + "BIG.SEC"), "0\n\n0\n\n0\n\n0\n\n0\n");
}

// AddressSanitizer reserves terabytes of address space: no limit fits it.
#if defined(__SANITIZE_ADDRESS__)
#define ASSETDUMP_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ASSETDUMP_UNDER_ASAN 1
#endif
#endif

#ifndef ASSETDUMP_UNDER_ASAN
TEST(Bounded, AFailedAllocationFailsItsArgumentAndTheRunGoesOn)
{
    // The smallest address space the tool starts in, found by halving; then
    // 6 MiB more: enough for a small sprite, not for a font's 8 MiB of glyphs.
    TempDir tmp;
    long long low = 1 << 20, high = 1ll << 32;
    while (high - low > (1 << 19)) {
        long long mid = (low + high) / 2;
        RunResult probe = runToolWith({"--version"}, tmp.path, RunLimits{.memory = mid});
        (probe.status == 0 ? high : low) = mid;
    }
    GlyphSetSpec font;
    font.fontHeight = 127;  // the glyphs' height: variant 2
    font.palette = ByteList(768, 3);
    ByteList row = fncEncodeRow(ByteList(127, 1), ByteList(127, 255));
    for (unsigned code = 1; code < 256; code++)
        font.glyphs.push_back({code, 127, 127, 0, fncGlyphData(std::vector<ByteList>(127, row))});
    writeFile(tmp / "BIG.FNC", glyphSetFile(font));
    writeFile(tmp / "HERO.RLE", smallSprite());
    RunResult r = runToolWith({"BIG.FNC", "HERO.RLE"}, tmp.path, RunLimits{.memory = high + (6 << 20)});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out, "BIG.FNC\tFAILED!\nHERO.RLE\tDONE!\n\n");
    EXPECT_EQ(r.err, "BIG.FNC: out of memory\n");
}
#endif
#endif
