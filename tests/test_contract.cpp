// What DONE! and FAILED! promise, tested where each mechanism lives: the
// shared output layer and the front end, mostly through the real program in
// a hostile environment (full disk, links, closed streams, a vanished reader).
#include <gtest/gtest.h>

#include <filesystem>

#include "output/outputs.h"
#include "support/bmp_reader.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace fs = std::filesystem;

namespace {

const std::string S(1, pathSeparator());

#ifndef _WIN32
ByteList sprite(int width, int height, uint8_t index)
{
    std::vector<ByteList> rows(size_t(height), rleLiteral(ByteList(size_t(width), index)));
    return rleFile(width, height, rows, sampleColourTable());
}

// Every file below dir with its bytes.
std::map<std::string, std::vector<uint8_t>> snapshot(const std::string& dir)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const std::string& name : listTree(dir))
        files[name] = readFile(dir + S + name);
    return files;
}
#endif

}  // namespace

TEST(Outputs, TwoWritersOfOneOutputNeverMixTheirBytes)
{
    TempDir tmp;
    const std::string path = tmp / "OUT.BMP";
    writeFile(path, {1, 2, 3});
    OutputFile a, b;
    ASSERT_TRUE(openOutput(a, path));
    ASSERT_TRUE(openOutput(b, path));
    EXPECT_NE(a.temp, b.temp);
    const std::vector<uint8_t> as(100000, 'a'), bs(100000, 'b');
    for (size_t at = 0; at < as.size(); at += 1000) {
        writeOutput(a, &as[at], 1000);
        writeOutput(b, &bs[at], 1000);
    }
    EXPECT_EQ(readFile(path), (std::vector<uint8_t>{1, 2, 3}));  // nothing in place before it is whole
    EXPECT_TRUE(placeOutputs({&a}));
    EXPECT_EQ(readFile(path), as);
    EXPECT_TRUE(placeOutputs({&b}));
    EXPECT_EQ(readFile(path), bs);
    EXPECT_EQ(listTree(tmp.path), (std::vector<std::string>{"OUT.BMP"}));
}

#ifndef _WIN32
TEST(Outputs, AFullDiskFailsTheRunAndKeepsThePreviousImageAndMask)
{
    TempDir tmp;
    writeFile(tmp / "HERO.RLE", sprite(10, 10, 3));
    ASSERT_EQ(runTool({"HERO.RLE"}, tmp.path).out, "HERO.RLE\tDONE!\n\n");
    const auto before = snapshot(tmp / "HERO.RLE.FILES");

    // Writes past 21,000 bytes fail as on a full disk; the new image and
    // mask need 21,078 bytes each.
    writeFile(tmp / "HERO.RLE", sprite(200, 100, 4));
    RunResult r = runToolWith({"HERO.RLE"}, tmp.path, RunLimits{.fileSize = 21000});
    EXPECT_EQ(r.out, "HERO.RLE\tFAILED!\n\n");
    EXPECT_EQ(r.err, "HERO.RLE.FILES/HERO.BMP: File too large\n"
                     "HERO.RLE.FILES/HERO.MASK.BMP: File too large\n");
    EXPECT_EQ(snapshot(tmp / "HERO.RLE.FILES"), before);  // no cut-off file, no temporary
}

TEST(Outputs, AnArchiveWritesWhatFitsAndNamesEachOutputThatDoesNot)
{
    TempDir tmp;
    std::vector<WadEntry> entries;
    for (const char* name : {"A.PIC", "BIG.PIC", "C.PIC"}) {
        WadEntry e;
        e.name = name;
        e.width = name[0] == 'B' ? 100 : 1;
        e.height = e.width;
        e.rows.assign(size_t(e.height), ByteList(size_t(e.width), 7));
        entries.push_back(e);
    }
    writeFile(tmp / "D.WAD", wadFile({{"P.PAL", rampPalette565()}}, entries));
    // A new folder appears whole or not at all: no folder, no temporary.
    RunResult r = runToolWith({"D.WAD"}, tmp.path, RunLimits{.fileSize = 5000});
    EXPECT_EQ(r.out, "D.WAD\tFAILED!\n\n");
    EXPECT_EQ(r.err, "D.WAD.FILES/BIG.BMP: File too large\n");
    EXPECT_EQ(listTree(tmp.path), (std::vector<std::string>{"D.WAD"}));
    EXPECT_FALSE(exists(tmp / "D.WAD.FILES"));
    // Into a folder that is there, each output goes in place on its own.
    fs::create_directory(tmp / "D.WAD.FILES");
    r = runToolWith({"D.WAD"}, tmp.path, RunLimits{.fileSize = 5000});
    EXPECT_EQ(r.err, "D.WAD.FILES/BIG.BMP: File too large\n");
    EXPECT_EQ(listTree(tmp / "D.WAD.FILES"), (std::vector<std::string>{"A.BMP", "C.BMP", "P.PAL"}));
}

TEST(Outputs, ALinkAtAnOutputIsReplacedAndAFolderThereIsAReason)
{
    TempDir tmp;
    writeFile(tmp / "victim", {9, 9, 9});
    writeFile(tmp / "HERO.RLE", sprite(4, 4, 3));
    fs::create_directory(tmp / "HERO.RLE.FILES");
    fs::create_symlink(tmp / "victim", tmp / "HERO.RLE.FILES" + S + "HERO.BMP");
    ASSERT_EQ(runTool({"HERO.RLE"}, tmp.path).out, "HERO.RLE\tDONE!\n\n");
    EXPECT_EQ(readFile(tmp / "victim"), (std::vector<uint8_t>{9, 9, 9}));
    EXPECT_FALSE(fs::is_symlink(tmp / "HERO.RLE.FILES" + S + "HERO.BMP"));
    const std::vector<uint8_t> image = readFile(tmp / "HERO.RLE.FILES" + S + "HERO.BMP");

    // A mask that cannot be put in place keeps its image from being replaced.
    fs::remove(tmp / "HERO.RLE.FILES" + S + "HERO.MASK.BMP");
    fs::create_directory(tmp / "HERO.RLE.FILES" + S + "HERO.MASK.BMP");
    writeFile(tmp / "HERO.RLE", sprite(4, 4, 5));
    RunResult r = runTool({"HERO.RLE"}, tmp.path);
    EXPECT_EQ(r.out, "HERO.RLE\tFAILED!\n\n");
    EXPECT_NE(r.err.find("HERO.RLE.FILES/HERO.MASK.BMP: Is a directory\n"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(tmp / "HERO.RLE.FILES" + S + "HERO.BMP"), image);

    // An output folder that cannot be made: a file has its name, or the name is too long.
    writeFile(tmp / "X.RLE", sprite(4, 4, 3));
    writeFile(tmp / "X.RLE.FILES", {1});
    const std::string longName = std::string(250, 'L') + ".RLE";
    writeFile(tmp / longName, sprite(4, 4, 3));
    r = runTool({"X.RLE", longName}, tmp.path);
    EXPECT_EQ(r.out, "X.RLE\tFAILED!\n" + longName + "\tFAILED!\n\n");
    EXPECT_EQ(r.err, "X.RLE.FILES: cannot make the output folder: File exists\n" + longName +
                         ".FILES: cannot make the output folder: File name too long\n");
}

TEST(FrontEnd, ClosedStreamsAndAVanishedReaderStopNoConversion)
{
    TempDir tmp;
    // With standard error closed, the script must not take its number.
    writeFile(tmp / "A.ANM", anmFile({anmShort(4, {1}), anmShort(99, {})}));
    RunResult r = runToolWith({"A.ANM"}, tmp.path, RunLimits{.closed = {2}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readText(tmp / "A.ANM.FILES" + S + "A.ANM"), "\r\nFRAME 1\r\n\r\n}\r\n");

    for (const char* name : {"1.RLE", "2.RLE", "3.RLE"})
        writeFile(tmp / name, sprite(4, 4, 3));
    r = runToolWith({"1.RLE", "2.RLE", "3.RLE"}, tmp.path, RunLimits{.closed = {1}});
    EXPECT_EQ(r.status, 0);  // a closed output reads as the null device
    fs::remove_all(tmp / "1.RLE.FILES");
    fs::remove_all(tmp / "3.RLE.FILES");
    r = runToolWith({"1.RLE", "2.RLE", "3.RLE"}, tmp.path, RunLimits{.readerGone = true});
    EXPECT_EQ(r.status, 2);  // the result lines were lost, the work was not
    for (const char* name : {"1.RLE", "2.RLE", "3.RLE"})
        EXPECT_TRUE(bmpIsWhole(tmp / (std::string(name) + ".FILES") + S + name[0] + ".BMP")) << name;
}

TEST(FrontEnd, ControlCharactersInNamesAreEscapedOnTheResultLine)
{
    TempDir tmp;
    const std::vector<std::string> names = {"a\tb.RLE", "c\nd.RLE", std::string("e\x01\r.RLE")};
    for (const std::string& name : names)
        writeFile(tmp / name, sprite(2, 2, 1));
    RunResult r = runTool(names, tmp.path);
    EXPECT_EQ(r.out, "a\\tb.RLE\tDONE!\nc\\nd.RLE\tDONE!\ne\\x01\\r.RLE\tDONE!\n\n");
}
#endif
