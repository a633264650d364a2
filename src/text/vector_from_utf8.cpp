// UTF-8 to UTF-16, UTF-32 and the code pages, 16 source bytes at a time.
//
// A block is classified byte by byte (continuation byte, lead of 2, 3, 4,
// 5 or more bytes) into bit masks. The continuation bytes that the leads
// call for must be exactly the continuation bytes there are; the block is
// taken up to the character before the first place where they differ, up
// to the first lead left to the scalar code, and up to the character cut by
// the block's end. The value of a 1- to 3-byte character is computed for
// every byte position at once in 16-bit lanes; 4-byte characters, rare,
// one by one. Nothing else is checked: overlong forms and surrogates
// decode to the values the scalar decoder gives them. The outputs are then
// stored at offsets from a prefix sum (vector_sse2.h).
#include "text/vector_blocks.h"

#if defined(__SSE2__) || defined(_M_X64)

#include <algorithm>

#include "text/character_coders.h"
#include "text/reverse_tables.h"
#include "text/vector_block_runs.h"
#include "text/vector_sse2.h"

namespace faultkit {
namespace {

using sse2::Bits;
using sse2::FirstBytes;
using sse2::HighestBit;
using sse2::LowestBit;
using sse2::Select;

constexpr int kBlock = 16;

// The part of a block that is taken.
struct Utf8Block {
    int taken;       // bytes of the whole characters taken from its start
    unsigned leads;  // bit i: a taken character starts at byte i
    unsigned fours;  // the 4-byte characters among them

    // Takes only the characters before byte `at`.
    void EndAt(int at) {
        const unsigned before = (1u << at) - 1;
        taken = at;
        leads &= before;
        fours &= before;
    }
};

// Classifies the block x; 4-byte characters are taken if take_fours.
inline Utf8Block ScanBlock(__m128i x, bool take_fours) {
    const unsigned high = Bits(x);
    const unsigned continuation = Bits(_mm_cmplt_epi8(x, _mm_set1_epi8(-64)));  // 80..BF
    const unsigned from_e0 = high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-33)));
    const unsigned from_f0 = high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-17)));
    const unsigned from_f8 = high & Bits(_mm_cmpgt_epi8(x, _mm_set1_epi8(-9)));
    const unsigned from_c0 = high & ~continuation;
    const unsigned starts = ~continuation & 0xFFFF;
    // Each lead calls for a continuation byte after it, from E0 on for a
    // second, from F0 on for a third.
    const unsigned called = (from_c0 << 1) | (from_e0 << 2) | (from_f0 << 3);
    const unsigned cut = (from_c0 & 0x8000) | (from_e0 & 0x4000) | (from_f0 & 0x2000);
    int taken = cut != 0 ? LowestBit(cut) : kBlock;
    const unsigned mismatch = (called ^ continuation) & 0xFFFF;
    if (mismatch != 0) {
        // The character before the first mismatch is cut short or followed
        // by a stray continuation byte.
        const unsigned before = starts & ((1u << LowestBit(mismatch)) - 1);
        taken = std::min(taken, before != 0 ? HighestBit(before) : 0);
    }
    const unsigned refused = from_f8 | (take_fours ? 0 : from_f0);
    if (refused != 0) {
        taken = std::min(taken, LowestBit(refused));
    }
    const unsigned leads = starts & ((1u << taken) - 1);
    return {taken, leads, leads & from_f0};
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
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values),
                     LaneValues(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(x1, zero),
                                _mm_unpacklo_epi8(x2, zero)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values + 8),
                     LaneValues(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(x1, zero),
                                _mm_unpackhi_epi8(x2, zero)));
}

inline uint32_t FourByteValue(const uint8_t* p) {
    return (uint32_t{p[0] & 0x07u} << 18) | (uint32_t{p[1] & 0x3Fu} << 12) |
           (uint32_t{p[2] & 0x3Fu} << 6) | (p[3] & 0x3Fu);
}

// For each position of block x, the offset in units of the last unit of
// the character it belongs to, and for the positions after the taken
// characters that of the last unit of the last one. extra_for_fours: a
// 4-byte character takes two units, not one. Returns the total.
inline int UnitOffsets(__m128i x, const Utf8Block& block, bool extra_for_fours,
                       uint8_t offsets[kBlock]) {
    const __m128i starts = _mm_add_epi8(_mm_set1_epi8(1), _mm_cmplt_epi8(x, _mm_set1_epi8(-64)));
    __m128i units = _mm_and_si128(starts, FirstBytes(block.taken));
    if (extra_for_fours && block.fours != 0) {
        // Within the taken bytes, only 4-byte leads are F0 or above.
        const __m128i from_f0 = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-17)),
                                              _mm_cmplt_epi8(x, _mm_setzero_si128()));
        units = _mm_sub_epi8(units, _mm_and_si128(from_f0, FirstBytes(block.taken)));
    }
    const __m128i ends = sse2::PrefixSumBytes(units);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets), _mm_sub_epi8(ends, _mm_set1_epi8(1)));
    return _mm_extract_epi16(ends, 7) >> 8;
}

// UTF-16 and UTF-32 from a block at p, written at *out; the bytes taken.
template <typename Unit>
int WideBlock(const uint8_t* p, uint8_t** out, bool /*keep_past_output*/) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i zero = _mm_setzero_si128();
    uint8_t* o = *out;
    if (Bits(x) == 0) {  // ASCII: widen
        __m128i halves[2] = {_mm_unpacklo_epi8(x, zero), _mm_unpackhi_epi8(x, zero)};
        for (int h = 0; h < 2; ++h) {
            if constexpr (sizeof(Unit) == 2) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16 * h), halves[h]);
            } else {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 32 * h),
                                 _mm_unpacklo_epi16(halves[h], zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 32 * h + 16),
                                 _mm_unpackhi_epi16(halves[h], zero));
            }
        }
        *out = o + kBlock * sizeof(Unit);
        return kBlock;
    }
    Utf8Block block = ScanBlock(x, true);
    // 4-byte characters in the units the scalar encoder writes: a value
    // UTF-16 cannot carry as a pair (an overlong form below 0x10000, or one
    // above U+10FFFF) ends the block before it.
    uint8_t fours[4][4];
    int four_count = 0;
    for (unsigned f = block.fours; f != 0; f &= f - 1) {
        const uint32_t cp = FourByteValue(p + LowestBit(f));
        if constexpr (sizeof(Unit) == 2) {
            if (cp < 0x10000 || cp > kUtf16MaxCodePoint) {
                block.EndAt(LowestBit(f));
                break;
            }
            Utf16EncodeChar(cp, fours[four_count++], nullptr);
        } else {
            Utf32EncodeChar(cp, fours[four_count++], nullptr);
        }
    }
    if (block.taken == 0) {
        return 0;
    }
    uint8_t offsets[kBlock];
    const int total = UnitOffsets(x, block, sizeof(Unit) == 2, offsets);
    uint16_t values[kBlock];
    BlockValues(x, values);
    sse2::StoreDownward<Unit, kBlock, sizeof(Unit)>(o, offsets, values);
    int k = 0;
    for (unsigned f = block.fours; f != 0; f &= f - 1) {
        const int units = sizeof(Unit) == 2 ? 2 : 1;
        std::memcpy(o + (offsets[LowestBit(f)] + 1 - units) * sizeof(Unit), fours[k++], 4);
    }
    *out = o + total * sizeof(Unit);
    return block.taken;
}

// A code page from a block at p, written at *out; the bytes taken.
int CodePageBlock(const uint8_t* p, uint8_t** out, const uint8_t* reverse, uint8_t replacement) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    uint8_t* o = *out;
    // Bytes below 0x7F are themselves in every code page.
    if (Bits(_mm_adds_epu8(x, _mm_set1_epi8(1))) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), x);
        *out = o + kBlock;
        return kBlock;
    }
    const Utf8Block block = ScanBlock(x, false);
    if (block.taken == 0) {
        return 0;
    }
    uint16_t values[kBlock];
    BlockValues(x, values);
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + 8));
    // Values up to 0x7E are their own bytes (0 too, which an overlong form
    // can give); the others are looked up.
    const __m128i zero = _mm_setzero_si128();
    const __m128i limit = _mm_set1_epi16(0x7E);
    const unsigned own = Bits(_mm_packs_epi16(_mm_cmpeq_epi16(_mm_subs_epu16(lo, limit), zero),
                                              _mm_cmpeq_epi16(_mm_subs_epu16(hi, limit), zero)));
    uint8_t bytes[kBlock];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(lo, hi));
    for (unsigned f = block.leads & ~own; f != 0; f &= f - 1) {
        const int at = LowestBit(f);
        bytes[at] = CodePageByte(ExpandedLookup(reverse, values[at]), values[at], replacement);
    }
    uint8_t offsets[kBlock];
    const int total = UnitOffsets(x, block, false, offsets);
    sse2::StoreDownward<uint8_t, kBlock, 1>(o, offsets, bytes);
    *out = o + total;
    return block.taken;
}

}  // namespace

void Utf8ToUtf16Blocks(BlockCursor& cursor) {
    RunBlocks<kBlock, 2 * kBlock>(cursor, WideBlock<uint16_t>);
}

void Utf8ToUtf32Blocks(BlockCursor& cursor) {
    RunBlocks<kBlock, 4 * kBlock>(cursor, WideBlock<uint32_t>);
}

void Utf8ToCodePageBlocks(BlockCursor& cursor, const uint8_t* reverse, uint8_t replacement) {
    RunBlocks<kBlock, kBlock>(cursor, [=](const uint8_t* p, uint8_t** out, bool) {
        return CodePageBlock(p, out, reverse, replacement);
    });
}

}  // namespace faultkit

#endif
