// Little-endian byte and number primitives, and a bounds-checked cursor over
// input bytes. Every converter reads its input through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Unsigned values of 1, 2 and 3 little-endian bytes, lowest byte first.
inline int32_t toInt(uint8_t b) { return b; }
inline int32_t toInt(uint8_t b0, uint8_t b1) { return b0 | (b1 << 8); }
inline int32_t toInt(uint8_t b0, uint8_t b1, uint8_t b2) { return b0 | (b1 << 8) | (b2 << 16); }
// The 32-bit value at data[pos..pos+3]; the caller has checked the range.
inline int32_t toInt(const uint8_t* data, size_t pos)
{
    uint32_t v = uint32_t(data[pos]) | uint32_t(data[pos + 1]) << 8 | uint32_t(data[pos + 2]) << 16 |
                 uint32_t(data[pos + 3]) << 24;
    return int32_t(v);
}

// The writers of the readers above: the low n bytes of v into at[0..n),
// lowest first (a negative v as its two's complement).
inline void putLE(uint8_t* at, uint32_t v, int n)
{
    for (int k = 0; k < n; k++)
        at[k] = uint8_t(v >> (8 * k));
}
inline void put16(uint8_t* at, uint32_t v) { putLE(at, v, 2); }
inline void put24(uint8_t* at, uint32_t v) { putLE(at, v, 3); }
inline void put32(uint8_t* at, uint32_t v) { putLE(at, v, 4); }
// Four little-endian bytes at the end of out.
inline void append32(std::vector<uint8_t>& out, uint32_t v)
{
    uint8_t bytes[4];
    put32(bytes, v);
    out.insert(out.end(), bytes, bytes + 4);
}

// Two's complement of a one-byte value, and of an n-byte value.
int32_t toSignedInt(int32_t v);
int32_t toSignedInt(int32_t v, int n);

// Byte k (0 = lowest) of a non-negative v; 0 for any other k.
uint8_t toByte(int32_t v, int k);
// Zero bytes that pad a row of w bytes to a multiple of four.
int32_t get_spaces(int32_t w);
// a to the n by repeated 32-bit multiplication; 1 when n <= 0.
int32_t pow(int32_t a, int32_t n);
// The character of a single digit, and of decimal digit k of v (k = 0 units).
char toChar(int32_t d);
char toChar(int32_t v, int32_t k);

// The float32 at data[pos..pos+3]; the caller has checked the range.
inline float toFloat(const uint8_t* data, size_t pos)
{
    uint32_t bits = uint32_t(toInt(data, pos));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The text before the first zero byte of a field, or the whole field when it
// holds no zero byte: never more than the field's own bytes.
inline std::string fieldText(const uint8_t* field, size_t size)
{
    const void* zero = std::memchr(field, 0, size);
    size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - field) : size;
    return std::string(reinterpret_cast<const char*>(field), length);
}

