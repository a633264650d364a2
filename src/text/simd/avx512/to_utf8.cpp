// UTF-16 and UTF-32 to UTF-8 with AVX-512, 64 source bytes at a time.
//
// Each unit's UTF-8 bytes are made in a 32-bit lane of its own, 16 lanes a
// register; multishifts gather the 6-bit payloads into bytes, to which the
// lead and continuation marks are added. The lanes' bytes that belong to
// the forms are compressed together and stored exactly.
//
// UTF-32: a lane holds a form of 1 to 4 bytes, the 4-byte form's payloads
// shifted down a byte for each byte the form is shorter.
//
// UTF-16: the bytes are made in 16-bit lanes, 32 units a register: the
// first two bytes of each form, and the 2-byte forms, whose second bytes
// are the third bytes of the 3-byte forms; a byte permute interleaves them
// into 32-bit lanes, of which the bytes of the forms, known from the
// units' lengths, are compressed. A surrogate pair's 4-byte form is split
// into two halves of two bytes, one at each of its units.
#include "text/simd/avx512/avx512_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/encoding/character_coders.h"
#include "text/simd/avx512/avx512_helpers.h"
#include "text/simd/bit_scan.h"

namespace faultkit {
namespace {

using avx512::MadeOnce;
using avx512::Set16;
using avx512::Set32;
using avx512::Step;

// The constants of WriteForms, made once for a run of blocks.
struct FormConstants {
    __m512i shifts;  // the multishift's: bytes of the lane shifted right by 18, 12, 6, 0
    __m512i from_80;
    __m512i from_800;
    __m512i from_10000;
    __m512i payloads[3];  // of forms of 2, 3 and 4 bytes
    __m512i marks[3];     // their lead and continuation marks
    __m512i first_byte;

    FAULTKIT_AVX512 FormConstants()
        : shifts(_mm512_set1_epi64(0x20262C3200060C12)),
          from_80(Set32(0x80)),
          from_800(Set32(0x800)),
          from_10000(Set32(0x10000)),
          payloads{Set32(0x3F1F), Set32(0x3F3F0F), Set32(0x3F3F3F07)},
          marks{Set32(0x80C0), Set32(0x8080E0), Set32(static_cast<int>(0x808080F0))},
          first_byte(Set32(0xFF)) {
        MadeOnce(shifts);
        MadeOnce(from_80);
        MadeOnce(from_800);
        MadeOnce(from_10000);
        MadeOnce(payloads[0]);
        MadeOnce(payloads[1]);
        MadeOnce(payloads[2]);
        MadeOnce(marks[0]);
        MadeOnce(marks[1]);
        MadeOnce(marks[2]);
        MadeOnce(first_byte);
    }
};

// Writes the UTF-8 forms of the 16 code points up to U+10FFFF in the
// 32-bit lanes of v whose bits are set in `lanes`; the end of the output.
FAULTKIT_AVX512 inline uint8_t* WriteForms(const FormConstants& c, __m512i v, uint32_t lanes,
                                           uint8_t* out) {
    const __m512i payloads = _mm512_multishift_epi64_epi8(c.shifts, v);
    const __mmask16 from_80 = _mm512_cmpge_epu32_mask(v, c.from_80);
    const __mmask16 from_800 = _mm512_cmpge_epu32_mask(v, c.from_800);
    const __mmask16 from_10000 = _mm512_cmpge_epu32_mask(v, c.from_10000);
    // A form k bytes shorter than 4 takes the payloads shifted down by k
    // bytes: the bits its first byte gains above the payload's are zero
    // there. (a & b) | c keeps the payloads' bits and adds the marks.
    const __m512i two =
        _mm512_ternarylogic_epi32(_mm512_srli_epi32(payloads, 16), c.payloads[0], c.marks[0], 0xEA);
    const __m512i three =
        _mm512_ternarylogic_epi32(_mm512_srli_epi32(payloads, 8), c.payloads[1], c.marks[1], 0xEA);
    const __m512i four = _mm512_ternarylogic_epi32(payloads, c.payloads[2], c.marks[2], 0xEA);
    __m512i forms = _mm512_mask_mov_epi32(v, from_80, two);
    forms = _mm512_mask_mov_epi32(forms, from_800, three);
    forms = _mm512_mask_mov_epi32(forms, from_10000, four);
    return avx512::StoreFormBytes(forms, lanes, c.first_byte, out);
}

// 16 UTF-32 units at a time.
struct Utf32Converter {
    static constexpr ptrdiff_t kSource = 64;
    static constexpr ptrdiff_t kRoom = 64;

    FormConstants constants;

    FAULTKIT_AVX512 Step Convert(const uint8_t* src, uint8_t* dst) const {
        const __m512i v = avx512::Load(src);
        if (_mm512_test_epi32_mask(v, Set32(~0x7F)) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm512_cvtepi32_epi8(v));
            return {64, 16};
        }
        // Units above U+10FFFF (0x80000000 and up among them) have no form
        // of up to 4 bytes: the first one ends the block.
        const uint32_t beyond =
            _mm512_cmpgt_epu32_mask(v, Set32(static_cast<int>(kUtf16MaxCodePoint)));
        const int count = beyond != 0 ? LowestBit(beyond) : 16;
        uint8_t* out =
            WriteForms(constants, v, static_cast<uint32_t>(avx512::FirstBits(count)), dst);
        return {4 * count, static_cast<int>(out - dst)};
    }
};

// Byte indices that interleave 16 lanes' first two bytes, from the lanes
// of a register of 16-bit lanes, and their third bytes, from the high
// bytes of the same lanes of a second register (index + 64), into 32-bit
// lanes; lanes 16 to 31 add 32.
struct Interleave {
    uint8_t bytes[64];
};

constexpr Interleave MakeInterleave() {
    Interleave table{};
    for (int lane = 0; lane < 16; ++lane) {
        table.bytes[4 * lane] = static_cast<uint8_t>(2 * lane);
        table.bytes[4 * lane + 1] = static_cast<uint8_t>(2 * lane + 1);
        table.bytes[4 * lane + 2] = static_cast<uint8_t>(64 + 2 * lane + 1);
    }
    return table;
}

inline constexpr Interleave kInterleave = MakeInterleave();

// The constants of the UTF-16 converter, made once for a run of blocks.
struct Utf16Constants {
    __m512i not_ascii;
    __m512i surrogate_bits;
    __m512i high_surrogate;
    __m512i low_surrogate;
    __m512i from_80;
    __m512i from_800;
    // Multishift controls: into the low and high bytes of each 16-bit
    // lane, its bits from 12 and 6 on, from 6 and 0 on, from 8 and 2 on.
    __m512i shifts_12_6;
    __m512i shifts_6_0;
    __m512i shifts_8_2;
    __m512i low_10;
    __m512i top_offset;  // 0x10000 >> 10
    // The payload bits and the marks of the first two bytes of forms of 3
    // bytes, of 2, and of the halves of a pair.
    __m512i payloads[4];
    __m512i marks[4];
    __m512i previous;  // word indices of the lane before each
    __m512i interleave[2];

    FAULTKIT_AVX512 Utf16Constants()
        : not_ascii(Set16(0xFF80)),
          surrogate_bits(Set16(0xFC00)),
          high_surrogate(Set16(0xD800)),
          low_surrogate(Set16(0xDC00)),
          from_80(Set16(0x80)),
          from_800(Set16(0x800)),
          shifts_12_6(_mm512_set1_epi64(0x363C262C161C060C)),
          shifts_6_0(_mm512_set1_epi64(0x3036202610160006)),
          shifts_8_2(_mm512_set1_epi64(0x3238222812180208)),
          low_10(Set16(0x3FF)),
          top_offset(Set16(0x40)),
          payloads{Set16(0x3F0F), Set16(0x3F1F), Set16(0x3F07), Set16(0x3F3F)},
          marks{Set16(0x80E0), Set16(0x80C0), Set16(0x80F0), Set16(0x8080)},
          previous(_mm512_set_epi16(30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                                    14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0)),
          interleave{avx512::Load(kInterleave.bytes),
                     _mm512_add_epi8(avx512::Load(kInterleave.bytes), _mm512_set1_epi8(32))} {
        MadeOnce(not_ascii);
        MadeOnce(surrogate_bits);
        MadeOnce(high_surrogate);
        MadeOnce(low_surrogate);
        MadeOnce(from_80);
        MadeOnce(from_800);
        MadeOnce(shifts_12_6);
        MadeOnce(shifts_6_0);
        MadeOnce(shifts_8_2);
        MadeOnce(low_10);
        MadeOnce(top_offset);
        MadeOnce(payloads[0]);
        MadeOnce(payloads[1]);
        MadeOnce(payloads[2]);
        MadeOnce(payloads[3]);
        MadeOnce(marks[0]);
        MadeOnce(marks[1]);
        MadeOnce(marks[2]);
        MadeOnce(marks[3]);
        MadeOnce(previous);
        MadeOnce(interleave[0]);
        MadeOnce(interleave[1]);
    }
};

// (m & payload) | marks.
FAULTKIT_AVX512 inline __m512i Marked(__m512i m, __m512i payload, __m512i marks) {
    return _mm512_ternarylogic_epi32(m, payload, marks, 0xEA);
}

// 32 UTF-16 units at a time.
struct Utf16Converter {
    static constexpr ptrdiff_t kSource = 64;
    // Forms of up to 3 bytes a unit.
    static constexpr ptrdiff_t kRoom = 96;

    Utf16Constants c;

    FAULTKIT_AVX512 Step Convert(const uint8_t* src, uint8_t* dst) const {
        const __m512i u = avx512::Load(src);
        if (_mm512_test_epi16_mask(u, c.not_ascii) == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm512_cvtepi16_epi8(u));
            return {64, 32};
        }
        const __m512i kind = _mm512_and_si512(u, c.surrogate_bits);
        const uint32_t high = _mm512_cmpeq_epi16_mask(kind, c.high_surrogate);
        const uint32_t paired = high & (_mm512_cmpeq_epi16_mask(kind, c.low_surrogate) >> 1);
        const uint32_t after = paired << 1;
        // A high surrogate without a low one after it in the block ends it:
        // the character left to the scalar code, or cut by the block's end.
        const uint32_t lone = high & ~paired;
        const int count = lone != 0 ? LowestBit(lone) : 32;
        const uint32_t below_80 = _mm512_cmplt_epu16_mask(u, c.from_80);
        const uint32_t below_800 = _mm512_cmplt_epu16_mask(u, c.from_800);
        // The first two bytes of each form, the first in the low byte. The
        // 2-byte form's second byte is also the 3-byte form's third.
        const __m512i two_bytes =
            Marked(_mm512_multishift_epi64_epi8(c.shifts_6_0, u), c.payloads[1], c.marks[1]);
        __m512i two =
            Marked(_mm512_multishift_epi64_epi8(c.shifts_12_6, u), c.payloads[0], c.marks[0]);
        two = _mm512_mask_mov_epi16(two, below_800, two_bytes);
        two = _mm512_mask_mov_epi16(two, below_80, u);
        // A pair: the code point shifted right by 10 (its high surrogate's
        // bits plus 0x10000 >> 10) gives the first two bytes at the high
        // surrogate; its low two bits and the low surrogate's bits, the
        // last two at the low one.
        const __m512i top = _mm512_add_epi16(_mm512_and_si512(u, c.low_10), c.top_offset);
        const __m512i low_bits = _mm512_ternarylogic_epi32(
            _mm512_slli_epi16(_mm512_permutexvar_epi16(c.previous, top), 10), u, c.low_10,
            0xF8);  // a | (b & c)
        two = _mm512_mask_mov_epi16(
            two, paired,
            Marked(_mm512_multishift_epi64_epi8(c.shifts_8_2, top), c.payloads[2], c.marks[2]));
        two = _mm512_mask_mov_epi16(two, after,
                                    Marked(_mm512_multishift_epi64_epi8(c.shifts_6_0, low_bits),
                                           c.payloads[3], c.marks[3]));
        // The bytes of the forms of the units taken, 4 bits a unit: the
        // first, the second but for ASCII, the third of 3-byte forms.
        const uint32_t lanes = static_cast<uint32_t>(avx512::FirstBits(count));
        const uint32_t seconds = lanes & ~below_80;
        const uint32_t thirds = lanes & ~(below_800 | paired | after);
        uint8_t* out = dst;
        for (int half = 0; half < 2; ++half) {
            const int shift = 16 * half;
            const uint64_t keep = _pdep_u64(lanes >> shift, 0x1111111111111111) |
                                  _pdep_u64(seconds >> shift, 0x2222222222222222) |
                                  _pdep_u64(thirds >> shift, 0x4444444444444444);
            const int bytes = avx512::Count(keep);
            avx512::StoreBytes(
                out,
                _mm512_maskz_compress_epi8(
                    keep, _mm512_permutex2var_epi8(two, c.interleave[half], two_bytes)),
                bytes);
            out += bytes;
        }
        return {2 * count, static_cast<int>(out - dst)};
    }
};

}  // namespace

FAULTKIT_AVX512 void avx512::Utf16ToUtf8Blocks(BlockCursor& cursor) {
    RunExactBlocks(cursor, Utf16Converter{Utf16Constants()});
}

FAULTKIT_AVX512 void avx512::Utf32ToUtf8Blocks(BlockCursor& cursor) {
    RunExactBlocks(cursor, Utf32Converter{FormConstants()});
}

}  // namespace faultkit

#endif
