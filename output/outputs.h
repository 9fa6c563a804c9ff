// Output files and folders. No cut-off file ever stands under an output's
// name, a failed write never destroys the previous version, a link at an
// output's name is replaced and never followed, two runs never mix their
// bytes in one file, and nothing is left behind, even when interrupted.
//
// An output folder that does not exist yet is made under a hidden temporary
// name beside its final one, its outputs are written straight under their
// own names inside it, and the folder is renamed into place once every one
// is whole: readers never see it half written. Into a folder that exists,
// each output is written under a temporary name and renamed over its final
// name once written, flushed and closed without error; it keeps the
// permission bits of the file it replaces.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/report.h"
#include "common/source.h"
#include "output/place.h"
#include "output/record.h"

// Where the outputs of the argument being converted go (decided when it was
// collected), and what became of them. The front end sets one for each
// argument, for the thread that converts it; without one, outputs go beside
// their inputs and folders are made directly.
struct OutputPlace {
    Placement where;             // an empty folder: as placeConversion puts it beside its input
    unsigned helpers = 1;        // threads one conversion may use for independent parts of its input
    bool force = false;          // --force: outputs edited since they were written are replaced too
    // The output folder's record (record.h): what an earlier run wrote, and
    // what this one has put in place. Kept once the folder is known.
    std::string recordFolder;    // empty: no record is kept
    bool hadRecord = false;
    FolderRecord previous;
    std::string previousText;
    std::mutex recordLock;
    std::vector<RecordedOutput> placed;  // put in place (or found in place) by this run
    std::set<std::string> claimed;       // every output name this run asked for
    std::string inputPath;
    // What became of the outputs:
    std::atomic<bool> unchanged{false};     // the rebuilt file was the original: nothing was written
    std::atomic<unsigned long> failed{0};   // outputs that could not be put in place
    std::string freshTemp, freshFinal;      // a new output folder, written under freshTemp
    unsigned long freshId = 0;
    // What the thread that began the conversion read and shows (the
    // threads of shareWork keep their own).
    WholeInput whole;
    std::string shown;
};
// The conversion that this thread does from here on (nullptr: none).
void beginOutputs(OutputPlace* place);
// Ends it: the folder's record is brought up to date (and, after a
// conversion that succeeded, outputs the input no longer calls for are
// removed when unedited); a new output folder whose outputs are all whole is
// renamed into place, and after a failed output it is removed. False,
// having said why, when the folder or its record could not be put in place.
bool finishOutputs(bool converted = true);
// Runs work(begin, end) over the pieces [0, piece), [piece, 2 piece), ... of
// [0, count): on the threads the conversion may use (OutputPlace::helpers),
// each piece's lines kept apart and told in piece order afterwards, so the
// lines are those one thread would print.
void shareWork(size_t count, size_t piece, const std::function<void(size_t, size_t)>& work);

// The output folder of an input; the folder its edited outputs are read
// from; and where its rebuilt file goes.
std::string outputFolderOf(const std::string& input);
std::string editsFolderOf(const std::string& input);
std::string rebuiltPathOf(const std::string& original);
// True when the edits folder of an original is there to be read back; false,
// having said why, when it is missing or a link (never followed).
bool editsFolderReady(const std::string& original);

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

// The record of the input that the outputs this thread opens from here on
// show ("entry 12", "palette 0", "glyph 3", "picture 2"); the folder's record
// lists it beside each. Empty: the whole file.
void showing(const std::string& record);
// Starts an output; a failure is kept in out.error and told by placeOutputs.
bool openOutput(OutputFile& out, const std::string& path);
// Starts the rebuilt file of an original (rebuiltPathOf): never a link, never
// the original itself, and with --output nothing at all while it is the
// original byte for byte.
bool openRebuilt(OutputFile& out, const std::string& original);
// Appends bytes; false once anything about this output has failed.
bool writeOutput(OutputFile& out, const void* data, size_t size);
PRINTF_LIKE(2, 3)
bool printOutput(OutputFile& out, const char* format, ...);
// Appends n bytes of the original from pos, a piece at a time; false when
// they cannot be read (the output then fails).
bool copyOriginal(OutputFile& out, Source& in, int64_t pos, int64_t n);

// Closes the outputs and, when every one was written whole, puts them all in
// place. Otherwise none of them is: their temporaries go, the files they
// would have replaced stay, and each is named on standard error with its
// reason. True when all were put in place.
bool placeOutputs(std::initializer_list<OutputFile*> outputs);

// How many outputs this process could not put in place, and has put in place.
unsigned long failedOutputCount();
unsigned long placedOutputCount();

// The output folder of an input (outputFolderOf), made if needed; false, with
// the system's reason on standard error, when it cannot be made, and when a
// link has its name.
bool makeOutputDir(const std::string& path, std::string& dir);

// A mod folder (assetpack --output): its record of the files assetpack wrote
// there is read at the start of the run and written back at its end.
// assetpack replaces or removes only a file it wrote whose bytes are still
// what it wrote; any other file at a rebuilt file's name is left as it is
// and named. False from endModFolder, having said why, when the record could
// not be written.
void beginModFolder(const std::string& root);
bool endModFolder();
// True when the mod folder's record lists the file at path.
bool modFolderLists(const std::string& path);
// For an original whose edits folder is gone (handled says so) while the mod
// folder's record lists its rebuilt file: that file is removed when it is
// still what assetpack wrote (with a note); true unless it was changed
// since (then it is kept, and named).
bool removeStaleRebuilt(const std::string& original, bool& handled);

// True when the input and every output of its folder are as the folder's
// record says this version left them (sizes and times): converting it again
// would change nothing, so it need not be converted.
bool outputsUpToDate(const std::string& input, const Placement& where);

// Writes the records of the output folders this run made new (held back
// until the run has converted everything); false, having said why, when one
// could not be written.
bool writePendingRecords();

// A run of many files keeps the locks on the folders it writes into until
// endFolderLocks, rather than taking and ending them for each file.
void keepFolderLocks();
void endFolderLocks();

// A dry run (--dry-run): nothing is written, made or removed; each change a
// real run would make is told on standard error instead, one line each:
// "would write PATH", "would replace PATH", "would remove PATH".
void setDryRun(bool on);

// True for the name of a temporary of this tool (".assetdump-PID-N.tmp"):
// never listed, converted or read back as content.
bool isTemporaryName(const std::string& name);
// Removes the temporaries of outputs in progress; for an interrupt, which
// ends the process: no output may begin after it.
void removeTemporariesForInterrupt();
