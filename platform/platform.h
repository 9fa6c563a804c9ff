// The operating-system layer: everything that differs between POSIX and
// Windows sits behind these few functions. Paths are UTF-8 on Windows (the
// wide-character API is used underneath) and plain bytes on POSIX. Functions
// that fail leave the reason in errno.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
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
enum class PathKind { Missing, Regular, Directory, Other, Link };
// For Other, what describes the thing ("a FIFO", "a socket", "a device");
// for Missing, errno holds the reason. A link is followed (never Link).
PathKind pathKind(const std::string& path, std::string& what);
// The same without following a link at the path's own name: Link for a
// symbolic link (on Windows any reparse point: a junction or a link). mode,
// when given, receives a regular file's permission bits (0 where there are none).
PathKind linkKind(const std::string& path, std::string& what, unsigned* mode = nullptr);
// What tells one version of a file from another without reading it: its
// size and modification time (nanoseconds since 1970), and what no `touch`
// puts back: the time of its last status change, its number and its device.
struct FileStamp {
    int64_t size = -1;
    int64_t mtime = 0;
    int64_t ctime = 0;
    uint64_t inode = 0;
    uint64_t device = 0;
};
// The stamp of the regular file at path, its link not followed; false for
// anything else.
bool fileStamp(const std::string& path, FileStamp& stamp);
// The stamp of an open file (written to, or read).
bool openFileStamp(int fd, FileStamp& stamp);
// True when both paths name one existing file.
bool sameFile(const std::string& a, const std::string& b);

// Opens a regular file for reading without ever blocking: a FIFO or device
// put in its place since it was classified is refused. The file's handle
// and its stamp, as fileStamp gives it; -1 (errno set) when it cannot be
// opened.
int openInputFile(const std::string& path, FileStamp& stamp);
// Reads up to n bytes at pos: how many were read (fewer at the end of the
// file), -1 (errno set) on an error.
int64_t readAt(int fd, void* buffer, size_t n, int64_t pos);
// Creates a new file for writing; fails when anything, a link included,
// already has the name. Its handle, or -1 (errno set).
int createNewFile(const std::string& path);
// Writes all n bytes; false (errno set) when they could not all be written.
bool writeAll(int fd, const void* data, size_t n);
bool closeFile(int fd);
// Puts a file in the place of another, atomically, replacing what is there
// (a link is replaced, not followed).
bool replaceFile(const std::string& from, const std::string& to);
bool removeFile(const std::string& path);
// Removes the file at root, a separator, relative ("/"-separated), never
// through a link: every folder on the way is opened without following one.
// False, with errno set (ELOOP for a link), when it cannot be.
bool removeFileBelow(const std::string& root, const std::string& relative);
// The permission bits a new file gets (0 where there are none), and giving a
// file other bits.
unsigned newFileMode();
bool setFileMode(const std::string& path, unsigned mode);
// Renames a folder to a name nothing has; false (errno EEXIST or ENOTEMPTY)
// when something has it.
bool renameFolder(const std::string& from, const std::string& to);
// Removes a folder and everything in it, never following a link inside it.
bool removeTree(const std::string& path);
// True when a file or folder was last changed more than seconds ago.
bool olderThan(const std::string& path, long long seconds);

// Creates one directory level; false when it could not be made (an existing
// directory counts as made).
bool makeDirectory(const std::string& path);
// Marks a file hidden where the system keeps such a mark (Windows); POSIX
// hides names that start with a dot.
void hideFile(const std::string& path);
// Creates a directory that did not exist (EEXIST when anything has the name).
bool makeNewDirectory(const std::string& path);
// The names that the platform's enumeration yields for a directory, in its
// order (on Windows the entries "." and ".." included); false when the
// enumeration cannot start.
bool listDirectory(const std::string& path, std::vector<std::string>& names);

// A folder a walk holds open while it lists and descends it. Its entries are
// looked at relative to it, links not followed, so a folder swapped for a
// link once the walk found it is never entered (POSIX: openat and fstatat;
// Windows: a handle that keeps the folder from being renamed or removed).
struct WalkEntry {
    std::string name;
    PathKind kind;
    std::string what;  // for Other, what it is
    int error;         // for Missing, why it could not be looked at
};
// Opens the folder name inside parent (0: name is the path of the walk's
// first folder, a link to it followed); 0 with errno set when it cannot be
// (a link or anything but a folder at name: ELOOP or ENOTDIR). path is the
// folder's whole path.
intptr_t openWalkFolder(intptr_t parent, const std::string& name, const std::string& path);
// The entries of an open folder but "." and "..", in the system's order.
bool listWalkFolder(intptr_t folder, const std::string& path, std::vector<WalkEntry>& entries);
void closeWalkFolder(intptr_t folder);

// A short number that tells this process's temporary names from another's,
// and whether the process with such a number still runs.
unsigned long processNumber();
// An advisory lock a run holds on a file for as long as it lives: made if
// needed, taken without waiting; 0 when it cannot be. The lock goes with the
// process, however it ends, and is seen from other PID namespaces too.
intptr_t holdLock(const std::string& path);
void releaseLock(intptr_t lock);
// True when another holder has the lock on the file at path.
bool lockHeld(const std::string& path);
// A folder held by one run at a time, for as long as it works there: when
// another holder has it, waiting() is called once and it is taken when let
// go, or when the holder dies. POSIX locks the folder itself; Windows a
// hidden lock file inside it, gone when let go. 0 (errno set) when it
// cannot be taken (never through a link).
intptr_t holdFolder(const std::string& folder, const std::function<void()>& waiting);
void letGoFolder(intptr_t hold);
bool processRuns(unsigned long number);

// The command line's arguments, the program first, as UTF-8 on Windows.
std::vector<std::string> commandArguments(int argc, char** argv);
// Before anything else: gives closed standard streams the null device, so no
// file takes their numbers, writes the standard streams byte for byte (no
// CR added on Windows), and lets a vanished reader or a file size limit fail
// single writes instead of ending the process.
void prepareProcess();
// From here on an interrupt (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl-C,
// Ctrl-Break or closing the console) first calls cleanup, from a thread of
// its own, then ends the process as interrupted. Call before starting threads.
void catchInterrupts(void (*cleanup)());

// True when standard error, or standard output, is a terminal (or console);
// the width of standard error's in columns.
bool errorIsTerminal();
bool outputIsTerminal();
int terminalColumns();

// Waits for a key press only where that keeps a console window open that
// would otherwise close with the tool: on Windows when the tool is the only
// process of its console, on POSIX when it leads its own session on a
// terminal (a terminal window opened for it alone), never when a shell
// started it. The prompt goes to the console, never into redirected output.
void consolePause();
// --pause: the run waits for a key at its end. On POSIX systems it waits only
// then (the prompt and the key on the terminal, never in redirected output);
// on Windows also when it is the only process of its console.
void askForPause(bool on);
