// The steps of writing one output, shared by the store's files and the way
// back (back/): buffers, temporaries, comparing with what is on disk, the
// folder record's update. Formats use outputs.h and conversion.h instead.
#pragma once

#include <cstddef>
#include <string>

#include "store/conversion.h"
#include "store/outputs.h"

extern const char* const kLinkRefusal;  // "a symbolic link has its name, ..."

// The folder part of a path, with its separator (empty for a bare name), and without it.
std::string folderOf(const std::string& path);
std::string folderOfPath(const std::string& path);

// What a dry run says instead of changing a file ("would write PATH"), and
// -v after changing it ("wrote PATH").
void tellChange(const std::string& verb, const std::string& path);
bool dryRunning();

// Keeps the first failure of an output (EIO when error is 0).
void fail(OutputFile& out, int error);
// Output buffers are kept for the next output: no allocation per file.
void takeBuffer(OutputFile& out);
void giveBuffer(OutputFile& out);
// Closes the file, every byte written; false, with the failure kept, otherwise.
bool closeOutput(OutputFile& out);
// Makes the output's temporary beside its final name.
bool openTemporary(OutputFile& out);
// Appends bytes to the file being written, through its buffer.
bool writeRaw(OutputFile& out, const void* data, size_t size);

// A file written in a new output folder: the folder's own name stands for
// the hidden one it is written in.
bool inFreshFolder(const std::string& path, std::string& physical);
// Makes the folders between the placement's root and path (exclusive),
// refusing links: an output under --output must stay below it. False with
// why set.
bool makeFoldersBelow(const Placement* where, const std::string& path, std::string& why);

// Comparing with what is on disk (compare.cpp): the bytes shared so far
// written out once they differ; a file the user edited kept instead; an
// output held in its buffer compared with its file once it outgrows it; a
// compared output settled when it ends (true: nothing to put in place).
bool startRebuilt(OutputFile& out);
bool diverge(OutputFile& out);
bool compareWithFile(OutputFile& out);
bool settleCompared(OutputFile& out);

// The folder record (folder_record.cpp): read when the folder is known;
// rewritten to name the staged outputs (both their old and new bytes)
// before they replace anything; settled when the conversion ends. False,
// having said why, when it could not be written.
void readRecord(OutputPlace& p, const std::string& dir);
// Notes an output put in place (or found in place): over its earlier entry
// where the record lists it, so a long record is held once.
void notePlaced(OutputPlace& p, const RecordedOutput& written);
bool writeIntentRecord(OutputPlace& p);
// converted: the conversion succeeded, and the record names its input;
// whole: it went through the whole input (it succeeded, or failed only for
// outputs held back for edits), so earlier outputs it did not ask for go.
bool writeRecord(OutputPlace& p, bool converted, bool whole);
// Renames the staged sets into place, each noted as placed (place_outputs.cpp).
void placeStaged(OutputPlace& p);
// Takes back staged sets that may not replace anything, each named with why.
void dropStaged(OutputPlace& p, const std::string& why);
// Puts a record in place in its folder (in a new folder, inside it before it
// is put in place); false, having said why, when it could not be.
bool placeRecord(const std::string& folder, const FolderRecord& record);
