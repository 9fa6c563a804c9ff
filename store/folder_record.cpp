// The folder record's update when a conversion ends, the records of new
// folders, and the quick check that a folder is up to date (see record.h).
#include "store/steps.h"

#include <chrono>
#include <map>
#include <mutex>

#include "pictures/palette.h"
#include "platform/platform.h"
#include "store/names.h"

namespace {

// The formats this run writes pictures and palettes in, as the record
// names them ("png gpl"): a folder written in others is converted again.
std::string runFormats()
{
    const RunChoices& choices = currentRun().choices;
    return std::string(choices.picture == PictureFormat::Png ? "png " : "bmp ") + paletteFormatName(choices.palette);
}

// The record of a folder as this run leaves it: what an earlier run wrote
// that is still there, overlaid with what this run put in place. After a
// conversion that succeeded, an output the input no longer calls for goes
// when it is still what was written, and stays listed when it was edited.
FolderRecord updatedRecord(OutputPlace& p, bool converted)
{
    FolderRecord r;
    r.tool = "assetdump";
    r.version = ASSETDUMP_VERSION;
    r.formats = runFormats();
    r.inputName = getName(p.inputPath);
    int64_t size = 0, mtime = 0;
    const WholeInput& whole = lastWholeInput();
    if (whole.path == p.inputPath && whole.size <= kWholeHashLimit) {
        size = whole.size;  // read whole by the conversion: the bytes it converted
        mtime = whole.mtime;
        r.inputHash = whole.hash;
    } else if (fileStamp(p.inputPath, size, mtime) && size == p.previous.inputSize &&
               mtime == p.previous.inputMtime && mtime != 0) {
        r.inputHash = p.previous.inputHash;  // untouched since it was hashed
    } else {
        hashInput(p.inputPath, size, r.inputHash);
    }
    r.inputSize = size;
    // The same input keeps the time its record had: an unchanged record is not rewritten.
    // (A time too fresh to keep, 0, is taken anew.)
    r.inputMtime = size == p.previous.inputSize && r.inputHash == p.previous.inputHash && p.previous.inputMtime != 0
                       ? p.previous.inputMtime
                       : mtime;
    std::map<std::string, RecordedOutput> entries;
    for (const RecordedOutput& o : p.previous.outputs) {
        if (p.claimed.count(o.name)) {
            entries[o.name] = o;  // asked for again: what this run placed takes its place below
            continue;
        }
        const std::string path = createFile(o.name, p.recordFolder);
        std::string what;
        if (linkKind(path, what) != PathKind::Regular)
            continue;  // gone, or replaced by something else: not the tool's any more
        if (!converted) {
            entries[o.name] = o;
            continue;
        }
        int64_t size = 0;
        std::string hash;
        if (!hashFile(path, size, hash) || size != o.size || hash != o.hash) {
            reportNoteAbout(path, "no longer made from " + r.inputName + "; kept, as it was edited");
            entries[o.name] = o;
        } else if (dryRunning()) {
            tellChange("remove", path);
        } else if (!removeFile(path)) {
            entries[o.name] = o;
        } else {
            tellChange("remove", path);
        }
    }
    for (const RecordedOutput& o : p.placed)
        entries[o.name] = o;
    for (auto& entry : entries)
        r.outputs.push_back(std::move(entry.second));
    return r;
}

// Puts the folder's record in place when it changed; false, having said
// why, when it could not be.
// A record's time of an output is kept only when it lies clearly before the
// record is made: a file edited within the same tick of the system's clock
// as it was placed would otherwise look untouched. Without one, a rerun
// compares the file's bytes.
constexpr int64_t kSettled = 20 * 1000 * 1000;  // ns

std::string settledText(FolderRecord record)
{
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch()).count();
    for (RecordedOutput& o : record.outputs)
        if (o.mtime > now - kSettled)
            o.mtime = 0;
    if (record.inputMtime > now - kSettled)
        record.inputMtime = 0;
    return recordText(record);
}

}  // namespace

bool placeRecord(const std::string& folder, const std::string& text)
{
    OutputFile out;
    out.counted = false;
    out.hidden = true;
    openOutput(out, createFile(kRecordName, folder));
    writeOutput(out, text.data(), text.size());
    return placeOutputs({&out});
}

// Brings the folder's record up to date when it changed: a new folder's
// later (see pendingRecords). False, having said why, when it could not be.
bool writeRecord(OutputPlace& p, bool converted)
{
    if (p.recordFolder.empty())
        return true;
    FolderRecord record = updatedRecord(p, converted);  // in a dry run, tells what it would remove
    if (dryRunning())
        return true;
    if (!p.freshTemp.empty()) {
        std::lock_guard<std::mutex> hold(p.run->pendingLock);
        p.run->pendingRecords.push_back({p.recordFolder, std::move(record)});
        return true;
    }
    const std::string text = settledText(std::move(record));
    return text == p.previousText || placeRecord(p.recordFolder, text);  // nothing changed: nothing written
}


// Reads the record an earlier run left in an output folder.
void readRecord(OutputPlace& p, const std::string& dir)
{
    p.recordFolder = dir;
    p.hadRecord = loadRecord(dir, p.previousText, p.previous);
}

bool outputsUpToDate(const std::string& input, const Placement& where)
{
    std::string what;
    if (where.folder.empty() || linkKind(where.folder, what) != PathKind::Directory)
        return false;
    std::string text;
    FolderRecord r;
    int64_t size = 0, mtime = 0;
    if (!loadRecord(where.folder, text, r) || r.tool != "assetdump" || r.version != ASSETDUMP_VERSION ||
        r.formats != runFormats() || r.inputMtime == 0 || !fileStamp(input, size, mtime) || size != r.inputSize ||
        mtime != r.inputMtime)
        return false;
    for (const RecordedOutput& o : r.outputs)
        if (o.mtime == 0 || !fileStamp(createFile(o.name, where.folder), size, mtime) || size != o.size ||
            mtime != o.mtime)
            return false;
    return true;
}

bool writePendingRecords(RunContext& run)
{
    std::vector<PendingRecord> pending;
    {
        std::lock_guard<std::mutex> hold(run.pendingLock);
        pending.swap(run.pendingRecords);
    }
    bool all = true;
    std::string what;
    for (const PendingRecord& r : pending) {
        // The folder is this run's, with no record yet: the record is made
        // under its own name (one a crash cuts off reads as none).
        if (linkKind(r.folder, what) != PathKind::Directory)
            continue;
        const std::string path = createFile(kRecordName, r.folder);
        const std::string text = settledText(r.record);
        errno = 0;
        FileHandle file(createNewFile(path));
        if (!file || !writeAll(file.fd, text.data(), text.size()) || !file.close()) {
            const int error = errno;
            removeFile(path);
            all = refuse(path, "%s", systemReason(error ? error : EIO).c_str()) && all;
            continue;
        }
        hideFile(path);
    }
    return all;
}
