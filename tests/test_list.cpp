// --list and --gallery through the real program: what each file holds,
// printed without a write, and the gallery's pages where the README says.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include <nlohmann/json.hpp>

#include "support/files.h"
#include "support/fixtures.h"

namespace {

void copySamples(const TempDir& dir)
{
    for (const auto& entry : std::filesystem::directory_iterator(ASSETDUMP_SAMPLES_DIR))
        std::filesystem::copy(entry.path(), std::filesystem::path(dir.path) / entry.path().filename());
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

}  // namespace

// Every type lists its items, six tab-separated columns a line, then the
// result line; a damaged file fails as its conversion would; nothing is
// written; the JSON form holds the same items.
TEST(List, EachTypeItsItemsAndNothingWritten)
{
    TempDir dir;
    copySamples(dir);
    const std::vector<std::string> before = listTree(dir.path, true);
    const RunResult run = runTool({"--list", "."}, dir.path);
    EXPECT_EQ(run.status, 3);  // DAMAGED.RLE
    EXPECT_EQ(listTree(dir.path, true), before);
    const std::vector<std::string> expected = {
        "./ARCHIVE.WAD\tfile\t-\t-\t4390\tWAD\n",
        "./ARCHIVE.WAD\tpalette\t0\tSUNSET.ACT\t-\t-\n",
        "./ARCHIVE.WAD\tentry\t0\tGEM.RLE\t25x25\tpalette 0, run-length\n",
        "./ARCHIVE.WAD\tentry\t2\tTILE.BIN\t20x20\tpalette 2, raw\n",
        "./ARCHIVE.WAD\tDONE!\n",
        "./CITY.ZOM\tpicture\t2\t-\t21x21\t-\n",
        "./DAMAGED.RLE\tfile\t-\t-\t2077\tRLE\n",
        "./DAMAGED.RLE\tFAILED!\n",
        "./GOLD.FNC\tvalues\t0\t-\t4\tvalues, variant 2, font height 8, extra value 0, glyph value 1\n",
        "./GOLD.FNC\tglyph\t0\tA\t6x8\tcode 65\n",
        "./HERO.RLE\tsprite\t0\t-\t40x40\t115 colours\n",
        "./ICON.ARLC\tsprite\t0\t-\t4x4\tchecked only: its pixels are not read\n",
        "./INK.FNM\tglyph\t35\t9\t6x8\tcode 57\n",
        "./LETTERS.FNT\tglyph\t0\t-\t3x8\tcode 32, metrics 0 0 0\n",
        "./LEVEL.SEC\ttable\t0\tpoints\t3\tpoints\n",
        "./LEVEL.SEC\tlist\t0\tPATROL\t3\tpairs\n",
        "./SHIP.RLC\tsprite\t0\t-\t48x20\t13 colours\n",
        "./WALK.ANM\tsequence\t0\tWALK\t2\tframes, SEQUENCE\n",
    };
    for (const std::string& line : expected)
        EXPECT_NE(run.out.find(line), std::string::npos) << line;
    EXPECT_NE(run.err.find("DAMAGED.RLE: the data ends before row 29"), std::string::npos) << run.err;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line) && !line.empty();)
        EXPECT_TRUE(count(line, "\t") == 5 || line.ends_with("\tDONE!") || line.ends_with("\tFAILED!")) << line;

    const RunResult json = runTool({"-l", "--json", "."}, dir.path);
    EXPECT_EQ(json.status, 3);
    const nlohmann::json document = nlohmann::json::parse(json.out);
    ASSERT_EQ(document["files"].size(), 11u);
    for (const auto& file : document["files"]) {
        const std::string path = file["path"];
        EXPECT_EQ(file["items"].size(), count(run.out, path + "\t") - count(run.out, path + "\tfile\t") - 1) << path;
        EXPECT_EQ(file["result"], path == "./DAMAGED.RLE" ? "FAILED!" : "DONE!");
        EXPECT_EQ(file.contains("reason"), path == "./DAMAGED.RLE");
    }
    EXPECT_EQ(document["files"][0]["items"][3]["palette"], 0);
    EXPECT_EQ(document["files"][4]["items"][0]["colours"], 115);
}

// What --list cannot go with, and the program that has no --list.
TEST(List, OptionsThatCannotGoWithIt)
{
    TempDir dir;
    writeFile(dir / "HERO.RLE", rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable()));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--json", "HERO.RLE"}, {"-l", "--gallery", "HERO.RLE"}, {"-ln", "HERO.RLE"},
          {"-l", "-f", "HERO.RLE"}}) {
        const RunResult run = runTool(args, dir.path);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(runTool({"-l", "HERO.RLE"}, dir.path, packerPath()).status, 1);
    EXPECT_FALSE(exists(dir / "HERO.RLE.FILES"));
}

// The gallery goes to the -o folder (./assetdump-gallery without one),
// replaces only its own pages, keeps an index.html it did not write, and is
// written from what is on disk when nothing changed; names stay text.
TEST(Gallery, WhereItGoesAndWhatItReplaces)
{
    TempDir dir;
    writeFile(dir / "HERO.RLE", rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable()));
    WadEntry markup{"<img src=x onerror=alert(1)>", 8, 4, 0, false, {ByteList(8, 3), ByteList(8, 4), ByteList(8, 5), ByteList(8, 6)}};
    writeFile(dir / "A.WAD", wadFile({{"P.ACT", rampPalette565()}}, {markup}));

    RunResult run = runTool({"-o", "out", "--gallery", "HERO.RLE", "A.WAD"}, dir.path);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string index = readText(dir / "out/index.html");
    EXPECT_NE(index.find("href=\"index.pages/1.html\">HERO.RLE</a>"), std::string::npos) << index;
    const std::string page = readText(dir / "out/index.pages/2.html");
    EXPECT_NE(page.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    // Every picture and link below the gallery's folder, none outside it.
    const std::regex reference("(src|href)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), reference); it != std::sregex_iterator(); ++it) {
        const std::string target = (*it)[2];
        EXPECT_TRUE(target.starts_with("../A.WAD.FILES/") || target == "../index.html" || target == "gallery.css" ||
                    target == "1.html")
            << target;
    }

    // Unchanged: the pages come from what is on disk; one file fewer: its page goes.
    writeFile(dir / "out/index.pages/notes.txt", {'x'});
    run = runTool({"-o", "out", "--gallery", "A.WAD"}, dir.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(readText(dir / "out/index.pages/1.html").find("&lt;img src=x"), std::string::npos);
    EXPECT_FALSE(exists(dir / "out/index.pages/2.html"));
    EXPECT_TRUE(exists(dir / "out/index.pages/notes.txt"));

    // A dry run writes none; an index.html of someone else's is kept.
    std::filesystem::remove_all(std::filesystem::path(dir.path) / "out");
    EXPECT_EQ(runTool({"-n", "-o", "out", "--gallery", "A.WAD"}, dir.path).status, 0);
    EXPECT_FALSE(exists(dir / "out"));
    makeDirectories(dir / "mine");
    writeFile(dir / "mine/index.html", {'h', 'i'});
    run = runTool({"-o", "mine", "--gallery", "A.WAD"}, dir.path);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("index.html: is not a gallery this tool wrote"), std::string::npos) << run.err;
    EXPECT_EQ(readText(dir / "mine/index.html"), "hi");

    run = runTool({"--gallery", "HERO.RLE"}, dir.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(readText(dir / "assetdump-gallery/index.pages/1.html").find("src=\"../../HERO.RLE.FILES/HERO.BMP\""),
              std::string::npos);
}
