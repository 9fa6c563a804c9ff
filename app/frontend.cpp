#include "app/frontend.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>
#include <vector>

#include "common/report.h"
#include "output/names.h"
#include "platform/platform.h"

const char* szCommand = "<not yet set>";

namespace {

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

const char* const kKnownTypes = "WAD, SEC, RLE, RLC, ARLC, ZOM, FNT, FNC, FNM or ANM";

bool printLine(const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

[[noreturn]] void Usage()
{
    std::fprintf(stderr, "USAGE: %s <filename> [<filename> ...]\n", getName(szCommand).c_str());
    printLine("\n");
    consolePause();
    std::exit(1);
}

bool isHelp(const std::string& arg)
{
#ifdef _WIN32
    if (arg == "/?")
        return true;
#endif
    return arg == "--help" || arg == "-h";
}

}  // namespace

Classified classify(const std::string& arg)
{
    const size_t length = arg.size();
    std::string what;
    switch (pathKind(arg, what)) {
    case PathKind::Missing:
        return {kUnknown, systemReason(errno)};
    case PathKind::Other:
        return {kUnknown, "not a regular file: it is " + what};
    case PathKind::Regular: {
        int kind = length > 4 ? extensionKind(arg, length, true) : kUnknown;
        if (kind == kUnknown)
            return {kUnknown, std::string("unknown file type: the name does not end in ") + kKnownTypes};
        return {kind, ""};
    }
    case PathKind::Directory:
        break;
    }
    // A folder qualifies only with more than four characters before ".FILES".
    const std::string suffix = extracted;
    bool named = length > suffix.size() + 4;
    for (size_t i = 0; named && i < suffix.size(); i++)
        named = equals(arg[length - suffix.size() + i], suffix[i]);
    int kind = named ? extensionKind(arg, length - suffix.size(), false) : kUnknown;
    if (kind == kUnknown)
        return {kUnknown, std::string("a folder, not a file: give a file whose name ends in ") + kKnownTypes};
    return {kind - 10, ""};
}

int runFrontEnd(int argc, char** argv, const char* program, const char* help,
                bool (*convert)(int kind, const std::string& arg))
{
    prepareProcess();
    const std::vector<std::string> args = commandArguments(argc, argv);
    static std::string command;
    command = args.empty() ? std::string(szCommand) : args[0];
    szCommand = command.c_str();
    if (args.size() <= 1)
        Usage();
    if (args.size() == 2 && isHelp(args[1]))
        return printLine(help) ? 0 : 2;
    if (args.size() == 2 && args[1] == "--version")
        return printLine(std::string(program) + " " ASSETDUMP_VERSION "\n") ? 0 : 2;

    std::vector<Classified> kinds;
    for (size_t i = 1; i < args.size(); i++)
        kinds.push_back(classify(args[i]));

    bool reported = true;
    for (size_t i = 1; i < args.size(); i++) {
        const std::string& arg = args[i];
        const unsigned long problemsBefore = problemCount();
        bool ok = false;
        try {
            ok = convert(kinds[i - 1].kind, arg);
            if (!ok && kinds[i - 1].kind == kUnknown)
                reportProblem(arg, kinds[i - 1].why);
        } catch (const std::bad_alloc&) {
            ok = false;
            reportProblem(arg, "out of memory");
        } catch (const std::exception& e) {
            ok = false;
            reportProblem(arg, e.what());
        }
        if (!ok && problemCount() == problemsBefore)
            reportProblem(arg, "failed");  // never reached by a converter that says why
        reported = printLine(escapeControls(getName(arg)) + (ok ? "\tDONE!\n" : "\tFAILED!\n")) && reported;
    }
    reported = printLine("\n") && reported;
    consolePause();
    return reported ? 0 : 2;
}
