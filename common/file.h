// C runtime files with ownership: a file closes when its handle goes away.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

inline File openFile(const std::string& path, const char* mode)
{
    return File(std::fopen(path.c_str(), mode));
}

// The file's length: seek to the end, take the position, go back to the start.
// -1 when the position cannot be taken.
int64_t fileSize(FILE* f);

// Moves to an absolute position; false when the position cannot be reached.
bool seekTo(FILE* f, int64_t pos);

// Reads up to size bytes from the current position into out (resized to what
// was read); returns the number of bytes read.
size_t readBytes(FILE* f, size_t size, std::vector<uint8_t>& out);

// Opens path with "rb" and reads it whole; false when it cannot be opened, is
// shorter than minSize bytes, or cannot be read whole.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& out, int64_t minSize = 0);

// Writes the blocks in order; false when any write falls short.
inline bool writeBlock(FILE* f, const void* data, size_t size)
{
    return size == 0 || std::fwrite(data, 1, size, f) == size;
}
