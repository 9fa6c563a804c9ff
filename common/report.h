// Problems are told on standard error, one line each, "subject: text", the
// subject being the argument or output path they concern. The result line on
// standard output stays the only report of success.
//
// While a thread converts one argument, its lines go to that argument's own
// sink instead, so that workers running side by side never mix their lines:
// the front end prints each argument's lines together, in argument order.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

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

// A path as messages show it: "/" between its parts on every system (on
// Windows "\" separates too), so both builds print the same lines.
std::string shownPath(const std::string& path);

struct WholeInput;  // source.h

// What one argument's conversion has to say, kept until the front end prints
// it. It is the conversion's own slot on its thread, so it also keeps where
// the input read whole is noted for the record (none for a helper's piece).
struct ReportSink {
    std::string out;            // lines for standard output (a listing)
    std::string err;            // lines for standard error
    unsigned long problems = 0; // problem lines among them
    bool pause = false;         // a message asks for the console pause once it is shown
    std::string renamedSubject; // outputs written under names of their own, told once (noteRenamed)
    std::vector<std::string> renamed;
    WholeInput* whole = nullptr;
};
// Sends this thread's lines to sink (nullptr: straight to the standard
// streams), and the sink in use. A thread-local (the converters' signature,
// a path in and a flag out, cannot carry it), and a pointer: a thread-local
// with a destructor is unsafe at thread exit under MinGW.
void useReportSink(ReportSink* sink);
ReportSink* currentReportSink();
// Tells the lines of another sink as this thread's own, in their order.
void reportAll(const ReportSink& lines);

// Prints "subject: text" on one line of standard error (the subject a path,
// shown by shownPath).
void reportProblem(const std::string& subject, const std::string& text);
// A message of the animation converter: its own text, then the console pause.
void reportMessage(const std::string& text);
// A line on standard error that is no problem (what a dry run would do).
void reportNote(const std::string& line);

// How much is told besides the reasons of failures, which are always told:
// -q silences notes, -v adds what each file's run wrote, kept or removed.
enum class Verbosity { Quiet, Normal, Verbose };
void setVerbosity(Verbosity level);
bool verbose();
// "subject: note: text": something the user should know of a run that
// succeeded (a kept original, a rounded colour). Not a problem.
void reportNoteAbout(const std::string& subject, const std::string& text);
// "subject: text", only with -v.
void reportDetail(const std::string& subject, const std::string& text);
// An output written under another name than the file stores ("palette 1
// \"\" is written as ~1.PAL"). Every run of the file would repeat these, so
// they are gathered and told as one note per file (tellRenamed); -v lists each.
void noteRenamed(const std::string& subject, const std::string& text);
void tellRenamed();
// A line of a listing on standard output.
void reportListing(const std::string& line);

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

// How many problems this thread has reported (into its sink, or in all when
// it has none): a converter that fails must have said why.
unsigned long problemCount();
