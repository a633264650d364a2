// SSE2 helpers shared by the block converters (../block_kernels.h).
//
// The converters compute, in vector registers, the output of every source
// position as if a character started there, its output size (0 where none
// starts), and from the sizes by a prefix sum the offset at which it goes.
// SSE2 has no byte shuffle to pack the outputs together, so they are
// stored with plain scalar stores, one per position, in order: a position
// that starts no character writes its garbage where the next character's
// output goes, and that output overwrites it; the last ones may reach past
// the block's output (see ../block_runs.h).
#pragma once

#if defined(__SSE2__) || defined(_M_X64)

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace faultkit::sse2 {

inline __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

inline void Store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

// mask ? a : b, lane by lane (mask lanes all ones or all zeros).
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// A mask of the first `bytes` bytes (0 to 16) of a register.
inline __m128i FirstBytes(int bytes) {
    static const uint8_t kOnesThenZeros[32] = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    };
    return Load(kOnesThenZeros + 16 - bytes);
}

// Running sums over the 16 byte lanes: lane i holds lanes 0..i added.
inline __m128i PrefixSumBytes(__m128i v) {
    v = _mm_add_epi8(v, _mm_slli_si128(v, 1));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 4));
    return _mm_add_epi8(v, _mm_slli_si128(v, 8));
}

// Running sums over the 8 16-bit lanes.
inline __m128i PrefixSumWords(__m128i v) {
    v = _mm_add_epi16(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 4));
    return _mm_add_epi16(v, _mm_slli_si128(v, 8));
}

// Bit i: byte lane i of mask is set.
inline unsigned Bits(__m128i mask) {
    return static_cast<unsigned>(_mm_movemask_epi8(mask));
}

// Stores values[i], as a Stored, at out + offsets[i] * kScale, for i from
// kCount - 1 down to 0.
template <typename Stored, int kCount, size_t kScale, typename Offset, typename Value>
inline void StoreDownward(uint8_t* out, const Offset* offsets, const Value* values) {
#pragma GCC unroll 16
    for (int i = kCount - 1; i >= 0; --i) {
        const Stored value = static_cast<Stored>(values[i]);
        std::memcpy(out + offsets[i] * kScale, &value, sizeof value);
    }
}

// The same for i from 0 up to kCount - 1.
template <typename Stored, int kCount, size_t kScale, typename Offset, typename Value>
inline void StoreUpward(uint8_t* out, const Offset* offsets, const Value* values) {
#pragma GCC unroll 16
    for (int i = 0; i < kCount; ++i) {
        const Stored value = static_cast<Stored>(values[i]);
        std::memcpy(out + offsets[i] * kScale, &value, sizeof value);
    }
}

}  // namespace faultkit::sse2

#endif
