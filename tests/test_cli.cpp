// Classification and dispatch, through the real program with standard input closed.
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

#include "support/files.h"
#include "support/fixtures.h"

namespace {
void touch(const std::string& path) { writeFile(path, {1, 2, 3}); }
void mkdir(const std::string& path) { makeDirectories(path); }
}  // namespace

TEST(Cli, NoArgumentPrintsUsageOnStandardErrorAndExitsOne)
{
    TempDir tmp;
    RunResult r = runTool({}, tmp.path);
    EXPECT_EQ(r.status, 1);
#ifdef _WIN32
    EXPECT_EQ(r.err, "USAGE: assetdump.exe <filename> [<filename> ...]\n");
#else
    EXPECT_EQ(r.err, "USAGE: assetdump <filename> [<filename> ...]\n");
#endif
    EXPECT_EQ(r.out, "\n");
}

TEST(Cli, HelpAndVersionStandAloneAndEveryOtherArgumentIsAPath)
{
    TempDir tmp;
    std::vector<std::vector<std::string>> helps = {{"--help"}, {"-h"}};
#ifdef _WIN32
    helps.push_back({"/?"});
#endif
    for (const auto& args : helps) {
        RunResult r = runTool(args, tmp.path);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.out.rfind("USAGE: assetdump <filename> [<filename> ...]\n", 0), 0u) << args[0];
        for (const char* type : {"RLE", "RLC", "ARLC", "WAD", "FNT", "FNC", "FNM", "SEC", "ZOM", "ANM", "INFO.TXT"})
            EXPECT_NE(r.out.find(type), std::string::npos) << type;
        EXPECT_EQ(r.err, "");
    }
    RunResult r = runTool({"--version"}, tmp.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "assetdump " ASSETDUMP_VERSION "\n");

    // Not alone, or not an option: a path like any other.
    writeFile(tmp / "-x.RLE", rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable()));
    r = runTool({"--help", "-x.RLE"}, tmp.path);
    EXPECT_EQ(r.out, "--help\tFAILED!\n-x.RLE\tDONE!\n\n");
}

#ifndef _WIN32
TEST(Cli, NeverWaitsWhenStandardInputIsAnIdlePipe)
{
    // A pipe that stays open but never delivers a key: the run must end by
    // itself (timeout's exit status 124 would mean it waited).
    TempDir tmp;
    ASSERT_EQ(mkfifo((tmp / "keys").c_str(), 0600), 0);
    std::string command = "cd '" + tmp.path + "' && timeout 10 '" + toolPath() + "' missing.rle <>keys >/dev/null";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST(Cli, EveryArgumentGetsOneLineInOrderAndEveryFailureAReason)
{
    TempDir tmp;
    touch(tmp / "bad.rle");
    touch(tmp / "notes.txt");
    writeFile(tmp / "cut.rlc", rlcFile(4, 4, {rlcPair(4, {})}, rampPalette565()));  // one record of four
    std::vector<uint8_t> magic(600, 0);
    writeFile(tmp / "magic.rlc", magic);
    mkdir(tmp / "d.RLE.FILES");
    mkdir(tmp / "folder");
    RunResult r = runTool({"bad.rle", "missing.wad", "notes.txt", "cut.rlc", "magic.rlc", "d.RLE.FILES", "folder"},
                          tmp.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "bad.rle\tFAILED!\nmissing.wad\tFAILED!\nnotes.txt\tFAILED!\ncut.rlc\tFAILED!\n"
                     "magic.rlc\tFAILED!\nd.RLE.FILES\tFAILED!\nfolder\tFAILED!\n\n");
    EXPECT_EQ(r.err,
              "bad.rle: too short for an RLE sprite: 3 bytes, at least 1095 needed\n"
              "missing.wad: No such file or directory\n"
              "notes.txt: unknown file type: the name does not end in WAD, SEC, RLE, RLC, ARLC, ZOM, FNT, FNC, FNM "
              "or ANM\n"
              "cut.rlc: the data ends before row record 1 is complete\n"
              "magic.rlc: not an RLC sprite: it does not start with \"rlc \"\n"
              "d.RLE.FILES: an output folder: only the folders of WAD archives are listed\n"
              "folder: a folder, not a file: give a file whose name ends in WAD, SEC, RLE, RLC, ARLC, ZOM, FNT, "
              "FNC, FNM or ANM\n");
}

TEST(Cli, PathsWithSlashesAndNamesBeyondAsciiConvertAlike)
{
    // A forward slash separates on every platform, a backslash on Windows
    // too; names outside the system code page work everywhere.
    TempDir tmp;
    const std::string japan = "\u65E5\u672C", summer = "\u00C9T\u00C9.RLE";  // 日本, ÉTÉ.RLE
    mkdir(tmp / "sub");
    mkdir(tmp / japan);
    const ByteList sprite = rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable());
    writeFile(tmp / "sub" + std::string(1, pathSeparator()) + "HERO.RLE", sprite);
    writeFile(tmp / japan + std::string(1, pathSeparator()) + summer, sprite);
    std::vector<std::string> args = {"sub/HERO.RLE", japan + "/" + summer};
#ifdef _WIN32
    args.push_back("sub\\HERO.RLE");
#endif
    RunResult r = runTool(args, tmp.path);
    std::string expected = "HERO.RLE\tDONE!\n" + summer + "\tDONE!\n";
#ifdef _WIN32
    expected += "HERO.RLE\tDONE!\n";
#endif
    EXPECT_EQ(r.out, expected + "\n") << r.err;
    EXPECT_EQ(listTree(tmp.path),
              (std::vector<std::string>{"sub/HERO.RLE", "sub/HERO.RLE.FILES/HERO.BMP", "sub/HERO.RLE.FILES/HERO.MASK.BMP",
                                        japan + "/" + summer, japan + "/" + summer + ".FILES/\u00C9T\u00C9.BMP",
                                        japan + "/" + summer + ".FILES/\u00C9T\u00C9.MASK.BMP"}));
}

#ifndef _WIN32
TEST(Cli, WaitsForAKeyOnlyWhenInputAndOutputAreBothTerminals)
{
    TempDir tmp;
    // Output into a pipe or file, input at a terminal: no prompt, no wait.
    RunResult r = runToolWith({"missing.rle"}, tmp.path, RunLimits{.timeoutSeconds = 10, .terminal = 1});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "missing.rle\tFAILED!\n\n");
    // A person at a terminal: the prompt, and the run ends at a key.
    r = runToolWith({"missing.rle"}, tmp.path, RunLimits{.timeoutSeconds = 10, .terminal = 2, .keys = "x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Press any key to continue . . ."), std::string::npos) << r.out;
}
#endif

TEST(Cli, ExtensionsAreMatchedWithoutCaseAndWithoutTheDot)
{
    TempDir tmp;
    // Three-byte files that each converter refuses: the names decide only
    // which converter runs, and every one of them fails without output.
    for (const char* name : {"x.wad", "x.Wad", "XXWAD", "A.WAD", "a.sec", "a.rle", "a.RLC", "xa.rlc", "b.zom",
                             "b.fnt", "b.fnc", "b.fnm", "b.anm"})
        touch(tmp / name);
    RunResult r = runTool({"x.wad", "x.Wad", "XXWAD", "A.WAD"}, tmp.path);
    EXPECT_EQ(r.out, "x.wad\tFAILED!\nx.Wad\tFAILED!\nXXWAD\tFAILED!\nA.WAD\tFAILED!\n\n");
    // Every converter creates its output directory only after its checks:
    // none exists, and none was made for the too-short names either.
    for (const char* name : {"x.wad", "XXWAD", "A.WAD"})
        EXPECT_FALSE(exists(tmp / (std::string(name) + ".FILES")));
}

TEST(Cli, ArlcNeedsTheLetterBeforeTheExtension)
{
    TempDir tmp;
    // A valid ARLC file: "rlc" and more than 16 bytes. An RLC converter
    // would refuse it (under 528 bytes), so DONE! shows which one ran.
    std::vector<uint8_t> arlc(17, 0);
    arlc[0] = 'r'; arlc[1] = 'l'; arlc[2] = 'c';
    for (const char* name : {"x.ARLC", "x.arlc", "xa.rlc", "x.RLC", "xARLC"})
        writeFile(tmp / name, arlc);
    RunResult r = runTool({"x.ARLC", "x.arlc", "xa.rlc", "x.RLC", "xARLC"}, tmp.path);
    EXPECT_EQ(r.out, "x.ARLC\tDONE!\nx.arlc\tDONE!\nxa.rlc\tFAILED!\nx.RLC\tFAILED!\nxARLC\tDONE!\n\n");
}

TEST(Cli, TooShortNamesAreNotClassified)
{
    TempDir tmp;
    std::vector<uint8_t> arlc(17, 0);
    arlc[0] = 'r'; arlc[1] = 'l'; arlc[2] = 'c';
    // ".WAD" and "WAD" are four and three characters: never a kind. "ARLC"
    // is exactly four: too short as well, although it would convert.
    writeFile(tmp / "ARLC", arlc);
    writeFile(tmp / "xARLC", arlc);
    RunResult r = runTool({"ARLC", "xARLC"}, tmp.path);
    EXPECT_EQ(r.out, "ARLC\tFAILED!\nxARLC\tDONE!\n\n");
}

TEST(Cli, OnlyWadDirectoriesHaveAHandler)
{
    TempDir tmp;
    const std::vector<std::string> dirs = {"d.WAD.FILES", "d.wad.files", "d.SEC.FILES", "d.RLE.FILES", "d.RLC.FILES",
                                           "d.ARLC.FILES", "d.ZOM.FILES", "d.FNT.FILES", "d.FNC.FILES", "d.FNM.FILES",
                                           "d.ANM.FILES", "WAD.FILES", "a.WAD", "XWAD.FILES",
                                           "XXWAD.FILES"};
    for (const std::string& d : dirs)
        mkdir(tmp / d);
    touch(tmp / "d.WAD.FILES" + std::string(1, pathSeparator()) + "HERO.BMP");
    RunResult r = runTool(dirs, tmp.path);
    std::string expected;
    for (const std::string& d : dirs) {
        // More than four characters must stand before ".FILES".
        bool listed = d == "d.WAD.FILES" || d == "d.wad.files" || d == "XXWAD.FILES";
        expected += d + (listed ? "\tDONE!\n" : "\tFAILED!\n");
    }
    // The listing comes before its result line; strip the listed names.
    std::string lines;
    size_t at = 0;
    while (at < r.out.size()) {
        size_t end = r.out.find('\n', at);
        std::string line = r.out.substr(at, end - at + 1);
        if (line.find('\t') != std::string::npos || line == "\n")
            lines += line;
        at = end + 1;
    }
    EXPECT_EQ(lines, expected + "\n");
    size_t listing = r.out.find("HERO.BMP\n"), result = r.out.find("d.WAD.FILES\tDONE!\n");
    EXPECT_LT(listing, result);
    EXPECT_EQ(r.status, 0);
}
