// Content hashes for change detection (XXH3-128), not for security.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A content hash computed as the bytes go by.
struct HashState;
struct Hasher {
    std::unique_ptr<HashState> state;
    Hasher();
    ~Hasher();
    Hasher(Hasher&&) noexcept;
    Hasher& operator=(Hasher&&) noexcept;
    void reset();
    void add(const void* data, size_t size);
    std::string hex() const;  // of the bytes added since the reset
};
