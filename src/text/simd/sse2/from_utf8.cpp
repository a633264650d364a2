// UTF-8 to UTF-16, UTF-32 and the code pages with SSE2, 16 source bytes at
// a time. A block is scanned (utf8_scan.h) and the values of its
// characters stored one by one (sse2_helpers.h), from the last position
// down, each at the offset of the last unit of the character it belongs
// to: the lead, stored last, leaves its value there, and nothing lands past
// the output.
#include "text/simd/sse2/sse2_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/encoding/character_coders.h"
#include "text/encoding/page_byte_lookup.h"
#include "text/simd/block_runs.h"
#include "text/simd/sse2/utf8_scan.h"

namespace faultkit {
namespace {

using sse2::Bits;
using sse2::BlockValues;
using sse2::kBlock;
using sse2::LastUnitOffsets;
using sse2::Load;
using sse2::ScanBlock;

// Converts blocks of ASCII while they fit: each by Convert(block, dst),
// which writes kOut bytes.
template <int kOut, class Convert>
inline void CopyBlocks(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                       const uint8_t* dst_end, __m128i above, Convert convert) {
    const uint8_t* s = *src;
    uint8_t* d = *dst;
    while (src_end - s >= kBlock && dst_end - d >= kOut) {
        const __m128i x = Load(s);
        if (Bits(_mm_adds_epu8(x, above)) != 0) {
            break;
        }
        convert(x, d);
        s += kBlock;
        d += kOut;
    }
    *src = s;
    *dst = d;
}

// To UTF-16 (Unit uint16_t) or UTF-32 (uint32_t).
template <typename Unit>
struct WideConverter {
    static constexpr ptrdiff_t kSource = kBlock;
    static constexpr ptrdiff_t kRoom = kBlock * sizeof(Unit);
    static constexpr ptrdiff_t kSpill = 0;
    static constexpr int kFourUnits = 4 / sizeof(Unit);

    struct Plan : PlanHead {
        Utf8Block block;
        uint8_t offsets[kBlock];
        uint8_t fours[4][4];  // the units of the 4-byte characters
    };

    static bool IsAscii(const uint8_t* p) { return Bits(Load(p)) == 0; }

    static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                          const uint8_t* dst_end) {
        CopyBlocks<kRoom>(
            src, dst, src_end, dst_end, _mm_setzero_si128(), [](__m128i x, uint8_t* d) {
                const __m128i zero = _mm_setzero_si128();
                const __m128i halves[2] = {_mm_unpacklo_epi8(x, zero), _mm_unpackhi_epi8(x, zero)};
                for (int h = 0; h < 2; ++h) {
                    if constexpr (sizeof(Unit) == 2) {
                        sse2::Store(d + 16 * h, halves[h]);
                    } else {
                        sse2::Store(d + 32 * h, _mm_unpacklo_epi16(halves[h], zero));
                        sse2::Store(d + 32 * h + 16, _mm_unpackhi_epi16(halves[h], zero));
                    }
                }
            });
    }

    void Scan(const uint8_t* p, Plan* out) const {
        Plan& plan = *out;
        plan.spill = 0;
        plan.src = p;
        const __m128i x = Load(p);
        plan.block = ScanBlock(x, true);
        // A value UTF-16 cannot carry as a pair (an overlong form below
        // 0x10000, or one above U+10FFFF) ends the block before it.
        int k = 0;
        for (unsigned f = plan.block.fours; f != 0; f &= f - 1) {
            const uint32_t cp = FourByteValue(p + LowestBit(f));
            if constexpr (sizeof(Unit) == 2) {
                if (cp < 0x10000 || cp > kUtf16MaxCodePoint) {
                    plan.block.EndAt(LowestBit(f));
                    break;
                }
                Utf16EncodeChar(cp, plan.fours[k++], nullptr);
            } else {
                Utf32EncodeChar(cp, plan.fours[k++], nullptr);
            }
        }
        plan.taken = plan.block.taken;
        if (plan.taken != 0) {
            plan.size = LastUnitOffsets(x, plan.block, kFourUnits, plan.offsets) *
                        static_cast<int>(sizeof(Unit));
        }
    }

    void Emit(const Plan& plan, uint8_t* out) const {
        uint16_t values[kBlock];
        BlockValues(Load(plan.src), values);
        sse2::StoreDownward<Unit, kBlock, sizeof(Unit)>(out, plan.offsets, values);
        int k = 0;
        for (unsigned f = plan.block.fours; f != 0; f &= f - 1) {
            const int first = plan.offsets[LowestBit(f)] + 1 - kFourUnits;
            std::memcpy(out + first * sizeof(Unit), plan.fours[k++], 4);
        }
    }
};

// To a code page, given its expanded reverse table. Bytes below 0x7F are
// themselves in every code page; they are the ASCII here.
struct CodePageConverter {
    static constexpr ptrdiff_t kSource = kBlock;
    static constexpr ptrdiff_t kRoom = kBlock;
    static constexpr ptrdiff_t kSpill = 0;

    const PageByteLookup* lookup;

    struct Plan : PlanHead {
        Utf8Block block;
        uint8_t offsets[kBlock];
    };

    static bool IsAscii(const uint8_t* p) {
        return Bits(_mm_adds_epu8(Load(p), _mm_set1_epi8(1))) == 0;
    }

    static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                          const uint8_t* dst_end) {
        CopyBlocks<kBlock>(src, dst, src_end, dst_end, _mm_set1_epi8(1),
                           [](__m128i x, uint8_t* d) { sse2::Store(d, x); });
    }

    void Scan(const uint8_t* p, Plan* out) const {
        Plan& plan = *out;
        plan.spill = 0;
        plan.src = p;
        const __m128i x = Load(p);
        plan.block = ScanBlock(x, true);
        plan.taken = plan.block.taken;
        if (plan.taken != 0) {
            plan.size = LastUnitOffsets(x, plan.block, 1, plan.offsets);
        }
    }

    void Emit(const Plan& plan, uint8_t* out) const {
        uint16_t values[kBlock];
        BlockValues(Load(plan.src), values);
        const __m128i lo = Load(values);
        const __m128i hi = Load(values + 8);
        // Values up to 0x7E are their own bytes (0 too, which an overlong
        // form can give); the others are looked up.
        const __m128i zero = _mm_setzero_si128();
        const __m128i limit = _mm_set1_epi16(0x7E);
        const unsigned own =
            Bits(_mm_packs_epi16(_mm_cmpeq_epi16(_mm_subs_epu16(lo, limit), zero),
                                 _mm_cmpeq_epi16(_mm_subs_epu16(hi, limit), zero)));
        uint8_t bytes[kBlock];
        sse2::Store(bytes, _mm_packus_epi16(lo, hi));
        // 4-byte characters, whose lanes hold no value, among them.
        for (unsigned f = (plan.block.leads & ~own) | plan.block.fours; f != 0; f &= f - 1) {
            const int at = LowestBit(f);
            const bool four = ((plan.block.fours >> at) & 1) != 0;
            bytes[at] = (*lookup)(four ? FourByteValue(plan.src + at) : values[at]);
        }
        sse2::StoreDownward<uint8_t, kBlock, 1>(out, plan.offsets, bytes);
    }
};

}  // namespace

void sse2::Utf8ToUtf16Blocks(BlockCursor& cursor) {
    RunBlocksInline(cursor, WideConverter<uint16_t>{});
}

void sse2::Utf8ToUtf32Blocks(BlockCursor& cursor) {
    RunBlocksInline(cursor, WideConverter<uint32_t>{});
}

void sse2::Utf8ToCodePageBlocks(BlockCursor& cursor, const PageByteLookup& lookup) {
    RunBlocksInline(cursor, CodePageConverter{&lookup});
}

}  // namespace faultkit

#endif
