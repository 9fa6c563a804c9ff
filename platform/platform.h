// The operating-system layer: everything that differs between POSIX and
// Windows sits behind these few functions.
#pragma once

#include <string>
#include <vector>

// The separator of getName and of every output path join.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Creates one directory level; an existing directory or a failure is not reported.
void makeDirectory(const std::string& path);

// True when the path opens as a directory for listing.
bool isDirectory(const std::string& path);

// The names that the platform's enumeration yields for a directory, in its
// order (on Windows the entries "." and ".." included); false when the
// enumeration cannot start.
bool listDirectory(const std::string& path, std::vector<std::string>& names);

// Waits for a key press in an interactive console; returns at once otherwise.
void consolePause();
