// Bytes eight (or sixteen) at a time, for the loops that run once per line
// of a log: loading, comparing, and reading digits without a loop per digit.
// Digit reading assumes a little-endian machine; callers check.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kwlog {

inline uint64_t load8(const char* p) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    return chunk;
}

// Whether `size` bytes (8 or more) at a and b are the same: in sixteens or
// eights, the last overlapping, without a call. Up to 64 bytes (a record's
// text after its time, most often) four sixteens are compared at once,
// overlapping as needed, so that the size makes no branch go another way.
inline bool same_bytes(const char* a, const char* b, size_t size) {
#if defined(__SSE2__)
    if (size >= 16) {
        auto equal16 = [a, b](size_t at) {
            __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
            return _mm_cmpeq_epi8(u, v);
        };
        if (size <= 64) {
            size_t last = size - 16;
            __m128i all =
                _mm_and_si128(_mm_and_si128(equal16(0), equal16(last < 16 ? last : 16)),
                              _mm_and_si128(equal16(last < 32 ? last : 32), equal16(last)));
            return _mm_movemask_epi8(all) == 0xFFFF;
        }
        for (size_t i = 0; i + 16 < size; i += 16)
            if (_mm_movemask_epi8(equal16(i)) != 0xFFFF)
                return false;
        return _mm_movemask_epi8(equal16(size - 16)) == 0xFFFF;
    }
#endif
    for (size_t i = 0; i + 8 < size; i += 8)
        if (load8(a + i) != load8(b + i))
            return false;
    return load8(a + size - 8) == load8(b + size - 8);
}

// The same for bytes [16, size) of `size` (16 or more), the first sixteen
// known to be the same: up to 64, three sixteens, overlapping as needed.
inline bool same_bytes_after16(const char* a, const char* b, size_t size) {
#if defined(__SSE2__)
    if (size <= 64) {
        auto equal16 = [a, b](size_t at) {
            __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
            return _mm_cmpeq_epi8(u, v);
        };
        size_t last = size - 16;
        __m128i all = _mm_and_si128(
            _mm_and_si128(equal16(last < 16 ? last : 16), equal16(last < 32 ? last : 32)),
            equal16(last));
        return _mm_movemask_epi8(all) == 0xFFFF;
    }
#endif
    if (size >= 24)
        return same_bytes(a + 16, b + 16, size - 16);
    return load8(a + size - 8) == load8(b + size - 8); // overlapping the front
}

// Digits in eight bytes at once. XOR '0' leaves a digit's value, 0 to 9, and
// any other byte 10 or more (or its high bit set): adding 0x76 to the low
// seven bits sets the high bit of exactly those.
inline uint64_t digit_values(uint64_t chunk) {
    return chunk ^ 0x3030303030303030;
}
inline uint64_t not_digits(uint64_t values) {
    return (((values & 0x7F7F7F7F7F7F7F7F) + 0x7676767676767676) | values) & 0x8080808080808080;
}
// How many digits the eight bytes begin with (8: all of them).
inline int digits_in(uint64_t values) {
    return std::countr_zero(not_digits(values)) / 8;
}
// The number written by eight digit values, the first (the lowest byte)
// the most significant: summed in pairs, fours and eights.
inline int64_t number_in_eight(uint64_t v) {
    v = (v * 2561) >> 8 & 0x00FF00FF00FF00FF;
    v = (v * 6553601) >> 16 & 0x0000FFFF0000FFFF;
    return static_cast<int64_t>((v * 42949672960001) >> 32);
}
// The digits of the first `count` bytes of `values` (1 to 8), moved to the
// top, with zeros below them as leading zeros.
inline uint64_t digits_on_top(uint64_t values, int count) {
    return values << (8 * (8 - count));
}
// The number they write.
inline int64_t number_in_top(uint64_t values, int count) {
    return number_in_eight(digits_on_top(values, count));
}

} // namespace kwlog
