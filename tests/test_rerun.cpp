// Reruns over an output folder: what the record says was written is
// replaced only where it changed, and an edit is never replaced unasked.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "support/files.h"
#include "support/fixtures.h"

namespace fs = std::filesystem;

namespace {

const std::string S(1, pathSeparator());

ByteList archive(bool withA, uint8_t shadeA)
{
    return rerunArchive(withA, shadeA);
}

// Each file of a folder and what stands for its writing: a file replaced or
// written anew has another identity (rename) or another time.
std::map<std::string, std::string> identities(const std::string& dir)
{
    std::map<std::string, std::string> out;
    for (const std::string& name : listTree(dir, true)) {
        const fs::path p = fs::u8path(dir + "/" + name);
        out[name] = std::to_string(fs::last_write_time(p).time_since_epoch().count()) + "/" +
                    std::to_string(fs::file_size(p)) + "/" + readText(dir + S + name);
    }
    return out;
}

void edit(const std::string& path)
{
    ByteList bytes = readFile(path);
    bytes.back() ^= 0xFF;
    writeFile(path, bytes);
}

// The run after a conversion made within the clock's tick of the files it
// wrote: the record takes the times it could not trust yet (see below).
void settle(const std::vector<std::string>& args, const std::string& dir)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    runTool(args, dir);
}

}  // namespace

TEST(Rerun, WritesOnlyWhatChangedAndKeepsEdits)
{
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> change;  // between the first run and the rerun
        std::vector<std::string> args;
        const char* line;
        std::vector<std::string> written;  // outputs written or removed by the rerun
        const char* err;                   // a piece of what standard error says ("" for nothing)
    };
    const std::string dir = "G.WAD.FILES" + S;
    const std::vector<Case> cases = {
        {"unchanged", [](const TempDir&) {}, {"G.WAD"}, "DONE!", {}, ""},
        {"input changed", [](const TempDir& t) { writeFile(t / "G.WAD", archive(true, 7)); }, {"G.WAD"}, "DONE!",
         {"A.BMP"}, ""},
        {"output edited", [&](const TempDir& t) { edit(t / (dir + "A.BMP")); }, {"G.WAD"}, "FAILED!", {},
         "A.BMP: changed since it was written; kept (--force replaces it)"},
        {"edited, then --force", [&](const TempDir& t) { edit(t / (dir + "A.BMP")); }, {"-f", "G.WAD"}, "DONE!",
         {"A.BMP"}, ""},
        {"output deleted", [&](const TempDir& t) { fs::remove(t / (dir + "A.BMP")); }, {"G.WAD"}, "DONE!",
         {"A.BMP"}, ""},
        {"entry removed", [](const TempDir& t) { writeFile(t / "G.WAD", archive(false, 0)); }, {"G.WAD"}, "DONE!",
         {"A.BMP"}, ""},
        {"entry removed, its output edited",
         [&](const TempDir& t) {
             edit(t / (dir + "A.BMP"));
             writeFile(t / "G.WAD", archive(false, 0));
         },
         {"G.WAD"}, "DONE!", {}, "A.BMP: note: no longer made from G.WAD; kept, as it was edited"},
        {"no record", [&](const TempDir& t) {
             fs::remove(t / (dir + ".assetdump.json"));
             edit(t / (dir + "A.BMP"));
         },
         {"G.WAD"}, "DONE!", {"A.BMP"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        writeFile(tmp / "G.WAD", archive(true, 5));
        ASSERT_EQ(runTool({"G.WAD"}, tmp.path).out, "G.WAD\tDONE!\n\n");
        settle({"G.WAD"}, tmp.path);
        EXPECT_EQ(listTree(tmp / "G.WAD.FILES", true),
                  (std::vector<std::string>{".assetdump.json", "A.BMP", "B.BMP", "P.PAL"}));
        c.change(tmp);
        const auto before = identities(tmp / "G.WAD.FILES");
        // A dry run first: the same lines, each change told, nothing written.
        std::vector<std::string> dryArgs = c.args;
        dryArgs.insert(dryArgs.begin(), "-n");
        const RunResult dry = runTool(dryArgs, tmp.path);
        EXPECT_EQ(identities(tmp / "G.WAD.FILES"), before);
        for (const std::string& name : c.written) {
            if (name != ".assetdump.json") {
                EXPECT_NE(dry.err.find("G.WAD.FILES/" + name), std::string::npos) << name << dry.err;
            }
        }
        const RunResult r = runTool(c.args, tmp.path);
        EXPECT_EQ(dry.out, r.out);
        EXPECT_EQ(r.out, std::string("G.WAD\t") + c.line + "\n\n");
        if (*c.err) {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
        const auto after = identities(tmp / "G.WAD.FILES");
        std::vector<std::string> changed;
        for (const auto& [name, id] : before)
            if (!after.count(name) || after.at(name) != id)
                changed.push_back(name);
        for (const auto& [name, id] : after)
            if (!before.count(name))
                changed.push_back(name);
        // The record follows what changed (and the times it keeps): it is
        // rewritten with the outputs, and never when nothing else is.
        std::sort(changed.begin(), changed.end());
        const bool recordChanged = std::count(changed.begin(), changed.end(), ".assetdump.json") != 0;
        changed.erase(std::remove(changed.begin(), changed.end(), ".assetdump.json"), changed.end());
        std::vector<std::string> expected = c.written;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(changed, expected);
        if (expected.empty() && std::string(c.what) != "entry removed, its output edited") {
            EXPECT_FALSE(recordChanged);
        }
        // A second rerun with nothing changed writes no output (the record
        // may take the times of files written within the clock's tick).
        const RunResult again = runTool(c.args, tmp.path);
        auto outputsOnly = [](std::map<std::string, std::string> files) {
            files.erase(".assetdump.json");
            return files;
        };
        EXPECT_EQ(outputsOnly(identities(tmp / "G.WAD.FILES")), outputsOnly(after));
        EXPECT_EQ(again.out, r.out);
    }
}

// Whatever the format, a rerun over a converted file with nothing changed
// writes nothing: every file of every output folder stays as it was.
TEST(Rerun, ARerunOverEveryFixtureWritesNothing)
{
    TempDir tmp;
    writeFixtureSet(tmp.path);
    std::vector<std::string> inputs;
    for (const std::string& name : listTree(tmp.path))
        inputs.push_back(name);
    runTool(inputs, tmp.path);
    settle(inputs, tmp.path);
    const auto before = identities(tmp.path);
    ASSERT_GT(before.size(), inputs.size() * 2);
    const RunResult again = runTool(inputs, tmp.path);
    EXPECT_EQ(identities(tmp.path), before);
    EXPECT_EQ(again.err.find("kept"), std::string::npos) << again.err;
}

// Times too fresh to trust when a folder is made (an input copied just
// before, outputs placed within the clock's tick) are taken on the next
// run, so the run after it converts nothing and repeats no note.
TEST(Rerun, TimesTooFreshToKeepAreTakenOnTheNextRun)
{
    TempDir tmp;
    writeFile(tmp / "G.WAD", [] {
        ByteList wad = wadFile({{"", rampPalette565()}}, {WadEntry{"A.PIC", 2, 2, 0, false, {{1, 2}, {3, 4}}}});
        wad.resize(std::max<size_t>(wad.size(), 1023));
        return wad;
    }());
    EXPECT_NE(runTool({"G.WAD"}, tmp.path).err, "");  // the nameless palette's note
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    runTool({"G.WAD"}, tmp.path);  // converted again where the input's time was too fresh to keep
    const ByteList record = readFile(tmp / "G.WAD.FILES/.assetdump.json");
    EXPECT_EQ(std::string(record.begin(), record.end()).find("\"mtime\": 0"), std::string::npos);
    const RunResult third = runTool({"G.WAD"}, tmp.path);
    EXPECT_EQ(third.out, "G.WAD\tDONE!\n\n");
    EXPECT_EQ(third.err, "");  // not converted at all
}

// A rerun in the other picture format replaces the pictures it wrote,
// masks and all, and keeps an edited one, named.
TEST(Rerun, AnotherPictureFormatReplacesThePictures)
{
    TempDir tmp;
    writeFile(tmp / "G.WAD", archive(true, 5));
    ASSERT_EQ(runTool({"G.WAD"}, tmp.path).status, 0);
    settle({"G.WAD"}, tmp.path);  // up to date: only the other format makes it convert again
    RunResult r = runTool({"--format", "png", "G.WAD"}, tmp.path);
    EXPECT_EQ(r.out, "G.WAD\tDONE!\n\n") << r.err;
    EXPECT_EQ(listTree(tmp / "G.WAD.FILES"), (std::vector<std::string>{"A.PNG", "B.PNG", "P.PAL"}));
    writeFile(tmp / "G.WAD.FILES/A.PNG", {1, 2, 3});  // an edit, however poor
    r = runTool({"G.WAD"}, tmp.path);
    EXPECT_EQ(r.out, "G.WAD\tDONE!\n\n") << r.err;
    EXPECT_NE(r.err.find("A.PNG: note: no longer made from G.WAD; kept, as it was edited"), std::string::npos) << r.err;
    EXPECT_EQ(listTree(tmp / "G.WAD.FILES"), (std::vector<std::string>{"A.BMP", "A.PNG", "B.BMP", "P.PAL"}));
}
