// Content hashes for change detection (XXH3-128), not for security.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A 128-bit hash: 16 bytes, the high half first (as its hexadecimal is written).
struct Hash128 {
    std::array<uint8_t, 16> bytes{};
    bool operator==(const Hash128&) const = default;
    std::string hex() const;  // 32 lowercase hexadecimal digits
    // From 32 hexadecimal digits; false for anything else.
    static bool fromHex(const std::string& text, Hash128& hash);
};

// The bytes lowercase hexadecimal digits stand for; false for anything else.
bool fromHex(const std::string& text, std::string& bytes);

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
    Hash128 digest() const;   // of the bytes added since the reset
    std::string hex() const;
};
