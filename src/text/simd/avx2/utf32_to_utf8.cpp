// UTF-32 to UTF-8 with AVX2, 16 units at a time: each unit's form, of 1 to
// 4 bytes, is computed in its own 32-bit lane, 8 units a register, and each
// group of 4 is packed to its forms' bytes by a shuffle looked up by their
// lengths (avx2_helpers.h).
#include "text/simd/avx2/avx2_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/encoding/character_coders.h"
#include "text/simd/avx2/avx2_helpers.h"
#include "text/simd/bit_scan.h"
#include "text/simd/block_runs.h"

namespace faultkit {
namespace {

using avx2::Load256;

constexpr int kUnits = 16;

FAULTKIT_AVX2 inline void Store128(uint8_t* p, const uint8_t* bytes) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
}

FAULTKIT_AVX2 inline __m256i Set32(int value) {
    return _mm256_set1_epi32(value);
}

// The masks of 8 UTF-32 units from 0x80, 0x800 and 0x10000 on.
struct Utf32Lengths {
    __m256i from_80;
    __m256i from_800;
    __m256i from_10000;
};

FAULTKIT_AVX2 inline Utf32Lengths LengthsOf(__m256i u) {
    return {_mm256_cmpgt_epi32(u, Set32(0x7F)), _mm256_cmpgt_epi32(u, Set32(0x7FF)),
            _mm256_cmpgt_epi32(u, Set32(0xFFFF))};
}

// The shuffle indices (kPackForms) of the two groups of 4 lanes of 8 units
// up to U+10FFFF, one a byte.
FAULTKIT_AVX2 inline uint32_t GroupIndices(const Utf32Lengths& lengths) {
    // Bit 0 of the length less 1, and bit 1 (from 0x800 on).
    const __m256i odd =
        _mm256_xor_si256(_mm256_xor_si256(lengths.from_80, lengths.from_800), lengths.from_10000);
    const auto low = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(odd)));
    const auto high =
        static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(lengths.from_800)));
    return (low & 0xF) | ((high & 0xF) << 4) | ((low & 0xF0) << 4) | ((high & 0xF0) << 8);
}

// The UTF-8 forms of 8 units up to U+10FFFF, each in its 32-bit lane with
// its first byte lowest.
FAULTKIT_AVX2 inline __m256i FormsOf(__m256i u, const Utf32Lengths& lengths) {
    // The payloads of the 4-byte form: bits 18 and up, 12-17, 6-11, 0-5.
    const __m256i payloads = _mm256_or_si256(
        _mm256_or_si256(_mm256_srli_epi32(u, 18),
                        _mm256_and_si256(_mm256_srli_epi32(u, 4), Set32(0x3F00))),
        _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi32(u, 10), Set32(0x3F0000)),
                        _mm256_and_si256(_mm256_slli_epi32(u, 24), Set32(0x3F000000))));
    // A form k bytes shorter is the same shifted down by k bytes: the bits
    // its first byte gains above the payload's 6 are zero there. Its lead
    // and continuation marks are looked up by its length less 1.
    const __m256i less_one = _mm256_sub_epi32(
        _mm256_setzero_si256(),
        _mm256_add_epi32(_mm256_add_epi32(lengths.from_80, lengths.from_800), lengths.from_10000));
    const __m256i shift = _mm256_sub_epi32(Set32(24), _mm256_slli_epi32(less_one, 3));
    const __m256i marks = _mm256_permutevar8x32_epi32(
        _mm256_setr_epi32(0, 0x80C0, 0x8080E0, static_cast<int>(0x808080F0), 0, 0, 0, 0), less_one);
    const __m256i forms = _mm256_or_si256(_mm256_srlv_epi32(payloads, shift), marks);
    // ASCII is itself.
    return _mm256_blendv_epi8(u, forms, lengths.from_80);
}

struct Utf32Converter {
    static constexpr ptrdiff_t kSource = 4 * kUnits;
    static constexpr ptrdiff_t kRoom = 4 * kUnits;
    static constexpr ptrdiff_t kSpill = 12;

    struct Plan : PlanHead {
        int groups;          // of 4 units taken, packed in `packed`, 16 bytes each
        uint8_t offsets[5];  // of the groups' output, and its end
        uint8_t packed[4][16];
    };

    // Units above U+10FFFF (0x80000000 and up among them) have no form of
    // up to 4 bytes: a mask of 8 lanes, a bit each, of those up to it.
    FAULTKIT_AVX2 static uint32_t UpToMax(__m256i u) {
        const __m256i max = Set32(static_cast<int>(kUtf16MaxCodePoint));
        return static_cast<uint32_t>(_mm256_movemask_ps(
            _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_max_epu32(u, max), max))));
    }

    FAULTKIT_AVX2 static bool AllAscii(__m256i a, __m256i b) {
        return _mm256_testz_si256(_mm256_or_si256(a, b), Set32(~0x7F)) != 0;
    }

    FAULTKIT_AVX2 static bool IsAscii(const uint8_t* p) {
        return AllAscii(Load256(p), Load256(p + 32));
    }

    FAULTKIT_AVX2 static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                        const uint8_t* dst_end) {
        const uint8_t* s = *src;
        uint8_t* d = *dst;
        while (src_end - s >= 4 * kUnits && dst_end - d >= kUnits) {
            const __m256i a = Load256(s);
            const __m256i b = Load256(s + 32);
            if (!AllAscii(a, b)) {
                break;
            }
            const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                             _mm_packus_epi16(_mm256_castsi256_si128(words),
                                              _mm256_extracti128_si256(words, 1)));
            s += 4 * kUnits;
            d += kUnits;
        }
        *src = s;
        *dst = d;
    }

    // Packs the forms of 8 units in two groups into `packed` and gives the
    // sizes of their output.
    FAULTKIT_AVX2 static void Pack(__m256i u, uint8_t (*packed)[16], int sizes[2]) {
        const Utf32Lengths lengths = LengthsOf(u);
        const uint32_t indices = GroupIndices(lengths);
        const __m256i shuffles = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(
                reinterpret_cast<const __m128i*>(avx2::kPackForms.entry[indices & 0xFF]))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(avx2::kPackForms.entry[indices >> 8])),
            1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(packed),
                            _mm256_shuffle_epi8(FormsOf(u, lengths), shuffles));
        sizes[0] = avx2::kPackedFormsSizes.of[indices & 0xFF];
        sizes[1] = avx2::kPackedFormsSizes.of[indices >> 8];
    }

    // Takes the whole groups of 4 units before the first one above
    // U+10FFFF.
    FAULTKIT_AVX2 void Scan(const uint8_t* p, Plan* plan) const {
        const __m256i low = Load256(p);
        const __m256i high = Load256(p + 32);
        const uint32_t beyond = ~(UpToMax(low) | (UpToMax(high) << 8)) & 0xFFFF;
        plan->groups = beyond != 0 ? LowestBit(beyond) / 4 : 4;
        plan->taken = 16 * plan->groups;
        plan->src = p;
        int sizes[4];
        Pack(low, plan->packed, sizes);
        Pack(high, plan->packed + 2, sizes + 2);
        plan->offsets[0] = 0;
#pragma GCC unroll 4
        for (int g = 0; g < 4; ++g) {
            plan->offsets[g + 1] = static_cast<uint8_t>(plan->offsets[g] + sizes[g]);
        }
        plan->size = plan->offsets[plan->groups];
        plan->spill = plan->groups != 0 ? 16 - sizes[plan->groups - 1] : 0;
    }

    FAULTKIT_AVX2 void Emit(const Plan& plan, uint8_t* out) const {
        if (plan.groups == 4) {
#pragma GCC unroll 4
            for (int g = 0; g < 4; ++g) {
                Store128(out + plan.offsets[g], plan.packed[g]);
            }
            return;
        }
        for (int g = 0; g < plan.groups; ++g) {
            Store128(out + plan.offsets[g], plan.packed[g]);
        }
    }
};

}  // namespace

FAULTKIT_AVX2 __attribute__((flatten)) void avx2::Utf32ToUtf8Blocks(BlockCursor& cursor) {
    RunBlocks(cursor, Utf32Converter{});
}

}  // namespace faultkit

#endif
