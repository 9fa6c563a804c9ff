// One conversion's place on disk: where its outputs go, the folder's record
// as an earlier run left it, and what became of the outputs. The front end
// begins one for each input, on the thread that converts it.
#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/source.h"
#include "store/place.h"
#include "store/record.h"
#include "store/run_context.h"

struct OutputPlace;
// What one thread writes for: a conversion, and the record of the input that
// the outputs it opens show (see showing). The thread that begins a
// conversion uses the place's own; each helper of it (app/share.h) has one.
struct ConversionThread {
    OutputPlace* place = nullptr;
    std::string shown;
};

struct OutputPlace {
    RunContext* run = &plainRun();  // the run's choices and counters
    Placement where;             // an empty folder: as placeConversion puts it beside its input
    unsigned helpers = 1;        // threads one conversion may use for independent parts of its input
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
    // What the thread that began the conversion read whole and shows (the
    // helpers of shareWork keep their own).
    WholeInput whole;
    ConversionThread own{this, {}};
};

// The conversion that this thread does from here on (nullptr: none).
void beginOutputs(OutputPlace* place);
// The conversion of this thread; nullptr outside one.
OutputPlace* currentPlace();
// What this thread writes for, and (for the helpers of shareWork) setting it.
ConversionThread* currentConversionThread();
void useConversionThread(ConversionThread* thread);
// Ends it: the folder's record is brought up to date (and, after a
// conversion that succeeded, outputs the input no longer calls for are
// removed when unedited); a new output folder whose outputs are all whole is
// renamed into place, and after a failed output it is removed. False,
// having said why, when the folder or its record could not be put in place.
bool finishOutputs(bool converted = true);

// The record of the input that the outputs this thread opens from here on
// show ("entry 12", "palette 0", "glyph 3", "picture 2"); the folder's record
// lists it beside each. Empty: the whole file.
void showing(const std::string& record);

// The output folder of an input, as its placement says.
std::string outputFolderOf(const std::string& input);
// The output folder of an input (outputFolderOf), made if needed; false, with
// the system's reason on standard error, when it cannot be made, and when a
// link has its name.
bool makeOutputDir(const std::string& path, std::string& dir);

// True when the input and every output of its folder are as the folder's
// record says this version left them (sizes and times): converting it again
// would change nothing, so it need not be converted.
bool outputsUpToDate(const std::string& input, const Placement& where);
// Writes the records of the output folders this run made new (held back
// until the run has converted everything); false, having said why, when one
// could not be written.
bool writePendingRecords(RunContext& run);

// A run of many files keeps the locks on the folders it writes into until
// endFolderLocks, rather than taking and ending them for each file.
void keepFolderLocks();
void endFolderLocks();
// True for the name of a temporary of this tool (".assetdump-PID-N.tmp"):
// never listed, converted or read back as content.
bool isTemporaryName(const std::string& name);
// Removes the temporaries of outputs in progress; for an interrupt, which
// ends the process: no output may begin after it.
void removeTemporariesForInterrupt();
