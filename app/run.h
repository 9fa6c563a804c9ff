// The run: a pool of workers converts the jobs, and their lines are printed
// in the order the jobs were collected, whatever the order they finish in.
#pragma once

#include <deque>

#include "app/program.h"
#include "app/progress.h"

struct RunContext;  // store/run_context.h

struct RunSettings {
    unsigned workers = 0;  // 0: one per core
    RunContext* run = nullptr;  // the run's choices and counters, handed to each conversion
};

// Converts every job and prints each one's lines and result line in order,
// counting the results in tally. False when the result lines could not all
// be written.
bool runJobs(std::deque<Job>& jobs, const Program& program, RunSettings settings, Progress& progress, Tally& tally);
