// Temporaries of outputs in progress: each registered before it exists, so
// that an interrupt removes every one, and named with this run's number,
// beside a lock file the run holds while it has temporaries in the folder,
// so that no other run takes them for leftovers. For outputs.cpp.
#pragma once

#include <functional>
#include <shared_mutex>
#include <string>

// Registers a temporary (a file, or a folder removed whole) before it is
// made; locked, when given, is the folder whose lock it keeps.
unsigned long registerTemporary(const std::string& path, bool folder, const std::string* locked = nullptr);
// Forgets a temporary that was put in place or removed (id becomes 0).
void forgetTemporary(unsigned long& id);
// Makes a temporary in folder (a path ending in its separator, or empty)
// with make(path), under a name no other has: registered before it exists,
// and made while the interrupt clean-up does not run. Its path, or empty
// with errno set and nothing registered.
std::string makeTemporary(const std::string& folder, bool isFolder, unsigned long& id,
                          const std::function<bool(const std::string&)>& make);
// Removes the leftovers of runs that died hard (killed, power lost) in a
// folder this run writes into: those whose run holds no lock there (older
// versions, which held none: whose process is gone or that are a day old).
// Each folder is looked at once a run.
void removeStaleTemporaries(const std::string& folder);
// Held (shared) while a file or folder is made; the interrupt clean-up takes
// it for good, so nothing new appears in a folder it is removing.
std::shared_mutex& makingLock();
