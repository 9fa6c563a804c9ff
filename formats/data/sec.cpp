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
// file that ends early is refused with nothing made; the listing is then
// printed while the file is read a second time. A negative count reads as
// no records; a negative length is damage.
#include <cstring>

#include "common/report.h"
#include "common/source.h"
#include "formats/data/data.h"
#include "output/names.h"
#include "output/outputs.h"

const char* const mw_sec = "NIBS";

namespace {

// The walk: reads in order, prints when given an output, and on a shortfall
// leaves in `needed` what it was reading (in `damage` what was wrong).
struct SecWalk {
    SourceCursor in;
    OutputFile* out;
    std::string needed;
    std::string damage;
};

PRINTF_LIKE(2, 3)
void emit(SecWalk& w, const char* format, ...)
{
    if (!w.out || w.out->error)
        return;
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    writeOutput(*w.out, text.data(), text.size());
}

bool shortOf(SecWalk& w, const std::string& what)
{
    w.needed = what;
    return false;
}

bool damaged(SecWalk& w, const std::string& what)
{
    w.damage = what;
    return false;
}

bool printPairs(SecWalk& w, int32_t count, const std::string& where)
{
    for (int32_t i = 0; i < count; i++) {
        int32_t a, b;
        if (!readI32(w.in, a) || !readI32(w.in, b))
            return shortOf(w, "pair " + std::to_string(i) + " of " + where);
        emit(w, "%i %i\n", a, b);
    }
    return true;
}

bool printElementTable(SecWalk& w, int table)
{
    const std::string where = "element table " + std::to_string(table);
    int32_t count;
    if (!readI32(w.in, count))
        return shortOf(w, "the count of " + where);
    emit(w, "\n%i\n", count);
    for (int32_t i = 0; i < count; i++) {
        const std::string element = "element " + std::to_string(i) + " of " + where;
        int32_t values, attr[4], extra;
        float x, y, z;
        if (!readI32(w.in, values) || !readF32(w.in, x) || !readF32(w.in, y) || !readF32(w.in, z) ||
            !readI32(w.in, attr[0]) || !readI32(w.in, attr[1]) || !readI32(w.in, attr[2]) ||
            !readI32(w.in, attr[3]) || !readI32(w.in, extra))
            return shortOf(w, element);
        if (extra < 0)
            return damaged(w, element + " has a negative extra length, " + std::to_string(extra));
        if (!skip(w.in, extra))
            return shortOf(w, "the extra block of " + element);
        // Odd and positive attribute 3 keeps the decimals.
        const char* format = attr[3] % 2 == 1 ? "\n%i %f %f %f %i %i %i %i\n" : "\n%i %.0f %.0f %.0f %i %i %i %i\n";
        emit(w, format, values, double(x), double(y), double(z), attr[0], attr[1], attr[2], attr[3]);
        for (int32_t v = 0; v < values; v++) {
            int32_t value;
            if (!readI32(w.in, value))
                return shortOf(w, "value " + std::to_string(v) + " of " + element);
            emit(w, "%i\n", value);
        }
    }
    return true;
}

// The text of a name field up to its zero byte, printed a piece at a time:
// a field may be as long as the file.
bool printName(SecWalk& w, int32_t length)
{
    bool ended = false;
    for (int32_t done = 0; done < length;) {
        const size_t piece = size_t(std::min<int32_t>(length - done, 1 << 16));
        const uint8_t* at;
        if (!take(w.in, piece, at))
            return false;
        if (!ended) {
            const void* zero = std::memchr(at, 0, piece);
            const size_t shown = zero ? size_t(static_cast<const uint8_t*>(zero) - at) : piece;
            if (w.out && !w.out->error)
                writeOutput(*w.out, at, shown);
            ended = zero != nullptr;
        }
        done += int32_t(piece);
    }
    return true;
}

bool printSec(SecWalk& w)
{
    int32_t count;
    if (!readI32(w.in, count))
        return shortOf(w, "the point count");
    emit(w, "%i\n", count);
    for (int32_t i = 0; i < count; i++) {
        float a, b;
        if (!readF32(w.in, a) || !readF32(w.in, b))
            return shortOf(w, "point " + std::to_string(i) + " of " + std::to_string(count));
        emit(w, "%f %f\n", double(a), double(b));
    }

    if (!printElementTable(w, 1) || !printElementTable(w, 2))
        return false;

    if (!readI32(w.in, count))
        return shortOf(w, "the list count");
    emit(w, "\n%i\n", count);
    for (int32_t i = 0; i < count; i++) {
        const std::string list = "named list " + std::to_string(i);
        int32_t pairs, nameLength;
        if (!readI32(w.in, pairs) || !readI32(w.in, nameLength))
            return shortOf(w, list);
        if (nameLength < 0)
            return damaged(w, list + " has a negative name length, " + std::to_string(nameLength));
        emit(w, "%i ", pairs);
        if (!printName(w, nameLength))
            return shortOf(w, "the name of " + list);
        emit(w, "\n");
        if (!printPairs(w, pairs, list))
            return false;
    }

    if (!readI32(w.in, count))
        return shortOf(w, "the pair count");
    emit(w, "\n%i\n", count);
    return printPairs(w, count, "the pair table");
}

}  // namespace

bool extract_SEC(const std::string& path)
{
    Source in;
    if (!openInput(path, in))
        return false;
    const uint8_t* magic = view(in, 0, 4);
    if (!magic && in.readError)
        return endsBefore(path, in, "its magic");
    if (!magic || std::memcmp(magic, mw_sec, 4) != 0)
        return refuse(path, "not an SEC file: it does not start with \"NIBS\"");
    SecWalk check{SourceCursor{&in, 4}, nullptr, "", ""};
    if (!printSec(check))
        return check.damage.empty() ? endsBefore(path, in, "%s is complete", check.needed.c_str())
                                    : refuse(path, "%s", check.damage.c_str());

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    OutputFile out;
    openOutput(out, createFile(getName(path), dir));
    SecWalk print{SourceCursor{&in, 4}, &out, "", ""};
    if (!printSec(print))
        return endsBefore(path, in, "%s is complete: the file changed while it was read", print.needed.c_str());
    return placeOutputs({&out});
}
