// Files by their system handle, with ownership: a file closes when its
// handle goes. Inputs are read at positions (no seeking), outputs written
// through a buffer of their own, so a file costs the fewest system calls.
#pragma once

#include <cstdint>
#include <utility>

struct FileHandle {
    int fd = -1;
    FileHandle() = default;
    explicit FileHandle(int f) : fd(f) {}
    FileHandle(FileHandle&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    FileHandle& operator=(FileHandle&& other) noexcept
    {
        std::swap(fd, other.fd);
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();
    explicit operator bool() const { return fd >= 0; }
    // Closes the file now; false (errno set) when the close failed, which
    // for a written file can mean its last bytes never reached the disk.
    bool close();
};
