// UTF-8 to UTF-16, UTF-32 and the code pages with AVX-512, 64 source bytes
// at a time: the block is classified into 64-bit masks and taken
// (../utf8_block.h); the values of its positions are computed 32 at a time
// in 16-bit lanes, from the bytes at and after each position gathered by
// byte permutes, and those of the positions that give output are
// compressed together and stored exactly. A 4-byte character gives its
// high surrogate at its lead and its low one at the byte after; to UTF-32,
// its bits 16 to 20 in a second register compressed alike.
#include "text/simd/avx512/avx512_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/encoding/character_coders.h"
#include "text/encoding/page_byte_lookup.h"
#include "text/simd/avx512/avx512_helpers.h"
#include "text/simd/utf8_block.h"

namespace faultkit {
namespace {

using avx512::Count;
using avx512::MadeOnce;
using avx512::Set16;
using avx512::Step;

constexpr int kBlock = 64;
using Block = Utf8BlockOf<uint64_t>;

// Byte indices that gather, into the 16-bit lane of each of the positions
// 0 to 31, the byte at the position and the one after it (`pair`: the
// position's in the high byte, the next one's in the low byte), or the
// k-th byte after it (`after`, k = 1 to 3, in the low byte); and the
// index of the byte after each of the 64 (`next`). Adding 32 serves
// positions 32 to 63: a permute reads only the low 6 bits of an index, so
// that bytes past the block wrap around to its start, garbage that only
// characters cut by its end would use.
struct LaneIndices {
    uint8_t pair[64];
    uint8_t after[3][64];
    uint8_t next[64];
};

constexpr LaneIndices MakeLaneIndices() {
    LaneIndices indices{};
    for (int lane = 0; lane < 32; ++lane) {
        indices.pair[2 * lane] = static_cast<uint8_t>(lane + 1);
        indices.pair[2 * lane + 1] = static_cast<uint8_t>(lane);
        for (int k = 0; k < 3; ++k) {
            indices.after[k][2 * lane] = static_cast<uint8_t>(lane + k + 1);
        }
    }
    for (int at = 0; at < 64; ++at) {
        indices.next[at] = static_cast<uint8_t>((at + 1) & 63);
    }
    return indices;
}

inline constexpr LaneIndices kLaneIndices = MakeLaneIndices();

// The low bytes of the 16-bit lanes.
constexpr uint64_t kLowBytes = 0x5555555555555555;

// The constants of a run, made once.
struct Utf8Constants {
    // Bytes from 0xC0 (signed, below: continuation bytes), 0xE0, 0xF0, 0xF8.
    __m512i c0;
    __m512i e0;
    __m512i f0;
    __m512i f8;
    __m512i pair[2];      // kLaneIndices.pair for each half
    __m512i after[2][2];  // kLaneIndices.after[k], k = 2 and 3, for each half
    __m512i next;
    __m512i value_bits;  // the bits of the first and second bytes in a 2-byte value
    __m512i value_weights;
    __m512i low_6;
    __m512i from_80;
    __m512i from_e0;
    __m512i high_surrogate;  // 0xD800 - (0x10000 >> 10)
    __m512i low_10;
    __m512i low_surrogate;
    __m512i low_5;
    __m512i interleave[2];  // 16-bit units 0-15 and 16-31, each low half then its high
    // Bytes F0, F4, F5 and 90, for the values UTF-16 cannot carry.
    __m512i b_f0;
    __m512i b_f4;
    __m512i b_f5;
    __m512i b_90;
    __m512i b_7f;
    __m512i b_c2;

    FAULTKIT_AVX512 Utf8Constants()
        : c0(_mm512_set1_epi8(-64)),
          e0(_mm512_set1_epi8(-32)),
          f0(_mm512_set1_epi8(-16)),
          f8(_mm512_set1_epi8(-8)),
          pair{Indices(kLaneIndices.pair, 0), Indices(kLaneIndices.pair, 1)},
          after{{Indices(kLaneIndices.after[1], 0), Indices(kLaneIndices.after[2], 0)},
                {Indices(kLaneIndices.after[1], 1), Indices(kLaneIndices.after[2], 1)}},
          next(avx512::Load(kLaneIndices.next)),
          value_bits(Set16(0x1F3F)),
          value_weights(Set16(0x4001)),
          low_6(Set16(0x3F)),
          from_80(Set16(0x8000)),
          from_e0(Set16(0xE000)),
          high_surrogate(Set16(0xD7C0)),
          low_10(Set16(0x3FF)),
          low_surrogate(Set16(0xDC00)),
          low_5(Set16(0x1F)),
          interleave{
              _mm512_set_epi16(47, 15, 46, 14, 45, 13, 44, 12, 43, 11, 42, 10, 41, 9, 40, 8, 39, 7,
                               38, 6, 37, 5, 36, 4, 35, 3, 34, 2, 33, 1, 32, 0),
              _mm512_set_epi16(63, 31, 62, 30, 61, 29, 60, 28, 59, 27, 58, 26, 57, 25, 56, 24, 55,
                               23, 54, 22, 53, 21, 52, 20, 51, 19, 50, 18, 49, 17, 48, 16)},
          b_f0(_mm512_set1_epi8(-0x10)),
          b_f4(_mm512_set1_epi8(-0x0C)),
          b_f5(_mm512_set1_epi8(-0x0B)),
          b_90(_mm512_set1_epi8(-0x70)),
          b_7f(_mm512_set1_epi8(0x7F)),
          b_c2(_mm512_set1_epi8(-62)) {
        MadeOnce(c0);
        MadeOnce(e0);
        MadeOnce(f0);
        MadeOnce(f8);
        MadeOnce(pair[0]);
        MadeOnce(pair[1]);
        MadeOnce(after[0][0]);
        MadeOnce(after[0][1]);
        MadeOnce(after[1][0]);
        MadeOnce(after[1][1]);
        MadeOnce(next);
        MadeOnce(value_bits);
        MadeOnce(value_weights);
        MadeOnce(low_6);
        MadeOnce(from_80);
        MadeOnce(from_e0);
        MadeOnce(high_surrogate);
        MadeOnce(low_10);
        MadeOnce(low_surrogate);
        MadeOnce(low_5);
        MadeOnce(interleave[0]);
        MadeOnce(interleave[1]);
        MadeOnce(b_f0);
        MadeOnce(b_f4);
        MadeOnce(b_f5);
        MadeOnce(b_90);
        MadeOnce(b_7f);
        MadeOnce(b_c2);
    }

    FAULTKIT_AVX512 static __m512i Indices(const uint8_t* table, int half) {
        return _mm512_add_epi8(avx512::Load(table), _mm512_set1_epi8(static_cast<char>(32 * half)));
    }
};

// The byte k = 2 or 3 positions after each of the 32 positions of a half,
// zero-extended to 16-bit lanes.
FAULTKIT_AVX512 inline __m512i ByteAfter(const Utf8Constants& c, __m512i x, int half, int k) {
    return _mm512_maskz_permutexvar_epi8(kLowBytes, c.after[half][k - 2], x);
}

FAULTKIT_AVX512 inline Block ScanBlock(const Utf8Constants& c, __m512i x, uint64_t high) {
    const ByteKindsOf<uint64_t> kinds{
        high, _mm512_cmplt_epi8_mask(x, c.c0), _mm512_cmpge_epu8_mask(x, c.e0),
        _mm512_cmpge_epu8_mask(x, c.f0), _mm512_cmpge_epu8_mask(x, c.f8)};
    return TakeBlock<kBlock>(kinds, true);
}

// The values of 32 positions, as sse2::LaneValues in ../sse2/utf8_scan.h,
// with two of their parts that the 4-byte characters use: the value as if
// it had 2 and 3 bytes.
struct HalfValues {
    __m512i value;
    __m512i two;
    __m512i three;
};

FAULTKIT_AVX512 inline HalfValues Values(const Utf8Constants& c, __m512i x, int half) {
    // Each position's byte in the high byte of its lane, the next in the
    // low byte.
    const __m512i pair = _mm512_permutexvar_epi8(c.pair[half], x);
    // (first & 0x1F) * 64 + (second & 0x3F), by multiplying the bytes
    // and adding the products.
    const __m512i two = _mm512_maddubs_epi16(_mm512_and_si512(pair, c.value_bits), c.value_weights);
    // two * 64 + (third & 0x3F); from E0 on, first & 0x1F is first & 0x0F.
    const __m512i three =
        _mm512_ternarylogic_epi32(_mm512_slli_epi16(two, 6), ByteAfter(c, x, half, 2), c.low_6,
                                  0xF8);  // a | (b & c)
    __m512i value = _mm512_srli_epi16(pair, 8);
    value = _mm512_mask_mov_epi16(value, _mm512_cmpge_epu16_mask(pair, c.from_80), two);
    value = _mm512_mask_mov_epi16(value, _mm512_cmpge_epu16_mask(pair, c.from_e0), three);
    return {value, two, three};
}

// Of the 4-byte leads of block x, those whose values UTF-16 cannot carry
// as a pair: from F0 80 up to F0 8F (overlong forms below 0x10000), from F4
// 90 up to F4 BF and from F5 on (above U+10FFFF).
FAULTKIT_AVX512 inline uint64_t BeyondPairs(const Utf8Constants& c, __m512i x) {
    const __m512i second = _mm512_permutexvar_epi8(c.next, x);
    const uint64_t below_90 = _mm512_cmplt_epu8_mask(second, c.b_90);
    const uint64_t f0 = _mm512_cmpeq_epi8_mask(x, c.b_f0);
    const uint64_t f4 = _mm512_cmpeq_epi8_mask(x, c.b_f4);
    const uint64_t from_f5 = _mm512_cmpge_epu8_mask(x, c.b_f5);
    return (f0 & below_90) | (f4 & ~below_90) | from_f5;
}

// Blocks of ASCII widened to 16-bit (Unit uint16_t) or 32-bit units.
template <typename Unit>
FAULTKIT_AVX512 inline void StoreAscii(__m512i x, uint8_t* dst) {
    if constexpr (sizeof(Unit) == 2) {
        _mm512_storeu_si512(dst, _mm512_cvtepu8_epi16(_mm512_castsi512_si256(x)));
        _mm512_storeu_si512(dst + 64, _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(x, 1)));
    } else {
        _mm512_storeu_si512(dst, _mm512_cvtepu8_epi32(_mm512_castsi512_si128(x)));
        _mm512_storeu_si512(dst + 64, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(x, 1)));
        _mm512_storeu_si512(dst + 128, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(x, 2)));
        _mm512_storeu_si512(dst + 192, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(x, 3)));
    }
}

template <typename Unit>
struct WideConverter {
    static constexpr bool kUtf16 = sizeof(Unit) == 2;
    static constexpr ptrdiff_t kSource = kBlock;
    static constexpr ptrdiff_t kRoom = kBlock * sizeof(Unit);

    Utf8Constants c;

    FAULTKIT_AVX512 Step Convert(const uint8_t* src, uint8_t* dst) const {
        const __m512i x = avx512::Load(src);
        const uint64_t high = _mm512_movepi8_mask(x);
        if (high == 0) {
            StoreAscii<Unit>(x, dst);
            return {kBlock, static_cast<int>(kRoom)};
        }
        Block block = ScanBlock(c, x, high);
        if constexpr (kUtf16) {
            // A value UTF-16 cannot carry as a pair ends the block before it.
            if (block.fours != 0) {
                const uint64_t beyond = BeyondPairs(c, x) & block.fours;
                if (beyond != 0) {
                    block.EndAt(LowestBit(beyond));
                }
            }
        }
        // A 4-byte character gives a pair of UTF-16 units, the second one
        // at the byte after its lead.
        const uint64_t units = kUtf16 ? block.leads | (block.fours << 1) : block.leads;
        uint8_t* out = dst;
        for (int half = 0; half < 2; ++half) {
            const auto these = static_cast<uint32_t>(units >> (32 * half));
            if (these != 0) {
                out = Emit(x, half, these, block.fours, out);
            }
        }
        return {block.taken, static_cast<int>(out - dst)};
    }

    // Writes the units of the positions in `these` of half `half`.
    FAULTKIT_AVX512 uint8_t* Emit(__m512i x, int half, uint32_t these, uint64_t fours,
                                  uint8_t* out) const {
        const HalfValues values = Values(c, x, half);
        const int count = avx512::Count(these);
        const auto leads = static_cast<uint32_t>(fours >> (32 * half));
        if constexpr (kUtf16) {
            __m512i lanes = values.value;
            const auto after = static_cast<uint32_t>((fours << 1) >> (32 * half));
            if ((leads | after) != 0) {
                // The code point shifted right by 10, less 0x10000 >> 10, is
                // the 3-byte value shifted right by 4, less 0x40.
                lanes = _mm512_mask_mov_epi16(
                    lanes, leads,
                    _mm512_add_epi16(_mm512_srli_epi16(values.three, 4), c.high_surrogate));
                // At the byte after the lead, the 3-byte value's low 10 bits
                // are those of the lead's third and fourth bytes.
                lanes = _mm512_mask_mov_epi16(
                    lanes, after,
                    _mm512_ternarylogic_epi32(values.three, c.low_10, c.low_surrogate,
                                              0xEA));  // (a & b) | c
            }
            avx512::StoreUnits16(out, _mm512_maskz_compress_epi16(these, lanes), count);
            return out + 2 * count;
        } else {
            __m512i low = values.value;
            __m512i high = _mm512_setzero_si512();
            if (leads != 0) {
                // Bits 0 to 15 and 16 to 20 of the 4-byte characters' values,
                // from their fourth bytes and their values as if they had 3
                // and 2 bytes.
                low = _mm512_mask_mov_epi16(
                    values.value, leads,
                    _mm512_ternarylogic_epi32(_mm512_slli_epi16(values.three, 6),
                                              ByteAfter(c, x, half, 3), c.low_6, 0xF8));
                high = _mm512_maskz_mov_epi16(
                    leads, _mm512_and_si512(_mm512_srli_epi16(values.two, 4), c.low_5));
            }
            const __m512i packed_low = _mm512_maskz_compress_epi16(these, low);
            const __m512i packed_high = _mm512_maskz_compress_epi16(these, high);
            // Units 0-15 and 16-31: each low half followed by its high half.
            const __m512i first =
                _mm512_permutex2var_epi16(packed_low, c.interleave[0], packed_high);
            const __m512i second =
                _mm512_permutex2var_epi16(packed_low, c.interleave[1], packed_high);
            avx512::StoreUnits32(out, first, count < 16 ? count : 16);
            if (count > 16) {
                avx512::StoreUnits32(out + 64, second, count - 16);
            }
            return out + 4 * count;
        }
    }
};

// To a code page. Bytes below 0x7F are themselves in every code page.
struct CodePageConverter {
    static constexpr ptrdiff_t kSource = kBlock;
    static constexpr ptrdiff_t kRoom = kBlock;

    const PageByteLookup* lookup;
    Utf8Constants c;

    FAULTKIT_AVX512 Step Convert(const uint8_t* src, uint8_t* dst) const {
        const __m512i x = avx512::Load(src);
        const uint64_t not_same = _mm512_cmpge_epu8_mask(x, c.b_7f);
        if (not_same == 0) {
            _mm512_storeu_si512(dst, x);
            return {kBlock, kBlock};
        }
        const Block block = ScanBlock(c, x, _mm512_movepi8_mask(x));
        __m512i bytes = x;
        // The 2-byte characters with lead bytes from C2 on, by rows of the
        // direct table, where there is one.
        uint64_t by_rows = 0;
        const uint8_t* direct = lookup->Direct();
        if (direct != nullptr) {
            by_rows =
                block.leads & _mm512_cmpge_epu8_mask(x, c.b_c2) & _mm512_cmplt_epu8_mask(x, c.e0);
            if (by_rows != 0) {
                bytes = _mm512_mask_mov_epi8(bytes, by_rows, RowBytes(x, direct));
            }
        }
        const int count = Count(block.leads);
        avx512::StoreBytes(dst, _mm512_maskz_compress_epi8(block.leads, bytes), count);
        // The rest, rare, one by one, written over what was stored in their
        // places.
        for (uint64_t rest = block.leads & not_same & ~by_rows; rest != 0; rest = _blsr_u64(rest)) {
            const int at = LowestBit(rest);
            const uint8_t* c = src + at;
            const uint32_t cp = c[0] < 0x80                      ? c[0]
                                : c[0] < 0xE0                    ? TwoByteValue(c)
                                : ((block.fours >> at) & 1) != 0 ? FourByteValue(c)
                                                                 : ThreeByteValue(c);
            dst[Count(_bzhi_u64(block.leads, static_cast<unsigned>(at)))] = (*lookup)(cp);
        }
        return {block.taken, count};
    }

    // The bytes of 2-byte characters, at their leads, looked up in the
    // direct table: each row of it that holds other bytes than the
    // replacement, the 64 code points of one lead byte, is one permute
    // indexed by the low 6 bits of the bytes after.
    FAULTKIT_AVX512 __m512i RowBytes(__m512i x, const uint8_t* direct) const {
        const __m512i next = _mm512_permutexvar_epi8(c.next, x);
        __m512i bytes = _mm512_set1_epi8(static_cast<char>(lookup->Replacement()));
        for (uint32_t rows = lookup->RowsNotReplaced() & ~uint32_t{3}; rows != 0;
             rows = _blsr_u32(rows)) {
            const int number = LowestBit(rows);
            const __m512i row = avx512::Load(direct + number * PageByteLookup::kRow);
            bytes = _mm512_mask_permutexvar_epi8(
                bytes,
                _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(static_cast<char>(0xC0 + number))), next,
                row);
        }
        return bytes;
    }
};

}  // namespace

FAULTKIT_AVX512 void avx512::Utf8ToUtf16Blocks(BlockCursor& cursor) {
    RunExactBlocks(cursor, WideConverter<uint16_t>{Utf8Constants()});
}

FAULTKIT_AVX512 void avx512::Utf8ToUtf32Blocks(BlockCursor& cursor) {
    RunExactBlocks(cursor, WideConverter<uint32_t>{Utf8Constants()});
}

FAULTKIT_AVX512 void avx512::Utf8ToCodePageBlocks(BlockCursor& cursor,
                                                  const PageByteLookup& lookup) {
    RunExactBlocks(cursor, CodePageConverter{&lookup, Utf8Constants()});
}

}  // namespace faultkit

#endif
