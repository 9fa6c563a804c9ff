// The operating-system layer: everything that differs between POSIX and
// Windows sits behind these few functions. Paths are UTF-8 on Windows (the
// wide-character API is used underneath) and plain bytes on POSIX. Functions
// that fail leave the reason in errno.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The separator of every output path join.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// True for a character that separates path parts: '/' everywhere, and '\' on
// Windows too.
inline bool isPathSeparator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// What a path names, found without opening it.
enum class PathKind { Missing, Regular, Directory, Other };
// For Other, what describes the thing ("a FIFO", "a socket", "a device");
// for Missing, errno holds the reason.
PathKind pathKind(const std::string& path, std::string& what);

// Opens a regular file for binary reading without ever blocking: a FIFO or
// device put in its place since it was classified is refused (errno set).
FILE* openForReading(const std::string& path);
// Creates a new file for binary writing; fails when anything, a link
// included, already has the name.
FILE* createNewFile(const std::string& path);
// Puts a file in the place of another, atomically, replacing what is there
// (a link is replaced, not followed).
bool replaceFile(const std::string& from, const std::string& to);
bool removeFile(const std::string& path);

// Creates one directory level; false when it could not be made (an existing
// directory counts as made).
bool makeDirectory(const std::string& path);
bool removeEmptyDirectory(const std::string& path);
// True when the path names a directory.
bool isDirectory(const std::string& path);
// The names that the platform's enumeration yields for a directory, in its
// order (on Windows the entries "." and ".." included); false when the
// enumeration cannot start.
bool listDirectory(const std::string& path, std::vector<std::string>& names);

// A short number that tells this process's temporary names from another's.
unsigned long processNumber();

// The command line's arguments, the program first, as UTF-8 on Windows.
std::vector<std::string> commandArguments(int argc, char** argv);
// Before anything else: gives closed standard streams the null device, so no
// file takes their numbers, and lets a vanished reader or a file size limit
// fail single writes instead of ending the process.
void prepareProcess();

// Waits for a key press only where that keeps a console window open that
// would otherwise close with the tool: on Windows when the tool is the only
// process of its console, on POSIX when standard input and output are both
// terminals. The prompt goes to the console, never into redirected output.
void consolePause();
