// What DONE! and FAILED! promise, tested where each mechanism lives: the
// shared output layer and the front end, mostly through the real program in
// a hostile environment (full disk, links, closed streams, a vanished reader).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "common/source.h"
#include "store/outputs.h"
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
    // A backslash is escaped too: a\tb.RLE (a real backslash) never prints as a<TAB>b.RLE does.
    const std::vector<std::string> names = {"a\tb.RLE", "a\\tb.RLE", "c\nd.RLE", std::string("e\x01\r.RLE")};
    for (const std::string& name : names)
        writeFile(tmp / name, sprite(2, 2, 1));
    RunResult r = runTool(names, tmp.path);
    EXPECT_EQ(r.out, "a\\tb.RLE\tDONE!\na\\\\tb.RLE\tDONE!\nc\\nd.RLE\tDONE!\ne\\x01\\r.RLE\tDONE!\n\n");
}
#endif

// --- A folder of the tool's own, true reasons, nothing left behind ---

#ifndef _WIN32
namespace {

bool holdsTemporary(const std::string& dir)
{
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec))
        if (entry.path().filename().string().rfind(".assetdump-", 0) == 0)
            return true;
    return false;
}

// Starts the tool, waits until a temporary shows that it writes, and
// interrupts it; its exit status, 128 + the signal when the signal ended it.
int interrupted(const std::vector<std::string>& args, const std::string& dir, const std::string& watched, int sig)
{
    const std::string program = toolPath();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        int null = open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; fd++)
            dup2(null, fd);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int raw = 0;
    for (int tries = 0; tries < 20000 && !holdsTemporary(watched); tries++)
        if (waitpid(child, &raw, WNOHANG) == child)
            return -1;  // ended before it could be interrupted
    kill(child, sig);
    waitpid(child, &raw, 0);
    return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
}

ByteList manyEntries(int count, int shade = 0)
{
    std::vector<WadEntry> entries;
    for (int i = 0; i < count; i++) {
        WadEntry e;
        e.name = numberedName("E", size_t(i), ".PIC");
        e.width = e.height = 160;
        e.rows.assign(160, ByteList(160, uint8_t(i + shade)));
        entries.push_back(e);
    }
    return wadFile({{"P.PAL", rampPalette565()}}, entries);
}

}  // namespace

TEST(Outputs, AnInterruptLeavesNoTemporaryAndEveryPlacedFileWhole)
{
    TempDir tmp;
    writeFile(tmp / "BIG.WAD", manyEntries(2000));
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        // A first conversion: its hidden folder goes; a rerun: its temporaries go.
        EXPECT_EQ(interrupted({"BIG.WAD"}, tmp.path, tmp.path, sig), 128 + sig);
        EXPECT_FALSE(holdsTemporary(tmp.path));
        EXPECT_FALSE(exists(tmp / "BIG.WAD.FILES"));
        EXPECT_FALSE(holdsTemporary(tmp / "BIG.WAD.FILES"));
        ASSERT_EQ(runTool({"BIG.WAD"}, tmp.path).out, "BIG.WAD\tDONE!\n\n");
        // A rerun writes only what changed: the archive changes, so every output does.
        writeFile(tmp / "BIG.WAD", manyEntries(2000, 1));
        EXPECT_EQ(interrupted({"BIG.WAD"}, tmp.path, tmp / "BIG.WAD.FILES", sig), 128 + sig);
        EXPECT_FALSE(holdsTemporary(tmp.path));
        EXPECT_FALSE(holdsTemporary(tmp / "BIG.WAD.FILES"));
        const std::vector<std::string> files = listTree(tmp / "BIG.WAD.FILES");
        EXPECT_EQ(files.size(), 2001u);
        for (const std::string& name : files) {
            if (name != "P.PAL") {
                ASSERT_TRUE(bmpIsWhole(tmp / "BIG.WAD.FILES" + S + name)) << name;
            }
        }
        fs::remove_all(tmp / "BIG.WAD.FILES");
        writeFile(tmp / "BIG.WAD", manyEntries(2000));
    }
}

// At a terminal, an interrupt finishes the progress line with how far the
// run got, and the status stays the signal's.
TEST(Outputs, AnInterruptAtATerminalSaysHowFarTheRunGot)
{
    TempDir tmp;
    writeFile(tmp / "BIG.WAD", manyEntries(2000));
    const std::string program = toolPath();
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(tmp.path.c_str()) != 0)
            _exit(126);
        execl(program.c_str(), program.c_str(), "BIG.WAD", static_cast<char*>(nullptr));
        _exit(127);
    }
    int raw = 0;
    for (int tries = 0; tries < 20000 && !holdsTemporary(tmp.path); tries++)
        ASSERT_NE(waitpid(child, &raw, WNOHANG), child) << "ended before it could be interrupted";
    kill(child, SIGINT);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, size_t(n));
    close(terminal);
    waitpid(child, &raw, 0);
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == SIGINT);
    EXPECT_NE(shown.find("interrupted: 0 of 1 files done"), std::string::npos) << shown;
}

TEST(Outputs, StaleTemporariesGoAndLiveOnesStay)
{
    TempDir tmp;
    writeFile(tmp / "A.RLE", sprite(4, 4, 3));
    writeFile(tmp / "B.RLE", sprite(4, 4, 3));
    fs::create_directory(tmp / "B.RLE.FILES");
    const std::string dead = ".assetdump-4000000000-0.tmp";  // no process has this number
    const std::string live = ".assetdump-" + std::to_string(getppid()) + "-7.tmp";  // the test's parent runs
    const std::string old = ".assetdump-" + std::to_string(getppid()) + "-8.tmp";
    for (const std::string& dir : {tmp.path, tmp / "B.RLE.FILES"})
        for (const std::string& name : {dead, live, old})
            writeFile(dir + S + name, {1});
    for (const std::string& dir : {tmp.path, tmp / "B.RLE.FILES"})
        fs::last_write_time(dir + S + old, fs::file_time_type::clock::now() - std::chrono::hours(25));
    fs::create_directory(tmp / ".assetdump-4000000000-1.tmp");  // a dead run's new folder
    writeFile(tmp / ".assetdump-4000000000-1.tmp" + S + "A.BMP", {1});
    // A listing never shows them.
    fs::create_directory(tmp / "X.WAD.FILES");
    writeFile(tmp / "X.WAD.FILES" + S + live, {1});
    RunResult r = runTool({"A.RLE", "B.RLE", "X.WAD.FILES"}, tmp.path);
    EXPECT_EQ(r.out, "A.RLE\tDONE!\nB.RLE\tDONE!\n.\n..\nX.WAD.FILES\tDONE!\n\n");
    for (const std::string& dir : {tmp.path, tmp / "B.RLE.FILES"}) {
        EXPECT_FALSE(exists(dir + S + dead)) << dir;
        EXPECT_FALSE(exists(dir + S + old)) << dir;
        EXPECT_TRUE(exists(dir + S + live)) << dir;
    }
    EXPECT_FALSE(exists(tmp / ".assetdump-4000000000-1.tmp"));
}

TEST(Outputs, LinksAtOutputFoldersAndRebuiltFilesAreNeverFollowed)
{
    TempDir tmp;
    fs::create_directory(tmp / "elsewhere");
    writeFile(tmp / "HERO.RLE", sprite(4, 4, 3));
    fs::create_directory_symlink(tmp / "elsewhere", tmp / "HERO.RLE.FILES");
    fs::create_symlink(tmp / "nowhere", tmp / "GONE.RLE.FILES");  // a dangling link
    writeFile(tmp / "GONE.RLE", sprite(4, 4, 3));
    RunResult r = runTool({"HERO.RLE", "GONE.RLE"}, tmp.path);
    EXPECT_EQ(r.out, "HERO.RLE\tFAILED!\nGONE.RLE\tFAILED!\n\n");
    EXPECT_EQ(r.err, "HERO.RLE.FILES: cannot make the output folder: a symbolic link has its name, and links are "
                     "never followed\n"
                     "GONE.RLE.FILES: cannot make the output folder: a symbolic link has its name, and links are "
                     "never followed\n");
    // The packer reads no edits through a link, and writes its rebuilt file through none.
    r = runTool({"HERO.RLE"}, tmp.path, packerPath());
    EXPECT_EQ(r.err, "HERO.RLE.FILES: cannot be read back: a symbolic link has its name, and links are never "
                     "followed\n");
    fs::remove(tmp / "HERO.RLE.FILES");
    ASSERT_EQ(runTool({"HERO.RLE"}, tmp.path).out, "HERO.RLE\tDONE!\n\n");
    fs::create_symlink(tmp / "elsewhere" + S + "victim", tmp / "HERO.packed.RLE");
    r = runTool({"HERO.RLE"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "HERO.RLE\tFAILED!\n\n");
    EXPECT_EQ(r.err, "HERO.packed.RLE: a symbolic link has its name, and links are never followed\n");
    EXPECT_TRUE(fs::is_empty(tmp / "elsewhere"));
    // A folder's own reason: a file where a folder on the way must be.
    writeFile(tmp / "file", {1});
    r = runTool({"-o", "file/out", "HERO.RLE"}, tmp.path);
    EXPECT_EQ(r.err, "file/out/HERO.RLE.FILES: cannot make the output folder: file: Not a directory\n");
}

TEST(Outputs, ArgumentsAsTypedRerunsKeepPermissionsAndListingsCannotForgeLines)
{
    TempDir tmp;
    writeFile(tmp / "HERO.RLE", sprite(4, 4, 3));
    writeFile(tmp / ".RLE", sprite(4, 4, 3));
    ASSERT_EQ(runTool({"HERO.RLE"}, tmp.path).status, 0);
    const std::string image = tmp / "HERO.RLE.FILES" + S + "HERO.BMP";
    fs::permissions(image, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_directory(tmp / "D.WAD.FILES");
    writeFile(tmp / "D.WAD.FILES" + S + "x\nHERO.RLE\tDONE!", {1});
    writeFile(tmp / "D.WAD.FILES" + S + "A.BMP", {1});
    RunResult r = runTool({"HERO.RLE", "./.RLE", ".RLE", "D.WAD.FILES/"}, tmp.path);
    EXPECT_EQ(r.out, "HERO.RLE\tDONE!\n.RLE\tFAILED!\n.RLE\tFAILED!\n.\n..\nA.BMP\nx\\nHERO.RLE\\tDONE!\n"
                     "D.WAD.FILES\tDONE!\n\n");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;  // the two .RLE: type unknown
    EXPECT_EQ(fs::status(image).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    r = runTool({"HERO.RLE.FILES/"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "HERO.RLE.FILES\tDONE!\n\n");
    EXPECT_FALSE(exists(tmp / "HERO.packed.RLE"));  // unedited: nothing to write
    // The output folder of every type is taken for its file.
    writeFixtureSet(tmp / "all");
    const std::vector<std::string> kinds = {"font.FNC", "font.FNM", "font.FNT", "script.ANM", "tables.SEC", "set.ZOM",
                                            "both.WAD", "pairs.RLC"};
    ASSERT_EQ(runTool(kinds, tmp / "all").status, 0);
    std::vector<std::string> folders;
    std::string lines;
    for (const std::string& k : kinds) {
        folders.push_back(k + ".FILES" + S);
        lines += k + ".FILES\tDONE!\n";
    }
    r = runTool(folders, tmp / "all", packerPath());
    EXPECT_EQ(r.out, lines + "\n") << r.err;
}

// assetpack owns only what it wrote into a mod folder: a file it did not
// write (or that changed since) is never replaced or removed, a link on the
// way is never followed, a rebuild whose edits are gone is taken back, and a
// killed run's leftovers go.
TEST(Mod, AssetpackReplacesAndRemovesOnlyWhatItWrote)
{
    TempDir tmp;
    makeDirectories(tmp / "game/DATA");
    for (const char* name : {"A", "B", "C", "E"})
        writeFile(tmp / ("game/DATA/" + std::string(name) + ".RLE"), sprite(4, 4, 3));
    ASSERT_EQ(runTool({"-o", "work", "game"}, tmp.path).out.find("FAILED!"), std::string::npos);
    auto edit = [&](const std::string& name) {
        const std::string image = tmp / ("work/game/DATA/" + name + ".RLE.FILES/" + name + ".BMP");
        ByteList bytes = readFile(image);
        ASSERT_FALSE(bytes.empty()) << image;
        bytes.back() = 4;  // one pixel to another entry of the table
        writeFile(image, bytes);
    };
    for (const char* name : {"A", "B", "C", "E"})
        edit(name);
    const std::string data = tmp / "mod/game/DATA";
    RunResult r = runTool({"-e", "work", "-o", "mod", "game"}, tmp.path, packerPath());
    ASSERT_EQ(r.out, "game/DATA/A.RLE\tDONE!\ngame/DATA/B.RLE\tDONE!\ngame/DATA/C.RLE\tDONE!\ngame/DATA/E.RLE\tDONE!\n\n");
    const ByteList packedA = readFile(data + S + "A.RLE");
    const auto packedAt = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(data + S + "A.RLE", packedAt);  // packed again unchanged: not rewritten

    writeFile(data + S + "B.RLE", {'h', 'a', 'n', 'd'});  // made by hand
    ByteList changed = readFile(data + S + "C.RLE");
    changed.back() ^= 1;  // edited after packing
    writeFile(data + S + "C.RLE", changed);
    fs::remove_all(tmp / "work/game/DATA/E.RLE.FILES");  // an edit dropped
    const std::string leftover = data + S + ".assetdump-1234567890123456789-5.tmp";  // a killed pack's
    writeFile(leftover, ByteList(100, 1));
    r = runTool({"-e", "work", "-o", "mod", "game"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "game/DATA/A.RLE\tDONE!\ngame/DATA/B.RLE\tFAILED!\ngame/DATA/C.RLE\tFAILED!\n"
                     "game/DATA/E.RLE\tDONE!\n\n");
    EXPECT_NE(r.err.find("DATA/B.RLE: not written by assetpack"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("DATA/C.RLE: not written by assetpack"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("DATA/E.RLE: note: removed: E.RLE.FILES is gone"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(data + S + "B.RLE"), (ByteList{'h', 'a', 'n', 'd'}));
    EXPECT_EQ(readFile(data + S + "C.RLE"), changed);
    EXPECT_EQ(readFile(data + S + "A.RLE"), packedA);
    EXPECT_EQ(fs::last_write_time(data + S + "A.RLE"), packedAt);
    EXPECT_FALSE(exists(data + S + "E.RLE"));
    EXPECT_FALSE(exists(leftover));

    // A link in the chain: neither written nor removed through.
    fs::create_directory(tmp / "precious");
    writeFile(tmp / "precious/A.RLE", {'k', 'e', 'e', 'p'});
    fs::rename(data, tmp / "moved");
    fs::create_directory_symlink("../../precious", data);
    r = runTool({"-e", "work", "-o", "mod", "game/DATA/A.RLE"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "A.RLE\tFAILED!\n\n");
    fs::remove_all(tmp / "work/game/DATA/A.RLE.FILES");
    r = runTool({"-e", "work", "-o", "mod", "game/DATA/A.RLE"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "A.RLE\tFAILED!\n\n");
    EXPECT_EQ(readFile(tmp / "precious/A.RLE"), (ByteList{'k', 'e', 'e', 'p'}));
}

// Every file of a known type in a walk gets a line: a dangling link, a FIFO,
// a folder that cannot be entered and a path beyond the system's length
// fail with their reasons; a folder that becomes a link is never written
// through.
TEST(Walk, EveryFileOfAKnownTypeGetsALineAndNoLinkIsFollowed)
{
    TempDir tmp;
    fs::create_directories(tmp / "game/LOCKED");
    writeFile(tmp / "game/A.RLE", sprite(2, 2, 1));
    writeFile(tmp / "game/notes.txt", {'x'});
    writeFile(tmp / "game/LOCKED/B.RLE", sprite(2, 2, 1));
    fs::create_symlink("nowhere.RLE", tmp / "game/DEAD.RLE");
    ASSERT_EQ(mkfifo((tmp / "game/P.RLE").c_str(), 0644), 0);
    fs::permissions(tmp / "game/LOCKED", fs::perms(0644));
    fs::permissions(tmp / "game", fs::perms(0777));
    // A tree deeper than the longest path the system opens.
    int fd = open((tmp / "game").c_str(), O_RDONLY | O_DIRECTORY);
    const std::string step(100, 'd');
    for (int depth = 0; depth < 50 && fd >= 0; depth++) {
        mkdirat(fd, step.c_str(), 0755);
        const int next = openat(fd, step.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    const int file = openat(fd, "DEEP.SEC", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(file, "\0\0\0\0", 4), 4);
    close(file);
    close(fd);
    // As an ordinary user, so that the folder's mode holds.
    const RunResult r = runTool({"--reuid=65534", "--regid=65534", "--clear-groups", toolPath(), "game"}, tmp.path,
                                "/usr/bin/setpriv");
    fs::permissions(tmp / "game/LOCKED", fs::perms(0755));
    if (r.status == 127 || r.err.find("setpriv") != std::string::npos)
        GTEST_SKIP() << r.err;
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.substr(0, 59), "game/A.RLE\tDONE!\ngame/DEAD.RLE\tFAILED!\ngame/LOCKED\tFAILED!\n") << r.out;
    EXPECT_NE(r.out.find("/DEEP.SEC\tFAILED!\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("game/P.RLE\tFAILED!\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("game/DEAD.RLE: a symbolic link to nothing: No such file or directory\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("game/LOCKED: cannot be entered: Permission denied\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("game/P.RLE: not a regular file: it is a FIFO\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("File name too long"), std::string::npos) << r.err;

    // A folder swapped for a link once the walk found it: the outputs
    // beside its files are refused, not made where the link points.
    fs::create_directories(tmp / "elsewhere");
    writeFile(tmp / "elsewhere/X.RLE", sprite(2, 2, 1));
    fs::create_directory_symlink("../elsewhere", tmp / "game/zzz");
    OutputPlace place;
    place.where = placeConversion(PlaceRule{}, tmp / "game/zzz/X.RLE", "game/zzz/X.RLE");
    place.where.walked = tmp / "game";
    beginOutputs(&place);
    std::string dir;
    EXPECT_FALSE(makeOutputDir(tmp / "game/zzz/X.RLE", dir));
    finishOutputs(false);
    EXPECT_FALSE(fs::exists(tmp / "elsewhere/X.RLE.FILES"));
}

// A run in another PID namespace cannot see this run's process: the lock it
// holds is what tells its hidden folder is work in progress.
TEST(Outputs, ARunInAnotherPidNamespaceLeavesALiveRunsWorkAlone)
{
    if (std::system("unshare --pid --fork true 2>/dev/null") != 0)
        GTEST_SKIP() << "no PID namespaces here";
    TempDir tmp;
    writeFile(tmp / "BIG.WAD", manyEntries(3000));
    writeFile(tmp / "HERO.RLE", sprite(4, 4, 3));
    const pid_t first = fork();
    if (first == 0) {
        if (chdir(tmp.path.c_str()) != 0)
            _exit(126);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        execl(toolPath().c_str(), toolPath().c_str(), "-j", "1", "BIG.WAD", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int tries = 0; tries < 20000 && !holdsTemporary(tmp.path); tries++)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    const RunResult second = runTool({"--pid", "--fork", toolPath(), "HERO.RLE"}, tmp.path, "/usr/bin/unshare");
    EXPECT_EQ(second.out, "HERO.RLE\tDONE!\n\n");
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(listTree(tmp / "BIG.WAD.FILES").size(), 3001u);
}
#endif

TEST(Source, AFailedReadIsToldOnceAndNothingIsReadAfterIt)
{
    TempDir tmp;
    const std::string path = tmp / "BIG.WAD";
    writeFile(path, ByteList(3 << 20, 7));
    Source in;
    ASSERT_TRUE(openSource(in, path));
    ASSERT_NE(view(in, 0, 16), nullptr);
    fs::resize_file(path, 1 << 20);  // shorter while it is read
    EXPECT_EQ(view(in, 2 << 20, 16), nullptr);
    EXPECT_EQ(in.readError, kShrunk);
    const unsigned long before = problemCount();
    testing::internal::CaptureStderr();
    for (int entry = 0; entry < 100; entry++)
        EXPECT_FALSE(endsBefore(path, in, "entry %d is complete", entry));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(problemCount(), before + 1);
    EXPECT_EQ(err, shownPath(path) +
                       ": cannot be read before entry 0 is complete: the file became shorter while it was read\n");
    EXPECT_EQ(view(in, 0, 16), nullptr);  // nothing is trusted after it
}

TEST(Outputs, ANewFolderMadeByAnotherRunMeanwhileIsLeftToItAndConvertedIntoAgain)
{
    TempDir tmp;
    const std::string input = tmp / "X.RLE";
    OutputPlace place;
    beginOutputs(&place);
    std::string dir;
    ASSERT_TRUE(makeOutputDir(input, dir));
    ASSERT_FALSE(exists(dir));  // hidden until it is whole
    OutputFile out;
    openOutput(out, dir + S + "X.BMP");
    writeOutput(out, "new", 3);
    ASSERT_TRUE(placeOutputs({&out}));
    makeDirectories(dir);  // another run made it, and wrote into it
    writeFile(dir + S + "X.BMP", {'o', 'l', 'd'});
    writeFile(dir + S + "OTHER.BMP", {1});
    EXPECT_FALSE(finishOutputs());  // the run converts again, into the folder as it stands
    EXPECT_TRUE(place.raced);
    EXPECT_EQ(readText(dir + S + "X.BMP"), "old");
    EXPECT_EQ(listTree(tmp.path, true), (std::vector<std::string>{"X.RLE.FILES/OTHER.BMP", "X.RLE.FILES/X.BMP"}));
}
