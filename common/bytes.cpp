// The byte and number primitives that are not inline (see bytes.h).
#include "common/bytes.h"

int32_t toSignedInt(int32_t v)
{
    return v > 127 ? v - 256 : v;
}

int32_t toSignedInt(int32_t v, int n)
{
    // Callers pass n = 2; wider n is computed in 64 bits so it cannot overflow.
    int64_t range = int64_t(1) << (8 * n);
    return int32_t(v >= range / 2 ? v - range : v);
}

uint8_t toByte(int32_t v, int k)
{
    if (k < 0 || k > 3)
        return 0;
    return uint8_t(uint32_t(v) >> (8 * k));
}

int32_t get_spaces(int32_t w)
{
    return (4 - w % 4) % 4;
}

int32_t pow(int32_t a, int32_t n)
{
    uint32_t r = 1;  // unsigned: wraps like the 32-bit multiplications it stands for
    for (int32_t i = 0; i < n; i++)
        r *= uint32_t(a);
    return int32_t(r);
}

char toChar(int32_t d)
{
    return char('0' + d);
}

char toChar(int32_t v, int32_t k)
{
    return char('0' + (v % pow(10, k + 1)) / pow(10, k));
}
