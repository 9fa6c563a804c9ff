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
#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "common/source.h"
#include "formats/data/data.h"
#include "back/edits.h"
#include "store/names.h"
#include "store/outputs.h"

const char* const mw_sec = "NIBS";

namespace {

// What the original holds at each place of the listing, for the bytes the
// converter does not print and the values it prints inexactly.
struct SecOriginal {
    std::vector<std::array<uint32_t, 2>> points;
    struct Element {
        uint32_t xyz[3];
        int32_t attribute3;
        int64_t extraAt;
        int32_t extraLength;
    };
    std::vector<Element> elements[2];
    struct List {
        std::string name;   // as printed
        int64_t fieldAt;    // the name field
        int32_t fieldLength;
        int32_t pairs;
    };
    std::vector<List> lists;
    int64_t end = 0;        // where the pair table ends
    int32_t pairs = 0;      // of the pair table
};

// The one walk of the layout: reads in order, prints when given an output
// (or a string), notes what each place holds when given a SecOriginal, and
// on a shortfall leaves in `needed` what it was reading (in `damage` what
// was wrong).
struct SecWalk {
    SourceCursor in;
    OutputFile* out;
    std::string needed;
    std::string damage;
    std::string* text = nullptr;  // printed into a string instead, to compare with,
    size_t limit = SIZE_MAX;      // which stops growing past this (it no longer matches)
    SecOriginal* noted = nullptr;
};

PRINTF_LIKE(2, 3)
void emit(SecWalk& w, const char* format, ...)
{
    if ((!w.out || w.out->error) && !w.text)
        return;
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    if (w.text) {
        if (w.text->size() <= w.limit)
            w.text->append(text);
    } else
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
        const int64_t extraAt = w.in.pos;
        if (!skip(w.in, extra))
            return shortOf(w, "the extra block of " + element);
        if (w.noted) {
            uint32_t xyz[3];
            std::memcpy(xyz, &x, 4);
            std::memcpy(xyz + 1, &y, 4);
            std::memcpy(xyz + 2, &z, 4);
            w.noted->elements[table - 1].push_back({{xyz[0], xyz[1], xyz[2]}, attr[3], extraAt, extra});
        }
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
            if (w.text) {
                if (w.text->size() <= w.limit)
                    w.text->append(reinterpret_cast<const char*>(at), shown);
            } else if (w.out && !w.out->error) {
                writeOutput(*w.out, at, shown);
            }
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
        if (w.noted) {
            std::array<uint32_t, 2> bits;
            std::memcpy(&bits[0], &a, 4);
            std::memcpy(&bits[1], &b, 4);
            w.noted->points.push_back(bits);
        }
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
        const int64_t fieldAt = w.in.pos;
        if (!printName(w, nameLength))
            return shortOf(w, "the name of " + list);
        if (w.noted) {
            // The name as printed: up to its zero byte, at most what a listing can hold.
            const size_t kept = size_t(std::min<int64_t>(nameLength, kMaxEditedText));
            const uint8_t* field = view(*w.in.source, fieldAt, kept);
            if (!field)
                return shortOf(w, "the name of " + list);
            w.noted->lists.push_back({fieldText(field, kept), fieldAt, nameLength, pairs});
        }
        emit(w, "\n");
        if (!printPairs(w, pairs, list))
            return false;
    }

    if (!readI32(w.in, count))
        return shortOf(w, "the pair count");
    emit(w, "\n%i\n", count);
    if (!printPairs(w, count, "the pair table"))
        return false;
    if (w.noted) {
        w.noted->end = w.in.pos;
        w.noted->pairs = count;
    }
    return true;
}

// The check both directions make before they use a file: its magic, then
// its whole layout.
bool readSec(const std::string& path, Source& in)
{
    if (!openInput(path, in) || !checkMagic(path, in, mw_sec, "an SEC file"))
        return false;
    SecWalk check{SourceCursor{&in, 4}, nullptr, "", ""};
    if (!printSec(check))
        return check.damage.empty() ? endsBefore(path, in, "%s is complete", check.needed.c_str())
                                    : refuse(path, "%s", check.damage.c_str());
    return true;
}

}  // namespace

bool extract_SEC(const std::string& path)
{
    Source in;
    if (!readSec(path, in))
        return false;
    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    OutputFile out;
    openOutput(out, createFile(getName(path), dir));
    SecWalk print{SourceCursor{&in, 4}, &out, "", ""};
    if (!printSec(print))
        return endsBefore(path, in, "%s is complete", print.needed.c_str());
    return placeOutputs({&out});
}

// --- Putting an edited listing back ---
//
// The listing is read line by line in the order the converter prints it, its
// counts telling how many records follow; blank lines only separate. A
// number whose text is what the original's printed text was at the same
// place keeps the original's bytes (a float printed with six decimals cannot
// carry all its bits); any other is encoded from its text.

namespace {

// How the converter prints a float: six decimals, or none for an element
// whose attribute 3 is not odd.
std::string floatText(uint32_t bits, bool decimals)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return formatted(decimals ? "%f" : "%.0f", double(f));
}

struct LineReader {
    std::vector<std::string> lines;
    size_t next = 0;
    std::string why;
};

// The next line that is not blank; false at the end, having said what was expected.
bool nextLine(LineReader& r, const std::string& expected, std::string& line, size_t& number)
{
    while (r.next < r.lines.size() && r.lines[r.next].empty())
        r.next++;
    if (r.next >= r.lines.size()) {
        r.why = "the listing ends where " + expected + " was expected";
        return false;
    }
    number = r.next + 1;
    line = r.lines[r.next++];
    return true;
}

// Splits a line at spaces and tabs.
std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            i++;
        size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            end++;
        if (end > i)
            out.push_back(line.substr(i, end - i));
        i = end;
    }
    return out;
}

bool int32Of(const std::string& word, int32_t& v)
{
    std::vector<int64_t> values;
    if (!lineIntegers(word, values) || values.size() != 1 || values[0] < INT32_MIN || values[0] > INT32_MAX)
        return false;
    v = int32_t(values[0]);
    return true;
}

// A float's bits from its text; the original's when the text is what it printed.
bool floatOf(const std::string& word, const uint32_t* original, bool decimals, uint32_t& bits)
{
    if (original && word == floatText(*original, decimals)) {
        bits = *original;
        return true;
    }
    if (word.empty() || word.find_first_not_of("0123456789+-.eEinfatyINFATY") != std::string::npos)
        return false;
    char* end = nullptr;
    const float f = std::strtof(word.c_str(), &end);
    if (end != word.c_str() + word.size())
        return false;
    std::memcpy(&bits, &f, 4);
    return true;
}

}  // namespace

bool parseSecListing(const std::string& text, Source* original, std::vector<uint8_t>& out, int64_t& tailAt,
                     std::string& why)
{
    LineReader r{splitLines(text), 0, ""};
    std::string line;
    size_t number = 0;
    auto fail = [&](const std::string& expected) {
        why = r.why.empty() ? formatted("line %zu: expected %s", number, expected.c_str()) : r.why;
        return false;
    };
    // Counts first: the original is walked for as many records as the listing has.
    SecOriginal o;
    SecWalk noting{SourceCursor{original, 4}, nullptr, "", "", nullptr, SIZE_MAX, &o};
    if (original && !printSec(noting))
        o = SecOriginal{};
    tailAt = o.end;
    auto count = [&](const std::string& what, int32_t& n) {
        int32_t v;
        if (!nextLine(r, what, line, number) || !int32Of(line, v))
            return fail(what + ", a whole number on its own line");
        n = v;
        append32(out, uint32_t(v));
        return true;
    };
    auto pair = [&](const std::string& what, bool floats, const std::array<uint32_t, 2>* was) {
        if (!nextLine(r, what, line, number))
            return fail(what);
        const std::vector<std::string> w = words(line);
        uint32_t a, b;
        int32_t ia, ib;
        const bool ok = w.size() == 2 && (floats ? floatOf(w[0], was ? &(*was)[0] : nullptr, true, a) &&
                                                       floatOf(w[1], was ? &(*was)[1] : nullptr, true, b)
                                                 : int32Of(w[0], ia) && int32Of(w[1], ib));
        if (!ok)
            return fail(what + ", two " + (floats ? "numbers" : "whole numbers"));
        append32(out, floats ? a : uint32_t(ia));
        append32(out, floats ? b : uint32_t(ib));
        return true;
    };

    out.assign({'N', 'I', 'B', 'S'});
    int32_t points;
    if (!count("the point count", points))
        return false;
    for (int32_t i = 0; i < points; i++)
        if (!pair("point " + std::to_string(i), true, size_t(i) < o.points.size() ? &o.points[size_t(i)] : nullptr))
            return false;
    for (int t = 0; t < 2; t++) {
        const std::string table = "element table " + std::to_string(t + 1);
        int32_t elements;
        if (!count("the count of " + table, elements))
            return false;
        for (int32_t i = 0; i < elements; i++) {
            const std::string element = "element " + std::to_string(i) + " of " + table;
            if (!nextLine(r, element, line, number))
                return fail(element);
            const std::vector<std::string> w = words(line);
            int32_t values = 0, attributes[4] = {0, 0, 0, 0};
            bool ok = w.size() == 8 && int32Of(w[0], values);
            for (int k = 0; ok && k < 4; k++)
                ok = int32Of(w[size_t(4 + k)], attributes[k]);
            const SecOriginal::Element* was = size_t(i) < o.elements[t].size() ? &o.elements[t][size_t(i)] : nullptr;
            uint32_t xyz[3] = {0, 0, 0};
            const bool decimals = attributes[3] % 2 == 1;
            for (int k = 0; ok && k < 3; k++)
                ok = floatOf(w[size_t(1 + k)],
                             was && (was->attribute3 % 2 == 1) == decimals ? &was->xyz[k] : nullptr, decimals, xyz[k]);
            if (!ok)
                return fail(element + ": its value count, x, y, z and four attributes");
            append32(out, uint32_t(values));
            for (uint32_t v : xyz)
                append32(out, v);
            for (int32_t a : attributes)
                append32(out, uint32_t(a));
            // The extra block is never printed: the original's at this place, or none.
            const int32_t extra = was ? was->extraLength : 0;
            append32(out, uint32_t(extra));
            if (extra > 0) {
                const uint8_t* bytes = view(*original, was->extraAt, size_t(extra));
                if (!bytes) {
                    why = "the original cannot be read again";
                    return false;
                }
                out.insert(out.end(), bytes, bytes + extra);
            }
            for (int32_t v = 0; v < values; v++) {
                int32_t value;
                if (!nextLine(r, "value", line, number) || !int32Of(line, value))
                    return fail("value " + std::to_string(v) + " of " + element + ", a whole number");
                append32(out, uint32_t(value));
            }
        }
    }
    int32_t lists;
    if (!count("the list count", lists))
        return false;
    for (int32_t i = 0; i < lists; i++) {
        const std::string list = "named list " + std::to_string(i);
        // The pair count, one space, then the name as it is.
        if (!nextLine(r, list, line, number))
            return fail(list);
        const size_t space = line.find(' ');
        int32_t pairs;
        if (!int32Of(line.substr(0, space), pairs))
            return fail(list + ": its pair count, a space and its name");
        const std::string name = space == std::string::npos ? "" : line.substr(space + 1);
        append32(out, uint32_t(pairs));
        const SecOriginal::List* was = size_t(i) < o.lists.size() ? &o.lists[size_t(i)] : nullptr;
        if (was && was->name == name) {
            append32(out, uint32_t(was->fieldLength));  // the field as it was, padding and all
            const uint8_t* field = was->fieldLength ? view(*original, was->fieldAt, size_t(was->fieldLength)) : nullptr;
            if (was->fieldLength && !field) {
                why = "the original cannot be read again";
                return false;
            }
            if (field)
                out.insert(out.end(), field, field + was->fieldLength);
        } else {
            append32(out, uint32_t(name.size() + 1));
            out.insert(out.end(), name.begin(), name.end());
            out.push_back(0);
        }
        for (int32_t k = 0; k < pairs; k++)
            if (!pair("pair " + std::to_string(k) + " of " + list, false, nullptr))
                return false;
    }
    int32_t pairs;
    if (!count("the pair count", pairs))
        return false;
    for (int32_t k = 0; k < pairs; k++)
        if (!pair("pair " + std::to_string(k) + " of the pair table", false, nullptr))
            return false;
    while (r.next < r.lines.size() && r.lines[r.next].empty())
        r.next++;
    if (r.next < r.lines.size()) {
        why = formatted("line %zu: more lines after the pair table", r.next + 1);
        return false;
    }
    return true;
}

bool pack_SEC(const std::string& path)
{
    Source in;
    if (!readSec(path, in))
        return false;
    const std::string listingPath = createFile(getName(path), editsFolderOf(path));
    noteUnreadFiles(editsFolderOf(path), {getName(path)}, "a table file is read from its listing; nothing else in its "
                                                          "folder is");
    std::string listing;
    switch (readEditedText(listingPath, listing)) {
    case Edited::Refused:
        return false;
    case Edited::Missing:
        noteKept(listingPath, "listing");
        return packUnchanged(path, in);
    case Edited::Read:
        break;
    }
    // An unchanged listing is the original, byte for byte, whatever its names hold.
    std::string rendered;
    SecWalk render{SourceCursor{&in, 4}, nullptr, "", "", &rendered, listing.size()};
    printSec(render);
    if (rendered == listing)
        return packUnchanged(path, in);
    std::vector<uint8_t> bytes;
    int64_t tailAt = 0;
    std::string why;
    if (!parseSecListing(listing, &in, bytes, tailAt, why))
        return refuse(listingPath, "%s", why.c_str());
    OutputFile out;
    openRebuilt(out, path);
    writeOutput(out, bytes.data(), bytes.size());
    if (tailAt > 0)
        copyOriginal(out, in, tailAt, in.size - tailAt);  // whatever follows the tables
    return placeOutputs({&out});
}

bool list_SEC(const std::string& path, Listing& listing)
{
    Source in;
    listing.type = "SEC";
    if (!readSec(path, in))
        return false;
    listing.size = in.size;
    SecOriginal tables;
    SecWalk walk{SourceCursor{&in, 4}, nullptr, "", ""};
    walk.noted = &tables;
    if (!printSec(walk))
        return endsBefore(path, in, "%s is complete", walk.needed.c_str());
    int64_t tableIndex = 0;
    auto table = [&](const char* name, int64_t count, const char* counted) {
        ListedItem item;
        item.kind = "table";
        item.index = tableIndex++;
        item.name = name;
        item.count = count;
        item.counted = counted;
        listing.items.push_back(item);
    };
    table("points", int64_t(tables.points.size()), "points");
    table("elements 1", int64_t(tables.elements[0].size()), "elements");
    table("elements 2", int64_t(tables.elements[1].size()), "elements");
    table("named lists", int64_t(tables.lists.size()), "lists");
    for (size_t i = 0; i < tables.lists.size(); i++) {
        ListedItem item;
        item.kind = "list";
        item.index = int64_t(i);
        item.name = tables.lists[i].name;
        item.count = tables.lists[i].pairs;
        item.counted = "pairs";
        listing.items.push_back(item);
    }
    table("pairs", tables.pairs, "pairs");
    return true;
}
