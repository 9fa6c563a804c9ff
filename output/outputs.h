// Output files. Each is written under a temporary name in its own folder and
// put in place, replacing what had its name, only once it was written,
// flushed and closed without error: a failed write never leaves a cut-off
// file, the previous version stays as it was, a link at the name is replaced
// and not followed, and two runs never mix their bytes in one file.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/report.h"

struct OutputFile {
    std::string path;  // where the file goes
    std::string temp;  // where it is written until then
    std::vector<char> buffer;  // the file's buffer: few writes per output
    File file;
    int error = 0;     // errno of the first failure; 0 while all is well
    // A file never put in place takes its temporary with it.
    ~OutputFile();
};

// Starts an output; a failure is kept in out.error and told by placeOutputs.
bool openOutput(OutputFile& out, const std::string& path);
// Appends bytes; false once anything about this output has failed.
bool writeOutput(OutputFile& out, const void* data, size_t size);
PRINTF_LIKE(2, 3)
bool printOutput(OutputFile& out, const char* format, ...);

// Closes the outputs and, when every one was written whole, puts them all in
// place. Otherwise none of them is: their temporaries go, the files they
// would have replaced stay, and each is named on standard error with its
// reason. True when all were put in place.
bool placeOutputs(std::initializer_list<OutputFile*> outputs);

// How many outputs this process could not put in place.
unsigned long failedOutputCount();

// The output folder of an input (its path plus ".FILES"), created if needed;
// false, with the reason on standard error, when it cannot be made.
bool makeOutputDir(const std::string& path, std::string& dir);
