// Temporaries: their names, the lock a run holds in every folder it has
// temporaries in, and those in progress, for the interrupt clean-up (see
// temporaries.h).
#include "store/temporaries.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <set>

#include "store/outputs.h"
#include "platform/platform.h"

namespace {

struct Temporary {
    std::string path;
    bool folder;
    bool locking;        // it keeps the lock of its folder (lockFolder)
    std::string folderOfIt;
};
std::mutex temporariesLock;
std::map<unsigned long, Temporary> temporaries;
unsigned long nextTemporary = 0;
// Held (shared) while a file or folder is made; the interrupt clean-up takes
// it for good, so nothing new appears in a folder it is removing.
std::shared_mutex making;

}  // namespace

unsigned long registerTemporary(const std::string& path, bool folder, const std::string* locked)
{
    std::lock_guard<std::mutex> hold(temporariesLock);
    temporaries[++nextTemporary] = Temporary{path, folder, locked != nullptr, locked ? *locked : std::string()};
    return nextTemporary;
}

namespace {
void unlockFolder(const std::string& folder);
}  // namespace

void forgetTemporary(unsigned long& id)
{
    if (!id)
        return;
    bool locking = false;
    std::string folder;
    {
        std::lock_guard<std::mutex> hold(temporariesLock);
        auto it = temporaries.find(id);
        if (it != temporaries.end()) {
            locking = it->second.locking;
            folder = it->second.folderOfIt;
            temporaries.erase(it);
        }
    }
    id = 0;
    if (locking)
        unlockFolder(folder);
}

namespace {

// This run's number in its temporaries' names: random, so that no other run
// has it, whatever PID namespace it runs in or process number it reuses; of
// more than ten digits, so that it is never taken for the process number
// that older versions put there.
const std::string& runNumber()
{
    static const std::string number = [] {
        std::random_device random;
        const uint64_t v = (uint64_t(random()) << 32 | random()) % 9000000000000000000ull;
        return std::to_string(v + 1000000000000000000ull);
    }();
    return number;
}

// A temporary's name: short, so an output name near the system's length
// limit never fails for its temporary's sake, and the run's number in it.
// Number 0 is the run's lock in that folder.
std::string temporaryName(const std::string& run, unsigned long n)
{
    return ".assetdump-" + run + "-" + std::to_string(n) + ".tmp";
}
std::string temporaryName()
{
    static std::atomic<unsigned long> counter{1};
    return temporaryName(runNumber(), counter++);
}

// The locks this run holds in the folders it has temporaries in: while it
// has one there, its lock (a file named as its temporary number 0) tells
// every other run that its temporaries are work in progress, not leftovers.
// The lock goes with the folder's last temporary.
std::mutex folderLocksLock;
struct FolderLock {
    intptr_t lock;
    std::string path;
    unsigned long registered;
    unsigned long users;
};
std::map<std::string, FolderLock> folderLocks;

void lockFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> hold(folderLocksLock);
    auto it = folderLocks.find(folder);
    if (it != folderLocks.end()) {
        it->second.users++;
        return;
    }
    const std::string path = folder + temporaryName(runNumber(), 0);
    const unsigned long registered = registerTemporary(path, false);  // an interrupt removes it too
    folderLocks[folder] = FolderLock{holdLock(path), path, registered, 1};
}

// A run of many files keeps its locks until it ends (endFolderLocks), not
// from one file's temporaries to the next.
bool lingeringLocks = false;

void unlockFolder(const std::string& folder)
{
    FolderLock gone;
    {
        std::lock_guard<std::mutex> hold(folderLocksLock);
        auto it = folderLocks.find(folder);
        if (it == folderLocks.end() || --it->second.users > 0 || lingeringLocks)
            return;
        gone = it->second;
        folderLocks.erase(it);
    }
    removeFile(gone.path);
    releaseLock(gone.lock);
    forgetTemporary(gone.registered);
}

}  // namespace

std::string makeTemporary(const std::string& folder, bool isFolder, unsigned long& id,
                          const std::function<bool(const std::string&)>& make)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        const std::string temp = folder + temporaryName();
        lockFolder(folder);
        id = registerTemporary(temp, isFolder, &folder);
        std::shared_lock<std::shared_mutex> hold(making);
        errno = 0;
        if (make(temp))
            return temp;
        const int error = errno;
        forgetTemporary(id);
        errno = error;
        if (error != EEXIST)
            break;
    }
    return std::string();
}

void removeStaleTemporaries(const std::string& folder)
{
    static std::mutex lock;
    static std::set<std::string> seen;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!seen.insert(folder).second)
            return;
    }
    std::vector<std::string> names;
    if (!listDirectory(folder.empty() ? "." : folder, names))
        return;
    const std::string base = folder.empty() || isPathSeparator(folder.back()) ? folder : folder + kPathSeparator;
    for (const std::string& name : names) {
        if (!isTemporaryName(name))
            continue;
        const std::string run = name.substr(11, name.find('-', 11) - 11);
        if (run == runNumber())
            continue;
        const std::string path = base + name;
        const std::string lock = base + temporaryName(run, 0);
        std::string what;
        bool live;
        if (linkKind(lock, what) == PathKind::Regular)
            live = lockHeld(lock);
        else if (run.size() > 10)
            live = false;  // this version takes its lock before it makes a temporary
        else
            live = processRuns(std::strtoul(run.c_str(), nullptr, 10)) && !olderThan(path, 24 * 60 * 60);
        if (!live)
            removeTree(path);
    }
}


std::shared_mutex& makingLock()
{
    return making;
}

bool isTemporaryName(const std::string& name)
{
    // ".assetdump-" digits "-" digits ".tmp"
    static const std::string head = ".assetdump-", tail = ".tmp";
    if (name.size() < head.size() + 3 + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string middle = name.substr(head.size(), name.size() - head.size() - tail.size());
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() || dash > 19)
        return false;
    for (size_t i = 0; i < middle.size(); i++)
        if (i != dash && (middle[i] < '0' || middle[i] > '9'))
            return false;
    return true;
}

void removeTemporariesForInterrupt()
{
    // Held until the process ends: no output can begin or register after this.
    making.lock();
    temporariesLock.lock();
    for (const auto& entry : temporaries)
        removeTree(entry.second.path);
}

void keepFolderLocks()
{
    std::lock_guard<std::mutex> hold(folderLocksLock);
    lingeringLocks = true;
}

void endFolderLocks()
{
    std::vector<FolderLock> gone;
    {
        std::lock_guard<std::mutex> hold(folderLocksLock);
        lingeringLocks = false;
        for (auto it = folderLocks.begin(); it != folderLocks.end();)
            if (it->second.users == 0) {
                gone.push_back(it->second);
                it = folderLocks.erase(it);
            } else {
                ++it;
            }
    }
    for (FolderLock& lock : gone) {
        removeFile(lock.path);
        releaseLock(lock.lock);
        forgetTemporary(lock.registered);
    }
}
