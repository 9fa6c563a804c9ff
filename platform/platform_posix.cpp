#include "platform/platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

void makeDirectory(const std::string& path)
{
    mkdir(path.c_str(), 0777);
}

bool isDirectory(const std::string& path)
{
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return false;
    closedir(dir);
    return true;
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

void consolePause()
{
    // Scripts, pipes and batch runs must never block: only a terminal waits.
    if (!isatty(STDIN_FILENO))
        return;
    std::fputs("Press any key to continue . . .", stdout);
    std::fflush(stdout);

    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0)
        return;
    termios raw = saved;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char key;
    ssize_t got = read(STDIN_FILENO, &key, 1);
    (void)got;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}
