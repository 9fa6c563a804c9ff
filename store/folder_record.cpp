// The folder record over a conversion: read (and trusted or not) when the
// folder is known, rewritten to name the bytes about to change before any
// file is replaced, settled when the conversion ends; and the quick check
// that a folder is up to date (see record.h).
#include "store/steps.h"

#include <chrono>
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
        hashInput(p.inputPath, size, r.inputHash);
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
    std::string hash;
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

// The record of a folder as the conversion leaves it: what an earlier run
// wrote that is still there, overlaid with what this run put in place. The
// input is named only after a conversion that succeeded: a failed one
// leaves the input the record named, so its outputs are never called up to
// date with an input they were not made from.
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
    std::map<std::string, RecordedOutput> entries;
    if (p.recordState == RecordRead::Trusted)
        for (const RecordedOutput& o : p.previous.outputs)
            if (p.claimed.count(o.name) || keepUnclaimed(p, o, whole, r.inputName))
                entries[o.name] = o;  // one asked for again: what this run placed takes its place below
    for (const RecordedOutput& o : p.placed)
        entries[o.name] = o;
    for (auto& entry : entries)
        r.outputs.push_back(std::move(entry.second));
    return r;
}

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
    if (record.input.mtime > now - kSettled)
        record.input.mtime = 0;
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

void readRecord(OutputPlace& p, const std::string& dir)
{
    p.recordFolder = dir;
    p.recordState = loadRecord(dir, p.previousText, p.previous, p.recordWhy);
    if (p.recordState == RecordRead::Trusted && p.previous.tool != "assetdump") {
        p.recordState = RecordRead::Spoiled;
        p.recordWhy = "it is not a record of assetdump's";
    }
    if (p.recordState == RecordRead::Trusted) {
        adoptFormats(p.run->choices, p.previous.formats, p.picture, p.palette);
        return;
    }
    if (p.recordState == RecordRead::Spoiled) {
        p.recordNewer = p.previous.format > kRecordFormat;
        reportNoteAbout(createFile(kRecordName, dir), "cannot be trusted: " + p.recordWhy +
                                                          "; every output that differs from what this run writes is "
                                                          "kept as an edit (--force replaces them)");
    }
}

bool writeIntentRecord(OutputPlace& p)
{
    if (p.recordNewer)
        return true;  // a newer version's record is never rewritten (nor trusted)
    FolderRecord r = p.recordState == RecordRead::Trusted ? p.previous : FolderRecord();
    r.tool = "assetdump";
    r.version = ASSETDUMP_VERSION;
    std::map<std::string, RecordedOutput> entries;
    for (RecordedOutput& o : r.outputs)
        entries[o.name] = std::move(o);
    for (const RecordedOutput& o : p.placed)
        entries[o.name] = o;
    for (const std::vector<StagedOutput>& set : p.staged)
        for (const StagedOutput& s : set)
            entries[s.written.name] = s.written;
    r.outputs.clear();
    for (auto& entry : entries)
        r.outputs.push_back(std::move(entry.second));
    const std::string text = recordText(r);
    if (!placeRecord(p.recordFolder, text))
        return false;
    p.previousText = text;
    return true;
}

bool writeRecord(OutputPlace& p, bool converted, bool whole)
{
    if (p.recordFolder.empty())
        return true;
    FolderRecord record = settledRecord(p, converted, whole);  // in a dry run, tells what it would remove
    if (dryRunning() || p.recordNewer || (p.recordState == RecordRead::Spoiled && !converted))
        return true;  // a spoiled record stays for the user to see until a conversion succeeds
    const std::string text = settledText(std::move(record));
    if (text == p.previousText)
        return true;  // nothing changed: nothing written
    const std::string folder = p.freshTemp.empty() ? p.recordFolder : p.freshTemp;
    if (!p.freshTemp.empty()) {
        // A new folder: its record is made inside it before it is put in place.
        const std::string path = createFile(kRecordName, folder);
        errno = 0;
        FileHandle file(createNewFile(path));
        if (file && writeAll(file.fd, text.data(), text.size()) && file.close()) {
            hideFile(path);
            return true;
        }
        return refuse(createFile(kRecordName, p.recordFolder), "%s", systemReason(errno ? errno : EIO).c_str());
    }
    return placeRecord(folder, text);
}

bool outputsUpToDate(OutputPlace& p, const std::string& input)
{
    const std::string& folder = p.where.folder;
    std::string what, text, why;
    FolderRecord r;
    FileStamp stamp;
    if (folder.empty() || linkKind(folder, what) != PathKind::Directory ||
        loadRecord(folder, text, r, why) != RecordRead::Trusted || r.tool != "assetdump" ||
        r.version != ASSETDUMP_VERSION || r.input.mtime == 0 || !fileStamp(input, stamp) || stamp.size != r.input.size ||
        stamp.mtime != r.input.mtime || stamp.ctime != r.input.ctime || stamp.inode != r.input.inode ||
        stamp.device != r.input.device)
        return false;
    PictureFormat picture = p.picture;
    PaletteFormat palette = p.palette;
    adoptFormats(p.run->choices, r.formats, picture, palette);
    if (r.formats != formatsOf(picture, palette))
        return false;
    for (const RecordedOutput& o : r.outputs)
        if (o.mtime == 0 || o.beforeSize >= 0 || !fileStamp(createFile(o.name, folder), stamp) ||
            stamp.size != o.size || stamp.mtime != o.mtime)
            return false;
    return true;
}
