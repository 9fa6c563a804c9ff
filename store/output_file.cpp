// One output file: opened (under a temporary name, or straight in a new
// folder), written through a buffer and hashed as it goes, closed with every
// byte on disk (see outputs.h).
#include "store/steps.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "platform/platform.h"
#include "store/names.h"
#include "store/temporaries.h"

void fail(OutputFile& out, int error)
{
    if (!out.error)
        out.error = error ? error : EIO;
}

// Output buffers are kept for the next output: no allocation per file.
// (Shared under a lock rather than kept per thread: objects with destructors
// per thread are not reliable on every runtime.)
namespace {

constexpr size_t kBuffer = size_t(1) << 16;
std::mutex spareLock;
std::vector<std::vector<uint8_t>> spareBuffers;

}  // namespace

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

namespace {

bool flush(OutputFile& out)
{
    if (out.buffered && !out.error && !writeAll(out.file.fd, out.buffer.data(), out.buffered))
        fail(out, errno);
    out.buffered = 0;
    return !out.error;
}

}  // namespace

// Closes the file, every byte written; false, with the failure kept, otherwise.
bool closeOutput(OutputFile& out)
{
    if (!out.file)
        return !out.error;
    flush(out);
    // Its time as it will stay (a rename keeps it), for the record: taken
    // from the open file rather than by a second look at its path.
    FileStamp stamp;
    out.mtime = !out.error && openFileStamp(out.file.fd, stamp) ? stamp.mtime : 0;
    errno = 0;
    if (!out.file.close())  // a full disk often shows only at the close
        fail(out, errno);
    giveBuffer(out);
    return !out.error;
}


// Makes the output's temporary beside its final name.
bool openTemporary(OutputFile& out)
{
    out.fresh = false;
    if (dryRunning()) {
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

OutputFile::~OutputFile()
{
    giveBuffer(*this);
    if (file) {
        // Given up while it was written (its reason told where it was given up).
        file.close();
        removeFile(temp);
        currentRun().failedOutputs++;
        if (OutputPlace* p = currentPlace())
            p->failed++;
    }
    forgetTemporary(registered);
}

bool openOutput(OutputFile& out, const std::string& path)
{
    out.path = path;
    out.error = 0;
    out.hasher.reset();
    out.written = 0;
    const ConversionThread* thread = currentConversionThread();
    out.shows = thread ? thread->shown : std::string();
    OutputPlace* place = currentPlace();
    const std::string name = getName(path);
    out.inRecord = place && !place->recordFolder.empty() && !isRecordName(name) &&
                   folderOfPath(path) == place->recordFolder;
    if (out.inRecord)
        if (const RecordedOutput* was = findOutput(place->previous, name)) {
            std::lock_guard<std::mutex> hold(place->recordLock);
            place->claimed[size_t(was - place->previous.outputs.data())] = 1;
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
    const RecordedOutput* was =
        out.inRecord && place->recordState == RecordRead::Trusted ? findOutput(place->previous, name) : nullptr;
    FileStamp stamp;
    if (was && was->mtime && was->beforeSize < 0 && fileStamp(path, stamp) && stamp.size == was->size &&
        stamp.mtime == was->mtime) {
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
    return currentRun().failedOutputs;
}

unsigned long placedOutputCount()
{
    return currentRun().placedOutputs;
}
