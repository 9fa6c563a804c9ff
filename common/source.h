// An input file read a window at a time. A converter asks for the bytes at a
// position and gets them only when the file holds them all, so nothing is
// read past the end, memory follows the window and not the file, and a huge
// file costs only what its format actually reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/file.h"
#include "common/hash.h"
#include "common/report.h"
#include "platform/platform.h"

struct Source {
    std::string path;             // the input, for messages
    FileHandle file;              // none when the bytes are already in memory
    int64_t size = 0;             // the input's length
    FileStamp stamp;              // its size, times and number when it was opened
    std::vector<uint8_t> window;  // bytes [windowAt, windowAt + window.size())
    int64_t windowAt = 0;
    std::vector<uint8_t> spare;   // the window before, kept for a walk that
    int64_t spareAt = 0;          // alternates between two places (table, data)
    int readError = 0;            // errno of a read that failed (kShrunk: the file became
                                  // shorter); 0 while all is well. Nothing is read after one.
    bool told = false;            // the read failure has been told
    size_t windowSize = 0;        // bytes one read takes at least (0: a large window, for a walk
                                  // through the data; small: a walk that only visits its heads)
};
constexpr int kShrunk = -1;
// What went wrong with the last read, in words.
std::string readFailure(const Source& source);

// The identity of the last input this thread read whole in one read (a
// small file): the record of its outputs takes it instead of reading the
// file again, and it names exactly the bytes that were converted.
struct WholeInput {
    std::string path;
    FileStamp stamp;
    Hash128 hash;
};
// It is kept where the conversion's report sink points (ReportSink::whole;
// none: it is not taken).
const WholeInput& lastWholeInput();

// Opens a regular file for reading; false, with errno, when it cannot be opened.
bool openSource(Source& source, const std::string& path);
// Opens an input as openSource does; when it cannot, says why and returns false.
bool openInput(const std::string& path, Source& source);
// A source over bytes already in memory.
Source memorySource(std::vector<uint8_t> bytes);

// Refills the window so that it holds [pos, pos + n); nullptr when the input
// does not hold those bytes or they cannot be read.
const uint8_t* refillWindow(Source& source, int64_t pos, size_t n);

// The n bytes at pos, valid until the next call; nullptr when the input does
// not hold them all (or a read failed: readError says so).
inline const uint8_t* view(Source& source, int64_t pos, size_t n)
{
    int64_t at = pos - source.windowAt;
    if (at >= 0 && n <= source.window.size() && uint64_t(at) <= source.window.size() - n && !source.window.empty())
        return source.window.data() + at;
    return refillWindow(source, pos, n);
}

// True when the input holds the n bytes at pos (nothing is read).
inline bool holds(const Source& source, int64_t pos, uint64_t n)
{
    return pos >= 0 && pos <= source.size && n <= uint64_t(source.size - pos);
}

// Reports that the input cannot give what a converter needs: a read error
// with its reason (once: a failed input is told in one line, not one line a
// read), or "the data ends before " and the formatted rest.
PRINTF_LIKE(3, 4)
bool endsBefore(const std::string& path, Source& source, const char* format, ...);

// Refuses an input shorter than least bytes: "too short for <what>: N bytes,
// at least least needed". False always.
bool tooShort(const std::string& path, const Source& source, const char* what, int64_t least);
// The magic text a file starts with: false, having said why, for a file too
// short to hold it, one that cannot be read, or one that starts otherwise
// ("not an ANM script: it does not start with "BNM "").
bool checkMagic(const std::string& path, Source& source, const char* magic, const char* what);
// True when the n bytes at a and at b are the same, and can be read.
bool sameBytes(Source& source, int64_t a, int64_t b, int64_t n);

// A read position in a source, for formats read front to back. Every take
// checks that the bytes are there before it moves; a failed take leaves the
// cursor where it was.
struct SourceCursor {
    Source* source;
    int64_t pos;
};

inline bool take(SourceCursor& c, size_t n, const uint8_t*& at)
{
    at = view(*c.source, c.pos, n);
    if (!at)
        return false;
    c.pos += int64_t(n);
    return true;
}
inline bool skip(SourceCursor& c, int64_t n)
{
    if (n < 0 || !holds(*c.source, c.pos, uint64_t(n)))
        return false;
    c.pos += n;
    return true;
}
inline bool readU8(SourceCursor& c, int32_t& v)
{
    const uint8_t* at;
    if (!take(c, 1, at))
        return false;
    v = at[0];
    return true;
}
inline bool readI32(SourceCursor& c, int32_t& v)
{
    const uint8_t* at;
    if (!take(c, 4, at))
        return false;
    v = toInt(at, 0);
    return true;
}
inline bool readF32(SourceCursor& c, float& v)
{
    const uint8_t* at;
    if (!take(c, 4, at))
        return false;
    v = toFloat(at, 0);
    return true;
}
