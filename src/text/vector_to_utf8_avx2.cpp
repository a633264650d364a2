// UTF-16 to UTF-8 with AVX2, 16 code points at a time.
//
// The UTF-8 forms of all 16 are computed in 256-bit registers as with SSE2
// (vector_utf8_forms.h), as 4-byte words; each group of 4 words is packed
// to its forms' bytes by a shuffle looked up by which of the 4 are from
// 0x80 and from 0x800 on (vector_avx2.h). A block with a UTF-16 high
// surrogate takes the SSE2 way for its first 8 units.
#include "text/vector_avx2.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/vector_block_runs.h"
#include "text/vector_utf8_forms.h"

namespace faultkit {
namespace {

using avx2::Count;

constexpr int kUnits = 16;

FAULTKIT_AVX2 inline __m256i Load256(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

FAULTKIT_AVX2 inline __m256i Set16(int value) {
    return _mm256_set1_epi16(static_cast<int16_t>(value));
}

// Lanes that are all ones where u & mask == 0.
FAULTKIT_AVX2 inline __m256i Clear(__m256i u, int mask) {
    return _mm256_cmpeq_epi16(_mm256_and_si256(u, Set16(mask)), _mm256_setzero_si256());
}

// Which of 16 code points are from 0x80 on (bits 0-7 for lanes 0-7, bits
// 16-23 for lanes 8-15) and from 0x800 on (bits 8-15, 24-31).
FAULTKIT_AVX2 inline unsigned Longer(__m256i u) {
    return ~static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_packs_epi16(Clear(u, 0xFF80), Clear(u, 0xF800))));
}

// The shuffle index of group g (lanes 4g to 4g + 3) from Longer's bits.
inline unsigned GroupIndex(unsigned longer, int g) {
    const int shift = 16 * (g / 2) + 4 * (g % 2);
    return ((longer >> shift) & 0xF) | (((longer >> (shift + 8)) & 0xF) << 4);
}

FAULTKIT_AVX2 inline int GroupSize(unsigned index) {
    return 4 + Count(index);
}

FAULTKIT_AVX2 inline __m256i GroupShuffles(unsigned index_low, unsigned index_high) {
    const auto* low = reinterpret_cast<const __m128i*>(avx2::kPackForms.entry[index_low]);
    const auto* high = reinterpret_cast<const __m128i*>(avx2::kPackForms.entry[index_high]);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(low)),
                                   _mm_loadu_si128(high), 1);
}

// What a block of 16 code points below 0x10000 gives.
struct Forms16 {
    unsigned index[4];
    int size[4];
};

FAULTKIT_AVX2 inline void PlanForms(__m256i u, Forms16* forms) {
    const unsigned longer = Longer(u);
#pragma GCC unroll 4
    for (int g = 0; g < 4; ++g) {
        forms->index[g] = GroupIndex(longer, g);
        forms->size[g] = GroupSize(forms->index[g]);
    }
}

// Writes the forms of the 16 code points u; the last store reaches
// 16 - forms.size[3] bytes past them.
FAULTKIT_AVX2 inline void WriteForms(__m256i u, const Forms16& forms, uint8_t* out) {
    const __m256i one = Clear(u, 0xFF80);
    const __m256i up_to_two = Clear(u, 0xF800);
    const __m256i lead =
        _mm256_blendv_epi8(_mm256_or_si256(_mm256_srli_epi16(u, 12), Set16(0xE0)),
                           _mm256_or_si256(_mm256_srli_epi16(u, 6), Set16(0xC0)), up_to_two);
    const __m256i first = _mm256_blendv_epi8(lead, u, one);
    const __m256i second = _mm256_or_si256(
        _mm256_and_si256(_mm256_blendv_epi8(_mm256_srli_epi16(u, 6), u, up_to_two), Set16(0x3F)),
        Set16(0x80));
    const __m256i third = _mm256_or_si256(_mm256_and_si256(u, Set16(0x3F)), Set16(0x80));
    const __m256i bytes01 = _mm256_or_si256(first, _mm256_slli_epi16(second, 8));
    // Words of lanes 0-3 and 8-11, and of lanes 4-7 and 12-15.
    const __m256i even = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(bytes01, third),
                                             GroupShuffles(forms.index[0], forms.index[2]));
    const __m256i odd = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(bytes01, third),
                                            GroupShuffles(forms.index[1], forms.index[3]));
    uint8_t* o = out;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(even));
    o += forms.size[0];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(odd));
    o += forms.size[1];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_extracti128_si256(even, 1));
    o += forms.size[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_extracti128_si256(odd, 1));
}

struct FormsPlan : PlanHead {
    bool placed;  // the SSE2 way, with `sse2`
    const uint8_t* src;
    Forms16 forms;
    sse2::PlacedForms sse2;
};

FAULTKIT_AVX2 inline void SetForms(FormsPlan* plan, __m256i u) {
    plan->placed = false;
    PlanForms(u, &plan->forms);
    plan->size =
        plan->forms.size[0] + plan->forms.size[1] + plan->forms.size[2] + plan->forms.size[3];
    plan->spill = 16 - plan->forms.size[3];
}

struct Utf16Converter {
    static constexpr ptrdiff_t kSource = 2 * kUnits;
    static constexpr ptrdiff_t kRoom = 64;
    static constexpr ptrdiff_t kSpill = 16;
    using Plan = FormsPlan;

    FAULTKIT_AVX2 static bool IsAscii(const uint8_t* p) {
        return _mm256_testz_si256(Load256(p), Set16(0xFF80)) != 0;
    }

    // 32 units at a time, then 16.
    FAULTKIT_AVX2 static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                        const uint8_t* dst_end) {
        const uint8_t* s = *src;
        uint8_t* d = *dst;
        while (src_end - s >= 4 * kUnits && dst_end - d >= 2 * kUnits) {
            const __m256i a = Load256(s);
            const __m256i b = Load256(s + 2 * kUnits);
            if (!_mm256_testz_si256(_mm256_or_si256(a, b), Set16(0xFF80))) {
                break;
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                                _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8));
            s += 4 * kUnits;
            d += 2 * kUnits;
        }
        while (src_end - s >= 2 * kUnits && dst_end - d >= kUnits && IsAscii(s)) {
            const __m256i a = Load256(s);
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(d),
                _mm_packus_epi16(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1)));
            s += 2 * kUnits;
            d += kUnits;
        }
        *src = s;
        *dst = d;
    }

    FAULTKIT_AVX2 void Scan(const uint8_t* p, Plan* plan) const {
        const __m256i u = Load256(p);
        plan->src = p;
        const __m256i high = _mm256_cmpeq_epi16(_mm256_and_si256(u, Set16(0xFC00)), Set16(0xD800));
        if (_mm256_testz_si256(high, high)) {
            plan->taken = 2 * kUnits;
            SetForms(plan, u);
            return;
        }
        sse2::Utf8Forms forms;
        const int count = sse2::Utf16Forms(_mm256_castsi256_si128(u), &forms);
        plan->placed = true;
        plan->taken = 2 * count;
        if (count != 0) {
            sse2::Place(forms, count, &plan->sse2);
            plan->size = plan->sse2.size;
            plan->spill = 4;
        }
    }

    FAULTKIT_AVX2 void Emit(const Plan& plan, uint8_t* out) const {
        if (plan.placed) {
            sse2::Write(plan.sse2, out);
        } else {
            WriteForms(Load256(plan.src), plan.forms, out);
        }
    }
};

}  // namespace

FAULTKIT_AVX2 __attribute__((flatten)) void Utf16ToUtf8BlocksAvx2(BlockCursor& cursor) {
    RunBlocks(cursor, Utf16Converter{});
}

}  // namespace faultkit

#endif
