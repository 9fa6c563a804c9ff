// What both programs share on the command line: classification of an
// argument by its name, the run over the arguments with one result line
// each, --help and --version, the usage line and the exit status.
#pragma once

#include <string>

// Argument kinds; a directory kind is its file kind less 10.
enum Kind : int {
    kUnknown = 0,
    kDirWad = 1, kDirSec = 2, kDirRle = 3, kDirRlc = 4, kDirArlc = 24, kDirZom = 5,
    kDirFnt = 6, kDirFnc = 26, kDirFnm = 27,
    kWad = 11, kSec = 12, kRle = 13, kRlc = 14, kArlc = 34, kZom = 15, kFnt = 16, kAnm = 17,
    kFnc = 36, kFnm = 37,
};

// The kind of an argument, found from its name and what it names, without
// opening it. For kUnknown, why says what is wrong with it.
struct Classified {
    int kind;
    std::string why;
};
Classified classify(const std::string& arg);

// The program's path, for the usage line.
extern const char* szCommand;

// Runs the program named program: prepares the process, answers --help and --version, prints
// the usage line when there is no argument, classifies every argument before
// converting any, then converts them in order with convert(kind, arg) and
// prints "name<TAB>DONE!" or "name<TAB>FAILED!" for each. A failure always
// has its reason on standard error; a failed allocation fails only its
// argument. Returns the exit status: 0 after a run, 1 after the usage line,
// 2 when the result lines could not all be written.
int runFrontEnd(int argc, char** argv, const char* program, const char* help,
                bool (*convert)(int kind, const std::string& arg));
