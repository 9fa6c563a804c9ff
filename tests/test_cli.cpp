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
    EXPECT_EQ(r.err, "USAGE: assetdump.exe <filename> [<filename> ...]\n"
                     "Try 'assetdump.exe --help' for more information.\n");
#else
    EXPECT_EQ(r.err, "USAGE: assetdump <filename> [<filename> ...]\nTry 'assetdump --help' for more information.\n");
#endif
    EXPECT_EQ(r.out, "\n");  // the usage line's empty line, as it always was
}

// The options: anywhere before "--", which ends them; abbreviations and
// suggestions as getopt_long; a usage error converts nothing and prints
// nothing on standard output; the exit status tells failures.
TEST(Cli, OptionsAsGnuToolsHaveThem)
{
    TempDir tmp;
    writeFile(tmp / "HERO.RLE", rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable()));
    writeFile(tmp / "-x.RLE", rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable()));
#ifdef _WIN32
    const std::string self = "assetdump.exe";
#else
    const std::string self = "assetdump";
#endif
    const std::string usage = "USAGE: " + self + " <filename> [<filename> ...]\n";
    const std::string help = "USAGE: assetdump <filename> [<filename> ...]\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;  // its start
        std::string err;
        std::vector<std::string> made;  // output folders that must exist afterwards
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0, help, "", {}},
        {{"-h", "HERO.RLE"}, 0, help, "", {}},
        {{"--version"}, 0, "assetdump " ASSETDUMP_VERSION "\n", "", {}},
        {{"-y", "HERO.RLE"}, 1, "", usage + "unknown option -y; try '" + self + " --help'\n", {}},
        {{"-x.RLE"}, 1, "", usage + "unknown option -x; try '" + self + " --help'\n", {}},
        {{"-qx", "HERO.RLE"}, 1, "", usage + "unknown option -x in -qx; try '" + self + " --help'\n", {}},
        {{"-e", "d", "HERO.RLE"}, 1, "", usage + "unknown option -e; try '" + self + " --help'\n", {}},
        {{"-o"}, 1, "", usage + "option -o needs a value; try '" + self + " --help'\n", {}},
        {{"--jobs=0", "HERO.RLE"}, 1, "",
         usage + "option --jobs needs a number of workers from 1 to 256, not 0; try '" + self + " --help'\n", {}},
        {{"--jobs=", "HERO.RLE"}, 1, "",
         usage + "option --jobs needs a number of workers from 1 to 256; try '" + self + " --help'\n", {}},
        {{"--ouput", "out", "HERO.RLE"}, 1, "",
         usage + "unknown option --ouput; did you mean --output?; try '" + self + " --help'\n", {}},
        {{"HERO.RLE", "--bogus"}, 1, "", usage + "unknown option --bogus; try '" + self + " --help'\n", {}},
        {{"--help=yes"}, 1, "", usage + "option --help takes no value; try '" + self + " --help'\n", {}},
        {{"-o", "out"}, 1, "\n", usage + "Try '" + self + " --help' for more information.\n", {}},
        {{"--", "-x.RLE"}, 0, "-x.RLE\tDONE!\n\n", "", {"-x.RLE.FILES"}},
        {{"-o", "a", "HERO.RLE"}, 0, "HERO.RLE\tDONE!\n\n", "", {"a/HERO.RLE.FILES"}},
        {{"-ob", "-j", "1", "HERO.RLE"}, 0, "HERO.RLE\tDONE!\n\n", "", {"b/HERO.RLE.FILES"}},
        {{"--output=c/d", "--jobs=3", "HERO.RLE"}, 0, "HERO.RLE\tDONE!\n\n", "", {"c/d/HERO.RLE.FILES"}},
        {{"--output", "e", "-j2", "--", "-x.RLE"}, 0, "-x.RLE\tDONE!\n\n", "", {"e/-x.RLE.FILES"}},
        // Short options bundled, a value taken from the rest or the next argument.
        {{"-qfj4", "HERO.RLE"}, 0, "HERO.RLE\tDONE!\n\n", "", {"HERO.RLE.FILES"}},
        {{"-fqo", "h", "HERO.RLE"}, 0, "HERO.RLE\tDONE!\n\n", "", {"h/HERO.RLE.FILES"}},
        // Options after the paths, and abbreviated: as before them.
        {{"HERO.RLE", "-o", "f"}, 0, "HERO.RLE\tDONE!\n\n", "", {"f/HERO.RLE.FILES"}},
        {{"HERO.RLE", "--out=g", "--jo", "1"}, 0, "HERO.RLE\tDONE!\n\n", "", {"g/HERO.RLE.FILES"}},
        // A file that fails: status 3; its line and its reason as ever.
        {{"HERO.RLE", "NOPE.RLE"}, 3, "HERO.RLE\tDONE!\nNOPE.RLE\tFAILED!\n\n", "NOPE.RLE: No such file or directory\n",
         {"HERO.RLE.FILES"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const RunResult r = runTool(c.args, tmp.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        EXPECT_EQ(r.err, c.err);
        for (const std::string& folder : c.made)
            EXPECT_TRUE(isDir(tmp / folder)) << folder;
        if (c.status == 1) {
            EXPECT_EQ(r.out, c.out);
            EXPECT_EQ(listTree(tmp.path), (std::vector<std::string>{"-x.RLE", "HERO.RLE"}));  // nothing converted
        }
        std::filesystem::remove_all(std::filesystem::path(tmp.path) / "HERO.RLE.FILES");
    }
    // The help lists every option, and so does the packer's (with --edits).
    const RunResult dumpHelp = runTool({"--help"}, tmp.path), packHelp = runTool({"--help"}, tmp.path, packerPath());
    for (const char* option : {"--output", "--jobs", "--help", "--version", "-o,", "-j,"}) {
        EXPECT_NE(dumpHelp.out.find(option), std::string::npos) << option;
        EXPECT_NE(packHelp.out.find(option), std::string::npos) << option;
    }
    EXPECT_NE(packHelp.out.find("--edits"), std::string::npos);
    for (const char* type : {"RLE", "RLC", "ARLC", "WAD", "FNT", "FNC", "FNM", "SEC", "ZOM", "ANM", "INFO.TXT"})
        EXPECT_NE(dumpHelp.out.find(type), std::string::npos) << type;
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
    EXPECT_EQ(WEXITSTATUS(status), 3);  // the file failed; the run did not wait
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
    EXPECT_EQ(r.status, 3);
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
              "folder: nothing to convert: no file below it has a name ending in WAD, SEC, RLE, RLC, ARLC, ZOM, "
              "FNT, FNC, FNM or ANM\n");
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
TEST(Cli, WaitsForAKeyOnlyWhenAsked)
{
    TempDir tmp;
    struct Case {
        const char* what;
        RunLimits limits;
        std::vector<std::string> args;
        bool waits;
    };
    // bash -c replaces itself with the tool, which then leads its session
    // on the terminal exactly as in a window opened for it alone.
    const std::string command = "exec '" + toolPath() + "' missing.rle";
    const RunLimits window{.timeoutSeconds = 10, .terminal = 2, .keys = "x", .ownSession = true};
    const std::vector<Case> cases = {
        {"a window of its own", window, {"missing.rle"}, false},
        {"started by a shell that replaced itself", RunLimits{.program = "/bin/bash", .timeoutSeconds = 10,
                                                              .terminal = 2, .ownSession = true},
         {"-c", command}, false},
        {"started from a shell's session", RunLimits{.timeoutSeconds = 10, .terminal = 2}, {"missing.rle"}, false},
        {"--pause in a window", window, {"--pause", "missing.rle"}, true},
        // The prompt is on the terminal, never in redirected output.
        {"--pause, output into a file", RunLimits{.timeoutSeconds = 10, .terminal = 1, .keys = "x", .ownSession = true},
         {"--pause", "missing.rle"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunResult r = runToolWith(c.args, tmp.path, c.limits);
        EXPECT_EQ(r.status, 3);  // never killed for waiting; the file failed
        EXPECT_NE(r.out.find("missing.rle\tFAILED!"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Press any key to continue . . .") != std::string::npos, c.waits) << r.out;
    }
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
    EXPECT_EQ(r.status, 3);
}

// A failure names the path it concerns and the system's reason for the step
// that failed; a file of another format is not taken for a damaged one.
TEST(Cli, ReasonsPointAtWhatFailed)
{
    TempDir tmp;
    const ByteList sprite = rleFile(2, 1, {rleLiteral({10, 11})}, sampleColourTable());
    writeFile(tmp / "HERO.RLE", sprite);
    writeFile(tmp / "X.WAD", [&] {
        ByteList big = sprite;
        big.resize(2048, 0);
        return big;
    }());
    writeFile(tmp / "afile", {1});
    makeDirectories(tmp / "empty");
    makeDirectories(tmp / "game");
    makeDirectories(tmp / "work/other");
    writeFile(tmp / "game/HERO.RLE", sprite);
    makeDirectories(tmp / "HERO.RLE.FILES");
    struct Case {
        std::vector<std::string> args;
        bool packer;
        int status;
        std::string err;  // a piece of standard error
    };
    const std::vector<Case> cases = {
        {{"-o", "afile", "HERO.RLE"}, false, 3, "cannot make the output folder: afile: Not a directory"},
        {{"-o", "afile/sub", "HERO.RLE"}, false, 3, "cannot make the output folder: afile: Not a directory"},
        {{"X.WAD"}, false, 3, "X.WAD: not a WAD archive: it starts as an RLE sprite or a BMP picture does"},
        {{"-e", "wrk", "HERO.RLE"}, true, 1, "-e wrk: no such folder"},
        {{"-e", "empty", "HERO.RLE"}, true, 1, "-e empty: the folder is empty"},
        // Where the edits were looked for, and the -e that may be missing.
        {{"-o", "mod", "game"}, true, 3,
         "game: nothing to put back: no file below it has a .FILES folder beside it (converted with --output DIR? "
         "then give -e DIR)"},
        {{"-e", "work", "game"}, true, 3, "game: nothing to put back: no file below it has a .FILES folder in work/game"},
        {{"-o", "mod", "HERO.RLE"}, true, 0,
         "assetpack: note: the edits are read from the FILE.FILES folders beside the files, as no -e was given"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        const RunResult r = runTool(c.args, tmp.path, c.packer ? packerPath() : toolPath());
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

TEST(Cli, NotesAreLabelledSilencedByQuietAndDetailedByVerbose)
{
    TempDir tmp;
    // Two palettes without names: each is written under a name of its own.
    writeFile(tmp / "G.WAD", wadFile({{"", rampPalette565()}, {"", rampPalette565()}},
                                     {WadEntry{"A.PIC", 2, 2, 0, false, {{1, 2}, {3, 4}}},
                                      WadEntry{"B.PIC", 2, 2, 1, false, {{1, 2}, {3, 4}}}}));
    const std::string twoNotes = "G.WAD: note: 2 outputs are written under names of their own (-v names each), the "
                                 "first: palette 0 \"\" is written as ~0.PAL\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"G.WAD"}, twoNotes},
        {{"-q", "G.WAD"}, ""},
        {{"-v", "-q", "G.WAD"}, ""},  // the last of the two holds
        {{"G.WAD", "--verbose"},
         "wrote G.WAD.FILES/~0.PAL\nwrote G.WAD.FILES/~1.PAL\nwrote G.WAD.FILES/A.BMP\nwrote G.WAD.FILES/B.BMP\n"
         "G.WAD: note: palette 0 \"\" is written as ~0.PAL\nG.WAD: note: palette 1 \"\" is written as ~1.PAL\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        std::filesystem::remove_all(std::filesystem::path(tmp.path) / "G.WAD.FILES");
        const RunResult r = runTool(c.args, tmp.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, c.err);
    }
    // assetpack -v: which outputs were edited, and a rebuild that is its original.
    const RunResult same = runTool({"-v", "G.WAD"}, tmp.path, packerPath());
    EXPECT_NE(same.err.find("G.packed.WAD: not written: the rebuild is the original, byte for byte"),
              std::string::npos) << same.err;
    ByteList picture = readFile(tmp / "G.WAD.FILES/B.BMP");
    picture.back() ^= 1;
    writeFile(tmp / "G.WAD.FILES/B.BMP", picture);
    const RunResult edited = runTool({"-v", "G.WAD"}, tmp.path, packerPath());
    EXPECT_NE(edited.err.find("G.WAD.FILES/B.BMP: edited\n"), std::string::npos) << edited.err;
    EXPECT_EQ(edited.err.find("A.BMP"), std::string::npos) << edited.err;
}
