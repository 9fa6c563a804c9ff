// Stretches of input already walked through codes that draw nothing. A walk
// that enters a known stretch anywhere leaves it at its end, so rows that
// start inside the same long stretch of empty codes cost its length once,
// not once per row: decoding stays linear in input plus output.
#pragma once

#include <cstdint>
#include <map>

struct Stretches {
    std::map<int64_t, int64_t> ends;  // start -> end, disjoint
};

// The end of the known stretch that holds pos, or -1.
inline int64_t stretchEnd(const Stretches& known, int64_t pos)
{
    auto it = known.ends.upper_bound(pos);
    if (it == known.ends.begin())
        return -1;
    --it;
    return pos < it->second ? it->second : -1;
}

// The start of the first known stretch after pos; INT64_MAX when none.
inline int64_t nextStretch(const Stretches& known, int64_t pos)
{
    auto it = known.ends.upper_bound(pos);
    return it == known.ends.end() ? INT64_MAX : it->first;
}

// Records [from, to), merged with the stretches it touches.
inline void addStretch(Stretches& known, int64_t from, int64_t to)
{
    auto it = known.ends.upper_bound(from);
    if (it != known.ends.begin() && std::prev(it)->second >= from) {
        --it;
        from = it->first;
    }
    while (it != known.ends.end() && it->first <= to) {
        if (it->second > to)
            to = it->second;
        it = known.ends.erase(it);
    }
    known.ends[from] = to;
}

// Walks from pos over what isEmpty(p) calls empty codes (it returns the
// code's length, 0 for a code that draws), through known stretches, and
// returns the first position of a drawing code (or where the data ends).
template <typename IsEmpty>
int64_t skipEmptyCodes(Stretches& known, int64_t pos, IsEmpty isEmpty)
{
    const int64_t from = pos;
    int64_t next = nextStretch(known, pos);
    if (int64_t end = stretchEnd(known, pos); end >= 0)
        return end;
    for (;;) {
        if (pos >= next) {
            if (int64_t end = stretchEnd(known, pos); end >= 0) {
                pos = end;
                break;
            }
            next = nextStretch(known, pos);
            continue;
        }
        int64_t length = isEmpty(pos);
        if (length == 0)
            break;
        pos += length;
    }
    if (pos > from)
        addStretch(known, from, pos);
    return pos;
}
