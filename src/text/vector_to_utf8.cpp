// UTF-16, UTF-32 and the code pages to UTF-8, 8 code points at a time (16
// source bytes of UTF-16 or code page, 32 of UTF-32).
//
// The code points are brought into 16-bit lanes: UTF-16 as it is, UTF-32
// when all 8 are below 0x10000 (up to the first that is not), a code page
// through its table. For every lane the up to 4 bytes of its UTF-8 form and
// their number are computed at once, branch-free over the three lengths;
// a UTF-16 high surrogate followed by a low one takes the 4-byte form of
// the pair and the low one none. A high surrogate without its low one ends
// the block before it. The forms are then stored at offsets from a prefix
// sum of their lengths (vector_sse2.h).
#include "text/vector_blocks.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/vector_block_runs.h"
#include "text/vector_sse2.h"

namespace faultkit {
namespace {

using sse2::Bits;
using sse2::LowestBit;
using sse2::Select;

constexpr int kLanes = 8;

// The UTF-8 forms of 8 code points: bytes 0 and 1, bytes 2 and 3 of each,
// and its length in bytes, in 16-bit lanes.
struct Utf8Forms {
    __m128i bytes01;
    __m128i bytes23;
    __m128i lengths;
};

__m128i Set16(int value) {
    return _mm_set1_epi16(static_cast<int16_t>(value));
}

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

// Writes the forms of the first `count` lanes at out; the bytes written.
// Stores reach up to 4 bytes past them, which keep_past_output keeps.
inline int WriteForms(const Utf8Forms& forms, int count, uint8_t* out, bool keep_past_output) {
    const __m128i lengths = _mm_and_si128(forms.lengths, sse2::FirstBytes(2 * count));
    const __m128i ends = sse2::PrefixSumWords(lengths);
    const int total = _mm_extract_epi16(ends, 7);
    uint16_t offsets[kLanes];
    uint32_t bytes[kLanes];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets), _mm_sub_epi16(ends, lengths));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes),
                     _mm_unpacklo_epi16(forms.bytes01, forms.bytes23));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + 4),
                     _mm_unpackhi_epi16(forms.bytes01, forms.bytes23));
    TailGuard<4> guard(out + total, keep_past_output);
    sse2::StoreUpward<uint32_t, kLanes, 1>(out, offsets, bytes);
    return total;
}

// Lanes that are all ones where u & mask == value.
inline __m128i LanesWhere(__m128i u, int mask, int value) {
    return _mm_cmpeq_epi16(_mm_and_si128(u, Set16(mask)), Set16(value));
}

int Utf16Block(const uint8_t* p, uint8_t** out, bool keep_past_output) {
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (Bits(LanesWhere(u, 0xFF80, 0)) == 0xFFFF) {  // ASCII: narrow
        _mm_storel_epi64(reinterpret_cast<__m128i*>(*out), _mm_packus_epi16(u, u));
        *out += kLanes;
        return 2 * kLanes;
    }
    Utf8Forms forms = BmpForms(u);
    int count = kLanes;
    const __m128i high = LanesWhere(u, 0xFC00, 0xD800);
    if (Bits(high) != 0) {
        const __m128i paired =
            _mm_and_si128(high, _mm_srli_si128(LanesWhere(u, 0xFC00, 0xDC00), 2));
        const unsigned lone = Bits(_mm_andnot_si128(paired, high));
        if (lone != 0) {
            count = LowestBit(lone) / 2;
        }
        AddPairs(forms, u, _mm_srli_si128(u, 2), paired);
    }
    if (count == 0) {
        return 0;
    }
    *out += WriteForms(forms, count, *out, keep_past_output);
    return 2 * count;
}

int Utf32Block(const uint8_t* p, uint8_t** out, bool keep_past_output) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    // Lanes from 0x10000 on, saturated to 0x7FFF, and the low halves.
    const __m128i above = _mm_packs_epi32(_mm_srli_epi32(a, 16), _mm_srli_epi32(b, 16));
    const __m128i u = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                                      _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
    const unsigned beyond = Bits(_mm_cmpeq_epi16(above, _mm_setzero_si128())) ^ 0xFFFF;
    const int count = beyond != 0 ? LowestBit(beyond) / 2 : kLanes;
    if (count == 0) {
        return 0;
    }
    *out += WriteForms(BmpForms(u), count, *out, keep_past_output);
    return 4 * count;
}

int CodePageBlock(const uint8_t* p, uint8_t** out, bool keep_past_output, const uint16_t* table) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    uint8_t* o = *out;
    // Bytes below 0x7F are themselves in every code page.
    if (Bits(_mm_adds_epu8(x, _mm_set1_epi8(1))) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), x);
        *out = o + 2 * kLanes;
        return 2 * kLanes;
    }
    uint16_t units[2 * kLanes];
    for (int i = 0; i < 2 * kLanes; ++i) {
        units[i] = table[p[i]];
    }
    for (int half = 0; half < 2; ++half) {
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + kLanes * half));
        o += WriteForms(BmpForms(u), kLanes, o, keep_past_output);
    }
    *out = o;
    return 2 * kLanes;
}

}  // namespace

void Utf16ToUtf8Blocks(BlockCursor& cursor) {
    RunBlocks<2 * kLanes, 3 * kLanes + 4>(cursor, Utf16Block);
}

void Utf32ToUtf8Blocks(BlockCursor& cursor) {
    RunBlocks<4 * kLanes, 3 * kLanes + 4>(cursor, Utf32Block);
}

void CodePageToUtf8Blocks(BlockCursor& cursor, const uint16_t* table) {
    RunBlocks<2 * kLanes, 6 * kLanes + 4>(cursor, [=](const uint8_t* p, uint8_t** out, bool keep) {
        return CodePageBlock(p, out, keep, table);
    });
}

}  // namespace faultkit

#endif
