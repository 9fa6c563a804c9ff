// The file handle that closes itself (see file.h).
#include "common/file.h"

#include "platform/platform.h"

FileHandle::~FileHandle()
{
    if (fd >= 0)
        closeFile(fd);
}

bool FileHandle::close()
{
    const int f = std::exchange(fd, -1);
    return f < 0 || closeFile(f);
}
