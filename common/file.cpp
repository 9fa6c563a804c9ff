#include "common/file.h"

int64_t fileSize(FILE* f)
{
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return -1;
    int64_t size = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0)
        return -1;
    int64_t size = ftello(f);
#endif
    std::rewind(f);
    return size;
}

bool seekTo(FILE* f, int64_t pos)
{
#ifdef _WIN32
    return _fseeki64(f, pos, SEEK_SET) == 0;
#else
    return fseeko(f, pos, SEEK_SET) == 0;
#endif
}
