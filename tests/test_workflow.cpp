// A whole game at once: folder arguments walked, outputs under --output, a
// mod folder packed back from them, and the same lines whatever the workers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "support/bmp_reader.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace fs = std::filesystem;

namespace {

const std::string S(1, pathSeparator());

std::map<std::string, ByteList> snapshot(const std::string& dir)
{
    std::map<std::string, ByteList> files;
    for (const std::string& name : listTree(dir))
        files[name] = readFile(dir + S + name);
    return files;
}

// The files the tool made below dir (the game's own old output folder aside).
std::map<std::string, ByteList> outputsBelow(const std::string& dir)
{
    std::map<std::string, ByteList> files;
    for (const auto& [name, bytes] : snapshot(dir))
        if (name.find(".FILES/") != std::string::npos && name.rfind("OLD.RLE.FILES/", 0) != 0)
            files[name] = bytes;
    return files;
}

ByteList hero(uint8_t index)
{
    return rleFile(3, 2, {rleLiteral({index, index, index}), rleLiteral({1, 2, 3})}, sampleColourTable());
}

// A game-like folder: sprites in two folders under one name, an archive, a
// script, files of other types, and things a walk must not enter.
void writeGame(const std::string& root)
{
    makeDirectories(root + S + "DATA" + S + "SUB");
    makeDirectories(root + S + "OLD.RLE.FILES");  // an output folder: never entered
    writeFile(root + S + "DATA" + S + "HERO.RLE", hero(7));
    writeFile(root + S + "DATA" + S + "SUB" + S + "HERO.RLE", hero(9));
    writeFile(root + S + "DATA" + S + "DAMAGED.RLE", ByteList(10, 0));
    writeFile(root + S + "DATA" + S + "SOUND.WAV", ByteList(10, 1));
    writeFile(root + S + "README.TXT", ByteList(10, 2));
    writeFile(root + S + "OLD.RLE.FILES" + S + "X.RLE", hero(1));
    writeFile(root + S + ".assetdump-4000000000-3.tmp", hero(1));
    writeFile(root + S + "WALK.ANM", anmFile({anmShort(0, {1}), anmShort(4, {1}), anmEnd()}));
    writeFile(root + S + "A.WAD", wadFile({{"P.PAL", rampPalette565()}, {"", rampPalette565()}},
                                          {WadEntry{"GEM.RLE", 1, 1, 1, true, {rleLiteral({5})}}}));
#ifndef _WIN32
    fs::create_directory_symlink(root + S + "DATA", root + S + "LINKED");  // never followed
#endif
}

const std::string kLines = "game/A.WAD\tDONE!\ngame/DATA/DAMAGED.RLE\tFAILED!\ngame/DATA/HERO.RLE\tDONE!\n"
                           "game/DATA/SUB/HERO.RLE\tDONE!\ngame/WALK.ANM\tDONE!\n\n";

}  // namespace

TEST(Workflow, AWalkedGameConvertsInPlaceOrUnderAnOutputFolderAlike)
{
    TempDir tmp;
    writeGame(tmp / "game");
    const auto before = snapshot(tmp / "game");
    RunResult r = runTool({"-o", "out", "game/"}, tmp.path);
    EXPECT_EQ(r.out, kLines);
    EXPECT_EQ(r.err, "game/A.WAD: note: palette 1 \"\" is written as ~1.PAL\n"
                     "game/DATA/DAMAGED.RLE: too short for an RLE sprite: 10 bytes, at least 1095 needed\n");
    EXPECT_EQ(snapshot(tmp / "game"), before);  // nothing written into the game
    // In place: the same outputs, beside their files.
    r = runTool({"game"}, tmp.path);
    EXPECT_EQ(r.out, kLines);
    const auto inPlace = outputsBelow(tmp / "game");
    EXPECT_EQ(outputsBelow(tmp / "out" + S + "game"), inPlace);
    EXPECT_EQ(inPlace.count("DATA/SUB/HERO.RLE.FILES/HERO.BMP"), 1u);
    EXPECT_EQ(inPlace.count("OLD.RLE.FILES/X.RLE.FILES/X.BMP"), 0u);
    // A rerun over the tool's own outputs: the same lines, no new failure.
    EXPECT_EQ(runTool({"game"}, tmp.path).out, kLines);
    // A file argument lands under --output by its own name; two that would
    // share an output folder: the later fails, naming the earlier.
    r = runTool({"-o", "single", "game/DATA/HERO.RLE", "game/DATA/SUB/HERO.RLE"}, tmp.path);
    EXPECT_EQ(r.out, "HERO.RLE\tDONE!\nHERO.RLE\tFAILED!\n\n");
    EXPECT_EQ(r.err, "game/DATA/SUB/HERO.RLE: its outputs would go to single/HERO.RLE.FILES, as those of "
                         "game/DATA/HERO.RLE, given before it\n");
    EXPECT_TRUE(isDir(tmp / "single" + S + "HERO.RLE.FILES"));
}

TEST(Workflow, AModFolderHoldsJustTheEditedFilesUnderTheirNames)
{
    TempDir tmp;
    writeGame(tmp / "game");
    ASSERT_EQ(runTool({"-o", "out", "game"}, tmp.path).out, kLines);
    // Edit one picture (pixels of the top row) and one script (a frame number).
    const std::string image = tmp / "out/game/DATA/HERO.RLE.FILES/HERO.BMP";
    ByteList bmp = readFile(image);
    bmp[1078 + 4] = bmp[1078 + 5] = 40;  // rows are stored bottom first: this is the top row
    writeFile(image, bmp);
    const std::string script = tmp / "out/game/WALK.ANM.FILES/WALK.ANM";
    std::string text = readText(script);
    text.replace(text.find("FRAME 1"), 7, "FRAME 2");
    writeFile(script, ByteList(text.begin(), text.end()));

    RunResult r = runTool({"-e", "out", "-o", "mod", "game"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "game/A.WAD\tDONE!\ngame/DATA/HERO.RLE\tDONE!\ngame/DATA/SUB/HERO.RLE\tDONE!\n"
                     "game/WALK.ANM\tDONE!\n\n");
    EXPECT_EQ(listTree(tmp / "mod"), (std::vector<std::string>{"game/DATA/HERO.RLE", "game/WALK.ANM"}));
    ASSERT_EQ(runTool({"-o", "check", "mod"}, tmp.path).out, "mod/game/DATA/HERO.RLE\tDONE!\nmod/game/WALK.ANM\tDONE!\n\n");
    BmpImage edited, rebuilt;
    ASSERT_TRUE(readBmp(image, edited));
    ASSERT_TRUE(readBmp(tmp / "check/mod/game/DATA/HERO.RLE.FILES/HERO.BMP", rebuilt));
    EXPECT_EQ(rebuilt.pixels, edited.pixels);
    EXPECT_EQ(readText(tmp / "check/mod/game/WALK.ANM.FILES/WALK.ANM"), text);
    // The script's edit undone: its rebuild is the original again, and the
    // mod file made for the edit goes.
    ASSERT_EQ(runTool({"-o", "fresh", "game"}, tmp.path).status, 3);  // DAMAGED.RLE fails
    writeFile(script, readFile(tmp / "fresh/game/WALK.ANM.FILES/WALK.ANM"));
    r = runTool({"-e", "out", "-o", "mod", "game"}, tmp.path, packerPath());
    EXPECT_NE(r.err.find("mod/game/WALK.ANM: note: removed: the rebuild is now the original, byte for byte\n"),
              std::string::npos) << r.err;
    EXPECT_EQ(listTree(tmp / "mod"), (std::vector<std::string>{"game/DATA/HERO.RLE"}));
}

TEST(Workflow, TheLinesAndOutputsAreTheSameWhateverTheWorkers)
{
    TempDir tmp;
    writeGame(tmp / "one" + S + "game");
    writeGame(tmp / "four" + S + "game");
    const RunResult one = runTool({"-j", "1", "game"}, tmp / "one");
    const RunResult four = runTool({"--jobs=4", "game"}, tmp / "four");
    EXPECT_EQ(one.out, kLines);
    EXPECT_EQ(four.out, one.out);
    EXPECT_EQ(four.err, one.err);
    EXPECT_NE(one.err, "");
    EXPECT_EQ(snapshot(tmp / "four"), snapshot(tmp / "one"));

    // One archive alone: its entries are shared between the workers, and
    // every note (-v: one for each name given) still comes in entry order.
    std::vector<WadEntry> entries;
    for (int i = 0; i < 300; i++)
        entries.push_back(WadEntry{numberedName(i % 7 ? "E" : "B?D", size_t(i), ".PIC"), 2, 2, unsigned(i % 9 ? 0 : 5),
                                   false, {{1, 2}, {3, 4}}});
    const ByteList wad = wadFile({{"P.PAL", rampPalette565()}}, entries);
    writeFile(tmp / "one" + S + "BIG.WAD", wad);
    writeFile(tmp / "four" + S + "BIG.WAD", wad);
    const RunResult alone = runTool({"-v", "-j1", "BIG.WAD"}, tmp / "one"),
                    shared = runTool({"-v", "-j4", "BIG.WAD"}, tmp / "four");
    EXPECT_EQ(alone.out, "BIG.WAD\tFAILED!\n\n");  // entries that name a palette the archive lacks
    EXPECT_EQ(shared.out, alone.out);
    EXPECT_EQ(shared.err, alone.err);
    EXPECT_GT(std::count(alone.err.begin(), alone.err.end(), '\n'), 60);
    EXPECT_EQ(snapshot(tmp / "four"), snapshot(tmp / "one"));
}
