// XXH3-128 through xxHash's header-only build (see hash.h).
#include "common/hash.h"

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

std::string Hasher::hex() const
{
    const XXH128_hash_t h = XXH3_128bits_digest(&state->state);
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", (unsigned long long)h.high64, (unsigned long long)h.low64);
    return text;
}
