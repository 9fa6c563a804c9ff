// What both programs are made of: the kinds of argument, one job per file
// to convert (with its destination, decided when it is collected), and the
// record each program fills with its own words and its converter.
#pragma once

#include <cstdint>
#include <string>

#include "common/listing.h"
#include "common/report.h"
#include "store/place.h"

// The type of a file, from the end of its name; an output folder is a
// FILE.FILES folder of a type.
enum class Kind { Unknown, Wad, Sec, Rle, Rlc, Arlc, Zom, Fnt, Anm, Fnc, Fnm };

struct Job {
    std::string input;   // what is converted: a file, or an output folder
    std::string shown;   // its name on the result line
    Kind kind = Kind::Unknown;
    bool folder = false;  // input is an output folder (FILE.FILES)
    std::string why;      // for Kind::Unknown: why it fails
    std::string layout;   // its place below --output and --edits (empty: beside itself)
    Placement place;      // where its outputs go
    size_t sameAs = SIZE_MAX;  // the same input, to the same place, as this earlier job: done once
    bool gone = false;    // assetpack: the original of a file in the mod folder is gone (or no file)
    // Filled in by its conversion:
    bool ok = false;
    bool unchanged = false;
    ReportSink report;
};

struct Program {
    const char* name;     // "assetdump" or "assetpack"
    const char* about;    // --help: what the program does, before the options
    const char* details;  // --help: the file types, after the options
    bool packer;          // assetpack: --edits; a walk packs the files that have outputs
    std::string nothingBelow;   // why a folder argument with nothing to do fails
    std::string folderRefused;  // why an output folder of no known type fails
    const char* doneWord;       // the summary's word for the files done ("converted")
    bool countsUnchanged;       // the summary counts the files left as they were
    // Converts (or packs) one file, or lists or packs one output folder.
    bool (*convert)(const Job& job);
    // What one file holds, for --list, written nowhere (null: no --list).
    bool (*list)(const Job& job, Listing& listing);
};

// The types the tool knows, as words say them ("WAD, SEC, ... or ANM").
extern const char* const kKnownTypes;

// The program's path, for the usage line.
extern const char* szCommand;

// Runs the program: prepares the process, reads the options, prints the
// usage line when there is no path, collects every file of every argument
// (walking folders) before converting any, converts them with a pool of
// workers and prints "name<TAB>DONE!" or "name<TAB>FAILED!" for each, in
// order. A failure always has its reason on standard error; a failed
// allocation fails only its file. Returns the exit status: 0 when every
// file is DONE!, 1 after a usage error, 2 when the result lines could not
// all be written, 3 when a file is FAILED!.
int runFrontEnd(int argc, char** argv, const Program& program);
