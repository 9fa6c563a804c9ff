// What both programs share on the command line: the options, the walk of
// folder arguments, classification of every file by its name, the run over
// the files (by a pool of workers, printed in argument order), one result
// line each, progress and a summary on a terminal, and the exit status.
#pragma once

#include <string>

// Argument kinds; a directory kind is its file kind less 10.
enum Kind : int {
    kUnknown = 0,
    kDirWad = 1, kDirSec = 2, kDirRle = 3, kDirRlc = 4, kDirArlc = 24, kDirZom = 5,
    kDirFnt = 6, kDirAnm = 7, kDirFnc = 26, kDirFnm = 27,
    kWad = 11, kSec = 12, kRle = 13, kRlc = 14, kArlc = 34, kZom = 15, kFnt = 16, kAnm = 17,
    kFnc = 36, kFnm = 37,
};
// True for the kind of an output folder (a file kind less 10).
constexpr bool isFolderKind(int kind)
{
    return kind == kDirWad || kind == kDirSec || kind == kDirRle || kind == kDirRlc || kind == kDirArlc ||
           kind == kDirZom || kind == kDirFnt || kind == kDirAnm || kind == kDirFnc || kind == kDirFnm;
}

// The kind of a path, found from its own name (not the folders before it)
// and what it names (platform.h's PathKind, found without opening it; for a
// missing one errno still holds the reason). For kUnknown, why says what is
// wrong with it.
struct Classified {
    int kind;
    std::string why;
};
enum class PathKind;
Classified classify(const std::string& path, PathKind kind, const std::string& what);

// The program's path, for the usage line.
extern const char* szCommand;

struct Program {
    const char* name;  // "assetdump" or "assetpack"
    const char* help;  // the text of --help
    bool packer;       // assetpack: --edits; a walk packs the files that have outputs
    // Converts (or packs) one file, or lists or packs one output folder.
    bool (*convert)(int kind, const std::string& path);
};

// Runs the program: prepares the process, reads the options, prints the
// usage line when there is no path, collects every file of every argument
// (walking folders) before converting any, converts them with a pool of
// workers and prints "name<TAB>DONE!" or "name<TAB>FAILED!" for each, in
// order. A failure always has its reason on standard error; a failed
// allocation fails only its file. Returns the exit status: 0 after a run, 1
// after a usage error, 2 when the result lines could not all be written.
int runFrontEnd(int argc, char** argv, const Program& program);
