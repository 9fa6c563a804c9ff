// The folder record over a conversion: read (and trusted or not) when the
// folder is known, rewritten to name the bytes about to change before any
// file is replaced, settled when the conversion ends; and the quick check
// that a folder is up to date (see record.h).
#include "store/steps.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>

#include "pictures/palette.h"
#include "pictures/png.h"
#include "platform/platform.h"
#include "store/names.h"

namespace {

// The formats pictures and palettes are written in, as the record names
// them ("png gpl").
std::string formatsOf(PictureFormat picture, PaletteFormat palette)
{
    return std::string(picture == PictureFormat::Png ? "png " : "bmp ") + paletteFormatName(palette);
}

// Takes the formats a record names for those the run was not told: a rerun
// keeps a folder's formats, and an option given switches them.
void adoptFormats(const RunChoices& choices, const std::string& formats, PictureFormat& picture,
                  PaletteFormat& palette)
{
    const size_t space = formats.find(' ');
    PictureFormat named;
    PaletteFormat namedPalette;
    if (!choices.pictureGiven && pictureFormatNamed(formats.substr(0, space), named))
        picture = named;
    if (!choices.paletteGiven && space != std::string::npos &&
        paletteFormatNamed(formats.substr(space + 1), namedPalette))
        palette = namedPalette;
}

// The input as it was converted: its stamp and hash, from the conversion's
// own whole read of a small input, or from the record when the stamp shows
// it untouched since, or read again.
void inputIdentity(OutputPlace& p, FolderRecord& r)
{
    const WholeInput& whole = lastWholeInput();
    FileStamp stamp;
    if (whole.path == p.inputPath && whole.stamp.size >= 0 && whole.stamp.size <= kWholeHashLimit) {
        r.input = whole.stamp;  // the bytes it converted
        r.inputHash = whole.hash;
    } else if (fileStamp(p.inputPath, stamp) && stamp.size == p.previous.input.size &&
               stamp.mtime == p.previous.input.mtime && stamp.ctime == p.previous.input.ctime &&
               stamp.inode == p.previous.input.inode && stamp.mtime != 0) {
        r.input = stamp;
        r.inputHash = p.previous.inputHash;  // untouched since it was hashed
    } else {
        int64_t size = -1;
        if (p.inputHasher.joinable()) {
            p.inputHasher.join();  // hashed while it was converted
            size = p.asideSize;
            r.inputHash = p.asideHash;
        } else {
            hashInput(p.inputPath, size, r.inputHash);
        }
        r.input = stamp;
        r.input.size = size;
    }
}

// An earlier output this conversion did not ask for: after a conversion that
// went through the whole input (whole) it goes when it is still what the
// tool wrote, and stays listed when it was edited. False when it is no
// longer there to list.
bool keepUnclaimed(const OutputPlace& p, const RecordedOutput& o, bool converted, const std::string& inputName)
{
    const std::string path = createFile(o.name, p.recordFolder);
    std::string what;
    if (linkKind(path, what) != PathKind::Regular)
        return false;  // gone, or replaced by something else: not the tool's any more
    if (!converted)
        return true;
    int64_t size = 0;
    Hash128 hash;
    if (!hashFile(path, size, hash) || !writtenByTool(o, size, hash)) {
        reportNoteAbout(path, "no longer made from " + inputName + "; kept, as it was edited");
        return true;
    }
    if (dryRunning()) {
        tellChange("remove", path);
        return false;
    }
    if (!removeFile(path))
        return true;
    tellChange("remove", path);
    return false;
}

// The outputs of the folder as the conversion leaves them, sorted by name:
// the earlier record's list, its entries of what this run placed brought up
// to date (see notePlaced) and those this run asked for but held back kept
// as they were, those it did not ask for where kept says so; and what this
// run placed under new names. Made from the earlier list itself, which is
// gone after: a long record is held once.
std::vector<RecordedOutput> mergedOutputs(OutputPlace& p, const std::function<bool(const RecordedOutput&)>& kept)
{
    std::vector<RecordedOutput> v;
    if (p.recordState == RecordRead::Trusted)
        v = std::move(p.previous.outputs);
    p.previous.outputs = std::vector<RecordedOutput>();
    size_t listed = 0;
    for (size_t i = 0; i < v.size(); i++)
        if ((i < p.claimed.size() && p.claimed[i]) || kept(v[i])) {
            if (listed != i)
                v[listed] = std::move(v[i]);
            listed++;
        }
    v.resize(listed);
    p.claimed = std::vector<char>();
    const auto byName = [](const RecordedOutput& a, const RecordedOutput& b) { return a.name < b.name; };
    std::sort(p.placed.begin(), p.placed.end(), byName);
    v.reserve(listed + p.placed.size());
    while (!p.placed.empty()) {
        v.push_back(std::move(p.placed.front()));
        p.placed.pop_front();
    }
    std::inplace_merge(v.begin(), v.begin() + std::ptrdiff_t(listed), v.end(), byName);
    return v;
}

// The record of a folder as the conversion leaves it. The input is named
// only after a conversion that succeeded: a failed one leaves the input the
// record named, so its outputs are never called up to date with an input
// they were not made from.
FolderRecord settledRecord(OutputPlace& p, bool converted, bool whole)
{
    FolderRecord r;
    r.tool = "assetdump";
    r.version = ASSETDUMP_VERSION;
    r.formats = formatsOf(p.picture, p.palette);
    r.inputName = getName(p.inputPath);
    if (converted) {
        inputIdentity(p, r);
    } else if (p.recordState == RecordRead::Trusted) {
        r.input = p.previous.input;
        r.inputHash = p.previous.inputHash;
        r.inputName = p.previous.inputName;
    }
    const std::string inputName = r.inputName;
    r.outputs = mergedOutputs(p, [&](const RecordedOutput& o) { return keepUnclaimed(p, o, whole, inputName); });
    return r;
}

// A record's time of an output (and of the input) is kept only when it lies
// clearly before the record is made: a file edited within the same tick of
// the system's clock as it was placed would otherwise look untouched.
// Without one, a rerun compares the file's bytes.
constexpr int64_t kSettled = 20 * 1000 * 1000;  // ns

void settleTimes(FolderRecord& record, bool outputs)
{
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch()).count();
    for (RecordedOutput& o : record.outputs)
        if (outputs && o.mtime > now - kSettled)
            o.mtime = 0;
    if (record.input.mtime > now - kSettled)
        record.input.mtime = 0;
}

}  // namespace

bool placeRecord(const std::string& folder, const FolderRecord& record)
{
    OutputFile out;
    out.counted = false;
    out.hidden = true;
    openOutput(out, createFile(kRecordName, folder));
    writeRecordText(record, [&](const std::string& piece) { writeOutput(out, piece.data(), piece.size()); });
    return placeOutputs({&out});
}

void hashInputAside(OutputPlace& p)
{
    FileStamp stamp;
    if (p.inputHasher.joinable() || dryRunning() || !fileStamp(p.inputPath, stamp) || stamp.size <= (int64_t(4) << 20))
        return;  // a small input is hashed as the conversion reads it whole
    try {
        p.inputHasher = std::thread([&p] { hashInput(p.inputPath, p.asideSize, p.asideHash); });
    } catch (const std::exception&) {
        // No thread to be had: hashed when the record is written.
    }
}

void readRecord(OutputPlace& p, const std::string& dir)
{
    p.recordFolder = dir;
    p.recordState = loadRecord(dir, p.previous, p.recordWhy, &p.previousHash);
    p.claimed.assign(p.previous.outputs.size(), 0);
    if (p.recordState == RecordRead::Trusted && p.previous.tool != "assetdump") {
        p.recordState = RecordRead::Spoiled;
        p.recordWhy = "it is not a record of assetdump's";
    }
    if (p.recordState == RecordRead::Trusted) {
        adoptFormats(p.run->choices, p.previous.formats, p.picture, p.palette);
        return;
    }
    if (p.recordState == RecordRead::Spoiled || p.recordState == RecordRead::Stopped) {
        p.recordState = RecordRead::Spoiled;
        p.recordNewer = p.previous.format > kRecordFormat;
        reportNoteAbout(createFile(kRecordName, dir), "cannot be trusted: " + p.recordWhy +
                                                          "; every output that differs from what this run writes is "
                                                          "kept as an edit (--force replaces them)");
    }
}

void notePlaced(OutputPlace& p, const RecordedOutput& written)
{
    std::lock_guard<std::mutex> hold(p.recordLock);
    if (p.recordState == RecordRead::Trusted)
        if (const RecordedOutput* was = findOutput(p.previous, written.name)) {
            // Its fields but the name, which others may be comparing as they
            // look names up: the list stays sorted as it is.
            const size_t k = size_t(was - p.previous.outputs.data());
            RecordedOutput& e = p.previous.outputs[k];
            e.size = written.size;
            e.hash = written.hash;
            e.shows = written.shows;
            e.mtime = written.mtime;
            e.beforeSize = -1;
            e.beforeHash = Hash128();
            p.claimed[k] = 2;
            return;
        }
    p.placed.push_back(written);
}

bool writeIntentRecord(OutputPlace& p)
{
    if (p.recordNewer)
        return true;  // a newer version's record is never rewritten (nor trusted)
    FolderRecord r;
    if (p.recordState == RecordRead::Trusted) {
        r.input = p.previous.input;
        r.inputHash = p.previous.inputHash;
        r.inputName = p.previous.inputName;
        r.formats = p.previous.formats;
    }
    r.tool = "assetdump";
    r.version = ASSETDUMP_VERSION;
    // Every earlier output as it is listed now, what was placed so far, and
    // the staged outputs with both their old and new bytes: made on a copy,
    // the place's own lists go on to the settled record.
    std::vector<RecordedOutput>& v = r.outputs;
    if (p.recordState == RecordRead::Trusted)
        v = p.previous.outputs;
    v.insert(v.end(), p.placed.begin(), p.placed.end());
    for (const std::vector<StagedOutput>& set : p.staged)
        for (const StagedOutput& s : set)
            v.push_back(s.written);
    // By name, a staged entry after the listed one of its name, which it replaces.
    std::stable_sort(v.begin(), v.end(), [](const RecordedOutput& a, const RecordedOutput& b) { return a.name < b.name; });
    size_t kept = 0;
    for (size_t i = 0; i < v.size(); i++) {
        if (kept && v[kept - 1].name == v[i].name)
            kept--;
        if (kept != i)
            v[kept] = std::move(v[i]);
        kept++;
    }
    v.resize(kept);
    if (!placeRecord(p.recordFolder, r))
        return false;
    p.previousHash = recordHash(r);
    return true;
}

bool writeRecord(OutputPlace& p, bool converted, bool whole)
{
    if (p.recordFolder.empty())
        return true;
    FolderRecord record = settledRecord(p, converted, whole);  // in a dry run, tells what it would remove
    if (dryRunning() || p.recordNewer || (p.recordState == RecordRead::Spoiled && !converted))
        return true;  // a spoiled record stays for the user to see until a conversion succeeds
    // A new folder's outputs keep their times: nobody could touch them
    // before the record named them, as the folder appears only after.
    settleTimes(record, p.freshTemp.empty());
    if (p.freshTemp.empty() && p.recordState != RecordRead::Missing && recordHash(record) == p.previousHash)
        return true;  // nothing changed: nothing written
    return placeRecord(p.recordFolder, record);
}

bool outputsUpToDate(OutputPlace& p, const std::string& input)
{
    const std::string& folder = p.where.folder;
    std::string what, why;
    FileStamp inputStamp, stamp;
    if (folder.empty() || linkKind(folder, what) != PathKind::Directory || !fileStamp(input, inputStamp))
        return false;
    // Each output is looked at as the record is read, and the first that is
    // not as placed ends the look: the record is never held whole.
    FolderRecord r;
    const RecordRead read = loadRecord(folder, r, why, nullptr, [&](const RecordedOutput& o) {
        return o.mtime != 0 && o.beforeSize < 0 && fileStamp(createFile(o.name, folder), stamp) &&
               stamp.size == o.size && stamp.mtime == o.mtime;
    });
    if (read != RecordRead::Trusted || r.tool != "assetdump" || r.version != ASSETDUMP_VERSION ||
        r.input.mtime == 0 || inputStamp.size != r.input.size || inputStamp.mtime != r.input.mtime ||
        inputStamp.ctime != r.input.ctime || inputStamp.inode != r.input.inode || inputStamp.device != r.input.device)
        return false;
    PictureFormat picture = p.picture;
    PaletteFormat palette = p.palette;
    adoptFormats(p.run->choices, r.formats, picture, palette);
    return r.formats == formatsOf(picture, palette);
}
