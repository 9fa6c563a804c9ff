#include "platform/platform.h"

#include <direct.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

void makeDirectory(const std::string& path)
{
    _mkdir(path.c_str());
}

bool isDirectory(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool listDirectory(const std::string& path, std::vector<std::string>& names)
{
    std::string pattern = path + "\\*";
    WIN32_FIND_DATAA findData;
    HANDLE handle = FindFirstFileA(pattern.c_str(), &findData);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    do
        names.emplace_back(findData.cFileName);
    while (FindNextFileA(handle, &findData));
    FindClose(handle);
    return true;
}

void consolePause()
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::system("pause");
}
