// The scan of a 16-byte block of UTF-8 that the SSE2 kernels from UTF-8
// share: which characters it holds up to the first one left to the scalar
// code (../utf8_block.h), and their values.
//
// The block is classified byte by byte (continuation byte, lead of 2, 3,
// 4, 5 or more bytes) into bit masks. The value of a 1- to 3-byte
// character is computed for every byte position at once in 16-bit lanes;
// 4-byte characters, rare, one by one.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)

#include <cstdint>

#include "text/simd/sse2/sse2_helpers.h"
#include "text/simd/utf8_block.h"

namespace faultkit::sse2 {

inline constexpr int kBlock = 16;

inline ByteKinds KindsOf(__m128i x) {
    const uint32_t high = Bits(x);
    return {high, Bits(_mm_cmplt_epi8(x, _mm_set1_epi8(-64))),
            high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-33))),
            high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-17))),
            high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-9)))};
}

inline Utf8Block ScanBlock(__m128i x, bool take_fours) {
    return TakeBlock<kBlock>(KindsOf(x), take_fours);
}

// The value of a 1- to 3-byte character starting at each of 8 positions:
// b0 its byte, b1 and b2 the two after it, in 16-bit lanes.
inline __m128i LaneValues(__m128i b0, __m128i b1, __m128i b2) {
    const __m128i low6 = _mm_set1_epi16(0x3F);
    // From E0 on, b0 & 0x1F is b0 & 0x0F, and the shift by 12 fits 16 bits.
    const __m128i two = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi16(0x1F)), 6),
                                     _mm_and_si128(b1, low6));
    const __m128i three = _mm_or_si128(_mm_slli_epi16(two, 6), _mm_and_si128(b2, low6));
    const __m128i value = Select(_mm_cmpgt_epi16(b0, _mm_set1_epi16(0x7F)), two, b0);
    return Select(_mm_cmpgt_epi16(b0, _mm_set1_epi16(0xDF)), three, value);
}

// LaneValues for the 16 positions of block x into values. The bytes after
// the block read as 0, which only characters cut by its end would use.
inline void BlockValues(__m128i x, uint16_t values[kBlock]) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i x1 = _mm_srli_si128(x, 1);
    const __m128i x2 = _mm_srli_si128(x, 2);
    sse2::Store(values, LaneValues(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(x1, zero),
                                   _mm_unpacklo_epi8(x2, zero)));
    sse2::Store(values + 8, LaneValues(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(x1, zero),
                                       _mm_unpackhi_epi8(x2, zero)));
}

// For each position of block x, the offset in units of the last unit of
// the character it belongs to, and for the positions after the taken
// characters that of the last unit of the last one; a 4-byte character
// takes `four_units` units. Returns the total number of units.
inline int LastUnitOffsets(__m128i x, const Utf8Block& block, int four_units,
                           uint8_t offsets[kBlock]) {
    const __m128i taken = FirstBytes(block.taken);
    const __m128i starts = _mm_add_epi8(_mm_set1_epi8(1), _mm_cmplt_epi8(x, _mm_set1_epi8(-64)));
    __m128i units = _mm_and_si128(starts, taken);
    if (four_units == 2 && block.fours != 0) {
        // Within the taken bytes, only 4-byte leads are F0 or above.
        const __m128i from_f0 = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-17)),
                                              _mm_cmplt_epi8(x, _mm_setzero_si128()));
        units = _mm_sub_epi8(units, _mm_and_si128(from_f0, taken));
    }
    const __m128i ends = sse2::PrefixSumBytes(units);
    sse2::Store(offsets, _mm_sub_epi8(ends, _mm_set1_epi8(1)));
    return _mm_extract_epi16(ends, 7) >> 8;
}

}  // namespace faultkit::sse2

#endif
