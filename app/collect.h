// Collection: every file of every argument, classified by its name and
// given its destination, before any is converted. Folders are walked.
#pragma once

#include <deque>
#include <string>

#include "app/options.h"
#include "app/program.h"

struct ModFolder;

struct Collected {
    const ModFolder* mod = nullptr;  // assetpack's mod folder, whose rebuilt files count as work too
    std::deque<Job> jobs;
    unsigned long skipped = 0;  // files of a walk the program has nothing to do with
};

// Adds the files of one argument: the file itself, or those of a walk.
void collect(Collected& run, const Program& program, const Options& options, const std::string& arg);
// With --output, two files that would share an output folder (or rebuilt
// file): the later fails, naming the earlier.
void refuseSharedPlaces(Collected& run, const Program& program);
