// The program entry: classify every argument by its name, then convert them
// one after another and print one result line each.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"
#include "output/names.h"
#include "platform/platform.h"

const char* szCommand = "<not yet set>";

namespace {

// Argument kinds; a directory kind is its file kind less 10.
enum Kind : int {
    kUnknown = 0,
    kDirWad = 1, kDirSec = 2, kDirRle = 3, kDirRlc = 4, kDirArlc = 24, kDirZom = 5,
    kDirFnt = 6, kDirFnc = 26, kDirFnm = 27,
    kWad = 11, kSec = 12, kRle = 13, kRlc = 14, kArlc = 34, kZom = 15, kFnt = 16, kAnm = 17,
    kFnc = 36, kFnm = 37,
};

[[noreturn]] void Usage()
{
    std::fprintf(stderr, "USAGE: %s <filename> [<filename> ...]\n", getName(szCommand).c_str());
    std::fputs("\n", stdout);
    std::fflush(stdout);
    consolePause();
    std::exit(1);
}

// A readable file; a directory does not count even where it opens for reading.
bool file_exists(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f)
        return false;
    std::fclose(f);
    return !isDirectory(path);
}

bool file_isDir(const std::string& path)
{
    return isDirectory(path);
}

// c against an upper-case letter, either case; anything else matches only itself.
bool equals(char c, char letter)
{
    return c == letter || (letter >= 'A' && letter <= 'Z' && c == letter + 32);
}

// The file kind of the three letters that end text[0..length); 0 when none fits.
int extensionKind(const std::string& text, size_t length, bool isFile)
{
    char a = text[length - 3], b = text[length - 2], c = text[length - 1];
    if (equals(a, 'W'))
        return equals(b, 'A') && equals(c, 'D') ? kWad : kUnknown;
    if (equals(a, 'S'))
        return equals(b, 'E') && equals(c, 'C') ? kSec : kUnknown;
    if (equals(a, 'R')) {
        if (!equals(b, 'L'))
            return kUnknown;
        if (equals(c, 'E'))
            return kRle;
        if (equals(c, 'C'))
            return length >= 4 && equals(text[length - 4], 'A') ? kArlc : kRlc;
        return kUnknown;
    }
    if (equals(a, 'Z'))
        return equals(b, 'O') && equals(c, 'M') ? kZom : kUnknown;
    if (equals(a, 'F')) {
        if (!equals(b, 'N'))
            return kUnknown;
        if (equals(c, 'C'))
            return kFnc;
        if (equals(c, 'M'))
            return kFnm;
        if (equals(c, 'T'))
            return kFnt;
        return kUnknown;
    }
    if (isFile && equals(a, 'A'))
        return equals(b, 'N') && equals(c, 'M') ? kAnm : kUnknown;
    return kUnknown;
}

int classify(const std::string& arg)
{
    size_t length = arg.size();
    if (file_exists(arg))
        return length > 4 ? extensionKind(arg, length, true) : kUnknown;
    if (!file_isDir(arg))
        return kUnknown;
    // A directory qualifies only with more than four characters before ".FILES".
    const std::string suffix = extracted;
    if (length <= suffix.size() + 4)
        return kUnknown;
    for (size_t i = 0; i < suffix.size(); i++)
        if (!equals(arg[length - suffix.size() + i], suffix[i]))
            return kUnknown;
    int kind = extensionKind(arg, length - suffix.size(), false);
    return kind == kUnknown ? kUnknown : kind - 10;
}

bool convert(int kind, const std::string& arg)
{
    switch (kind) {
    case kDirWad: return create_WAD(arg);
    case kWad: return extract_WAD(arg);
    case kSec: return extract_SEC(arg);
    case kRle: return extract_RLE(arg);
    case kRlc: return extract_RLC(arg);
    case kArlc: return extract_ARLC(arg);
    case kZom: return extract_ZOM(arg);
    case kFnt: return extract_FNT(arg);
    case kAnm: return extract_ANM(arg);
    case kFnc: return extract_FNC(arg);
    case kFnm: return extract_FNM(arg);
    default: return false;  // unknown names and directories other than WAD ones
    }
}

}  // namespace

int main(int argc, char** argv)
{
    szCommand = argv[0] ? argv[0] : szCommand;
    if (argc <= 1)
        Usage();

    std::vector<int> kinds(size_t(argc - 1), kUnknown);
    for (int i = 1; i < argc; i++)
        kinds[size_t(i - 1)] = classify(argv[i]);

    for (int i = 1; i < argc; i++) {
        bool ok = convert(kinds[size_t(i - 1)], argv[i]);
        std::printf(ok ? "%s\tDONE!\n" : "%s\tFAILED!\n", getName(argv[i]).c_str());
        std::fflush(stdout);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
    consolePause();
    return 0;
}
