// SEC tables, printed as text in file order. All numbers int32 or float32.
//
//   0   4    magic "NIBS"
//   4   4    point count, then 8 bytes per point: two floats
//   then twice, an element table: element count, then per element
//        value count, x, y, z (floats), attributes 0..3, extra length,
//        the extra block (skipped), value count values
//   then the named-list table: list count, then per list
//        pair count, name length, the name field, pair count pairs
//   then the pair table: pair count, then the pairs
//
// The layout is walked once without output before anything is written, so a
// file that ends early is refused with nothing made. A negative count reads
// as no records; a negative length is damage.
#include <cstdarg>
#include <cstring>

#include "common/bytes.h"
#include "common/file.h"
#include "formats/data/data.h"
#include "output/names.h"

const char* const mw_sec = "NIBS";

namespace {

// Prints to out; a walk that only checks the layout passes no file.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void emit(FILE* out, const char* format, ...)
{
    if (!out)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
}

bool printPairs(Cursor& in, FILE* out, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        int32_t a, b;
        if (!readI32(in, a) || !readI32(in, b))
            return false;
        emit(out, "%i %i\n", a, b);
    }
    return true;
}

bool printElementTable(Cursor& in, FILE* out)
{
    int32_t count;
    if (!readI32(in, count))
        return false;
    emit(out, "\n%i\n", count);
    for (int32_t i = 0; i < count; i++) {
        int32_t values, attr[4], extra;
        float x, y, z;
        if (!readI32(in, values) || !readF32(in, x) || !readF32(in, y) || !readF32(in, z) ||
            !readI32(in, attr[0]) || !readI32(in, attr[1]) || !readI32(in, attr[2]) || !readI32(in, attr[3]) ||
            !readI32(in, extra) || extra < 0 || !skip(in, size_t(extra)))
            return false;
        // Odd and positive attribute 3 keeps the decimals.
        const char* format = attr[3] % 2 == 1 ? "\n%i %f %f %f %i %i %i %i\n" : "\n%i %.0f %.0f %.0f %i %i %i %i\n";
        emit(out, format, values, double(x), double(y), double(z), attr[0], attr[1], attr[2], attr[3]);
        for (int32_t v = 0; v < values; v++) {
            int32_t value;
            if (!readI32(in, value))
                return false;
            emit(out, "%i\n", value);
        }
    }
    return true;
}

bool printSec(Cursor in, FILE* out)
{
    int32_t count;
    if (!readI32(in, count))
        return false;
    emit(out, "%i\n", count);
    for (int32_t i = 0; i < count; i++) {
        float a, b;
        if (!readF32(in, a) || !readF32(in, b))
            return false;
        emit(out, "%f %f\n", double(a), double(b));
    }

    if (!printElementTable(in, out) || !printElementTable(in, out))
        return false;

    if (!readI32(in, count))
        return false;
    emit(out, "\n%i\n", count);
    for (int32_t i = 0; i < count; i++) {
        int32_t pairs, nameLength;
        const uint8_t* name;
        if (!readI32(in, pairs) || !readI32(in, nameLength) || nameLength < 0 || !take(in, size_t(nameLength), name))
            return false;
        emit(out, "%i %s\n", pairs, fieldText(name, size_t(nameLength)).c_str());
        if (!printPairs(in, out, pairs))
            return false;
    }

    if (!readI32(in, count))
        return false;
    emit(out, "\n%i\n", count);
    return printPairs(in, out, count);
}

}  // namespace

bool extract_SEC(const std::string& path)
{
    std::vector<uint8_t> file;
    if (!readWholeFile(path, file, 4) || std::memcmp(file.data(), mw_sec, 4) != 0)
        return false;
    const Cursor body{file.data(), file.size(), 4};
    if (!printSec(body, nullptr))
        return false;

    std::string dir = createDir(path);
    File out = openFile(createFile(getName(path), dir), "wb");
    return out && printSec(body, out.get());
}
