// The bounds-checked windowed reader of inputs (see source.h).
#include "common/source.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>

#include "common/hash.h"
#include "common/report.h"
#include "platform/platform.h"

namespace {
// Small inputs arrive in one read; larger ones a mebibyte at a time.
constexpr size_t kWindow = size_t(1) << 20;
// Room kept on the side a walk came from: validating forwards and then
// writing rows backwards (BMP order) must not thrash the window.
constexpr int64_t kSlack = 64 << 10;
}  // namespace

const WholeInput& lastWholeInput()
{
    static const WholeInput none;
    const ReportSink* sink = currentReportSink();
    return sink && sink->whole ? *sink->whole : none;
}

bool openSource(Source& source, const std::string& path)
{
    source.file = FileHandle(openInputFile(path, source.stamp));
    if (!source.file)
        return false;
    source.size = source.stamp.size;
    source.path = path;
    source.window.clear();
    source.windowAt = 0;
    source.readError = 0;
    source.told = false;
    return true;
}

bool openInput(const std::string& path, Source& source)
{
    errno = 0;
    if (openSource(source, path))
        return true;
    return refuse(path, "cannot be opened: %s", systemReason(errno ? errno : EIO).c_str());
}

Source memorySource(std::vector<uint8_t> bytes)
{
    Source source;
    source.size = int64_t(bytes.size());
    source.window = std::move(bytes);
    return source;
}

const uint8_t* refillWindow(Source& source, int64_t pos, size_t n)
{
    if (!holds(source, pos, n) || source.readError)
        return nullptr;
    static const uint8_t nothing = 0;
    if (n == 0)
        return &nothing;  // no bytes asked for, yet a place to point at
    if (!source.file)
        return nullptr;
    // The window before may hold it: a walk that reads an entry table and
    // then each entry's data goes back and forth between two places.
    int64_t spareOffset = pos - source.spareAt;
    std::swap(source.window, source.spare);
    std::swap(source.windowAt, source.spareAt);
    if (!source.window.empty() && spareOffset >= 0 && n <= source.window.size()
        && uint64_t(spareOffset) <= source.window.size() - n)
        return source.window.data() + spareOffset;
    // Walking backwards (rows stored top first, written bottom first), the
    // window ends a little past the request; otherwise it starts a little
    // before it.
    const size_t window = source.windowSize ? source.windowSize : kWindow;
    const int64_t slack = std::min<int64_t>(kSlack, int64_t(window / 4));
    const size_t length = std::max(n + size_t(slack), window);
    int64_t start = std::max<int64_t>(0, pos - slack);
    if (pos < source.spareAt)  // the window just left
        start = std::max<int64_t>(0, pos + int64_t(n) + slack - int64_t(length));
    const size_t want = size_t(std::min<int64_t>(int64_t(length), source.size - start));
    source.window.resize(want);
    const int64_t got = readAt(source.file.fd, source.window.data(), want, start);
    if (got < int64_t(want)) {
        // The file shrank or the device failed: what was read is not trusted.
        source.readError = got < 0 ? (errno ? errno : EIO) : kShrunk;
        source.window.clear();
        source.windowAt = 0;
        source.spare.clear();
        return nullptr;
    }
    source.windowAt = start;
    ReportSink* sink = currentReportSink();
    if (sink && sink->whole && start == 0 && int64_t(want) == source.size) {
        Hasher hasher;
        hasher.add(source.window.data(), want);
        *sink->whole = WholeInput{source.path, source.stamp, hasher.digest()};
    }
    return source.window.data() + (pos - start);
}

std::string readFailure(const Source& source)
{
    return source.readError == kShrunk ? "the file became shorter while it was read"
                                       : systemReason(source.readError ? source.readError : EIO);
}

bool endsBefore(const std::string& path, Source& source, const char* format, ...)
{
    if (source.readError && source.told)
        return false;
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    if (source.readError) {
        source.told = true;
        reportProblem(path, "cannot be read before " + text + ": " + readFailure(source));
        return false;
    }
    reportProblem(path, "the data ends before " + text);
    return false;
}

bool tooShort(const std::string& path, const Source& source, const char* what, int64_t least)
{
    return refuse(path, "too short for %s: %lld bytes, at least %lld needed", what, (long long)source.size,
                  (long long)least);
}

bool checkMagic(const std::string& path, Source& source, const char* magic, const char* what)
{
    const size_t length = std::strlen(magic);
    if (source.size < int64_t(length))
        return tooShort(path, source, what, int64_t(length));
    const uint8_t* head = view(source, 0, length);
    if (!head)
        return endsBefore(path, source, "its magic");
    if (std::memcmp(head, magic, length) != 0)
        return refuse(path, "not %s: it does not start with \"%s\"", what, magic);
    return true;
}

bool sameBytes(Source& source, int64_t a, int64_t b, int64_t n)
{
    std::vector<uint8_t> first;
    for (int64_t done = 0; done < n;) {
        const size_t piece = size_t(std::min<int64_t>(n - done, 1 << 16));
        const uint8_t* x = view(source, a + done, piece);
        if (!x)
            return false;
        first.assign(x, x + piece);  // the next view may move the window
        const uint8_t* y = view(source, b + done, piece);
        if (!y || std::memcmp(first.data(), y, piece) != 0)
            return false;
        done += int64_t(piece);
    }
    return true;
}
