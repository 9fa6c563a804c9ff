// The folder record fails closed: whatever the record holds, whenever a run
// stops, however many runs work at once, no edit is lost and nothing outside
// the folder is touched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "store/record.h"
#include "support/files.h"
#include "support/fixtures.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string S(1, pathSeparator());

ByteList sprite(uint8_t shade)
{
    ByteList table(1024, 0);
    for (int i = 0; i < 256; i++)
        table[size_t(4 * i)] = table[size_t(4 * i + 1)] = table[size_t(4 * i + 2)] = uint8_t(i);
    return rleFile(4, 2, {rleLiteral({shade, 2, 3, 4}), rleLiteral({5, 6, 7, shade})}, table);
}

ByteList archive(uint8_t shadeA)
{
    return rerunArchive(true, shadeA);
}

void flipLastByte(const std::string& path)
{
    ByteList bytes = readFile(path);
    bytes.back() ^= 0xFF;
    writeFile(path, bytes);
}

std::string entryFor(const std::string& name, const std::string& file)
{
    int64_t size = 0;
    Hash128 hash;
    EXPECT_TRUE(hashFile(file, size, hash)) << file;
    return "{\"name\": \"" + name + "\", \"size\": " + std::to_string(size) + ", \"xxh3_128\": \"" + hash.hex() +
           "\", \"shows\": \"file\", \"mtime\": 0}";
}

// The record with one more output listed first.
void listAlso(const std::string& record, const std::string& entry)
{
    std::string text = readText(record);
    const size_t at = text.find("\"outputs\": [") + 12;
    text.insert(at, "\n    " + entry + (text[at] == ']' ? "" : ","));
    writeFile(record, ByteList(text.begin(), text.end()));
}

}  // namespace

// Each way a record can be spoiled, by hand, by a crash or by a folder
// shared with hostile intent: a rerun over a changed input keeps the edit
// (FAILED!, named), and touches nothing outside the folder.
TEST(Record, ASpoiledRecordKeepsTheEditAndNothingOutsideChanges)
{
    struct Case {
        const char* what;
        std::function<void(const TempDir&, const std::string& record)> spoil;
    };
    const std::vector<Case> cases = {
        {"cut in half",
         [](const TempDir&, const std::string& r) {
             const ByteList text = readFile(r);
             writeFile(r, ByteList(text.begin(), text.begin() + std::ptrdiff_t(text.size() / 2)));
         }},
        {"not JSON", [](const TempDir&, const std::string& r) { writeFile(r, {'h', 'i'}); }},
        {"over 64 MiB", [](const TempDir&, const std::string& r) { fs::resize_file(fs::u8path(r), 65u << 20); }},
        {"a folder",
         [](const TempDir&, const std::string& r) {
             fs::remove(fs::u8path(r));
             makeDirectories(r);
         }},
        {"of a newer version",
         [](const TempDir&, const std::string& r) {
             std::string text = readText(r);
             text.replace(text.find("\"record\": 2"), 11, "\"record\": 9");
             writeFile(r, ByteList(text.begin(), text.end()));
         }},
        {"a name outside", [](const TempDir& t, const std::string& r) { listAlso(r, entryFor("../H.RLE", t / "H.RLE")); }},
        {"a NUL in a name",
         [](const TempDir& t, const std::string& r) { listAlso(r, entryFor("H.BMP\\u0000", t / "H.RLE.FILES" + S + "H.BMP")); }},
#ifndef _WIN32
        {"a FIFO",
         [](const TempDir&, const std::string& r) {
             fs::remove(fs::u8path(r));
             ASSERT_EQ(mkfifo(r.c_str(), 0600), 0);
         }},
        {"a link",
         [](const TempDir& t, const std::string& r) {
             fs::rename(fs::u8path(r), fs::u8path(t / "elsewhere.json"));
             fs::create_symlink(t / "elsewhere.json", r);
         }},
        {"a name through a link",
         [](const TempDir& t, const std::string& r) {
             fs::create_directory_symlink(t / "precious", t / "H.RLE.FILES" + S + "D");
             listAlso(r, entryFor("D/KEEP.BMP", t / "precious" + S + "KEEP.BMP"));
         }},
#endif
    };
    for (const Case& c : cases) {
        TempDir tmp;
        writeFile(tmp / "H.RLE", sprite(1));
        makeDirectories(tmp / "precious");
        writeFile(tmp / "precious" + S + "KEEP.BMP", {1, 2, 3});
        ASSERT_EQ(runTool({"H.RLE"}, tmp.path).status, 0) << c.what;
        const std::string picture = tmp / "H.RLE.FILES" + S + "H.BMP";
        flipLastByte(picture);
        const ByteList edited = readFile(picture);
        c.spoil(tmp, tmp / "H.RLE.FILES" + S + ".assetdump.json");
        writeFile(tmp / "H.RLE", sprite(2));
        const RunResult r = runTool({"H.RLE"}, tmp.path);
        EXPECT_EQ(r.out, "H.RLE\tFAILED!\n\n") << c.what << "\n" << r.err;
        EXPECT_EQ(r.status, 3) << c.what;
        EXPECT_EQ(readFile(picture), edited) << c.what;
        EXPECT_NE(r.err.find("H.BMP: differs from what this run writes"), std::string::npos) << c.what << "\n" << r.err;
        EXPECT_EQ(readFile(tmp / "H.RLE"), sprite(2)) << c.what;
        EXPECT_EQ(readFile(tmp / "precious" + S + "KEEP.BMP"), ByteList({1, 2, 3})) << c.what;
        // --force replaces what it was told to; nothing at all while no
        // record can be written (a folder holds its name).
        const bool recordable = std::string(c.what) != "a folder";
        EXPECT_EQ(runTool({"-f", "H.RLE"}, tmp.path).status, recordable ? 0 : 3) << c.what;
        EXPECT_EQ(readFile(picture) != edited, recordable) << c.what;
    }
}

#ifndef _WIN32
// A rerun stopped as a kill would stop it, before the record names the new
// bytes, after it does, and after the outputs changed: the next run keeps
// the edit, takes every output it wrote for its own, and calls nothing up
// to date that is not what a whole conversion writes.
TEST(Record, ARerunStoppedAnywhereLosesNoEditAndLeavesNothingStale)
{
    TempDir fresh;
    writeFile(fresh / "G.WAD", archive(8));
    ASSERT_EQ(runTool({"G.WAD"}, fresh.path).status, 0);
    const ByteList wanted = readFile(fresh / "G.WAD.FILES" + S + "A.BMP");
    for (const char* point : {"staged", "named", "renamed"}) {
        TempDir tmp;
        writeFile(tmp / "G.WAD", archive(7));
        ASSERT_EQ(runTool({"G.WAD"}, tmp.path).status, 0);
        const std::string edit = tmp / "G.WAD.FILES" + S + "B.BMP";
        flipLastByte(edit);
        const ByteList edited = readFile(edit);
        writeFile(tmp / "G.WAD", archive(8));
        setenv("ASSETDUMP_TEST_STOP_AT", point, 1);
        const RunResult stopped = runTool({"G.WAD"}, tmp.path);
        unsetenv("ASSETDUMP_TEST_STOP_AT");
        EXPECT_EQ(stopped.status, 137) << point;
        for (int run = 0; run < 2; run++) {  // after the stop, and once more
            const RunResult r = runTool({"G.WAD"}, tmp.path);
            EXPECT_EQ(r.out, "G.WAD\tFAILED!\n\n") << point << "\n" << r.err;
            EXPECT_NE(r.err.find("B.BMP: changed since it was written; kept"), std::string::npos) << point << r.err;
            EXPECT_EQ(r.err.find("A.BMP"), std::string::npos) << point << "\n" << r.err;
            EXPECT_EQ(readFile(edit), edited) << point;
            EXPECT_EQ(readFile(tmp / "G.WAD.FILES" + S + "A.BMP"), wanted) << point;
        }
        for (const std::string& name : listTree(tmp.path, true))
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << point << ": " << name;
    }
}
#endif

// The same input given twice converts once and prints its line twice; two
// runs over one game at once, and three reruns of a changed archive at once,
// wait for each other and see no edit that nobody made.
TEST(Record, OneRunAtATimeInAFolder)
{
    TempDir tmp;
    writeFile(tmp / "H.RLE", sprite(1));
    for (const char* jobs : {"-j1", "-j4"}) {
        const RunResult r = runTool({jobs, "H.RLE", "H.RLE"}, tmp.path);
        EXPECT_EQ(r.out, "H.RLE\tDONE!\nH.RLE\tDONE!\n\n") << jobs;
        EXPECT_EQ(r.err, "") << jobs;
        EXPECT_EQ(r.status, 0) << jobs;
    }
    makeDirectories(tmp / "game");
    for (int i = 0; i < 40; i++)
        writeFile(tmp / "game" + S + numberedName("S", size_t(i), ".RLE"), sprite(uint8_t(i)));
    writeFile(tmp / "game" + S + "G.WAD", archive(7));
    auto together = [&](int runs, const std::vector<std::string>& args) {
        std::vector<RunResult> results(static_cast<size_t>(runs));
        std::vector<std::thread> threads;
        for (int k = 0; k < runs; k++)
            threads.emplace_back([&, k] { results[size_t(k)] = runTool(args, tmp.path); });
        for (std::thread& t : threads)
            t.join();
        for (const RunResult& r : results) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err.find("exists"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("kept"), std::string::npos) << r.err;
        }
    };
    together(2, {"-o", "work", "game"});
    writeFile(tmp / "game" + S + "G.WAD", archive(8));
    together(3, {"-o", "work", "game" + S + "G.WAD"});
    EXPECT_EQ(readFile(tmp / "work" + S + "G.WAD.FILES" + S + "A.BMP").size(),
              readFile(tmp / "work" + S + "G.WAD.FILES" + S + "B.BMP").size());
}

// One picture in two formats: a rerun keeps the format the folder was
// written in, and assetpack refuses a folder holding both, naming them.
TEST(Record, OnePictureOneFile)
{
    TempDir tmp;
    writeFile(tmp / "H.RLE", sprite(1));
    ASSERT_EQ(runTool({"--format", "png", "H.RLE"}, tmp.path).status, 0);
    const std::string png = tmp / "H.RLE.FILES" + S + "H.PNG";
    flipLastByte(png);  // an edit (a PNG that no longer reads: it is still the user's file)
    writeFile(tmp / "H.RLE", sprite(2));
    RunResult r = runTool({"H.RLE"}, tmp.path);  // --format forgotten: the folder's stays
    EXPECT_EQ(r.out, "H.RLE\tFAILED!\n\n") << r.err;
    EXPECT_NE(r.err.find("H.PNG: changed since it was written; kept"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(tmp / "H.RLE.FILES" + S + "H.BMP"));
    ASSERT_EQ(runTool({"-f", "--format", "png", "H.RLE"}, tmp.path).status, 0);
    writeFile(tmp / "H.RLE.FILES" + S + "H.BMP", readFile(png));
    r = runTool({"H.RLE"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "H.RLE\tFAILED!\n\n");
    EXPECT_NE(r.err.find("H.PNG: a second file for the picture H.BMP: keep one of the two"), std::string::npos) << r.err;
}

// A mod file whose original is gone, or is a folder now, goes with it when
// it is still what assetpack wrote, and stays, named, when it changed.
TEST(Record, AModFileWhoseOriginalIsGoneGoesWithIt)
{
    TempDir tmp;
    makeDirectories(tmp / "game");
    writeFile(tmp / "game" + S + "A.RLE", sprite(1));
    writeFile(tmp / "game" + S + "B.RLE", sprite(1));
    ASSERT_EQ(runTool({"-o", "work", "game"}, tmp.path).status, 0);
    flipLastByte(tmp / "work" + S + "game" + S + "A.RLE.FILES" + S + "A.BMP");
    flipLastByte(tmp / "work" + S + "game" + S + "B.RLE.FILES" + S + "B.BMP");
    ASSERT_EQ(runTool({"-e", "work", "-o", "mod", "game"}, tmp.path, packerPath()).status, 0);
    const std::string modA = tmp / "mod" + S + "game" + S + "A.RLE", modB = tmp / "mod" + S + "game" + S + "B.RLE";
    ASSERT_TRUE(exists(modA) && exists(modB));
    fs::remove(fs::u8path(tmp / "game" + S + "A.RLE"));
    fs::remove(fs::u8path(tmp / "game" + S + "B.RLE"));
    makeDirectories(tmp / "game" + S + "B.RLE");
    flipLastByte(modB);  // changed by hand since
    const RunResult r = runTool({"-e", "work", "-o", "mod", "game"}, tmp.path, packerPath());
    EXPECT_EQ(r.out, "game/A.RLE\tDONE!\ngame/B.RLE\tFAILED!\n\n") << r.err;
    EXPECT_NE(r.err.find("mod/game/A.RLE: note: removed: its original A.RLE is gone"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("its original B.RLE is gone, but this file was changed since assetpack wrote it: kept"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(exists(modA));
    EXPECT_TRUE(exists(modB));
}

#ifndef _WIN32
// A name that is not UTF-8 (a game copied from a disk in another code page)
// is kept exactly, in a record that stays JSON any tool reads.
TEST(Record, ANameThatIsNotUtf8KeepsTheRecordJson)
{
    TempDir tmp;
    const std::string name = "H\xFF.RLE";
    writeFile(tmp / name, sprite(1));
    ASSERT_EQ(runTool({name}, tmp.path).status, 0);
    std::string why;
    FolderRecord record;
    ASSERT_EQ(loadRecord(tmp / name + ".FILES", record, why), RecordRead::Trusted) << why;
    const std::string text = readText(tmp / name + ".FILES" + S + ".assetdump.json");
    EXPECT_EQ(record.inputName, name);
    EXPECT_EQ(text.find('\xFF'), std::string::npos);
    EXPECT_NE(text.find("\"name_bytes\": \"48ff2e524c45\""), std::string::npos) << text;
}
#endif
