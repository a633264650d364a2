// The scan of a 16-byte block of UTF-8 that the block converters from
// UTF-8 share (SSE2): which characters it holds up to the first one left
// to the scalar code, and their values.
//
// The block is classified byte by byte (continuation byte, lead of 2, 3,
// 4, 5 or more bytes) into bit masks. The continuation bytes that the
// leads call for must be exactly the continuation bytes there are; the
// block is taken up to the character before the first place where they
// differ, up to the first lead left to the scalar code, and up to the
// character cut by the block's end. The value of a 1- to 3-byte character
// is computed for every byte position at once in 16-bit lanes; 4-byte
// characters, rare, one by one. Nothing else is checked: overlong forms
// and surrogates decode to the values the scalar decoder gives them.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)

#include <algorithm>
#include <cstdint>

#include "text/simd/sse2/sse2_helpers.h"

namespace faultkit::sse2 {

inline constexpr int kBlock = 16;

// The low n bits (n from 0 to 32).
inline uint32_t LowBits(int n) {
    return static_cast<uint32_t>((uint64_t{1} << n) - 1);
}

// The part of a block that is taken.
struct Utf8Block {
    int taken;       // bytes of the whole characters taken from its start
    uint32_t leads;  // bit i: a taken character starts at byte i
    uint32_t fours;  // the 4-byte characters among them

    // Takes only the characters before byte `at`.
    void EndAt(int at) {
        taken = at;
        leads &= LowBits(at);
        fours &= LowBits(at);
    }
};

// The bytes of a block of kWidth bytes by kind, a bit each: from 0x80 on,
// continuation bytes (0x80 to 0xBF), from 0xE0, 0xF0 and 0xF8 on.
struct ByteKinds {
    uint32_t high;
    uint32_t continuation;
    uint32_t from_e0;
    uint32_t from_f0;
    uint32_t from_f8;
};

inline ByteKinds KindsOf(__m128i x) {
    const uint32_t high = Bits(x);
    return {high, Bits(_mm_cmplt_epi8(x, _mm_set1_epi8(-64))),
            high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-33))),
            high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-17))),
            high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-9)))};
}

// What of a block of kWidth bytes is taken; 4-byte characters are taken
// if take_fours.
template <int kWidth>
inline Utf8Block TakeBlock(const ByteKinds& kinds, bool take_fours) {
    constexpr uint32_t kLast = uint32_t{1} << (kWidth - 1);
    const uint32_t from_c0 = kinds.high & ~kinds.continuation;
    const uint32_t starts = ~kinds.continuation & LowBits(kWidth);
    // Each lead calls for a continuation byte after it, from E0 on for a
    // second, from F0 on for a third.
    const uint32_t called = (from_c0 << 1) | (kinds.from_e0 << 2) | (kinds.from_f0 << 3);
    const uint32_t cut =
        (from_c0 & kLast) | (kinds.from_e0 & (kLast >> 1)) | (kinds.from_f0 & (kLast >> 2));
    int taken = cut != 0 ? LowestBit(cut) : kWidth;
    const uint32_t mismatch = (called ^ kinds.continuation) & LowBits(kWidth);
    if (mismatch != 0) {
        // The character before the first mismatch is cut short or followed
        // by a stray continuation byte.
        const uint32_t before = starts & LowBits(LowestBit(mismatch));
        taken = std::min(taken, before != 0 ? HighestBit(before) : 0);
    }
    const uint32_t refused = kinds.from_f8 | (take_fours ? 0 : kinds.from_f0);
    if (refused != 0) {
        taken = std::min(taken, LowestBit(refused));
    }
    const uint32_t leads = starts & LowBits(taken);
    return {taken, leads, leads & kinds.from_f0};
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

inline uint32_t ThreeByteValue(const uint8_t* p) {
    return (uint32_t{p[0] & 0x0Fu} << 12) | (uint32_t{p[1] & 0x3Fu} << 6) | (p[2] & 0x3Fu);
}

inline uint32_t FourByteValue(const uint8_t* p) {
    return (uint32_t{p[0] & 0x07u} << 18) | (uint32_t{p[1] & 0x3Fu} << 12) |
           (uint32_t{p[2] & 0x3Fu} << 6) | (p[3] & 0x3Fu);
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
