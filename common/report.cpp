// Problem lines and notes: formatting, escaping, and where they go (see report.h).
#include "common/report.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace {
std::atomic<unsigned long> unsunk{0};  // problems told straight to standard error
std::atomic<Verbosity> verbosity{Verbosity::Normal};
thread_local ReportSink* sink = nullptr;

void writeErr(const std::string& line)
{
    // One write per line, so lines from two sources never interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
}  // namespace

std::string escapeControls(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";  // so that no name prints as another's escape
        } else if (u >= 32) {
            out += c;
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[u >> 4];
            out += digits[u & 15];
        }
    }
    return out;
}

void useReportSink(ReportSink* to)
{
    sink = to;
}

std::string shownPath(const std::string& path)
{
    std::string shown = path;
    for (char& c : shown)
        if (isPathSeparator(c))
            c = '/';
    return shown;
}

ReportSink* currentReportSink()
{
    return sink;
}

void reportAll(const ReportSink& lines)
{
    if (sink) {
        sink->out += lines.out;
        sink->err += lines.err;
        sink->problems += lines.problems;
        sink->pause = sink->pause || lines.pause;
        if (!lines.renamed.empty())
            sink->renamedSubject = lines.renamedSubject;
        sink->renamed.insert(sink->renamed.end(), lines.renamed.begin(), lines.renamed.end());
        return;
    }
    unsunk += lines.problems;
    std::fwrite(lines.out.data(), 1, lines.out.size(), stdout);
    writeErr(lines.err);
    for (const std::string& text : lines.renamed)
        reportNoteAbout(lines.renamedSubject, text);
    if (lines.pause)
        consolePause();
}

void reportProblem(const std::string& subject, const std::string& text)
{
    std::string line = escapeControls(shownPath(subject)) + ": " + escapeControls(text) + "\n";
    if (sink) {
        sink->problems++;
        sink->err += line;
        return;
    }
    unsunk++;
    writeErr(line);
}

void reportMessage(const std::string& text)
{
    if (sink) {
        sink->err += text;
        sink->pause = true;
        return;
    }
    writeErr(text);
    consolePause();
}

void reportNote(const std::string& line)
{
    if (sink)
        sink->err += line + "\n";
    else
        writeErr(line + "\n");
}

void setVerbosity(Verbosity level)
{
    verbosity = level;
}

bool verbose()
{
    return verbosity == Verbosity::Verbose;
}

void reportNoteAbout(const std::string& subject, const std::string& text)
{
    if (verbosity != Verbosity::Quiet)
        reportNote(escapeControls(shownPath(subject)) + ": note: " + escapeControls(text));
}

void reportDetail(const std::string& subject, const std::string& text)
{
    if (verbosity == Verbosity::Verbose)
        reportNote(escapeControls(shownPath(subject)) + ": " + escapeControls(text));
}

void noteRenamed(const std::string& subject, const std::string& text)
{
    if (!sink) {
        reportNoteAbout(subject, text);
        return;
    }
    sink->renamedSubject = subject;
    sink->renamed.push_back(text);
}

void tellRenamed()
{
    if (!sink || sink->renamed.empty())
        return;
    std::vector<std::string> renamed;
    renamed.swap(sink->renamed);
    if (renamed.size() == 1 || verbosity == Verbosity::Verbose) {
        for (const std::string& text : renamed)
            reportNoteAbout(sink->renamedSubject, text);
        return;
    }
    reportNoteAbout(sink->renamedSubject, std::to_string(renamed.size()) +
                                              " outputs are written under names of their own (-v names each), "
                                              "the first: " + renamed[0]);
}

void reportListing(const std::string& line)
{
    if (sink) {
        sink->out += line;
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::string formatText(const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, again);
    va_end(again);
    std::vector<char> text(size_t(n > 0 ? n : 0) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    return text.data();
}

bool refuse(const std::string& subject, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    reportProblem(subject, formatText(format, args));
    va_end(args);
    return false;
}

std::string systemReason(int error)
{
    // strerror shares one buffer between threads.
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    return std::strerror(error);
}

unsigned long problemCount()
{
    return sink ? sink->problems : unsunk.load();
}

std::string formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    return text;
}
