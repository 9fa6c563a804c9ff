// Output folders: made below --output without passing a link, a new one
// written hidden and renamed into place when its conversion ends; and the
// conversion each thread works for (see conversion.h).
#include "store/steps.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <shared_mutex>

#include "platform/platform.h"
#include "store/names.h"
#include "store/temporaries.h"

namespace {

// What this thread writes for. A thread-local because a converter's
// signature (a path in, a flag out) cannot carry it; a pointer, as a
// thread-local with a destructor is unsafe at thread exit under MinGW.
thread_local ConversionThread* doing = nullptr;

}  // namespace

const char* const kLinkRefusal = "a symbolic link has its name, and links are never followed";

RunContext& plainRun()
{
    static RunContext plain;
    return plain;
}

RunContext& currentRun()
{
    return doing && doing->place ? *doing->place->run : plainRun();
}

OutputPlace* currentPlace()
{
    return doing ? doing->place : nullptr;
}

ConversionThread* currentConversionThread()
{
    return doing;
}

void useConversionThread(ConversionThread* thread)
{
    doing = thread;
}

bool dryRunning()
{
    return currentRun().choices.dryRun;
}

void tellChange(const std::string& verb, const std::string& path)
{
    const std::string shown = escapeControls(shownPath(path));
    if (dryRunning())
        reportNote("would " + verb + " " + shown);
    else if (verbose())
        reportNote((verb == "write" ? std::string("wrote") : verb + "d") + " " + shown);
}

// The folder part of a path, with its separator; empty for a bare name.
std::string folderOf(const std::string& path)
{
    size_t at = path.size();
    while (at > 0 && !isPathSeparator(path[at - 1]))
        at--;
    return path.substr(0, at);
}

// A file written in a new output folder: the folder's own name stands for
// the hidden one it is written in.
bool inFreshFolder(const std::string& path, std::string& physical)
{
    const OutputPlace* p = currentPlace();
    if (!p || p->freshTemp.empty())
        return false;
    const std::string& final = p->freshFinal;
    if (path.size() <= final.size() || path.compare(0, final.size(), final) != 0 ||
        !isPathSeparator(path[final.size()]))
        return false;
    physical = p->freshTemp + path.substr(final.size());
    return true;
}

// Makes the folders between root and path (exclusive), refusing links: an
// output under --output must stay below it. False with why set.
bool makeFoldersBelow(const Placement* where, const std::string& path, std::string& why)
{
    const std::string root = !where ? "" : !where->root.empty() ? where->root : where->walked;
    if (root.empty() || dryRunning())
        return true;
    const bool walked = where->root.empty();  // beside the input: nothing is made below the walked folder
    if (!walked && !makeDirectory(root)) {
        // The folder given with --output is the user's own: made with its
        // parents. A step that fails is named with its own reason.
        std::string step = root;
        int error = errno;
        for (size_t at = 1; at <= root.size(); at++) {
            if (at < root.size() && (!isPathSeparator(root[at]) || isPathSeparator(root[at - 1])))
                continue;
            const std::string part = root.substr(0, at);
            if (!makeDirectory(part)) {
                step = part;
                error = errno;
                break;
            }
        }
        std::string what;
        if (linkKind(root, what) != PathKind::Directory) {
            if (error == EEXIST)
                error = ENOTDIR;  // a file has the name
            why = shownPath(step) + ": " + systemReason(error);
            return false;
        }
    }
    const std::string parent = folderOf(path);
    for (size_t at = root.size() + 1; at < parent.size(); at++) {
        if (!isPathSeparator(parent[at]) || isPathSeparator(parent[at - 1]))
            continue;
        const std::string step = parent.substr(0, at);
        std::string what;
        switch (linkKind(step, what)) {
        case PathKind::Directory:
            continue;
        case PathKind::Link:
            why = shownPath(step) + " is a symbolic link, and links are never followed";
            return false;
        case PathKind::Missing:
            if (!walked && makeDirectory(step))
                continue;
            [[fallthrough]];
        default:
            why = systemReason(errno ? errno : ENOTDIR);
            return false;
        }
    }
    return true;
}


// The folder part of a path, without its separator.
std::string folderOfPath(const std::string& path)
{
    std::string folder = folderOf(path);
    if (!folder.empty())
        folder.pop_back();
    return folder;
}

void showing(const std::string& record)
{
    if (doing)
        doing->shown = record;
}

void beginOutputs(OutputPlace* to)
{
    doing = to ? &to->own : nullptr;
    if (ReportSink* sink = currentReportSink())
        sink->whole = to ? &to->whole : nullptr;
    if (to) {
        to->problemsAtStart = problemCount();
        to->picture = to->run->choices.picture;
        to->palette = to->run->choices.palette;
    }
}

namespace {

// Puts a new folder, written under its temporary name with its record, in
// place; false, having said why, when it could not be. When another run put
// the same folder in place meanwhile, nothing is said: p.raced tells the
// caller to convert again into the folder that now stands there.
bool placeFreshFolder(OutputPlace& p, bool whole)
{
    const std::string temp = p.freshTemp, final = p.freshFinal;
    p.freshTemp.clear();
    {
        // Never while an interrupt's clean-up empties the folder: a half
        // folder must not land in place.
        std::shared_lock<std::shared_mutex> hold(makingLock());
        if (whole && renameFolder(temp, final)) {
            forgetTemporary(p.freshId);
            return true;
        }
    }
    if (whole) {
        const int error = errno;
        std::string what;
        const PathKind kind = linkKind(final, what);
        if ((error == EEXIST || error == ENOTEMPTY) && kind == PathKind::Directory)
            p.raced = true;
        else
            reportProblem(final, std::string("cannot make the output folder: ") +
                                     (kind == PathKind::Link ? kLinkRefusal : systemReason(error)));
    }
    removeTree(temp);  // nothing left where it was renamed away
    forgetTemporary(p.freshId);
    return false;
}

// Stops the process at a named point of finishing, as a kill would there:
// for the tests of what a later run makes of it.
void stopForTest(const char* point)
{
    const char* at = std::getenv("ASSETDUMP_TEST_STOP_AT");
    if (at && std::strcmp(at, point) == 0)
        std::_Exit(137);
}

}  // namespace

bool finishOutputs(bool converted)
{
    OutputPlace* p = currentPlace();
    if (!p)
        return true;
    const unsigned long failedBefore = p->failed;
    bool placed = true;
    if (!p->staged.empty()) {
        stopForTest("staged");
        if (!writeIntentRecord(*p)) {
            dropStaged(*p, "not replaced: the folder's record could not be written first");
            placed = false;
        } else {
            stopForTest("named");
            placeStaged(*p);
            stopForTest("renamed");
        }
    }
    converted = converted && placed && p->failed == failedBefore;
    // Failed only for outputs held back for edits (each told, and nothing
    // else): the whole input was converted all the same.
    const bool whole = converted || (placed && p->failed == 0 && p->heldBack > 0 &&
                                     problemCount() - p->problemsAtStart == p->heldBack);
    const bool recorded = writeRecord(*p, converted, whole);
    if (!p->freshTemp.empty())
        placed = placeFreshFolder(*p, recorded && p->failed == 0) && placed;
    else
        placed = placed && p->failed == failedBefore;
    letGoFolder(p->folderLock);
    p->folderLock = 0;
    beginOutputs(nullptr);  // the place is its caller's, and goes with it
    return placed && recorded;
}

std::string outputFolderOf(const std::string& input)
{
    const OutputPlace* p = currentPlace();
    return p && !p->where.folder.empty() ? p->where.folder : placeConversion({}, input, "").folder;
}

namespace {

// Holds the folder for this conversion: another run working there is waited
// for (said on a terminal), so two runs never mix their outputs or records.
bool lockFolder(OutputPlace& p, const std::string& dir)
{
    p.folderLock = holdFolder(dir, [&] {
        const std::string line = "\r\x1b[K" + escapeControls(shownPath(dir)) + ": waiting for another run working there\n";
        if (errorIsTerminal())
            writeAll(2, line.data(), line.size());
    });
    if (!p.folderLock)
        return refuse(dir, "cannot be held for this run: %s", systemReason(errno ? errno : EIO).c_str());
    return true;
}

}  // namespace

bool makeOutputDir(const std::string& path, std::string& dir)
{
    dir = outputFolderOf(path);
    OutputPlace* p = currentPlace();
    std::string why;
    if (!makeFoldersBelow(p ? &p->where : nullptr, dir, why))
        return refuse(dir, "cannot make the output folder: %s", why.c_str());
    std::string what;
    errno = 0;
    switch (linkKind(dir, what)) {
    case PathKind::Directory:
        if (!dryRunning())
            removeStaleTemporaries(dir);
        if (p) {
            p->inputPath = path;
            if (!dryRunning() && !lockFolder(*p, dir))
                return false;
            readRecord(*p, dir);
            hashInputAside(*p);
        }
        return true;
    case PathKind::Link:
        return refuse(dir, "cannot make the output folder: %s", kLinkRefusal);
    case PathKind::Missing:
        break;
    default:
        return refuse(dir, "cannot make the output folder: %s", systemReason(EEXIST).c_str());
    }
    if (errno != ENOENT)  // a folder on the way that is not one, or cannot be read
        return refuse(dir, "cannot make the output folder: %s", systemReason(errno ? errno : ENOENT).c_str());
    if (dryRunning())
        return true;  // its outputs are told one by one
    if (!p) {
        if (makeDirectory(dir))
            return true;
        return refuse(dir, "cannot make the output folder: %s", systemReason(errno).c_str());
    }
    // A new folder: made hidden, renamed into place by finishOutputs.
    const std::string parent = folderOf(dir);
    removeStaleTemporaries(parent);
    p->freshTemp = makeTemporary(parent, true, p->freshId, makeNewDirectory);
    if (p->freshTemp.empty())
        return refuse(dir, "cannot make the output folder: %s", systemReason(errno ? errno : EIO).c_str());
    p->freshFinal = dir;
    p->inputPath = path;
    p->recordFolder = dir;
    hashInputAside(*p);
    return true;
}
