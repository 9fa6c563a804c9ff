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

// Renames every output of a whole set into place; false at the first that fails.
bool renameInPlace(std::initializer_list<OutputFile*> outputs)
{
    // A pair goes in place together: a folder at a later name must not leave
    // the first replaced. A replaced file's permission bits stay.
    for (OutputFile* out : outputs) {
        if (out->fresh || out->temp.empty())
            continue;
        std::string what;
        unsigned mode = 0;
        const PathKind existing = linkKind(out->path, what, &mode);
        if (existing == PathKind::Directory) {
            fail(*out, EISDIR);
            return false;
        }
        if (existing == PathKind::Regular && mode != newFileMode())
            setFileMode(out->temp, mode);
    }
    for (OutputFile* out : outputs) {
        std::string what;
        const char* verb = nullptr;
        if (out->dry || (verbose() && !out->temp.empty()))
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

// Notes the outputs put in place in the folder's record (and assetpack's in
// the mod folder's), each with its time as placed, so that a rerun knows it
// untouched without reading it; one left as it was keeps the time it had.
void recordPlaced(std::initializer_list<OutputFile*> outputs)
{
    for (OutputFile* out : outputs) {
        currentRun().placedOutputs += out->counted ? 1 : 0;
        RecordedOutput written{getName(out->path), out->written, out->hasher.hex(),
                               out->shows.empty() ? "file" : out->shows, 0};
        if (out->inRecord) {
            std::string physical;
            int64_t size = 0;
            // A file compared and found as written takes its time as it is
            // now: a record whose times were too fresh to keep (0) gains
            // them on the next run, so later reruns need not read the file.
            if (out->comparing == OutputFile::Compare::Recorded)
                written.mtime = out->was.mtime;
            else if (!fileStamp(inFreshFolder(out->path, physical) ? physical : out->path, size, written.mtime))
                written.mtime = 0;
            OutputPlace* place = currentPlace();
            std::lock_guard<std::mutex> hold(place->recordLock);
            place->placed.push_back(written);
        }
        if (out->rebuilt)
            recordInMod(out->path, &written);
    }
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
        if (OutputPlace* place = currentPlace(); place && !out->kept)
            place->failed++;
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
    if (whole && renameInPlace(outputs)) {
        recordPlaced(outputs);
        return true;
    }
    reportUnplaced(outputs);
    return false;
}
