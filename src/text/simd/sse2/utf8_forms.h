// The UTF-8 forms of 8 code points in 16-bit lanes, that the block
// converters to UTF-8 share (SSE2). For every lane the up to 4 bytes of
// its form and their number are computed at once, branch-free over the
// lengths; a UTF-16 high surrogate followed by a low one takes the 4-byte
// form of the pair and the low one none.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)

#include <cstdint>

#include "text/simd/bit_scan.h"
#include "text/simd/sse2/sse2_helpers.h"

namespace faultkit::sse2 {

inline constexpr int kLanes = 8;

inline __m128i Set16(int value) {
    return _mm_set1_epi16(static_cast<int16_t>(value));
}

// The UTF-8 forms of 8 code points: bytes 0 and 1, bytes 2 and 3 of each,
// and its length in bytes, in 16-bit lanes.
struct Utf8Forms {
    __m128i bytes01;
    __m128i bytes23;
    __m128i lengths;
};

// The 1- to 3-byte forms of 8 code points below 0x10000.
inline Utf8Forms BmpForms(__m128i u) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_cmpeq_epi16(_mm_and_si128(u, Set16(0xFF80)), zero);
    const __m128i up_to_two = _mm_cmpeq_epi16(_mm_and_si128(u, Set16(0xF800)), zero);
    const __m128i lead = Select(up_to_two, _mm_or_si128(_mm_srli_epi16(u, 6), Set16(0xC0)),
                                _mm_or_si128(_mm_srli_epi16(u, 12), Set16(0xE0)));
    const __m128i first = Select(one, u, lead);
    const __m128i second = _mm_or_si128(
        _mm_and_si128(Select(up_to_two, u, _mm_srli_epi16(u, 6)), Set16(0x3F)), Set16(0x80));
    const __m128i third = _mm_or_si128(_mm_and_si128(u, Set16(0x3F)), Set16(0x80));
    // one and up_to_two are -1 where they hold.
    const __m128i lengths = _mm_add_epi16(_mm_add_epi16(Set16(3), one), up_to_two);
    return {_mm_or_si128(first, _mm_slli_epi16(second, 8)), third, lengths};
}

// Gives the lanes of `paired`, high surrogates followed by a low one
// (`next` holds each lane's following unit), the 4-byte form of the pair,
// and the lanes after them, the low surrogates, no form.
inline void AddPairs(Utf8Forms& forms, __m128i u, __m128i next, __m128i paired) {
    // The code point shifted right by 10: the high surrogate's 10 bits plus
    // 0x10000 >> 10.
    const __m128i top = _mm_add_epi16(_mm_and_si128(u, Set16(0x3FF)), Set16(0x40));
    const __m128i b0 = _mm_or_si128(_mm_srli_epi16(top, 8), Set16(0xF0));
    const __m128i b1 =
        _mm_or_si128(_mm_and_si128(_mm_srli_epi16(top, 2), Set16(0x3F)), Set16(0x80));
    const __m128i b2 =
        _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(top, Set16(3)), 4),
                                  _mm_and_si128(_mm_srli_epi16(next, 6), Set16(0xF))),
                     Set16(0x80));
    const __m128i b3 = _mm_or_si128(_mm_and_si128(next, Set16(0x3F)), Set16(0x80));
    forms.bytes01 = Select(paired, _mm_or_si128(b0, _mm_slli_epi16(b1, 8)), forms.bytes01);
    forms.bytes23 = Select(paired, _mm_or_si128(b2, _mm_slli_epi16(b3, 8)), forms.bytes23);
    forms.lengths =
        _mm_andnot_si128(_mm_slli_si128(paired, 2), Select(paired, Set16(4), forms.lengths));
}

// The forms of the first `count` lanes, ready to store: each as a 4-byte
// word, at its offset; lanes from `count` on have no form.
struct PlacedForms {
    uint32_t words[kLanes];
    uint16_t offsets[kLanes];
    int size;
};

inline void Place(const Utf8Forms& forms, int count, PlacedForms* placed) {
    const __m128i lengths = _mm_and_si128(forms.lengths, sse2::FirstBytes(2 * count));
    const __m128i ends = sse2::PrefixSumWords(lengths);
    placed->size = _mm_extract_epi16(ends, 7);
    sse2::Store(placed->offsets, _mm_sub_epi16(ends, lengths));
    sse2::Store(placed->words, _mm_unpacklo_epi16(forms.bytes01, forms.bytes23));
    sse2::Store(placed->words + 4, _mm_unpackhi_epi16(forms.bytes01, forms.bytes23));
}

// Writes the forms; the stores reach up to 4 bytes past them.
inline void Write(const PlacedForms& placed, uint8_t* out) {
    sse2::StoreUpward<uint32_t, kLanes, 1>(out, placed.offsets, placed.words);
}

// Lanes that are all ones where u & mask == value.
inline __m128i LanesWhere(__m128i u, int mask, int value) {
    return _mm_cmpeq_epi16(_mm_and_si128(u, Set16(mask)), Set16(value));
}

inline bool AllAscii(__m128i units) {
    return Bits(LanesWhere(units, 0xFF80, 0)) == 0xFFFF;
}

// The forms of 8 UTF-16 units u up to the first high surrogate without a
// low one after it in u, and their number.
inline int Utf16Forms(__m128i u, Utf8Forms* forms) {
    *forms = BmpForms(u);
    const __m128i high = LanesWhere(u, 0xFC00, 0xD800);
    if (Bits(high) == 0) {
        return kLanes;
    }
    const __m128i low_after = _mm_srli_si128(LanesWhere(u, 0xFC00, 0xDC00), 2);
    const __m128i paired = _mm_and_si128(high, low_after);
    AddPairs(*forms, u, _mm_srli_si128(u, 2), paired);
    const unsigned lone = Bits(_mm_andnot_si128(paired, high));
    return lone != 0 ? LowestBit(lone) / 2 : kLanes;
}

// The forms of a code page's 256 bytes, given its table of code points,
// as words: the form's bytes from the low end, its length in the top byte.
inline void BuildPageForms(const uint16_t* table, uint32_t forms[256]) {
    for (int b = 0; b < 256; b += kLanes) {
        const Utf8Forms f = BmpForms(Load(table + b));
        const __m128i top =
            _mm_or_si128(_mm_and_si128(f.bytes23, Set16(0xFF)), _mm_slli_epi16(f.lengths, 8));
        Store(forms + b, _mm_unpacklo_epi16(f.bytes01, top));
        Store(forms + b + 4, _mm_unpackhi_epi16(f.bytes01, top));
    }
}

}  // namespace faultkit::sse2

#endif
