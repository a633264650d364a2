// The UTF-8 forms of 16 code points in 16-bit lanes with AVX2, shared by
// the kernels to UTF-8 from UTF-16 and from the code pages: as with SSE2
// (../sse2/utf8_forms.h) the bytes of every lane's form are computed at
// once, branch-free over the lengths; then each group of 4 lanes is packed
// to its forms' bytes by a shuffle looked up by their lengths
// (avx2_helpers.h).
#pragma once

#if defined(__SSE2__) || defined(_M_X64)

#include "text/simd/avx2/avx2_helpers.h"

namespace faultkit::avx2 {

// Lanes that are all ones where u & mask == value.
FAULTKIT_AVX2 inline __m256i LanesWhere(__m256i u, int mask, int value) {
    return _mm256_cmpeq_epi16(_mm256_and_si256(u, Set16(mask)), Set16(value));
}

// The lengths of 16 forms, as two masks: lanes of one byte, and of up to
// two. A surrogate pair's form is written as two halves of two bytes, one
// in each of its lanes.
struct Lengths {
    __m256i one;
    __m256i two;  // below 0x800, surrogates not counted
    __m256i up_to_two;
};

// The shuffle indices of the 4 groups of 4 lanes, one a byte: in the
// index of the group of lanes 4g to 4g + 3, bit j is set where lane 4g + j
// has a form of 2 bytes, bit 4 + j where of 3 (kPackForms).
FAULTKIT_AVX2 inline uint32_t GroupIndices(const Lengths& lengths) {
    // Per 128-bit half the packed masks are: lanes 0-7 of two bytes, lanes
    // 0-7 of up to two; reordered to those of lanes 0-3, then of 4-7, the
    // movemask gives each group's index in a byte of its own, with the
    // bits of 3 bytes inverted.
    const __m256i packed =
        _mm256_packs_epi16(_mm256_andnot_si256(lengths.one, lengths.up_to_two), lengths.up_to_two);
    const __m256i grouped = _mm256_shuffle_epi8(
        packed, _mm256_setr_epi8(0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15, 0, 1, 2, 3,
                                 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15));
    return static_cast<uint32_t>(_mm256_movemask_epi8(grouped)) ^ 0xF0F0F0F0u;
}

// The bytes of group g's forms, looked up: fewer instructions than
// counting the bits, and it is needed for each group of every block.
FAULTKIT_AVX2 inline int GroupSize(uint32_t indices, int g) {
    return avx2::kPackedFormsSizes.of[(indices >> (8 * g)) & 0xFF];
}

// Writes the forms whose bytes 0 and 1 are in bytes01 and byte 2 in third;
// the last store reaches 16 - GroupSize(indices, 3) bytes past them.
FAULTKIT_AVX2 inline void WriteForms(__m256i bytes01, __m256i third, uint32_t indices,
                                     uint8_t* out) {
    // Words of lanes 0-3 and 8-11, and of lanes 4-7 and 12-15.
    const __m256i even = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(bytes01, third),
                                             EntryShuffles(kPackForms, indices, indices >> 16));
    const __m256i odd = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(bytes01, third),
                                            EntryShuffles(kPackForms, indices >> 8, indices >> 24));
    uint8_t* o = out;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(even));
    o += GroupSize(indices, 0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(odd));
    o += GroupSize(indices, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_extracti128_si256(even, 1));
    o += GroupSize(indices, 2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_extracti128_si256(odd, 1));
}

// The forms of 16 code points below 0x800, of 1 or 2 bytes: cheaper than
// those of up to 3, and all that Latin, Greek, Cyrillic and the like need.
struct ShortForms {
    __m256i bytes01;  // the first byte of each lane's form, and the second
    unsigned twos;    // bit i: lane i has a form of 2 bytes
};

FAULTKIT_AVX2 inline ShortForms ShortFormsOf(__m256i u) {
    const __m256i one = LanesWhere(u, 0xFF80, 0);
    const __m256i lead = _mm256_or_si256(_mm256_srli_epi16(u, 6), Set16(0xC0));
    const __m256i second = _mm256_or_si256(_mm256_and_si256(u, Set16(0x3F)), Set16(0x80));
    const __m256i bytes01 =
        _mm256_or_si256(_mm256_blendv_epi8(lead, u, one), _mm256_slli_epi16(second, 8));
    // Lanes 0-7 of `one` in bits 0-7, lanes 8-15 in bits 16-23.
    const auto ones = static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_packs_epi16(one, _mm256_setzero_si256())));
    return {bytes01, ~((ones & 0xFF) | ((ones >> 8) & 0xFF00)) & 0xFFFF};
}

// The bytes of short forms.
FAULTKIT_AVX2 inline int ShortFormsSize(const ShortForms& forms) {
    return 16 + Count(forms.twos);
}

// Writes short forms; the last store reaches 8 - Count(twos >> 8) bytes
// past them.
FAULTKIT_AVX2 inline void WriteShortForms(const ShortForms& forms, uint8_t* out) {
    const __m256i packed = _mm256_shuffle_epi8(
        forms.bytes01, EntryShuffles(kPackShortForms, forms.twos, forms.twos >> 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 + Count(forms.twos & 0xFF)),
                     _mm256_extracti128_si256(packed, 1));
}

// The lengths of the forms of 16 code points below 0x10000, surrogates
// taken as code points of their own.
FAULTKIT_AVX2 inline Lengths BmpLengths(__m256i u) {
    const __m256i two = LanesWhere(u, 0xF800, 0);
    return {LanesWhere(u, 0xFF80, 0), two, two};
}

// The first two bytes of each lane's form of 1 to 3 bytes, and the third.
FAULTKIT_AVX2 inline void BmpFormBytes(__m256i u, const Lengths& lengths, __m256i* bytes01,
                                       __m256i* third) {
    const __m256i low6 = Set16(0x3F);
    const __m256i lead =
        _mm256_blendv_epi8(_mm256_or_si256(_mm256_srli_epi16(u, 12), Set16(0xE0)),
                           _mm256_or_si256(_mm256_srli_epi16(u, 6), Set16(0xC0)), lengths.two);
    const __m256i first = _mm256_blendv_epi8(lead, u, lengths.one);
    const __m256i second = _mm256_or_si256(
        _mm256_and_si256(_mm256_blendv_epi8(_mm256_srli_epi16(u, 6), u, lengths.two), low6),
        Set16(0x80));
    *bytes01 = _mm256_or_si256(first, _mm256_slli_epi16(second, 8));
    *third = _mm256_or_si256(_mm256_and_si256(u, low6), Set16(0x80));
}

}  // namespace faultkit::avx2

#endif
