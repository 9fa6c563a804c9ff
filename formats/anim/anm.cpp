// ANM animation script: "BNM " and a stream of tokens, written back as text.
//
//   token head: text length n (0), 2 bytes not read, code (3, signed)
//   n = 0, a short token, operands in 4-byte slots from 8; code 127 or -1
//          ends the stream (8 bytes)
//   n > 0, a long token, operand slots from 12, then n bytes of text
//   Each keyword's code, size and operands stand once, in tokenLayouts():
//   the decoder and the encoder both read them there.
//
// The stream is walked once without output first: a token that reaches past
// the end of the file (an end token needs only its four head bytes), or a
// file that ends without an end token, is refused with nothing made. An
// unknown code is told on standard error, followed by the console pause.
#include <algorithm>
#include <cstdint>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <map>

#include "common/bytes.h"
#include "common/report.h"
#include "common/source.h"
#include "store/outputs.h"
#include "formats/anim/anim.h"
#include "back/edits.h"
#include "store/names.h"

const char* const mw_anm = "BNM ";

namespace {

// Prints a message on standard error and waits at the console.
PRINTF_LIKE(1, 2)
void diagnose(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    reportMessage(formatText(format, args));
    va_end(args);
}

// Where a token's text goes: the script file, or a string (to compare an
// edited script with); a walk that only checks the stream passes neither.
struct Sink {
    OutputFile* file = nullptr;
    std::string* text = nullptr;
    size_t limit = SIZE_MAX;  // a string stops growing past this (it no longer matches)
};

PRINTF_LIKE(2, 3)
void emit(Sink* out, const char* format, ...)
{
    if (!out || (out->file && out->file->error))
        return;
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    if (out->file)
        writeOutput(*out->file, text.data(), text.size());
    if (out->text && out->text->size() <= out->limit)
        out->text->append(text);
}

int32_t u8At(const uint8_t* t, size_t at) { return toInt(t[at]); }
int32_t i8At(const uint8_t* t, size_t at) { return toSignedInt(toInt(t[at])); }

enum class Field { U8, I8, U16, I16 };

struct Operand {
    size_t at;
    Field field;
};

struct TokenLayout {
    const char* keyword;
    int32_t code;
    size_t size;                    // bytes before the text, or the whole token
    bool text;                      // a long token: n bytes of text from size on
    const char* shape;              // T for a text, I for a number, in line order
    std::vector<Operand> operands;  // the numbers, in line order
    const char* before;             // printed before the keyword's line
};

const std::vector<TokenLayout>& tokenLayouts()
{
    static const std::vector<TokenLayout> layouts = {
        {"NUM_SEQUENCES", 0, 12, false, "I", {{8, Field::U16}}, "{\r\n"},
        {"FRAME", 4, 12, false, "I", {{8, Field::U8}}, "\r\n"},
        {"NHOTSPOTS", 7, 12, false, "I", {{8, Field::U8}}, ""},
        {"HOTSPOT", 8, 20, false, "III", {{8, Field::I16}, {12, Field::I16}, {16, Field::U8}}, ""},
        {"UNKNOWN_TOKEN_9", 9, 20, false, "II", {{12, Field::U8}, {16, Field::U8}}, ""},
        {"UNKNOWN_TOKEN_10", 10, 16, false, "II", {{8, Field::I8}, {12, Field::I8}}, ""},
        {"UNKNOWN_TOKEN_11", 11, 16, false, "II", {{8, Field::I8}, {12, Field::I8}}, ""},
        {"SEQUENCE", 1, 24, true, "TIII", {{12, Field::I16}, {16, Field::I16}, {20, Field::I16}}, "\r\n"},
        {"NLSEQUENCE", 2, 24, true, "TIII", {{12, Field::I16}, {16, Field::I16}, {20, Field::I16}}, "\r\n"},
        // Three texts: the ends of the first two at 24 and 28.
        {"CHAINSEQUENCE", 3, 32, true, "TIIITT", {{12, Field::U16}, {16, Field::U16}, {20, Field::U8}}, "\r\n"},
        {"SPRITE", 5, 24, true, "TIII", {{12, Field::I16}, {16, Field::I16}, {20, Field::U8}}, ""},
        {"SIZESPRITE", 6, 32, true, "TIIIII",
         {{12, Field::I16}, {16, Field::I16}, {20, Field::I16}, {24, Field::I16}, {28, Field::U8}}, ""},
    };
    return layouts;
}

// The layout of a token: its code, and whether it has text (length > 0).
const TokenLayout* layoutOf(int32_t length, int32_t code)
{
    for (const TokenLayout& l : tokenLayouts())
        if (l.code == code && l.text == (length > 0))
            return &l;
    return nullptr;
}

bool isEndToken(int32_t length, int32_t code)
{
    return length == 0 && (code == 127 || code == -1);
}

// The size of a recognised token, 0 for an unrecognised one.
size_t tokenSize(int32_t length, int32_t code)
{
    if (isEndToken(length, code))
        return 8;
    const TokenLayout* l = layoutOf(length, code);
    return l ? l->size + (l->text ? size_t(length) : 0) : 0;
}

int32_t operandAt(const uint8_t* t, const Operand& o)
{
    switch (o.field) {
    case Field::U8: return u8At(t, o.at);
    case Field::I8: return i8At(t, o.at);
    case Field::U16: return toInt(t[o.at], t[o.at + 1]);
    case Field::I16: return toSignedInt(toInt(t[o.at], t[o.at + 1]), 2);
    }
    return 0;
}

// The texts of a long token: one, or for CHAINSEQUENCE three, split at the
// ends stored at 24 and 28 (clamped, so no part has a negative length).
std::vector<std::string> tokenTexts(const TokenLayout& l, const uint8_t* t, size_t n)
{
    const uint8_t* area = t + l.size;
    if (l.code != 3)
        return {fieldText(area, n)};
    const size_t firstEnd = std::min(size_t(u8At(t, 24)), n);
    const size_t secondEnd = std::clamp(size_t(u8At(t, 28)), firstEnd, n);
    return {fieldText(area, firstEnd), fieldText(area + firstEnd, secondEnd - firstEnd),
            fieldText(area + secondEnd, n - secondEnd)};
}

// Writes the text of the recognised token t (its size already checked): the
// keyword, then its texts and numbers in the order of its shape.
void writeToken(Sink* out, const uint8_t* t, int32_t length, int32_t code)
{
    const TokenLayout* l = layoutOf(length, code);
    if (!l)
        return;  // the end token writes nothing
    const std::vector<std::string> texts = l->text ? tokenTexts(*l, t, size_t(length)) : std::vector<std::string>();
    std::string line = std::string(l->before) + l->keyword + " ";
    size_t text = 0, number = 0;
    for (const char* shape = l->shape; *shape; shape++) {
        if (shape != l->shape)
            line += ',';
        if (*shape == 'T')
            line += '"' + texts[text++] + '"';
        else
            line += std::to_string(operandAt(t, l->operands[number++]));
    }
    line += "\r\n";
    emit(out, "%s", line.c_str());
}

// Walks the stream from offset 4 to its end token or first unrecognised
// code, which stop says the place of. False when a token reaches past the
// data. With out given, writes every token's text; with a file, reports an
// unrecognised code. visit(p, length, code) sees every recognised token.
bool walkTokens(Source& in, Sink* out, int64_t* stop = nullptr,
                const std::function<bool(int64_t, int32_t, int32_t)>& visit = nullptr)
{
    int64_t p = 4;
    for (;;) {
        const uint8_t* t = view(in, p, 4);
        if (!t)
            return false;
        int32_t length = u8At(t, 0);
        int32_t code = i8At(t, 3);
        size_t size = tokenSize(length, code);
        if (stop)
            *stop = p;
        if (size == 0) {
            if (out && out->file)
                diagnose("Unknown token %d found, position: %d\n", code, int(p + 3));
            return true;
        }
        // The end token's bytes past its head are never read.
        if (isEndToken(length, code))
            return true;
        if (!(t = view(in, p, size)))
            return false;
        writeToken(out, t, length, code);
        if (visit && !visit(p, length, code))
            return true;
        p += int64_t(size);
    }
}

}  // namespace

namespace {

// The check both directions make before they use a script: its magic, then
// a token stream that reaches its end token (whose place stop gets).
bool readAnm(const std::string& path, Source& in, int64_t* stop = nullptr)
{
    if (!openInput(path, in) || !checkMagic(path, in, mw_anm, "an ANM script"))
        return false;
    if (!walkTokens(in, nullptr, stop))
        return endsBefore(path, in, "the token stream reaches its end token");
    return true;
}

}  // namespace

bool extract_ANM(const std::string& path)
{
    Source in;
    if (!readAnm(path, in))
        return false;

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    OutputFile out;
    openOutput(out, createFile(getName(path), dir));
    Sink sink{&out, nullptr};
    if (!walkTokens(in, &sink))
        return endsBefore(path, in, "the token stream is complete");
    emit(&sink, "\r\n}\r\n");
    return placeOutputs({&out});
}

// --- Putting an edited script back ---
//
// Each line the converter prints is one token: its keyword, then its
// operands and texts separated by commas, as the token table says.

namespace {

void fieldRange(Field f, int64_t& low, int64_t& high)
{
    low = f == Field::I8 ? -128 : f == Field::I16 ? -32768 : 0;
    high = f == Field::U8 ? 255 : f == Field::I8 ? 127 : f == Field::U16 ? 65535 : 32767;
}

const char* fieldName(Field f)
{
    return f == Field::U8 ? "0 to 255" : f == Field::I8 ? "-128 to 127" : f == Field::U16 ? "0 to 65535" : "-32768 to 32767";
}

// The bytes a token would have, over the bytes of the original token at the
// same place (zeros for a new one): only what the converter reads is set.
std::vector<uint8_t> encodeToken(const TokenLayout& layout, const AnmToken& token, const std::vector<uint8_t>& original)
{
    std::vector<uint8_t> bytes(layout.size, 0);
    std::copy_n(original.begin(), std::min(original.size(), layout.size), bytes.begin());
    for (size_t k = 0; k < layout.operands.size(); k++) {
        const Operand& o = layout.operands[k];
        const uint32_t v = uint32_t(int32_t(token.numbers[k]));
        bytes[o.at] = uint8_t(v);
        if (o.field == Field::U16 || o.field == Field::I16)
            bytes[o.at + 1] = uint8_t(v >> 8);
    }
    std::string area;
    if (layout.text) {
        // Each text ends with its zero byte, so the converter reads it back as it is.
        area = token.texts[0] + '\0';
        if (layout.code == 3) {
            bytes[24] = uint8_t(area.size());
            area += token.texts[1] + '\0';
            bytes[28] = uint8_t(area.size());
            area += token.texts[2] + '\0';
        }
    }
    bytes[0] = uint8_t(area.size());  // the text length; bytes 1 and 2 are kept
    bytes[3] = uint8_t(layout.code);
    bytes.insert(bytes.end(), area.begin(), area.end());
    return bytes;
}

}  // namespace

bool parseAnmScript(const std::string& script, std::vector<AnmToken>& tokens, std::string& why)
{
    tokens.clear();
    const std::vector<std::string> lines = splitLines(script);
    size_t last = lines.size();
    while (last > 0 && lines[last - 1].empty())
        last--;
    if (last == 0 || lines[last - 1] != "}") {
        why = formatted("line %zu: the script ends without its closing }", last ? last : 1);
        return false;
    }
    bool opened = false;  // a "{" waits for its NUM_SEQUENCES
    for (size_t n = 0; n + 1 < last; n++) {
        const std::string& line = lines[n];
        const size_t number = n + 1;
        if (line.empty())
            continue;
        if (line == "{") {
            if (opened) {
                why = formatted("line %zu: a second { before NUM_SEQUENCES", number);
                return false;
            }
            opened = true;
            continue;
        }
        const size_t space = line.find(' ');
        const std::string keyword = line.substr(0, space);
        const TokenLayout* layout = nullptr;
        for (const TokenLayout& l : tokenLayouts())
            if (keyword == l.keyword)
                layout = &l;
        if (!layout) {
            why = formatted("line %zu: expected a keyword such as FRAME or SPRITE, found \"%s\"", number,
                            escapeControls(keyword.substr(0, 40)).c_str());
            return false;
        }
        if ((layout->code == 0) != opened) {
            why = formatted(layout->code == 0 ? "line %zu: NUM_SEQUENCES must follow a line holding {"
                                              : "line %zu: a line holding { must be followed by NUM_SEQUENCES",
                            number);
            return false;
        }
        opened = false;
        AnmToken token;
        token.code = layout->code;
        token.line = int(number);
        // Operands after one space, separated by commas; a text is quoted and
        // ends at the first quote followed by a comma or the line's end.
        size_t p = space == std::string::npos ? line.size() : space + 1;
        int texts = 0;
        for (const char* shape = layout->shape; *shape; shape++) {
            if (shape != layout->shape) {
                if (p >= line.size() || line[p] != ',') {
                    why = formatted("line %zu: %s needs %zu values, separated by commas", number, keyword.c_str(),
                                    std::strlen(layout->shape));
                    return false;
                }
                p++;
            }
            if (*shape == 'T') {
                size_t end = p + 1;
                while (end < line.size() && !(line[end] == '"' && (end + 1 == line.size() || line[end + 1] == ',')))
                    end++;
                if (p >= line.size() || line[p] != '"' || end >= line.size()) {
                    why = formatted("line %zu: expected a quoted text", number);
                    return false;
                }
                token.texts[texts++] = line.substr(p + 1, end - p - 1);
                p = end + 1;
                continue;
            }
            size_t end = p;
            if (end < line.size() && line[end] == '-')
                end++;
            while (end < line.size() && line[end] >= '0' && line[end] <= '9')
                end++;
            std::vector<int64_t> value;
            if (!lineIntegers(line.substr(p, end - p), value) || value.size() != 1) {
                why = formatted("line %zu: expected a whole number", number);
                return false;
            }
            const Field f = layout->operands[token.numbers.size()].field;
            int64_t low, high;
            fieldRange(f, low, high);
            if (value[0] < low || value[0] > high) {
                why = formatted("line %zu: %lld is beyond %s", number, (long long)value[0], fieldName(f));
                return false;
            }
            token.numbers.push_back(value[0]);
            p = end;
        }
        if (p != line.size()) {
            why = formatted("line %zu: unexpected text after the values of %s", number, keyword.c_str());
            return false;
        }
        size_t textBytes = 0;
        for (int k = 0; k < texts; k++)
            textBytes += token.texts[k].size() + 1;
        if (textBytes > 255) {
            why = formatted("line %zu: the texts take %zu bytes with their ends; a token holds 255", number, textBytes);
            return false;
        }
        tokens.push_back(token);
    }
    if (opened) {
        why = formatted("line %zu: a line holding { must be followed by NUM_SEQUENCES", last);
        return false;
    }
    return true;
}

bool pack_ANM(const std::string& path)
{
    Source in;
    int64_t stop = 0;
    if (!readAnm(path, in, &stop))
        return false;
    const std::string scriptPath = createFile(getName(path), editsFolderOf(path));
    noteUnreadFiles(editsFolderOf(path), {getName(path)}, "a script is read from its text; nothing else in its folder is");
    std::string script;
    switch (readEditedText(scriptPath, script)) {
    case Edited::Refused:
        return false;
    case Edited::Missing:
        noteKept(scriptPath, "script");
        return packUnchanged(path, in);
    case Edited::Read:
        break;
    }
    // An unchanged script is the original, byte for byte, whatever its texts hold.
    std::string rendered;
    Sink sink{nullptr, &rendered, script.size()};
    walkTokens(in, &sink);
    emit(&sink, "\r\n}\r\n");
    if (rendered == script)
        return packUnchanged(path, in);

    std::vector<AnmToken> tokens;
    std::string why;
    if (!parseAnmScript(script, tokens, why))
        return refuse(scriptPath, "%s", why.c_str());
    // The k-th token of a keyword takes its unread bytes from the original's k-th.
    std::map<int32_t, size_t> wanted, seen;
    for (const AnmToken& t : tokens)
        wanted[t.code]++;
    std::map<int32_t, std::vector<std::pair<int64_t, size_t>>> originals;  // code -> place and size
    walkTokens(in, nullptr, nullptr, [&](int64_t p, int32_t length, int32_t code) {
        if (originals[code].size() < wanted[code])
            originals[code].push_back({p, tokenSize(length, code)});
        return true;
    });

    OutputFile out;
    openRebuilt(out, path);
    copyOriginal(out, in, 0, 4);
    for (const AnmToken& t : tokens) {
        const TokenLayout* layout = nullptr;
        for (const TokenLayout& l : tokenLayouts())
            if (l.code == t.code)
                layout = &l;
        std::vector<uint8_t> original;
        const size_t k = seen[t.code]++;
        if (k < originals[t.code].size()) {
            const auto [at, size] = originals[t.code][k];
            const uint8_t* bytes = view(in, at, size);
            if (!bytes)
                return endsBefore(path, in, "its tokens are complete");
            original.assign(bytes, bytes + size);
        }
        std::vector<uint8_t> bytes = encodeToken(*layout, t, original);
        // A token that shows what the original showed keeps its bytes.
        if (!original.empty()) {
            std::string was, now;
            Sink a{nullptr, &was}, b{nullptr, &now};
            writeToken(&a, original.data(), u8At(original.data(), 0), t.code);
            writeToken(&b, bytes.data(), u8At(bytes.data(), 0), t.code);
            if (was == now)
                bytes = original;
        }
        writeOutput(out, bytes.data(), bytes.size());
    }
    copyOriginal(out, in, stop, in.size - stop);  // the end token and whatever follows it
    return placeOutputs({&out});
}

bool list_ANM(const std::string& path, Listing& listing)
{
    Source in;
    listing.type = "ANM";
    if (!readAnm(path, in))
        return false;
    listing.size = in.size;
    // A sequence token starts a sequence; the frame tokens after it are its frames.
    size_t sequence = SIZE_MAX;
    int64_t sequences = 0;
    walkTokens(in, nullptr, nullptr, [&](int64_t p, int32_t length, int32_t code) {
        const TokenLayout* l = layoutOf(length, code);
        if (l && l->text && code >= 1 && code <= 3) {
            const uint8_t* t = view(in, p, l->size + size_t(length));
            ListedItem item;
            item.kind = "sequence";
            item.index = sequences++;
            item.name = t ? tokenTexts(*l, t, size_t(length))[0] : std::string();
            item.count = 0;
            item.counted = "frames";
            item.detail = l->keyword;
            listing.items.push_back(item);
            sequence = listing.items.size() - 1;
        } else if (code == 4 && length == 0 && sequence != SIZE_MAX) {
            listing.items[sequence].count++;
        }
        return true;
    });
    return !in.readError || endsBefore(path, in, "the token stream is complete");
}
