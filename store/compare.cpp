// An output compared with the file at its name instead of written: nothing
// is written while the bytes are the same; once they differ, the bytes
// shared so far are written out, or the file is kept when it is the user's
// edit.
#include "store/steps.h"

#include <cerrno>
#include <cstring>

#include "back/mod.h"
#include "platform/platform.h"
#include "store/names.h"

// Writes the bytes an output shared with the file it was compared with so
// far, once it turns out to differ: from then on it is an output like any
// other.
bool startRebuilt(OutputFile& out)
{
    std::unique_ptr<Source> original = std::move(out.original);
    const int64_t same = out.sameAt;
    out.comparing = OutputFile::Compare::None;
    const OutputPlace* place = currentPlace();
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

namespace {

// True when the file at an output's name may be replaced: its bytes are
// what the record says the tool wrote there (a quick look at its size and
// time never decides this), or the folder has no record at all, or
// --force. Its size and hash are kept for the record's note of the change.
bool replaceable(OutputFile& out)
{
    const OutputPlace* place = currentPlace();
    if (!place)
        return true;
    const bool read = hashFile(out.path, out.beforeSize, out.beforeHash);
    if (!read)
        out.beforeSize = -1;
    if (currentRun().choices.force || place->recordState == RecordRead::Missing)
        return true;
    if (place->recordState != RecordRead::Trusted)
        return false;
    const RecordedOutput* was = findOutput(place->previous, getName(out.path));
    return was && read && writtenByTool(*was, out.beforeSize, out.beforeHash);
}

}  // namespace

// The new bytes of an output differ from the file it was compared with: a
// rebuilt file is written from here on; a file the user edited is kept.
bool diverge(OutputFile& out)
{
    if (out.comparing == OutputFile::Compare::Existing && !replaceable(out)) {
        out.original.reset();
        out.comparing = OutputFile::Compare::None;
        out.kept = true;
        const OutputPlace* place = currentPlace();
        out.why = place && place->recordState != RecordRead::Trusted
                      ? "differs from what this run writes, and the folder's record cannot be trusted; kept "
                        "(--force replaces it)"
                      : "changed since it was written; kept (--force replaces it)";
        fail(out, EEXIST);
        return false;
    }
    return startRebuilt(out);
}

namespace {

// An output held in its buffer differs from the file the record says is as
// placed: that file is replaced only once its bytes prove it the tool's.
bool replaceHeld(OutputFile& out, const std::vector<uint8_t>& held)
{
    out.original.reset();
    out.sameAt = 0;
    out.comparing = OutputFile::Compare::Existing;
    return diverge(out) && writeRaw(out, held.data(), held.size());
}

}  // namespace

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
    return replaceHeld(out, held);
}

// Finishes an output that was compared rather than written: true when the
// file already holds its bytes (nothing is written; a rebuild that is its
// original takes back an earlier one from the mod folder); otherwise what
// differs is written out and the output goes on as any other.
bool settleCompared(OutputFile& out)
{
    if (out.comparing == OutputFile::Compare::Recorded && !out.error) {
        if (out.written == out.was.size && out.hasher.digest() == out.was.hash) {
            out.buffered = 0;
            return true;
        }
        const std::vector<uint8_t> held(out.buffer.begin(), out.buffer.begin() + std::ptrdiff_t(out.buffered));
        out.buffered = 0;
        replaceHeld(out, held);
        return false;
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
    takeBackFromMod(out);
    if (OutputPlace* place = currentPlace())
        place->unchanged = true;
    return true;
}
