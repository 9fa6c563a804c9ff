// One conversion's work shared between threads: the entries of an archive
// converted side by side when the run has one file and several cores.
#pragma once

#include <cstddef>
#include <functional>

// Runs work(begin, end) over the pieces [0, piece), [piece, 2 piece), ... of
// [0, count): on the threads the conversion may use (OutputPlace::helpers),
// each piece's lines kept apart and told in piece order afterwards, so the
// lines are those one thread would print.
void shareWork(size_t count, size_t piece, const std::function<void(size_t, size_t)>& work);
