#include "common/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
unsigned long reported = 0;
}

std::string escapeControls(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 32) {
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

void reportProblem(const std::string& subject, const std::string& text)
{
    reported++;
    // One write per line, so lines from two sources never interleave.
    std::string line = escapeControls(subject) + ": " + escapeControls(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
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
    return std::strerror(error);
}

unsigned long problemCount()
{
    return reported;
}

std::string formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    return text;
}
