// assetpack's rebuilt files and the edits folders they are read from (see rebuilt.h).
#include "back/rebuilt.h"

#include <cerrno>
#include <memory>

#include "back/mod.h"
#include "platform/platform.h"
#include "store/names.h"
#include "store/steps.h"
#include "store/temporaries.h"

namespace {

// With -v: which outputs of the folder differ from what the record says was
// written, or are gone.
void tellEdited(const std::string& folder, const FolderRecord& record)
{
    for (const RecordedOutput& o : record.outputs) {
        const std::string path = createFile(o.name, folder);
        std::string what;
        Hash128 hash;
        int64_t size = 0;
        FileStamp stamp;
        if (linkKind(path, what) == PathKind::Missing)
            reportDetail(path, "deleted: the original's is kept");
        else if (!(o.mtime && fileStamp(path, stamp) && stamp.size == o.size && stamp.mtime == o.mtime) &&
                 (!hashFile(path, size, hash) || !writtenByTool(o, size, hash)))
            reportDetail(path, "edited");
    }
}

// True when the edits in folder were made from this original, as its record
// says (or the folder has none, or --force); false, having said why.
bool editsMatchOriginal(const std::string& original, const std::string& folder)
{
    std::string why;
    FolderRecord record;
    switch (loadRecord(folder, record, why)) {
    case RecordRead::Missing:
        return true;
    case RecordRead::Spoiled:
    case RecordRead::Stopped:
        reportNoteAbout(createFile(kRecordName, folder),
                        "cannot be trusted: " + why + "; the edits are put back without checking their original");
        return true;
    case RecordRead::Trusted:
        break;
    }
    if (verbose())
        tellEdited(folder, record);
    if (currentRun().choices.force)
        return true;
    int64_t size = 0;
    Hash128 hash;
    if (hashInput(original, size, hash) && size == record.input.size && hash == record.inputHash)
        return true;
    return refuse(original, "%s changed since %s was made: convert it again, or --force to pack these edits onto it",
                  escapeControls(getName(original)).c_str(), escapeControls(getName(folder)).c_str());
}

}  // namespace

std::string editsFolderOf(const std::string& input)
{
    const OutputPlace* p = currentPlace();
    return p && !p->where.edits.empty() ? p->where.edits : placePacking({}, input, "", "").edits;
}

std::string rebuiltPathOf(const std::string& original)
{
    const OutputPlace* p = currentPlace();
    return p && !p->where.rebuilt.empty() ? p->where.rebuilt : placePacking({}, original, "", "").rebuilt;
}

bool editsFolderReady(const std::string& original)
{
    const std::string folder = editsFolderOf(original);
    std::string what;
    switch (linkKind(folder, what)) {
    case PathKind::Directory:
        return editsMatchOriginal(original, folder);
    case PathKind::Link:
        return refuse(folder, "cannot be read back: %s", kLinkRefusal);
    case PathKind::Missing:
        return refuse(original, "there is no %s folder to put back: convert the file with assetdump first",
                      escapeControls(shownPath(folder)).c_str());
    default:
        return refuse(folder, "cannot be read back: it is not a folder");
    }
}

bool openRebuilt(OutputFile& out, const std::string& original)
{
    out.path = rebuiltPathOf(original);
    out.error = 0;
    std::string what;
    if (linkKind(out.path, what) == PathKind::Link) {
        out.why = kLinkRefusal;
        fail(out, ELOOP);
        return false;
    }
    if (sameFile(out.path, original)) {
        out.why = "this is the original itself: the rebuilt file must go elsewhere";
        fail(out, EEXIST);
        return false;
    }
    out.rebuilt = true;
    if (!dryRunning())
        removeStaleTemporaries(folderOf(out.path));  // a killed pack's, beside the original too
    if (!belowMod(out.path).empty()) {
        if (linkKind(out.path, what) != PathKind::Missing && !ownedInMod(out.path)) {
            out.why = kNotOurs;
            fail(out, EEXIST);
            return false;
        }
    }
    out.sameAt = 0;
    if (currentPlace() && currentPlace()->where.skipUnchanged) {
        out.original = std::make_unique<Source>();
        if (openSource(*out.original, original)) {
            out.comparing = OutputFile::Compare::Rebuilt;
            return true;  // nothing is written while the bytes are the original's
        }
        out.original.reset();
    }
    return startRebuilt(out);
}
