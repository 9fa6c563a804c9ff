// The run: a pool of workers converts the jobs, and their lines are printed
// in the order the jobs were collected, whatever the order they finish in.
#pragma once

#include <deque>
#include <functional>

#include "app/program.h"
#include "app/list.h"
#include "app/progress.h"

struct RunContext;  // store/run_context.h

struct RunSettings {
    unsigned workers = 0;  // 0: one per core
    RunContext* run = nullptr;  // the run's choices and counters, handed to each conversion
    ListForm list = ListForm::None;  // --list: each file is listed instead, nothing written
    // Sees each job once its lines are printed, before it is let go (the gallery keeps its result).
    std::function<void(const Job&)> finished;
};

// Converts every job and prints each one's lines and result line in order,
// counting the results in tally. False when the result lines could not all
// be written.
bool runJobs(std::deque<Job>& jobs, const Program& program, RunSettings settings, Progress& progress, Tally& tally);
