// ANM animation script: "BNM " and a stream of tokens, written back as text.
//
//   token head: text length n (0), 2 bytes not read, code (3, signed)
//   n = 0, a short token, operands in 4-byte slots from 8:
//     0 NUM_SEQUENCES u16 (12 bytes)   4 FRAME u8 (12)   7 NHOTSPOTS u8 (12)
//     8 HOTSPOT i16,i16,u8 (20)        9 UNKNOWN_TOKEN_9 u8@12,u8@16 (20)
//     10, 11 UNKNOWN_TOKEN_10/11 i8,i8 (16)              127 or -1: end (8)
//   n > 0, a long token, operand slots from 12, then n bytes of text:
//     1 SEQUENCE, 2 NLSEQUENCE i16,i16,i16 (24 + n)
//     3 CHAINSEQUENCE u16,u16,u8, first and second text end (32 + n)
//     5 SPRITE i16,i16,u8 (24 + n)    6 SIZESPRITE i16 x4, u8 (32 + n)
//
// The stream is walked once without output first: a token that reaches past
// the end of the file (an end token needs only its four head bytes), or a
// file that ends without an end token, is refused with nothing made. An
// unknown code is told on standard error, followed by the console pause.
#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "common/source.h"
#include "output/outputs.h"
#include "formats/anim/anim.h"
#include "output/names.h"
#include "platform/platform.h"

const char* const mw_anm = "BNM ";

namespace {

// Prints a message on standard error and waits at the console.
PRINTF_LIKE(1, 2)
void diagnose(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fflush(stderr);
    consolePause();
}

// Writes one token's text; a walk that only checks the stream passes no file.
PRINTF_LIKE(2, 3)
void emit(OutputFile* out, const char* format, ...)
{
    if (!out || out->error)
        return;
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    writeOutput(*out, text.data(), text.size());
}

int32_t u8At(const uint8_t* t, size_t at) { return toInt(t[at]); }
int32_t i8At(const uint8_t* t, size_t at) { return toSignedInt(toInt(t[at])); }
int32_t u16At(const uint8_t* t, size_t at) { return toInt(t[at], t[at + 1]); }
int32_t i16At(const uint8_t* t, size_t at) { return toSignedInt(toInt(t[at], t[at + 1]), 2); }

// The size of a recognised token, 0 for an unrecognised one.
size_t tokenSize(int32_t length, int32_t code)
{
    if (length == 0) {
        switch (code) {
        case 0: case 4: case 7: return 12;
        case 8: case 9: return 20;
        case 10: case 11: return 16;
        case 127: case -1: return 8;
        default: return 0;
        }
    }
    switch (code) {
    case 1: case 2: case 5: return 24 + size_t(length);
    case 3: case 6: return 32 + size_t(length);
    default: return 0;
    }
}

// Writes the text of the recognised token t (its size already checked).
void writeToken(OutputFile* out, const uint8_t* t, int32_t length, int32_t code)
{
    if (length == 0) {
        switch (code) {
        case 0: emit(out, "{\r\nNUM_SEQUENCES %d\r\n", u16At(t, 8)); break;
        case 4: emit(out, "\r\nFRAME %d\r\n", u8At(t, 8)); break;
        case 7: emit(out, "NHOTSPOTS %d\r\n", u8At(t, 8)); break;
        case 8: emit(out, "HOTSPOT %d,%d,%d\r\n", i16At(t, 8), i16At(t, 12), u8At(t, 16)); break;
        case 9: emit(out, "UNKNOWN_TOKEN_9 %d,%d\r\n", u8At(t, 12), u8At(t, 16)); break;
        case 10: emit(out, "UNKNOWN_TOKEN_10 %d,%d\r\n", i8At(t, 8), i8At(t, 12)); break;
        case 11: emit(out, "UNKNOWN_TOKEN_11 %d,%d\r\n", i8At(t, 8), i8At(t, 12)); break;
        default: break;  // the end token writes nothing
        }
        return;
    }
    const size_t n = size_t(length);
    switch (code) {
    case 1:
    case 2: {
        std::string name = fieldText(t + 24, n);
        emit(out, code == 1 ? "\r\nSEQUENCE \"%s\",%d,%d,%d\r\n" : "\r\nNLSEQUENCE \"%s\",%d,%d,%d\r\n", name.c_str(),
             i16At(t, 12), i16At(t, 16), i16At(t, 20));
        break;
    }
    case 3: {
        // Text ends out of order are clamped, so no part has a negative length.
        size_t firstEnd = std::min(size_t(u8At(t, 24)), n);
        size_t secondEnd = std::clamp(size_t(u8At(t, 28)), firstEnd, n);
        const uint8_t* area = t + 32;
        std::string first = fieldText(area, firstEnd);
        std::string second = fieldText(area + firstEnd, secondEnd - firstEnd);
        std::string third = fieldText(area + secondEnd, n - secondEnd);
        emit(out, "\r\nCHAINSEQUENCE \"%s\",%d,%d,%d,\"%s\",\"%s\"\r\n", first.c_str(), u16At(t, 12), u16At(t, 16),
             u8At(t, 20), second.c_str(), third.c_str());
        break;
    }
    case 5:
        emit(out, "SPRITE \"%s\",%d,%d,%d\r\n", fieldText(t + 24, n).c_str(), i16At(t, 12), i16At(t, 16),
             u8At(t, 20));
        break;
    case 6:
        emit(out, "SIZESPRITE \"%s\",%d,%d,%d,%d,%d\r\n", fieldText(t + 32, n).c_str(), i16At(t, 12), i16At(t, 16),
             i16At(t, 20), i16At(t, 24), u8At(t, 28));
        break;
    default: break;
    }
}

// Walks the stream from offset 4 to its end token or first unrecognised
// code. False when a token reaches past the data. With out given, writes
// every token's text and reports an unrecognised code.
bool walkTokens(Source& in, OutputFile* out)
{
    int64_t p = 4;
    for (;;) {
        const uint8_t* t = view(in, p, 4);
        if (!t)
            return false;
        int32_t length = u8At(t, 0);
        int32_t code = i8At(t, 3);
        size_t size = tokenSize(length, code);
        if (size == 0) {
            if (out)
                diagnose("Unknown token %d found, position: %d\n", code, int(p + 3));
            return true;
        }
        // The end token's bytes past its head are never read.
        if (length == 0 && (code == 127 || code == -1))
            return true;
        if (!(t = view(in, p, size)))
            return false;
        writeToken(out, t, length, code);
        p += int64_t(size);
    }
}

}  // namespace

bool extract_ANM(const std::string& path)
{
    Source in;
    if (!openInput(path, in))
        return false;
    if (in.size <= 3)
        return refuse(path, "too short for an ANM script: %lld bytes, at least 4 needed", (long long)in.size);
    const uint8_t* magic = view(in, 0, 4);
    if (!magic)
        return endsBefore(path, in, "its magic");
    if (std::memcmp(magic, mw_anm, 4) != 0)
        return refuse(path, "not an ANM script: it does not start with \"BNM \"");
    if (!walkTokens(in, nullptr))
        return endsBefore(path, in, "the token stream reaches its end token");

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    OutputFile out;
    openOutput(out, createFile(getName(path), dir));
    if (!walkTokens(in, &out))
        return endsBefore(path, in, "the token stream is complete: the file changed while it was read");
    emit(&out, "\r\n}\r\n");
    return placeOutputs({&out});
}
