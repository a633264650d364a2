// UTF-8 to UTF-16 and to the code pages with AVX2, 16 source bytes at a
// time: the block is scanned as with SSE2 (vector_utf8_scan.h), the values
// of all 16 positions are computed in one 256-bit register, and the
// positions that give output are packed together by two shuffles looked up
// by their masks (vector_avx2.h). A 4-byte character gives its high
// surrogate at its lead and its low one at the byte after.
#include "text/vector_avx2.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/character_coders.h"
#include "text/page_byte_lookup.h"
#include "text/vector_block_runs.h"
#include "text/vector_utf8_scan.h"

namespace faultkit {
namespace {

using avx2::Count;
using avx2::Shuffle;
using sse2::kBlock;
using sse2::LowestBit;
using sse2::Utf8Block;

FAULTKIT_AVX2 inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

FAULTKIT_AVX2 inline __m256i Set16(int value) {
    return _mm256_set1_epi16(static_cast<int16_t>(value));
}

// The bytes of block x from offset n on, zero-extended to 16-bit lanes.
template <int n>
FAULTKIT_AVX2 inline __m256i BytesFrom(__m128i x) {
    return _mm256_cvtepu8_epi16(_mm_srli_si128(x, n));
}

// The value of a 1- to 3-byte character starting at each position of
// block x (see sse2::LaneValues).
FAULTKIT_AVX2 inline __m256i Values(__m128i x) {
    const __m256i b0 = BytesFrom<0>(x);
    const __m256i low6 = Set16(0x3F);
    const __m256i two = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b0, Set16(0x1F)), 6),
                                        _mm256_and_si256(BytesFrom<1>(x), low6));
    const __m256i three =
        _mm256_or_si256(_mm256_slli_epi16(two, 6), _mm256_and_si256(BytesFrom<2>(x), low6));
    const __m256i value = _mm256_blendv_epi8(b0, two, _mm256_cmpgt_epi16(b0, Set16(0x7F)));
    return _mm256_blendv_epi8(value, three, _mm256_cmpgt_epi16(b0, Set16(0xDF)));
}

// Lanes that are all ones where `bits` has bit i set.
FAULTKIT_AVX2 inline __m256i LanesOf(unsigned bits) {
    const __m256i each = _mm256_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384, -32768);
    return _mm256_cmpeq_epi16(_mm256_and_si256(Set16(static_cast<int>(bits)), each), each);
}

// Puts the surrogate pair of each 4-byte character whose lead is in
// `fours` (all from U+10000 to U+10FFFF) at its lead and the byte after.
FAULTKIT_AVX2 inline __m256i WithPairs(__m256i values, __m128i x, unsigned fours) {
    const __m256i b0 = BytesFrom<0>(x);
    const __m256i b1 = BytesFrom<1>(x);
    const __m256i b2 = BytesFrom<2>(x);
    const __m256i low6 = Set16(0x3F);
    // The code point shifted right by 10, less 0x10000 >> 10.
    const __m256i top = _mm256_sub_epi16(
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b0, Set16(7)), 8),
                                        _mm256_slli_epi16(_mm256_and_si256(b1, low6), 2)),
                        _mm256_srli_epi16(_mm256_and_si256(b2, low6), 4)),
        Set16(0x40));
    const __m256i high = _mm256_or_si256(top, Set16(0xD800));
    // At the byte after the lead, b1 and b2 are the lead's third and fourth.
    const __m256i low =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b1, Set16(0xF)), 6),
                                        _mm256_and_si256(b2, low6)),
                        Set16(0xDC00));
    values = _mm256_blendv_epi8(values, high, LanesOf(fours));
    return _mm256_blendv_epi8(values, low, LanesOf(fours << 1));
}

// Blocks of ASCII, 32 and then 16 bytes at a time, widened to UTF-16.
FAULTKIT_AVX2 inline void WidenAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                     const uint8_t* dst_end) {
    const uint8_t* s = *src;
    uint8_t* d = *dst;
    while (src_end - s >= 2 * kBlock && dst_end - d >= 4 * kBlock) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
        if (_mm256_movemask_epi8(x) != 0) {
            break;
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                            _mm256_cvtepu8_epi16(_mm256_castsi256_si128(x)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 2 * kBlock),
                            _mm256_cvtepu8_epi16(_mm256_extracti128_si256(x, 1)));
        s += 2 * kBlock;
        d += 4 * kBlock;
    }
    while (src_end - s >= kBlock && dst_end - d >= 2 * kBlock) {
        const __m128i x = Load(s);
        if (_mm_movemask_epi8(x) != 0) {
            break;
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_cvtepu8_epi16(x));
        s += kBlock;
        d += 2 * kBlock;
    }
    *src = s;
    *dst = d;
}

struct Utf16Converter {
    static constexpr ptrdiff_t kSource = kBlock;
    static constexpr ptrdiff_t kRoom = 2 * kBlock;
    static constexpr ptrdiff_t kSpill = 16;

    struct Plan : PlanHead {
        unsigned units;  // bit i: position i gives a unit
        unsigned fours;
    };

    FAULTKIT_AVX2 static bool IsAscii(const uint8_t* p) { return _mm_movemask_epi8(Load(p)) == 0; }

    FAULTKIT_AVX2 static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                        const uint8_t* dst_end) {
        WidenAscii(src, dst, src_end, dst_end);
    }

    FAULTKIT_AVX2 void Scan(const uint8_t* p, Plan* plan) const {
        Utf8Block block = sse2::ScanBlock(Load(p), true);
        // A value UTF-16 cannot carry as a pair (an overlong form below
        // 0x10000, or one above U+10FFFF) ends the block before it.
        for (unsigned f = block.fours; f != 0; f &= f - 1) {
            const uint32_t cp = sse2::FourByteValue(p + LowestBit(f));
            if (cp < 0x10000 || cp > kUtf16MaxCodePoint) {
                block.EndAt(LowestBit(f));
                break;
            }
        }
        plan->src = p;
        plan->taken = block.taken;
        plan->fours = block.fours;
        plan->units = block.leads | (block.fours << 1);
        plan->size = 2 * Count(plan->units);
        plan->spill = avx2::JoinedSpill(plan->size);
    }

    FAULTKIT_AVX2 void Emit(const Plan& plan, uint8_t* out) const {
        const __m128i x = Load(plan.src);
        __m256i values = Values(x);
        if (plan.fours != 0) {
            values = WithPairs(values, x, plan.fours);
        }
        const unsigned low_units = plan.units & 0xFF;
        const __m128i low =
            Shuffle(_mm256_castsi256_si128(values), avx2::kPackWords.entry[low_units]);
        const __m128i high =
            Shuffle(_mm256_extracti128_si256(values, 1), avx2::kPackWords.entry[plan.units >> 8]);
        avx2::StoreJoined(low, 2 * Count(low_units), high, plan.size, out);
    }
};

// Bytes below 0x7F are themselves in every code page; they are the ASCII
// here.
struct CodePageConverter {
    static constexpr ptrdiff_t kSource = kBlock;
    static constexpr ptrdiff_t kRoom = kBlock;
    static constexpr ptrdiff_t kSpill = 8;

    const PageByteLookup* lookup;

    struct Plan : PlanHead {
        unsigned leads;
        unsigned fours;
    };

    FAULTKIT_AVX2 static bool IsSame(__m128i x) {
        return _mm_movemask_epi8(_mm_adds_epu8(x, _mm_set1_epi8(1))) == 0;
    }

    FAULTKIT_AVX2 static bool IsAscii(const uint8_t* p) { return IsSame(Load(p)); }

    FAULTKIT_AVX2 static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                        const uint8_t* dst_end) {
        const uint8_t* s = *src;
        uint8_t* d = *dst;
        while (src_end - s >= kBlock && dst_end - d >= kBlock) {
            const __m128i x = Load(s);
            if (!IsSame(x)) {
                break;
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), x);
            s += kBlock;
            d += kBlock;
        }
        *src = s;
        *dst = d;
    }

    FAULTKIT_AVX2 void Scan(const uint8_t* p, Plan* plan) const {
        const Utf8Block block = sse2::ScanBlock(Load(p), true);
        plan->src = p;
        plan->taken = block.taken;
        plan->leads = block.leads;
        plan->fours = block.fours;
        plan->size = Count(block.leads);
        plan->spill = 8 - Count(block.leads >> 8);
    }

    // Packs the own bytes of the values (those up to 0x7E, 0 among them)
    // and, in their places, garbage for the others; then looks those up
    // and writes them over it.
    FAULTKIT_AVX2 void Emit(const Plan& plan, uint8_t* out) const {
        const __m256i values = Values(Load(plan.src));
        const __m256i own_lanes =
            _mm256_cmpeq_epi16(_mm256_subs_epu16(values, Set16(0x7E)), _mm256_setzero_si256());
        const unsigned own = _mm_movemask_epi8(_mm_packs_epi16(
            _mm256_castsi256_si128(own_lanes), _mm256_extracti128_si256(own_lanes, 1)));
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(values), _mm256_extracti128_si256(values, 1));
        const __m128i shuffle = _mm_unpacklo_epi64(
            _mm_loadl_epi64(
                reinterpret_cast<const __m128i*>(avx2::kPackBytes.entry[plan.leads & 0xFF])),
            _mm_loadl_epi64(
                reinterpret_cast<const __m128i*>(avx2::kPackBytes.entry[plan.leads >> 8] + 8)));
        const __m128i packed = _mm_shuffle_epi8(bytes, shuffle);
        const int low_count = Count(plan.leads & 0xFF);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + low_count),
                         _mm_unpackhi_epi64(packed, packed));
        // 4-byte characters, whose lanes hold no value, among them.
        const unsigned lookups = (plan.leads & ~own) | plan.fours;
        if (lookups == 0) {
            return;
        }
        uint16_t lanes[kBlock];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), values);
        for (unsigned f = lookups; f != 0; f &= f - 1) {
            const int at = LowestBit(f);
            const bool four = ((plan.fours >> at) & 1) != 0;
            const uint32_t cp = four ? sse2::FourByteValue(plan.src + at) : lanes[at];
            out[Count(plan.leads & ((1u << at) - 1))] = (*lookup)(cp);
        }
    }
};

}  // namespace

FAULTKIT_AVX2 __attribute__((flatten)) void Utf8ToUtf16BlocksAvx2(BlockCursor& cursor) {
    RunBlocks(cursor, Utf16Converter{});
}

FAULTKIT_AVX2 __attribute__((flatten)) void Utf8ToCodePageBlocksAvx2(BlockCursor& cursor,
                                                                     const PageByteLookup& lookup) {
    RunBlocks(cursor, CodePageConverter{&lookup});
}

}  // namespace faultkit

#endif
