// Outputs written whole and put in place, new folders, records and the mod
// folder (see outputs.h); temporaries and their locks are in temporaries.cpp.
#include "output/outputs.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "common/report.h"
#include "output/names.h"
#include "output/palette.h"
#include "output/png.h"
#include "output/temporaries.h"
#include "platform/platform.h"

namespace {

thread_local OutputPlace* place = nullptr;
// See showing(); owned by the conversion or a helper of it, as a
// thread_local with a destructor is not safe at thread exit everywhere.
thread_local std::string* shownRecord = nullptr;

// The mod folder of an assetpack run (--output) and its record.
struct ModFolder {
    bool on = false;
    std::string root;
    std::string previousText;
    std::map<std::string, RecordedOutput> files;  // by path below root
};
std::mutex modLock;
ModFolder mod;

std::atomic<bool> dryRun{false};

// What a dry run says instead of changing a file ("would write PATH"), and
// -v after changing it ("wrote PATH").
void tellChange(const std::string& verb, const std::string& path)
{
    const std::string shown = escapeControls(shownPath(path));
    if (dryRun)
        reportNote("would " + verb + " " + shown);
    else if (verbose())
        reportNote((verb == "write" ? std::string("wrote") : verb + "d") + " " + shown);
}
std::atomic<unsigned long> failedOutputs{0}, placedOutputs{0};

// The folder part of a path, with its separator; empty for a bare name.
std::string folderOf(const std::string& path)
{
    size_t at = path.size();
    while (at > 0 && !isPathSeparator(path[at - 1]))
        at--;
    return path.substr(0, at);
}

void fail(OutputFile& out, int error)
{
    if (!out.error)
        out.error = error ? error : EIO;
}

// Output buffers are kept for the next output: no allocation per file.
// (Shared under a lock rather than kept per thread: objects with destructors
// per thread are not reliable on every runtime.)
constexpr size_t kBuffer = size_t(1) << 16;
std::mutex spareLock;
std::vector<std::vector<uint8_t>> spareBuffers;

void takeBuffer(OutputFile& out)
{
    out.buffered = 0;
    if (out.buffer.size() == kBuffer)
        return;
    {
        std::lock_guard<std::mutex> hold(spareLock);
        if (!spareBuffers.empty()) {
            out.buffer = std::move(spareBuffers.back());
            spareBuffers.pop_back();
            return;
        }
    }
    out.buffer.resize(kBuffer);
}

void giveBuffer(OutputFile& out)
{
    if (out.buffer.size() == kBuffer) {
        std::lock_guard<std::mutex> hold(spareLock);
        if (spareBuffers.size() < 16)
            spareBuffers.push_back(std::move(out.buffer));
    }
    out.buffer = std::vector<uint8_t>();
    out.buffered = 0;
}

bool flush(OutputFile& out)
{
    if (out.buffered && !out.error && !writeAll(out.file.fd, out.buffer.data(), out.buffered))
        fail(out, errno);
    out.buffered = 0;
    return !out.error;
}

// Closes the file, every byte written; false, with the failure kept, otherwise.
bool closeOutput(OutputFile& out)
{
    if (!out.file)
        return !out.error;
    flush(out);
    errno = 0;
    if (!out.file.close())  // a full disk often shows only at the close
        fail(out, errno);
    giveBuffer(out);
    return !out.error;
}

// A file written in a new output folder: the folder's own name stands for
// the hidden one it is written in.
bool inFreshFolder(const std::string& path, std::string& physical)
{
    if (!place || place->freshTemp.empty())
        return false;
    const std::string& final = place->freshFinal;
    if (path.size() <= final.size() || path.compare(0, final.size(), final) != 0 ||
        !isPathSeparator(path[final.size()]))
        return false;
    physical = place->freshTemp + path.substr(final.size());
    return true;
}

// Makes the folders between root and path (exclusive), refusing links: an
// output under --output must stay below it. False with why set.
bool makeFoldersBelow(const Placement* where, const std::string& path, std::string& why)
{
    const std::string root = !where ? "" : !where->root.empty() ? where->root : where->walked;
    if (root.empty() || dryRun)
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

const char* const kLinkRefusal = "a symbolic link has its name, and links are never followed";

// Makes the output's temporary beside its final name.
bool openTemporary(OutputFile& out)
{
    out.fresh = false;
    if (dryRun) {
        out.dry = true;  // nothing is made: the bytes are only counted
        return true;
    }
    forgetTemporary(out.registered);
    out.temp = makeTemporary(folderOf(out.path), false, out.registered, [&](const std::string& temp) {
        out.file = FileHandle(createNewFile(temp));
        return bool(out.file);
    });
    if (out.temp.empty()) {
        fail(out, errno);
        return false;
    }
    takeBuffer(out);
    return true;
}

// Appends bytes to the file being written, through its buffer.
bool writeRaw(OutputFile& out, const void* data, size_t size)
{
    if (out.dry)
        return true;
    if (out.buffered + size > out.buffer.size() && !flush(out))
        return false;
    if (size >= out.buffer.size()) {  // larger than the buffer: straight to the file
        if (!writeAll(out.file.fd, data, size))
            fail(out, errno);
        return !out.error;
    }
    std::memcpy(out.buffer.data() + out.buffered, data, size);
    out.buffered += size;
    return true;
}

// Writes the bytes an output shared with the file it was compared with so
// far, once it turns out to differ: from then on it is an output like any
// other.
bool startRebuilt(OutputFile& out)
{
    std::unique_ptr<Source> original = std::move(out.original);
    const int64_t same = out.sameAt;
    out.comparing = OutputFile::Compare::None;
    if (!makeFoldersBelow(place ? &place->where : nullptr, out.path, out.why)) {
        fail(out, ENOTDIR);
        return false;
    }
    if (!openTemporary(out))
        return false;
    for (int64_t done = 0; original && done < same && !out.error;) {
        const size_t piece = size_t(std::min<int64_t>(same - done, 1 << 20));
        const uint8_t* bytes = view(*original, done, piece);
        if (!bytes) {
            fail(out, EIO);
            out.why = "not written: " + getName(original->path) + " cannot be read: " + readFailure(*original);
            return false;
        }
        writeRaw(out, bytes, piece);
        done += int64_t(piece);
    }
    return !out.error;
}

// True when the file at an output's name may be replaced: it is what the
// record says was written there, or the folder has no record, or --force.
bool replaceable(const OutputFile& out)
{
    if (!place || !place->hadRecord || place->force)
        return true;
    const RecordedOutput* was = findOutput(place->previous, getName(out.path));
    int64_t size = 0;
    std::string hash;
    return was && hashFile(out.path, size, hash) && size == was->size && hash == was->hash;
}

// The new bytes of an output differ from the file it was compared with: a
// rebuilt file is written from here on; a file the user edited is kept.
bool diverge(OutputFile& out)
{
    if (out.comparing == OutputFile::Compare::Existing && !replaceable(out)) {
        out.original.reset();
        out.comparing = OutputFile::Compare::None;
        out.kept = true;
        out.why = "changed since it was written; kept (--force replaces it)";
        fail(out, EEXIST);
        return false;
    }
    return startRebuilt(out);
}

// The path of a file below the mod folder ("/" between names); empty when
// it is not below it.
std::string belowMod(const std::string& path)
{
    const std::string& root = mod.root;
    if (!mod.on || path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 ||
        !isPathSeparator(path[root.size()]))
        return std::string();
    std::string relative = path.substr(root.size() + 1);
    for (char& c : relative)
        if (isPathSeparator(c))
            c = '/';
    return relative;
}

// True when the file at path is one assetpack wrote into the mod folder and
// still holds what it wrote.
bool ownedInMod(const std::string& path)
{
    const std::string relative = belowMod(path);
    RecordedOutput was;
    {
        std::lock_guard<std::mutex> hold(modLock);
        auto it = mod.files.find(relative);
        if (relative.empty() || it == mod.files.end())
            return false;
        was = it->second;
    }
    int64_t size = 0;
    std::string hash;
    return hashFile(path, size, hash) && size == was.size && hash == was.hash;
}

// Forgets, or notes, a file of the mod folder.
void recordInMod(const std::string& path, const RecordedOutput* written)
{
    const std::string relative = belowMod(path);
    if (relative.empty())
        return;
    std::lock_guard<std::mutex> hold(modLock);
    if (written)
        mod.files[relative] = *written;
    else
        mod.files.erase(relative);
}

// True when the mod folder's file at out's name is one assetpack wrote with
// exactly out's bytes (openRebuilt found it unchanged since): a rerun of the
// same edits leaves it as it is.
bool heldInMod(const OutputFile& out)
{
    const std::string relative = belowMod(out.path);
    std::string what;
    if (relative.empty() || linkKind(out.path, what) != PathKind::Regular)
        return false;
    std::lock_guard<std::mutex> hold(modLock);
    auto it = mod.files.find(relative);
    return it != mod.files.end() && it->second.size == out.written && it->second.hash == out.hasher.hex();
}

const char* const kNotOurs = "not written by assetpack, or changed since it was: kept (remove it to let assetpack "
                             "write here)";

// An output held in its buffer (Compare::Recorded) grows past it: from here
// on it is compared with its file, which the record says is as placed.
bool compareWithFile(OutputFile& out)
{
    const std::vector<uint8_t> held(out.buffer.begin(), out.buffer.begin() + std::ptrdiff_t(out.buffered));
    out.buffered = 0;
    out.comparing = OutputFile::Compare::Existing;
    out.original = std::make_unique<Source>();
    const uint8_t* was = openSource(*out.original, out.path) ? view(*out.original, 0, held.size()) : nullptr;
    if (was && std::memcmp(was, held.data(), held.size()) == 0) {
        out.sameAt = int64_t(held.size());
        return true;
    }
    if (!startRebuilt(out))  // the file is as placed: replaced without a second look
        return false;
    return writeRaw(out, held.data(), held.size());
}

// The folder part of a path, without its separator.
std::string folderOfPath(const std::string& path)
{
    std::string folder = folderOf(path);
    if (!folder.empty())
        folder.pop_back();
    return folder;
}

// The formats this run writes pictures and palettes in, as the record
// names them ("png gpl"): a folder written in others is converted again.
std::string runFormats()
{
    return std::string(pictureFormat() == PictureFormat::Png ? "png " : "bmp ") + paletteFormatName(paletteFormat());
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
        } else if (dryRun) {
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

// Puts a record in place in its folder; false, having said why, when it
// could not be.
bool placeRecord(const std::string& folder, const std::string& text)
{
    OutputFile out;
    out.counted = false;
    out.hidden = true;
    openOutput(out, createFile(kRecordName, folder));
    writeOutput(out, text.data(), text.size());
    return placeOutputs({&out});
}

// The records of the new folders of this run, written once the run has
// converted everything (so that the times they keep have settled). Until
// then such a folder is one without a record, which loses nothing.
struct PendingRecord {
    std::string folder;
    FolderRecord record;
};
std::mutex pendingLock;
std::vector<PendingRecord> pendingRecords;

// Brings the folder's record up to date when it changed: a new folder's
// later (see pendingRecords). False, having said why, when it could not be.
bool writeRecord(OutputPlace& p, bool converted)
{
    if (p.recordFolder.empty())
        return true;
    FolderRecord record = updatedRecord(p, converted);  // in a dry run, tells what it would remove
    if (dryRun)
        return true;
    if (!p.freshTemp.empty()) {
        std::lock_guard<std::mutex> hold(pendingLock);
        pendingRecords.push_back({p.recordFolder, std::move(record)});
        return true;
    }
    const std::string text = settledText(std::move(record));
    return text == p.previousText || placeRecord(p.recordFolder, text);  // nothing changed: nothing written
}

// With -v: which outputs of the folder differ from what the record says was
// written, or are gone.
void tellEdited(const std::string& folder, const FolderRecord& record)
{
    for (const RecordedOutput& o : record.outputs) {
        const std::string path = createFile(o.name, folder);
        std::string what, hash;
        int64_t size = 0, mtime = 0;
        if (linkKind(path, what) == PathKind::Missing)
            reportDetail(path, "deleted: the original's is kept");
        else if (!(o.mtime && fileStamp(path, size, mtime) && size == o.size && mtime == o.mtime) &&
                 (!hashFile(path, size, hash) || size != o.size || hash != o.hash))
            reportDetail(path, "edited");
    }
}

// True when the edits in folder were made from this original, as its record
// says (or the folder has none, or --force); false, having said why.
bool editsMatchOriginal(const std::string& original, const std::string& folder)
{
    std::string text;
    FolderRecord record;
    if (!loadRecord(folder, text, record))
        return true;
    if (verbose())
        tellEdited(folder, record);
    if (place && place->force)
        return true;
    int64_t size = 0;
    std::string hash;
    if (hashInput(original, size, hash) && size == record.inputSize && hash == record.inputHash)
        return true;
    return refuse(original, "%s changed since %s was made: convert it again, or --force to pack these edits onto it",
                  escapeControls(getName(original)).c_str(), escapeControls(getName(folder)).c_str());
}

// Reads the record an earlier run left in an output folder.
void readRecord(OutputPlace& p, const std::string& dir)
{
    p.recordFolder = dir;
    p.hadRecord = loadRecord(dir, p.previousText, p.previous);
}

}  // namespace

void showing(const std::string& record)
{
    if (shownRecord)
        *shownRecord = record;
}

void beginOutputs(OutputPlace* to)
{
    place = to;
    keepWholeInput(to ? &to->whole : nullptr);
    shownRecord = to ? &to->shown : nullptr;
}

void shareWork(size_t count, size_t piece, const std::function<void(size_t, size_t)>& work)
{
    const size_t pieces = piece ? (count + piece - 1) / piece : 0;
    const unsigned helpers = place ? place->helpers : 1;
    if (helpers <= 1 || pieces <= 1) {
        work(0, count);
        return;
    }
    OutputPlace* shared = place;
    std::vector<ReportSink> lines(pieces);
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto helper = [&] {
        std::string shown;  // this thread's own
        place = shared;
        shownRecord = &shown;
        keepWholeInput(nullptr);
        for (size_t p; (p = next++) < pieces;) {
            useReportSink(&lines[p]);
            try {
                work(p * piece, std::min(count, (p + 1) * piece));
            } catch (...) {
                std::lock_guard<std::mutex> hold(failureLock);
                if (!failure)
                    failure = std::current_exception();
                next = pieces;  // the rest is not begun
            }
        }
        useReportSink(nullptr);
        beginOutputs(nullptr);
    };
    std::string* ownShown = shownRecord;
    WholeInput* ownWhole = shared ? &shared->whole : nullptr;
    ReportSink* own = currentReportSink();
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < helpers && t < pieces; t++)
        try {
            threads.emplace_back(helper);
        } catch (const std::exception&) {
            break;  // fewer helpers: this thread takes their share
        }
    helper();
    for (std::thread& t : threads)
        t.join();
    place = shared;  // this thread's conversion goes on, its input still known
    shownRecord = ownShown;
    keepWholeInput(ownWhole);
    useReportSink(own);
    for (const ReportSink& one : lines)
        reportAll(one);
    if (failure)
        std::rethrow_exception(failure);
}

bool finishOutputs(bool converted)
{
    OutputPlace* p = place;
    const bool recorded = !p || writeRecord(*p, converted);
    beginOutputs(nullptr);  // the place is its caller's, and goes with it
    if (!p || p->freshTemp.empty())
        return recorded;
    const std::string temp = p->freshTemp, final = p->freshFinal;
    p->freshTemp.clear();
    bool whole = p->failed == 0;
    {
        // Never while an interrupt's clean-up empties the folder: a half
        // folder must not land in place.
        std::shared_lock<std::shared_mutex> hold(makingLock());
        if (whole && renameFolder(temp, final)) {
            forgetTemporary(p->freshId);
            return recorded;
        }
    }
    if (whole) {
        // Another run made the folder meanwhile: the outputs go in one by one.
        const int error = errno;
        std::string what;
        const PathKind kind = linkKind(final, what);
        if ((error == EEXIST || error == ENOTEMPTY) && kind == PathKind::Directory) {
            std::vector<std::string> names;
            listDirectory(temp, names);
            for (const std::string& name : names)
                if (name != "." && name != ".." && !replaceFile(createFile(name, temp), createFile(name, final))) {
                    reportProblem(createFile(name, final), systemReason(errno));
                    failedOutputs++;
                    whole = false;
                }
        } else {
            reportProblem(final, std::string("cannot make the output folder: ") +
                                     (kind == PathKind::Link ? kLinkRefusal : systemReason(error)));
            whole = false;
        }
    }
    removeTree(temp);  // nothing left where it was renamed away
    forgetTemporary(p->freshId);
    return whole && recorded;
}

std::string outputFolderOf(const std::string& input)
{
    return place && !place->where.folder.empty() ? place->where.folder : placeConversion({}, input, "").folder;
}

std::string editsFolderOf(const std::string& input)
{
    return place && !place->where.edits.empty() ? place->where.edits : placePacking({}, input, "", "").edits;
}

std::string rebuiltPathOf(const std::string& original)
{
    return place && !place->where.rebuilt.empty() ? place->where.rebuilt : placePacking({}, original, "", "").rebuilt;
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
                      escapeControls(getName(folder)).c_str());
    default:
        return refuse(folder, "cannot be read back: it is not a folder");
    }
}

OutputFile::~OutputFile()
{
    giveBuffer(*this);
    if (file) {
        // Given up while it was written (its reason told where it was given up).
        file.close();
        removeFile(temp);
        failedOutputs++;
        if (place)
            place->failed++;
    }
    forgetTemporary(registered);
}

bool openOutput(OutputFile& out, const std::string& path)
{
    out.path = path;
    out.error = 0;
    out.hasher.reset();
    out.written = 0;
    out.shows = shownRecord ? *shownRecord : std::string();
    const std::string name = getName(path);
    out.inRecord = place && !place->recordFolder.empty() && !isRecordName(name) &&
                   folderOfPath(path) == place->recordFolder;
    if (out.inRecord) {
        std::lock_guard<std::mutex> hold(place->recordLock);
        place->claimed.insert(name);
    }
    std::string physical;
    if (inFreshFolder(path, physical)) {
        // Nobody else writes in a new folder: the file is made under its own
        // name, and made only once, so no output of a conversion ever
        // replaces another of the same conversion.
        out.temp = physical;
        out.fresh = true;
        std::shared_lock<std::shared_mutex> hold(makingLock());
        errno = 0;
        out.file = FileHandle(createNewFile(physical));
        if (!out.file) {
            fail(out, errno);
            out.temp.clear();
            return false;
        }
        takeBuffer(out);
        return true;
    }
    std::string what;
    const RecordedOutput* was = out.inRecord && place->hadRecord ? findOutput(place->previous, name) : nullptr;
    int64_t size = 0, mtime = 0;
    if (was && was->mtime && fileStamp(path, size, mtime) && size == was->size && mtime == was->mtime) {
        // A rerun, the file as it was placed: nothing is read or written
        // unless the new bytes' hash differs from the recorded one.
        out.was = *was;
        out.comparing = OutputFile::Compare::Recorded;
        takeBuffer(out);
        return true;
    }
    if (out.inRecord && linkKind(path, what) == PathKind::Regular) {
        // A rerun: nothing is written while the bytes are those already there.
        out.original = std::make_unique<Source>();
        if (openSource(*out.original, path)) {
            out.comparing = OutputFile::Compare::Existing;
            out.sameAt = 0;
            return true;
        }
        out.original.reset();
    }
    return openTemporary(out);
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
    if (!belowMod(out.path).empty()) {
        if (!dryRun)
            removeStaleTemporaries(folderOf(out.path));
        if (linkKind(out.path, what) != PathKind::Missing && !ownedInMod(out.path)) {
            out.why = kNotOurs;
            fail(out, EEXIST);
            return false;
        }
    }
    out.sameAt = 0;
    if (place && place->where.skipUnchanged) {
        out.original = std::make_unique<Source>();
        if (openSource(*out.original, original)) {
            out.comparing = OutputFile::Compare::Rebuilt;
            return true;  // nothing is written while the bytes are the original's
        }
        out.original.reset();
    }
    return startRebuilt(out);
}

bool writeOutput(OutputFile& out, const void* data, size_t size)
{
    if (out.error)
        return false;
    if (size == 0)
        return true;  // (an empty vector's data may be null)
    out.hasher.add(data, size);
    out.written += int64_t(size);
    if (out.comparing == OutputFile::Compare::Recorded) {
        if (out.buffered + size <= out.buffer.size()) {
            std::memcpy(out.buffer.data() + out.buffered, data, size);
            out.buffered += size;
            return true;
        }
        if (!compareWithFile(out))
            return false;
    }
    if (out.original) {
        // Compared a piece at a time: the window of the original stays small.
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        size_t same = 0;
        while (same < size) {
            const size_t piece = std::min<size_t>(size - same, 1 << 16);
            const uint8_t* was = view(*out.original, out.sameAt + int64_t(same), piece);
            if (!was || std::memcmp(was, bytes + same, piece) != 0)
                break;
            same += piece;
        }
        if (same == size) {
            out.sameAt += int64_t(size);
            return true;
        }
        if (!diverge(out))
            return false;
    }
    return writeRaw(out, data, size);
}

bool printOutput(OutputFile& out, const char* format, ...)
{
    if (out.error)
        return false;
    // Lines are short: straight into the buffer where they fit.
    va_list args;
    va_start(args, format);
    if (!out.original && out.buffer.size() - out.buffered > 256) {
        va_list again;
        va_copy(again, args);
        const size_t room = out.buffer.size() - out.buffered;
        const int n = std::vsnprintf(reinterpret_cast<char*>(out.buffer.data() + out.buffered), room, format, again);
        va_end(again);
        if (n >= 0 && size_t(n) < room) {
            out.hasher.add(out.buffer.data() + out.buffered, size_t(n));
            out.written += n;
            out.buffered += size_t(n);
            va_end(args);
            return true;
        }
    }
    const std::string text = formatText(format, args);
    va_end(args);
    return writeOutput(out, text.data(), text.size());
}

namespace {

// Finishes an output that was compared rather than written: true when the
// file already holds its bytes (nothing is written; a rebuild that is its
// original takes back an earlier one from the mod folder); otherwise what
// differs is written out and the output goes on as any other.
bool settleCompared(OutputFile& out)
{
    if (out.comparing == OutputFile::Compare::Recorded && !out.error) {
        if (out.written == out.was.size && out.hasher.hex() == out.was.hash) {
            out.buffered = 0;
            return true;
        }
        const std::vector<uint8_t> held(out.buffer.begin(), out.buffer.begin() + std::ptrdiff_t(out.buffered));
        out.buffered = 0;
        if (startRebuilt(out))
            writeRaw(out, held.data(), held.size());
    }
    if (!out.original || out.error)
        return false;
    if (out.sameAt != out.original->size) {
        diverge(out);  // a shorter file that began like the one compared with
        return false;
    }
    out.original.reset();
    if (out.comparing == OutputFile::Compare::Existing)
        return true;
    out.rebuilt = false;  // nothing of it is put in place
    std::string what;
    const std::string relative = belowMod(out.path);
    if (!relative.empty() && linkKind(out.path, what) == PathKind::Regular) {
        if (dryRun) {
            tellChange("remove", out.path);
        } else if (removeFileBelow(mod.root, relative)) {
            recordInMod(out.path, nullptr);
            tellChange("remove", out.path);
            reportNoteAbout(out.path, "removed: the rebuild is now the original, byte for byte");
        }
    } else {
        reportDetail(out.path, "not written: the rebuild is the original, byte for byte");
    }
    if (place)
        place->unchanged = true;
    return true;
}

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
        placedOutputs += out->counted ? 1 : 0;
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
        failedOutputs++;
        if (place && !out->kept)
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

bool copyOriginal(OutputFile& out, Source& in, int64_t pos, int64_t n)
{
    for (int64_t done = 0; done < n && !out.error;) {
        const size_t piece = size_t(std::min<int64_t>(n - done, 1 << 20));
        const uint8_t* bytes = view(in, pos + done, piece);
        if (!bytes) {
            fail(out, EIO);
            if (out.why.empty())
                out.why = "not written: " + getName(in.path) + " cannot be read: " + readFailure(in);
            return false;
        }
        writeOutput(out, bytes, piece);
        done += int64_t(piece);
    }
    return !out.error;
}

unsigned long failedOutputCount()
{
    return failedOutputs;
}

unsigned long placedOutputCount()
{
    return placedOutputs;
}

bool makeOutputDir(const std::string& path, std::string& dir)
{
    dir = outputFolderOf(path);
    std::string why;
    if (!makeFoldersBelow(place ? &place->where : nullptr, dir, why))
        return refuse(dir, "cannot make the output folder: %s", why.c_str());
    std::string what;
    errno = 0;
    switch (linkKind(dir, what)) {
    case PathKind::Directory:
        if (!dryRun)
            removeStaleTemporaries(dir);
        if (place) {
            place->inputPath = path;
            readRecord(*place, dir);
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
    if (dryRun)
        return true;  // its outputs are told one by one
    if (!place) {
        if (makeDirectory(dir))
            return true;
        return refuse(dir, "cannot make the output folder: %s", systemReason(errno).c_str());
    }
    // A new folder: made hidden, renamed into place by finishOutputs.
    const std::string parent = folderOf(dir);
    if (!dryRun)
        removeStaleTemporaries(parent);
    place->freshTemp = makeTemporary(parent, true, place->freshId, makeNewDirectory);
    if (place->freshTemp.empty())
        return refuse(dir, "cannot make the output folder: %s", systemReason(errno ? errno : EIO).c_str());
    place->freshFinal = dir;
    place->inputPath = path;
    place->recordFolder = dir;
    return true;
}

void beginModFolder(const std::string& root)
{
    std::lock_guard<std::mutex> hold(modLock);
    mod = ModFolder();
    mod.on = true;
    mod.root = root;
    FolderRecord record;
    if (loadRecord(root, mod.previousText, record) && record.tool == "assetpack")
        for (const RecordedOutput& o : record.outputs)
            mod.files[o.name] = o;
}

bool endModFolder()
{
    FolderRecord record;
    std::string root;
    {
        std::lock_guard<std::mutex> hold(modLock);
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
    if (dryRun)
        return true;
    const std::string text = recordText(record);
    std::string what;
    if (text == mod.previousText || (record.outputs.empty() && mod.previousText.empty()) ||
        linkKind(root, what) != PathKind::Directory)
        return true;
    return placeRecord(root, text);
}

bool modFolderLists(const std::string& path)
{
    const std::string relative = belowMod(path);
    std::lock_guard<std::mutex> hold(modLock);
    return !relative.empty() && mod.files.count(relative);
}

bool removeStaleRebuilt(const std::string& original, bool& handled)
{
    const std::string path = rebuiltPathOf(original);
    std::string what;
    handled = linkKind(editsFolderOf(original), what) == PathKind::Missing && modFolderLists(path);
    if (!handled)
        return false;
    if (linkKind(path, what) == PathKind::Missing) {
        recordInMod(path, nullptr);
        return true;
    }
    if (!ownedInMod(path))
        return refuse(path, "its edits folder is gone, but this file was changed since assetpack wrote it: kept");
    if (dryRun) {
        tellChange("remove", path);
        return true;
    }
    if (!removeFileBelow(mod.root, belowMod(path)))
        return refuse(path, "cannot be removed: %s", systemReason(errno).c_str());
    recordInMod(path, nullptr);
    tellChange("remove", path);
    reportNoteAbout(path, "removed: " + getName(editsFolderOf(original)) + " is gone, so the original stands");
    return true;
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

bool writePendingRecords()
{
    std::vector<PendingRecord> pending;
    {
        std::lock_guard<std::mutex> hold(pendingLock);
        pending.swap(pendingRecords);
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

void setDryRun(bool on)
{
    dryRun = on;
}
