// The progress line and the summary (see progress.h).
#include "app/progress.h"

#include <algorithm>
#include <cstdio>
#include <vector>

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

namespace {

// The code points of a UTF-8 text (a stray byte stands for itself).
std::vector<uint32_t> codePoints(const std::string& text)
{
    std::vector<uint32_t> points;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        uint32_t v = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n && i + k < text.size(); k++)
            v = v << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        points.push_back(v);
        i += n;
    }
    return points;
}

size_t columnsOf(uint32_t c)
{
    if ((c >= 0x300 && c <= 0x36F) || c == 0x200B || (c >= 0xFE00 && c <= 0xFE0F))
        return 0;  // combining marks, zero width
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                      (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
                      (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x1F900 && c <= 0x1F9FF) ||
                      (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

size_t columnsOf(const std::string& text)
{
    size_t columns = 0;
    for (uint32_t c : codePoints(text))
        columns += columnsOf(c);
    return columns;
}

std::string cutToColumns(const std::string& text, size_t width)
{
    if (columnsOf(text) <= width)
        return text;
    const std::vector<uint32_t> points = codePoints(text);
    // As much of the start and of the end as fits beside the "…".
    const size_t room = width > 1 ? width - 1 : 0;
    size_t head = 0, tail = points.size(), used = 0;
    for (bool front = true;; front = !front) {
        const size_t at = front ? head : tail - 1;
        if (head >= tail || used + columnsOf(points[at]) > room)
            break;
        used += columnsOf(points[at]);
        front ? head++ : tail--;
    }
    std::string out;
    for (size_t i = 0; i < head; i++)
        appendUtf8(out, points[i]);
    out += "\u2026";
    for (size_t i = tail; i < points.size(); i++)
        appendUtf8(out, points[i]);
    return out;
}

void drawProgress(Progress& progress)
{
    const auto now = std::chrono::steady_clock::now();
    if (!progress.on || now - progress.start < std::chrono::seconds(1) ||
        now - progress.lastDraw < std::chrono::milliseconds(100))
        return;
    progress.lastDraw = now;
    std::string count(1, '[');  // appended piece by piece: g++ 12 warns wrongly on a + chain here
    count += std::to_string(progress.done);
    count += '/';
    count += std::to_string(progress.total);
    count += "] ";
    // Cut to the width in columns, so the line never wraps.
    const size_t width = size_t(std::max(terminalColumns() - 1, 10));
    std::string line = count;
    line += cutToColumns(escapeControls(progress.current), width > count.size() ? width - count.size() : 1);
    clearProgress(progress);
    writeAll(stderr, line);
    progress.drawn = columnsOf(line);
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
