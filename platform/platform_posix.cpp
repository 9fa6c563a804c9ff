// POSIX: files, folders, processes and the terminal, for platform.h.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {
// What a stat result names; mode, when given, receives a regular file's bits.
PathKind kindOf(const struct stat& st, std::string& what, unsigned* mode)
{
    if (mode)
        *mode = S_ISREG(st.st_mode) ? unsigned(st.st_mode & 07777) : 0;
    if (S_ISLNK(st.st_mode))
        return PathKind::Link;
    if (S_ISREG(st.st_mode))
        return PathKind::Regular;
    if (S_ISDIR(st.st_mode))
        return PathKind::Directory;
    what = S_ISFIFO(st.st_mode) ? "a FIFO" : S_ISSOCK(st.st_mode) ? "a socket" : "a device";
    return PathKind::Other;
}

// The terminal settings to restore when an interrupt comes during the pause.
std::atomic<bool> terminalRaw{false};
termios terminalSaved;
int terminalFd = -1;  // the terminal the pause reads its key at
}  // namespace

PathKind pathKind(const std::string& path, std::string& what)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? kindOf(st, what, nullptr) : PathKind::Missing;
}

PathKind linkKind(const std::string& path, std::string& what, unsigned* mode)
{
    struct stat st;
    if (mode)
        *mode = 0;
    return lstat(path.c_str(), &st) == 0 ? kindOf(st, what, mode) : PathKind::Missing;
}

namespace {

FileStamp stampOf(const struct stat& st)
{
    FileStamp stamp;
    stamp.size = int64_t(st.st_size);
    stamp.mtime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ctime = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp.inode = uint64_t(st.st_ino);
    stamp.device = uint64_t(st.st_dev);
    return stamp;
}

}  // namespace

bool fileStamp(const std::string& path, FileStamp& stamp)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    stamp = stampOf(st);
    return true;
}

bool openFileStamp(int fd, FileStamp& stamp)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return false;
    stamp = stampOf(st);
    return true;
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int openInputFile(const std::string& path, FileStamp& stamp)
{
    // O_NONBLOCK: opening a FIFO swapped in after classification must not
    // wait for a writer (reads of a regular file never block on it).
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    int saved = 0;
    if (fstat(fd, &st) != 0)
        saved = errno;
    else if (!S_ISREG(st.st_mode))
        saved = EINVAL;
    if (saved) {
        close(fd);
        errno = saved;
        return -1;
    }
    stamp = stampOf(st);
    return fd;
}

int64_t readAt(int fd, void* buffer, size_t n, int64_t pos)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = pread(fd, static_cast<char*>(buffer) + done, n - done, off_t(pos + int64_t(done)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += size_t(got);
    }
    return int64_t(done);
}

int createNewFile(const std::string& path)
{
    // O_EXCL: an existing name, a symlink included, is never opened.
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool writeAll(int fd, const void* data, size_t n)
{
    for (size_t done = 0; done < n;) {
        const ssize_t wrote = write(fd, static_cast<const char*>(data) + done, n - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            if (wrote == 0)
                errno = ENOSPC;
            return false;
        }
        done += size_t(wrote);
    }
    return true;
}

bool closeFile(int fd)
{
    return close(fd) == 0 || errno == EINTR;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const std::string& path)
{
    return unlink(path.c_str()) == 0;
}

bool removeFileBelow(const std::string& root, const std::string& relative)
{
    int folder = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    size_t at = 0;
    for (size_t slash; folder >= 0 && (slash = relative.find('/', at)) != std::string::npos; at = slash + 1) {
        const int next = openat(folder, relative.substr(at, slash - at).c_str(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        close(folder);
        folder = next;
        errno = error;
    }
    if (folder < 0)
        return false;
    struct stat st;
    const std::string name = relative.substr(at);
    bool removed = fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
                   unlinkat(folder, name.c_str(), 0) == 0;
    const int error = errno;
    close(folder);
    errno = error;
    return removed;
}

unsigned newFileMode()
{
    // umask can only be read by setting it: once, before any thread writes files.
    static const unsigned mode = [] {
        mode_t mask = umask(0);
        umask(mask);
        return unsigned(0666 & ~mask);
    }();
    return mode;
}

bool setFileMode(const std::string& path, unsigned mode)
{
    return chmod(path.c_str(), mode_t(mode)) == 0;
}

bool renameFolder(const std::string& from, const std::string& to)
{
#ifdef RENAME_NOREPLACE
    // Plain rename would put the folder in the place of an empty one that
    // another run has just made.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;  // EEXIST: something has the name
#endif
    return rename(from.c_str(), to.c_str()) == 0;
}

bool removeTree(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return unlink(path.c_str()) == 0;
    std::vector<std::string> names;
    listDirectory(path, names);
    for (const std::string& name : names)
        if (name != "." && name != "..")
            removeTree(path + "/" + name);
    return rmdir(path.c_str()) == 0;
}

bool olderThan(const std::string& path, long long seconds)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && (long long)(std::time(nullptr) - st.st_mtime) > seconds;
}

bool makeDirectory(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    int saved = errno;
    struct stat st;
    if (saved == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    errno = saved;
    return false;
}

void hideFile(const std::string&) {}

bool makeNewDirectory(const std::string& path)
{
    return mkdir(path.c_str(), 0777) == 0;
}

bool listDirectory(const std::string& path, std::vector<std::string>& names)
{
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    return true;
}

intptr_t openWalkFolder(intptr_t parent, const std::string& name, const std::string& path)
{
    (void)path;
    const int fd = parent ? openat(int(parent - 1), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                          : open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? 0 : intptr_t(fd) + 1;  // 0 stays "none"
}

bool listWalkFolder(intptr_t folder, const std::string& path, std::vector<WalkEntry>& entries)
{
    (void)path;
    const int fd = dup(int(folder - 1));  // closedir closes the descriptor it is given
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        WalkEntry e{name, PathKind::Missing, "", 0};
        struct stat st;
        if (fstatat(int(folder - 1), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            e.kind = kindOf(st, e.what, nullptr);
        else
            e.error = errno;
        entries.push_back(std::move(e));
        errno = 0;
    }
    const int error = errno;
    closedir(dir);
    errno = error;
    return error == 0;
}

void closeWalkFolder(intptr_t folder)
{
    if (folder)
        close(int(folder - 1));
}

unsigned long processNumber()
{
    static const unsigned long number = static_cast<unsigned long>(getpid());
    return number;
}

intptr_t holdLock(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return 0;
    }
    return intptr_t(fd) + 1;  // 0 stays "none"
}

void releaseLock(intptr_t lock)
{
    if (lock)
        close(int(lock - 1));
}

bool lockHeld(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

intptr_t holdFolder(const std::string& folder, const std::function<void()>& waiting)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (waiting)
            waiting();
        while (flock(fd, LOCK_EX) != 0)
            if (errno != EINTR) {
                const int error = errno;
                close(fd);
                errno = error;
                return 0;
            }
    }
    return intptr_t(fd) + 1;
}

void letGoFolder(intptr_t hold)
{
    if (hold)
        close(int(hold - 1));
}

bool processRuns(unsigned long number)
{
    if (number == 0 || number > 0x7FFFFFFF)
        return false;
    return kill(pid_t(number), 0) == 0 || errno == EPERM;
}

std::vector<std::string> commandArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void prepareProcess()
{
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // open() takes the lowest free number: the one just found closed.
            int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd)
                close(null);
        }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    newFileMode();
}

namespace {
sigset_t interrupts;
void (*interruptCleanup)() = nullptr;

void* waitForInterrupt(void*)
{
    int sig = 0;
    if (sigwait(&interrupts, &sig) != 0)
        return nullptr;
    if (terminalRaw)
        tcsetattr(terminalFd, TCSANOW, &terminalSaved);
    interruptCleanup();
    // Ended by the signal itself, as the shell expects of an interrupted program.
    signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(sig);
    _exit(128 + sig);
}
}  // namespace

void catchInterrupts(void (*cleanup)())
{
    // The signals wait for one thread of their own, where clean-up may take
    // locks and remove files; every thread started later inherits the mask.
    interruptCleanup = cleanup;
    sigemptyset(&interrupts);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interrupts, sig);
    if (pthread_sigmask(SIG_BLOCK, &interrupts, nullptr) != 0)
        return;
    pthread_attr_t attributes;
    pthread_t thread;
    bool started = pthread_attr_init(&attributes) == 0;
    if (started) {
        pthread_attr_setstacksize(&attributes, 64 << 10);  // it needs little
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        started = pthread_create(&thread, &attributes, waitForInterrupt, nullptr) == 0;
        pthread_attr_destroy(&attributes);
    }
    if (!started)  // no thread to wait: the signals keep their usual effect
        pthread_sigmask(SIG_UNBLOCK, &interrupts, nullptr);
}

bool errorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

bool outputIsTerminal()
{
    return isatty(STDOUT_FILENO) == 1;
}

int terminalColumns()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

namespace {
bool pauseAsked = false;
}  // namespace

void askForPause(bool on)
{
    pauseAsked = on;
}

void consolePause()
{
    // Only when asked: a shell that replaced itself with the tool (bash -c,
    // ssh -t) looks like a window of its own, and must never wait.
    if (!pauseAsked)
        return;
    const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0)
        return;  // no terminal to wait at
    std::fflush(stdout);
    static const char prompt[] = "Press any key to continue . . .";
    termios saved;
    if (write(tty, prompt, sizeof prompt - 1) >= 0 && tcgetattr(tty, &saved) == 0) {
        termios raw = saved;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        terminalSaved = saved;
        terminalFd = tty;
        terminalRaw = true;
        tcsetattr(tty, TCSANOW, &raw);
        char key;
        ssize_t got = read(tty, &key, 1);
        (void)got;
        tcsetattr(tty, TCSANOW, &saved);
        terminalRaw = false;
        if (write(tty, "\n", 1) < 0) {
        }
    }
    close(tty);
}
