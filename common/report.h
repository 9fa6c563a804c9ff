// Problems are told on standard error, one line each, "subject: text", the
// subject being the argument or output path they concern. The result line on
// standard output stays the only report of success.
#pragma once

#include <cstdarg>
#include <string>

// Lets the compiler check printf-style arguments (MinGW's C99 printf is the GNU kind).
#if defined(__MINGW32__)
#define PRINTF_LIKE(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define PRINTF_LIKE(f, a)
#endif

// The text with every character below 32 written as an escape (\t, \r, \n,
// \xNN), so a name can never break a line in two.
std::string escapeControls(const std::string& text);

// Prints "subject: text" on one line of standard error.
void reportProblem(const std::string& subject, const std::string& text);

// Prints a formatted problem about subject and returns false, so a refusal
// reads "return refuse(path, "...", ...);".
PRINTF_LIKE(2, 3)
bool refuse(const std::string& subject, const char* format, ...);

// printf into a string.
std::string formatText(const char* format, va_list args);
PRINTF_LIKE(1, 2)
std::string formatted(const char* format, ...);

// The system's text for an errno value.
std::string systemReason(int error);

// How many problems this process has reported: a converter that fails must
// have said why.
unsigned long problemCount();
