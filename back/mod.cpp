// The mod folder of assetpack and its record (see mod.h).
#include "back/mod.h"

#include <cerrno>

#include "back/rebuilt.h"
#include "platform/platform.h"
#include "store/names.h"
#include "store/steps.h"

const char* const kNotOurs = "not written by assetpack, or changed since it was: kept (remove it to let assetpack "
                             "write here)";

namespace {

// The current run's mod folder; null when it packs into none.
ModFolder* modOf()
{
    ModFolder* mod = currentRun().mod;
    return mod && mod->on ? mod : nullptr;
}

}  // namespace

namespace {

std::string relativeTo(const ModFolder& mod, const std::string& path)
{
    const std::string& root = mod.root;
    if (path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 ||
        !isPathSeparator(path[root.size()]))
        return std::string();
    std::string relative = path.substr(root.size() + 1);
    for (char& c : relative)
        if (isPathSeparator(c))
            c = '/';
    return relative;
}

}  // namespace

std::string belowMod(const std::string& path)
{
    const ModFolder* mod = modOf();
    return mod ? relativeTo(*mod, path) : std::string();
}

bool ownedInMod(const std::string& path)
{
    const std::string relative = belowMod(path);
    if (relative.empty())
        return false;
    ModFolder& mod = *modOf();
    RecordedOutput was;
    {
        std::lock_guard<std::mutex> hold(mod.lock);
        auto it = mod.files.find(relative);
        if (it == mod.files.end())
            return false;
        was = it->second;
    }
    int64_t size = 0;
    Hash128 hash;
    return hashFile(path, size, hash) && writtenByTool(was, size, hash);
}

void recordInMod(const std::string& path, const RecordedOutput* written)
{
    const std::string relative = belowMod(path);
    if (relative.empty())
        return;
    ModFolder& mod = *modOf();
    std::lock_guard<std::mutex> hold(mod.lock);
    if (written)
        mod.files[relative] = *written;
    else
        mod.files.erase(relative);
}

bool heldInMod(const OutputFile& out)
{
    const std::string relative = belowMod(out.path);
    std::string what;
    if (relative.empty() || linkKind(out.path, what) != PathKind::Regular)
        return false;
    ModFolder& mod = *modOf();
    std::lock_guard<std::mutex> hold(mod.lock);
    auto it = mod.files.find(relative);
    return it != mod.files.end() && it->second.size == out.written && it->second.hash == out.hasher.digest();
}

void takeBackFromMod(const OutputFile& out)
{
    std::string what;
    const std::string relative = belowMod(out.path);
    if (!relative.empty() && linkKind(out.path, what) == PathKind::Regular) {
        if (dryRunning()) {
            tellChange("remove", out.path);
        } else if (removeFileBelow(modOf()->root, relative)) {
            recordInMod(out.path, nullptr);
            tellChange("remove", out.path);
            reportNoteAbout(out.path, "removed: the rebuild is now the original, byte for byte");
        }
    } else {
        reportDetail(out.path, "not written: the rebuild is the original, byte for byte");
    }
}

void beginModFolder(ModFolder& mod, const std::string& root, bool dryRun)
{
    std::lock_guard<std::mutex> hold(mod.lock);
    mod.on = true;
    mod.root = root;
    mod.files.clear();
    std::string what, why;
    if (!dryRun && linkKind(root, what) == PathKind::Directory) {
        // One run at a time packs into a mod folder: another is waited for.
        mod.held = holdFolder(root, [&] {
            const std::string line = escapeControls(shownPath(root)) + ": waiting for another run working there\n";
            if (errorIsTerminal())
                writeAll(2, line.data(), line.size());
        });
    }
    FolderRecord record;
    mod.previousHash = Hash128();
    const RecordRead read = loadRecord(root, record, why, &mod.previousHash);
    if (read == RecordRead::Missing)
        mod.previousHash = Hash128();
    if (read == RecordRead::Trusted && record.tool != "assetpack")
        why = "it is not a record of assetpack's";
    else if (read == RecordRead::Trusted)
        for (const RecordedOutput& o : record.outputs)
            mod.files[o.name] = o;
    mod.newer = read == RecordRead::Spoiled && record.format > kRecordFormat;
    if (!why.empty())
        reportNoteAbout(createFile(kRecordName, root),
                        "cannot be trusted: " + why + "; no file of the mod folder is taken for assetpack's own");
}

bool endModFolder(ModFolder& mod, bool dryRun)
{
    FolderRecord record;
    std::string root;
    {
        std::lock_guard<std::mutex> hold(mod.lock);
        if (!mod.on)
            return true;
        record.tool = "assetpack";
        record.version = ASSETDUMP_VERSION;
        for (const auto& entry : mod.files) {
            record.outputs.push_back(entry.second);
            record.outputs.back().name = entry.first;
        }
        root = mod.root;
        mod.on = false;
    }
    letGoFolder(mod.held);
    mod.held = 0;
    if (dryRun || mod.newer)
        return true;  // a newer version's record is never rewritten
    std::string what;
    if (recordHash(record) == mod.previousHash || (record.outputs.empty() && mod.previousHash == Hash128()) ||
        linkKind(root, what) != PathKind::Directory)
        return true;
    return placeRecord(root, record);
}

bool modFolderLists(const ModFolder& mod, const std::string& path)
{
    const std::string relative = relativeTo(mod, path);
    if (relative.empty())
        return false;
    std::lock_guard<std::mutex> hold(mod.lock);
    return mod.files.count(relative) != 0;
}

std::vector<std::string> modFolderFiles(const ModFolder& mod)
{
    std::vector<std::string> paths;
    std::lock_guard<std::mutex> hold(mod.lock);
    for (const auto& entry : mod.files)
        paths.push_back(entry.first);
    return paths;
}

namespace {

// Takes a rebuilt file that no longer stands for anything out of the mod
// folder: removed when still what assetpack wrote, kept and named otherwise.
bool takeOutOfMod(const std::string& path, const std::string& gone, const std::string& removed)
{
    std::string what;
    if (linkKind(path, what) == PathKind::Missing) {
        recordInMod(path, nullptr);
        return true;
    }
    if (!ownedInMod(path))
        return refuse(path, "%s, but this file was changed since assetpack wrote it: kept", gone.c_str());
    if (dryRunning()) {
        tellChange("remove", path);
        return true;
    }
    if (!removeFileBelow(modOf()->root, belowMod(path)))
        return refuse(path, "cannot be removed: %s", systemReason(errno).c_str());
    recordInMod(path, nullptr);
    tellChange("remove", path);
    reportNoteAbout(path, "removed: " + removed);
    return true;
}

}  // namespace

bool removeGoneRebuilt(const std::string& original)
{
    const std::string name = escapeControls(getName(original));
    return takeOutOfMod(rebuiltPathOf(original), "its original " + name + " is gone",
                        "its original " + name + " is gone");
}

bool removeStaleRebuilt(const std::string& original, bool& handled)
{
    const std::string path = rebuiltPathOf(original);
    std::string what;
    const ModFolder* mod = modOf();
    handled = mod && linkKind(editsFolderOf(original), what) == PathKind::Missing && modFolderLists(*mod, path);
    if (!handled)
        return false;
    return takeOutOfMod(path, "its edits folder is gone",
                        getName(editsFolderOf(original)) + " is gone, so the original stands");
}
