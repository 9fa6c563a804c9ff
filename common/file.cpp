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

size_t readBytes(FILE* f, size_t size, std::vector<uint8_t>& out)
{
    out.resize(size);
    size_t got = size ? std::fread(out.data(), 1, size, f) : 0;
    out.resize(got);
    return got;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& out, int64_t minSize)
{
    File f = openFile(path, "rb");
    if (!f)
        return false;
    int64_t size = fileSize(f.get());
    if (size < 0 || size < minSize || uint64_t(size) > SIZE_MAX)
        return false;
    return readBytes(f.get(), size_t(size), out) == size_t(size);
}

bool seekTo(FILE* f, int64_t pos)
{
#ifdef _WIN32
    return _fseeki64(f, pos, SEEK_SET) == 0;
#else
    return fseeko(f, pos, SEEK_SET) == 0;
#endif
}
