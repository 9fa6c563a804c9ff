// What a terminal is shown while a run goes on: a progress line on standard
// error, drawn once the run has taken a second and always cleared before
// anything else is written; and the summary at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "app/program.h"

struct Progress {
    bool on = false;  // standard error is a terminal
    std::mutex lock;  // held while the line is drawn or cleared, and around every write it must not mix with
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    size_t done = 0, total = 0;
    std::string current;
    size_t drawn = 0;  // columns on the line now
    std::chrono::steady_clock::time_point lastDraw{};
};

// Clears the line (with progress.lock held).
void clearProgress(Progress& progress);
// Draws the line, cut to the terminal's width in columns (with
// progress.lock held); at most ten times a second.
void drawProgress(Progress& progress);

struct Tally {
    unsigned long done = 0, unchanged = 0, failed = 0, skipped = 0;
};
// The summary line, on a terminal, when the run had more than one file.
void printSummary(const Progress& progress, const Program& program, const Tally& tally, size_t files);

// The columns a terminal gives UTF-8 text: East Asian wide characters two,
// combining marks none, others one.
size_t columnsOf(const std::string& text);
// Text cut to at most width columns, its middle given up for "…".
std::string cutToColumns(const std::string& text, size_t width);

// Writes text whole and flushes; false when it could not.
bool writeAll(FILE* stream, const std::string& text);
