// Scratch directories, whole-file reads and writes, and running the tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh directory under the system's temporary folder, removed with its
// contents when the test ends.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // path, the separator, name
    std::string operator/(const std::string& name) const;
};

// prefix, the number, extension: names for a list of cases.
std::string numberedName(const std::string& prefix, size_t number, const std::string& extension);

// The platform's path separator, as the tool uses it.
char pathSeparator();

bool readFile(const std::string& path, std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::string& path);
std::string readText(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool exists(const std::string& path);
void makeDirectories(const std::string& path);
bool isDir(const std::string& path);
// Every regular file below dir, as paths relative to dir, sorted; the
// folders' records (.assetdump.json) only when asked for.
std::vector<std::string> listTree(const std::string& dir, bool withRecords = false);

struct RunResult {
    int status = -1;
    std::string out, err;
};
// The built tool, and its packer, as the tests run them.
std::string toolPath();
std::string packerPath();
// Runs the built tool (or another program) with the arguments, standard input closed, in dir.
RunResult runTool(const std::vector<std::string>& args, const std::string& dir, const std::string& program = toolPath());

#ifndef _WIN32
// A hostile environment for one run.
struct RunLimits {
    long long fileSize = 0;            // bytes a file may grow to (writes past it fail); 0: no limit
    long long memory = 0;              // bytes of address space; 0: no limit
    std::vector<int> closed = {};      // standard descriptors closed before the tool starts
    bool readerGone = false;           // standard output a pipe nobody reads
    std::string program = {};          // another program than the tool
    unsigned timeoutSeconds = 60;      // the run is killed after this long (status 128 + SIGALRM)
    int terminal = 0;                  // 1: standard input is a terminal; 2: input and output both are
    std::string keys = {};             // typed at that terminal
    bool ownSession = false;           // the program leads a session of its own on that terminal,
                                       // as in a terminal window opened for it alone
};
RunResult runToolWith(const std::vector<std::string>& args, const std::string& dir, const RunLimits& limits);
#endif
