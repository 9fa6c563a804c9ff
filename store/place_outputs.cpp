// A set of outputs put in place together once every one is whole, noted in
// the folder's record; or, when one is not, none of them (see outputs.h).
#include "store/steps.h"

#include <cerrno>
#include <mutex>

#include "back/mod.h"
#include "platform/platform.h"
#include "store/names.h"
#include "store/temporaries.h"

namespace {

// Readies a temporary to replace the file at path: a folder there stops it
// (error set), and a replaced file's permission bits stay.
bool readyToReplace(const std::string& path, const std::string& temp, int& error)
{
    std::string what;
    unsigned mode = 0;
    const PathKind existing = linkKind(path, what, &mode);
    if (existing == PathKind::Directory) {
        error = EISDIR;
        return false;
    }
    if (existing == PathKind::Regular && mode != newFileMode())
        setFileMode(temp, mode);
    return true;
}

// Renames every output of a whole set into place; false at the first that fails.
bool renameInPlace(std::initializer_list<OutputFile*> outputs)
{
    // A pair goes in place together: a folder at a later name must not leave
    // the first replaced.
    for (OutputFile* out : outputs)
        if (!out->fresh && !out->temp.empty() && !readyToReplace(out->path, out->temp, out->error))
            return false;
    for (OutputFile* out : outputs) {
        std::string what;
        const char* verb = nullptr;
        if (out->counted && (out->dry || (verbose() && !out->temp.empty())))  // the record is no output
            verb = out->fresh || linkKind(out->path, what) == PathKind::Missing ? "write" : "replace";
        if (!out->fresh && !out->temp.empty() && !replaceFile(out->temp, out->path)) {
            fail(*out, errno);
            removeFile(out->temp);
            return false;
        }
        if (verb)
            tellChange(verb, out->path);
        out->temp.clear();
        forgetTemporary(out->registered);
    }
    return true;
}

// The entry of an output in its folder's record.
RecordedOutput entryOf(const OutputFile& out)
{
    RecordedOutput written;
    written.name = getName(out.path);
    written.size = out.written;
    written.hash = out.hasher.digest();
    written.shows = out.shows.empty() ? "file" : out.shows;
    return written;
}

// Notes an output put in place in the folder's record (and assetpack's in
// the mod folder's), with its time as placed, so that a rerun knows it
// untouched without reading it; one left as it was keeps the time it had.
void recordPlaced(OutputFile& out)
{
    currentRun().placedOutputs += out.counted ? 1 : 0;
    RecordedOutput written = entryOf(out);
    if (out.inRecord) {
        FileStamp stamp;
        // A file compared and found as written takes its time as it is
        // now: a record whose times were too fresh to keep (0) gains
        // them on the next run, so later reruns need not read the file.
        if (out.comparing == OutputFile::Compare::Recorded)
            written.mtime = out.was.mtime;
        else if (out.mtime)
            written.mtime = out.mtime;  // written: its time when it was closed
        else if (fileStamp(out.path, stamp))
            written.mtime = stamp.mtime;
        notePlaced(*currentPlace(), written);
    }
    if (out.rebuilt)
        recordInMod(out.path, &written);
}

// True when a whole set must wait until the folder's record names it: it
// adds or replaces files of an output folder that exists.
bool mustStage(std::initializer_list<OutputFile*> outputs)
{
    const OutputPlace* place = currentPlace();
    if (!place || !place->freshTemp.empty() || place->recordFolder.empty())
        return false;
    for (OutputFile* out : outputs)
        if (out->inRecord && !out->fresh && !out->dry && !out->temp.empty())
            return true;
    return false;
}

// Hands a whole set to the conversion's place, to be renamed into place
// when it ends (see finishOutputs); outputs found as they are count now.
void stage(std::initializer_list<OutputFile*> outputs)
{
    OutputPlace& place = *currentPlace();
    std::vector<StagedOutput> set;
    for (OutputFile* out : outputs) {
        if (out->temp.empty()) {
            recordPlaced(*out);
            continue;
        }
        StagedOutput staged;
        staged.path = out->path;
        staged.temp = out->temp;
        staged.registered = out->registered;
        staged.written = entryOf(*out);
        staged.written.mtime = out->mtime;
        std::string what;
        if (out->beforeSize < 0 && linkKind(out->path, what) == PathKind::Regular)
            hashFile(out->path, out->beforeSize, out->beforeHash);
        staged.written.beforeSize = out->beforeSize;
        staged.written.beforeHash = out->beforeHash;
        out->temp.clear();
        out->registered = 0;  // the place keeps it registered now
        set.push_back(std::move(staged));
    }
    if (set.empty())
        return;
    std::lock_guard<std::mutex> hold(place.recordLock);
    place.staged.push_back(std::move(set));
}

// Takes back a staged output that is not put in place.
void unstage(OutputPlace& p, StagedOutput& s, const std::string& why)
{
    removeFile(s.temp);
    forgetTemporary(s.registered);
    p.run->failedOutputs++;
    p.failed++;
    reportProblem(s.path, why);
}

// Takes back the outputs of a set that could not all be put in place, each
// named with its reason.
void reportUnplaced(std::initializer_list<OutputFile*> outputs)
{
    std::string failed;
    bool edited = false;
    for (OutputFile* out : outputs)
        if (out->error && failed.empty()) {
            failed = getName(out->path);
            edited = out->kept;
        }
    for (OutputFile* out : outputs) {
        if (out->temp.empty() && !out->error)
            continue;  // put in place before a later one failed
        if (!out->temp.empty())
            removeFile(out->temp);
        out->temp.clear();
        forgetTemporary(out->registered);
        currentRun().failedOutputs++;
        if (OutputPlace* place = currentPlace())
            (out->kept || (edited && !out->error) ? place->heldBack : place->failed)++;
        reportProblem(out->path, !out->why.empty() ? out->why
                                 : out->error      ? systemReason(out->error)
                                 : edited          ? "not replaced: it goes with " + failed + ", which was edited"
                                                   : "not written: " + failed + " could not be");
    }
}

}  // namespace

bool placeOutputs(std::initializer_list<OutputFile*> outputs)
{
    bool whole = true;
    for (OutputFile* out : outputs) {
        if (settleCompared(*out))
            continue;
        closeOutput(*out);
        if (out->rebuilt && !out->error && !out->temp.empty() && heldInMod(*out)) {
            removeFile(out->temp);
            out->temp.clear();
            forgetTemporary(out->registered);
            reportDetail(out->path, "not replaced: it holds this rebuild already");
            continue;
        }
        if (out->hidden && !out->error && !out->temp.empty())
            hideFile(out->temp);
        whole = whole && !out->error;
    }
    if (whole && mustStage(outputs)) {
        stage(outputs);
        return true;
    }
    if (whole && renameInPlace(outputs)) {
        for (OutputFile* out : outputs)
            recordPlaced(*out);
        return true;
    }
    reportUnplaced(outputs);
    return false;
}

void placeStaged(OutputPlace& p)
{
    for (std::vector<StagedOutput>& set : p.staged) {
        int error = 0;
        size_t k = 0;
        for (const StagedOutput& s : set)
            if (!readyToReplace(s.path, s.temp, error))
                break;
        for (; !error && k < set.size(); k++) {
            StagedOutput& s = set[k];
            std::string what;
            const bool added = linkKind(s.path, what) == PathKind::Missing;
            if (!replaceFile(s.temp, s.path)) {
                error = errno;
                break;
            }
            forgetTemporary(s.registered);
            if (verbose())
                tellChange(added ? "write" : "replace", s.path);
            s.written.beforeSize = -1;
            s.written.beforeHash = Hash128();
            p.run->placedOutputs++;
            notePlaced(p, s.written);
        }
        for (; k < set.size(); k++)
            unstage(p, set[k], systemReason(error));
    }
    p.staged.clear();
}

void dropStaged(OutputPlace& p, const std::string& why)
{
    for (std::vector<StagedOutput>& set : p.staged)
        for (StagedOutput& s : set)
            unstage(p, s, why);
    p.staged.clear();
}
