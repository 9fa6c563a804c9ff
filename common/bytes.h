// Little-endian byte and number primitives, and a bounds-checked cursor over
// input bytes. Every converter reads its input through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

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

// A read position over a block of input bytes. Every take checks that the
// bytes are there before it moves; a failed take leaves the cursor alone.
struct Cursor {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

inline size_t remaining(const Cursor& c) { return c.size - c.pos; }
inline bool fits(size_t size, size_t pos, size_t n) { return pos <= size && n <= size - pos; }

// Hands out the next n bytes, or fails when fewer are left.
inline bool take(Cursor& c, size_t n, const uint8_t*& at)
{
    if (n > remaining(c))
        return false;
    at = c.data + c.pos;
    c.pos += n;
    return true;
}
inline bool skip(Cursor& c, size_t n)
{
    const uint8_t* at;
    return take(c, n, at);
}
inline bool readU8(Cursor& c, int32_t& v)
{
    const uint8_t* at;
    if (!take(c, 1, at))
        return false;
    v = at[0];
    return true;
}
inline bool readU16(Cursor& c, int32_t& v)
{
    const uint8_t* at;
    if (!take(c, 2, at))
        return false;
    v = toInt(at[0], at[1]);
    return true;
}
inline bool readI32(Cursor& c, int32_t& v)
{
    const uint8_t* at;
    if (!take(c, 4, at))
        return false;
    v = toInt(at, 0);
    return true;
}
inline bool readF32(Cursor& c, float& v)
{
    const uint8_t* at;
    if (!take(c, 4, at))
        return false;
    v = toFloat(at, 0);
    return true;
}
