// C runtime files with ownership: a file closes when its handle goes away.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The file's length: seek to the end, take the position, go back to the start.
// -1 when the position cannot be taken.
int64_t fileSize(FILE* f);

// Moves to an absolute position; false when the position cannot be reached.
bool seekTo(FILE* f, int64_t pos);
