// One conversion's place on disk: where its outputs go, the folder's record
// as an earlier run left it, and what became of the outputs. The front end
// begins one for each input, on the thread that converts it.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
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

// An output written whole under its temporary name, waiting to replace the
// file at its name until the folder's record names it (see finishOutputs).
struct StagedOutput {
    std::string path, temp;
    unsigned long registered = 0;  // the temporary, as the interrupt clean-up knows it
    RecordedOutput written;        // with what the file at its name held (before), when anything
};

struct OutputPlace {
    RunContext* run = &plainRun();  // the run's choices and counters
    PictureFormat picture = PictureFormat::Bmp;  // the formats of this folder: the run's, or
    PaletteFormat palette = PaletteFormat::Raw;  // those its record names when none was given
    Placement where;             // an empty folder: as placeConversion puts it beside its input
    unsigned helpers = 1;        // threads one conversion may use for independent parts of its input
    // The output folder's record (record.h): what an earlier run wrote, and
    // what this one has put in place. Kept once the folder is known.
    std::string recordFolder;    // empty: no record is kept
    RecordRead recordState = RecordRead::Missing;
    std::string recordWhy;       // why a spoiled record cannot be trusted
    bool recordNewer = false;    // written by a newer version: never rewritten
    FolderRecord previous;
    Hash128 previousHash;        // of its text: a record that comes out the same is not rewritten
    intptr_t folderLock = 0;     // this run's hold on a folder that exists (holdFolder)
    bool raced = false;          // another run put the same new folder in place first
    std::mutex recordLock;
    std::deque<RecordedOutput> placed;   // put in place (or found in place) by this run (in pieces:
                                         // a long list never needs room for twice itself)
    std::vector<std::vector<StagedOutput>> staged;  // sets waiting to replace files of an existing folder
    std::vector<char> claimed;           // by previous.outputs: asked for again by this run
    std::string inputPath;
    // What became of the outputs:
    std::atomic<bool> unchanged{false};     // the rebuilt file was the original: nothing was written
    std::atomic<unsigned long> failed{0};   // outputs that could not be put in place
    std::atomic<unsigned long> heldBack{0}; // outputs not put in place for an edit (kept, or its pair's)
    unsigned long problemsAtStart = 0;      // problems told before the conversion began
    std::string freshTemp, freshFinal;      // a new output folder, written under freshTemp
    unsigned long freshId = 0;
    // What the thread that began the conversion read whole and shows (the
    // helpers of shareWork keep their own).
    WholeInput whole;
    ConversionThread own{this, {}};
    // An input too large to be read whole is hashed for the record on a
    // thread of its own while it is converted (see hashInputAside).
    std::thread inputHasher;
    Hash128 asideHash;
    int64_t asideSize = -1;
    ~OutputPlace()
    {
        if (inputHasher.joinable())
            inputHasher.join();
    }
};
// Starts hashing the conversion's input beside the conversion when it is
// larger than one read takes whole.
void hashInputAside(OutputPlace& p);

// The conversion that this thread does from here on (nullptr: none); it
// writes in the run's formats unless its folder's record names others.
void beginOutputs(OutputPlace* place);
// The conversion of this thread; nullptr outside one.
OutputPlace* currentPlace();
// What this thread writes for, and (for the helpers of shareWork) setting it.
ConversionThread* currentConversionThread();
void useConversionThread(ConversionThread* thread);
// Ends it. In a folder that exists, the record is first rewritten to name
// both the old and the new bytes of every output about to change, the
// staged outputs are then renamed into place, and the record is settled
// (after a conversion that succeeded, outputs the input no longer calls for
// are removed when unedited): whenever the run stops, every file the record
// lists holds bytes it names. A new folder gets its record inside before it
// is renamed into place whole; after a failed output it is removed. False,
// having said why, when the outputs or the record could not be put in place
// (raced: another run put the same new folder in place first).
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
// trusted record says this version left them (sizes, times and, for the
// input, what no touch puts back): converting it again would change
// nothing, so it need not be converted. Only ever saves work: nothing is
// replaced or removed on its word.
bool outputsUpToDate(OutputPlace& place, const std::string& input);

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
