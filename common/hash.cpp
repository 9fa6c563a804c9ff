// XXH3-128 through xxHash's header-only build (see hash.h).
#include "common/hash.h"

#include <algorithm>
#include <cstdio>

#define XXH_INLINE_ALL
#include <xxhash.h>

struct HashState {
    XXH3_state_t state;
};

Hasher::Hasher() : state(std::make_unique<HashState>())
{
    reset();
}
Hasher::~Hasher() = default;
Hasher::Hasher(Hasher&&) noexcept = default;
Hasher& Hasher::operator=(Hasher&&) noexcept = default;

void Hasher::reset()
{
    XXH3_128bits_reset(&state->state);
}

void Hasher::add(const void* data, size_t size)
{
    if (size)
        XXH3_128bits_update(&state->state, data, size);
}

Hash128 Hasher::digest() const
{
    const XXH128_hash_t h = XXH3_128bits_digest(&state->state);
    Hash128 out;
    for (int i = 0; i < 8; i++) {
        out.bytes[size_t(i)] = uint8_t(h.high64 >> (56 - 8 * i));
        out.bytes[size_t(8 + i)] = uint8_t(h.low64 >> (56 - 8 * i));
    }
    return out;
}

std::string Hasher::hex() const
{
    return digest().hex();
}

std::string Hash128::hex() const
{
    static const char digits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (size_t i = 0; i < 16; i++) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 15];
    }
    return text;
}

bool fromHex(const std::string& text, std::string& bytes)
{
    bytes.clear();
    if (text.size() % 2)
        return false;
    for (size_t at = 0; at < text.size(); at += 2) {
        int v = 0;
        for (size_t k = at; k < at + 2; k++) {
            const char c = text[k];
            const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (d < 0)
                return false;
            v = v * 16 + d;
        }
        bytes += char(v);
    }
    return true;
}

bool Hash128::fromHex(const std::string& text, Hash128& hash)
{
    std::string bytes;
    if (text.size() != 32 || !::fromHex(text, bytes))
        return false;
    std::copy(bytes.begin(), bytes.end(), hash.bytes.begin());
    return true;
}
