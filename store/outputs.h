// Output files written whole and put in place. No cut-off file ever stands
// under an output's name, a failed write never destroys the previous
// version, a link at an output's name is replaced and never followed, two
// runs never mix their bytes in one file, and nothing is left behind.
//
// An output folder that does not exist yet is made under a hidden temporary
// name beside its final one, its outputs are written straight under their
// own names inside it, and the folder is renamed into place once every one
// is whole: readers never see it half written. Into a folder that exists,
// each output is written under a temporary name and renamed over its final
// name once written, flushed and closed without error; it keeps the
// permission bits of the file it replaces.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/report.h"
#include "common/source.h"
#include "store/conversion.h"

struct OutputFile {
    std::string path;  // where the file goes
    std::string temp;  // the file being written: a temporary, or in a new folder the output itself
    bool fresh = false;  // in a new folder: nothing to rename
    std::vector<uint8_t> buffer;  // bytes not written yet: few writes per output
    size_t buffered = 0;
    FileHandle file;
    int error = 0;     // errno of the first failure; 0 while all is well
    std::string why;   // a reason of the tool's own, told instead of the system's text
    unsigned long registered = 0;  // the temporary, as the interrupt clean-up knows it
    // A rebuilt file that may turn out to be its original, or an output whose
    // file may already hold its bytes: while the bytes are the same, nothing
    // is written (original, from 0 to sameAt).
    enum class Compare { None, Rebuilt, Existing, Recorded };
    Compare comparing = Compare::None;
    std::unique_ptr<Source> original;
    int64_t sameAt = 0;
    // An output whose file is as the record says it was placed (size and
    // time): its bytes are held in the buffer, and written only when their
    // hash is not the recorded one.
    RecordedOutput was;
    // What the output holds, for the folder's record.
    Hasher hasher;
    int64_t written = 0;
    int64_t mtime = 0;  // the file's modification time once every byte is in it (0: not known)
    // What the file at its name held when it was found replaceable (size -1: not known).
    int64_t beforeSize = -1;
    Hash128 beforeHash;
    bool inRecord = false;  // an output of the folder whose record is kept
    bool kept = false;      // the file at its name is the user's edit: left as it is
    bool counted = true;    // counted among the outputs placed (the record is not)
    bool hidden = false;    // marked hidden where the system has the mark (Windows)
    bool rebuilt = false;   // assetpack's rebuilt file
    bool dry = false;       // a dry run's: nothing is written
    std::string shows;      // the record of the input it shows
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

// How many outputs the current run (run_context.h) could not put in place, and has put in place.
unsigned long failedOutputCount();
unsigned long placedOutputCount();

// Appends n bytes of a source from pos, a piece at a time; false when they
// cannot be read (the output then fails).
bool copyOriginal(OutputFile& out, Source& in, int64_t pos, int64_t n);
