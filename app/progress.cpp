// The progress line and the summary (see progress.h).
#include "app/progress.h"

#include <algorithm>
#include <cstdio>

#include "common/report.h"
#include "platform/platform.h"

bool writeAll(FILE* stream, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
}

void clearProgress(Progress& progress)
{
    if (progress.drawn) {
        std::string blank(progress.drawn + 2, ' ');
        blank.front() = blank.back() = '\r';
        writeAll(stderr, blank);
    }
    progress.drawn = 0;
}

void drawProgress(Progress& progress)
{
    if (!progress.on || std::chrono::steady_clock::now() - progress.start < std::chrono::seconds(1))
        return;
    std::string line(1, '[');
    line += std::to_string(progress.done);
    line += '/';
    line += std::to_string(progress.total);
    line += "] ";
    line += escapeControls(progress.current);
    // Cut to the width, at a character's start, so the line never wraps.
    const size_t width = size_t(std::max(terminalColumns() - 1, 10));
    size_t characters = 0, at = 0;
    for (; at < line.size(); at++)
        if ((static_cast<unsigned char>(line[at]) & 0xC0) != 0x80 && ++characters > width)
            break;
    line.resize(at);
    clearProgress(progress);
    writeAll(stderr, line);
    progress.drawn = characters > width ? width : characters;
}

void printSummary(const Progress& progress, const Program& program, const Tally& tally, size_t files)
{
    if (!progress.on || files + tally.skipped <= 1)
        return;
    std::string line = std::string(program.name) + ": " + std::to_string(tally.done) + " " + program.doneWord + ", ";
    if (program.countsUnchanged)
        line += std::to_string(tally.unchanged) + " unchanged, ";
    line += std::to_string(tally.failed) + " failed, " + std::to_string(tally.skipped) + " skipped\n";
    writeAll(stderr, line);
}
