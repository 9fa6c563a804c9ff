#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

PathKind pathKind(const std::string& path, std::string& what)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return PathKind::Missing;
    if (S_ISREG(st.st_mode))
        return PathKind::Regular;
    if (S_ISDIR(st.st_mode))
        return PathKind::Directory;
    what = S_ISFIFO(st.st_mode) ? "a FIFO" : S_ISSOCK(st.st_mode) ? "a socket" : "a device";
    return PathKind::Other;
}

FILE* openForReading(const std::string& path)
{
    // O_NONBLOCK: opening a FIFO swapped in after classification must not wait for a writer.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    int saved = 0;
    if (fstat(fd, &st) != 0)
        saved = errno;
    else if (!S_ISREG(st.st_mode))
        saved = EINVAL;
    else if (fcntl(fd, F_SETFL, 0) != 0)  // blocking reads from here on
        saved = errno;
    if (saved) {
        close(fd);
        errno = saved;
        return nullptr;
    }
    FILE* f = fdopen(fd, "rb");
    if (!f)
        close(fd);
    return f;
}

FILE* createNewFile(const std::string& path)
{
    // "x" is O_EXCL: an existing name, a symlink included, is never opened;
    // "e" is O_CLOEXEC. One system call, where open and fdopen take two.
    return std::fopen(path.c_str(), "wbxe");
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const std::string& path)
{
    return unlink(path.c_str()) == 0;
}

bool makeDirectory(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    int saved = errno;
    if (saved == EEXIST && isDirectory(path))
        return true;
    errno = saved;
    return false;
}

bool removeEmptyDirectory(const std::string& path)
{
    return rmdir(path.c_str()) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

unsigned long processNumber()
{
    static const unsigned long number = static_cast<unsigned long>(getpid());
    return number;
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
}

void consolePause()
{
    // Scripts, pipes and batch runs never wait; only a person at a terminal does.
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
        return;
    std::fflush(stdout);
    static const char prompt[] = "Press any key to continue . . .";
    if (write(STDOUT_FILENO, prompt, sizeof prompt - 1) < 0)
        return;

    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios raw = saved;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        char key;
        ssize_t got = read(STDIN_FILENO, &key, 1);
        (void)got;
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    if (write(STDOUT_FILENO, "\n", 1) < 0)
        return;
}
