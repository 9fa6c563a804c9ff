// The run: a pool of workers converts the jobs, and their lines are printed
// in the order the jobs were collected, whatever the order they finish in.
#pragma once

#include <deque>

#include "app/program.h"
#include "app/progress.h"

// Converts every job (jobs: the number of workers, 0 for one per core) and
// prints each one's lines and result line in order, counting the results in
// tally. False when the result lines could not all be written.
bool runJobs(std::deque<Job>& jobs, const Program& program, unsigned workers, Progress& progress, Tally& tally);
