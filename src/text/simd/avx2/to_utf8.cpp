// UTF-16 to UTF-8 with AVX2, 32 units a block in two runs of 16 (one run
// for what is left): the UTF-8 forms of a run's 16 units are computed in
// 256-bit registers and packed group by group (utf8_forms.h). A surrogate
// pair's 4-byte form is split into two halves of two bytes, one at each of
// its units, so that the same shuffles place it. A run with a high
// surrogate that has no low one after it in the run ends the block; as the
// first, it takes the SSE2 way.
#include "text/simd/avx2/avx2_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/simd/avx2/avx2_helpers.h"
#include "text/simd/avx2/utf8_forms.h"
#include "text/simd/block_runs.h"
#include "text/simd/sse2/utf8_forms.h"

namespace faultkit {
namespace {

using avx2::Count;
using avx2::LanesWhere;
using avx2::Lengths;
using avx2::Load256;
using avx2::Set16;

constexpr int kUnits = 16;

// Each lane given the previous lane's value (0 for the first), and the next
// lane's (0 for the last).
FAULTKIT_AVX2 inline __m256i Previous(__m256i v) {
    return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(v, v, 0x08), 14);
}

FAULTKIT_AVX2 inline __m256i Next(__m256i v) {
    return _mm256_alignr_epi8(_mm256_permute2x128_si256(v, v, 0x81), v, 2);
}

// 16 UTF-16 units: the high surrogates followed by a low one, the low ones
// after them, and the high ones without a low one after them in the block.
struct Surrogates {
    __m256i paired;
    __m256i after;
    unsigned lone;
};

FAULTKIT_AVX2 inline Surrogates SurrogatesOf(__m256i u) {
    const __m256i zero = _mm256_setzero_si256();
    if (_mm256_testz_si256(LanesWhere(u, 0xF800, 0xD800), _mm256_set1_epi8(-1))) {
        return {zero, zero, 0};  // none: the common case, without the lane shifts
    }
    const __m256i high = LanesWhere(u, 0xFC00, 0xD800);
    const __m256i paired = _mm256_and_si256(high, Next(LanesWhere(u, 0xFC00, 0xDC00)));
    return {paired, Previous(paired),
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_andnot_si256(paired, high)))};
}

FAULTKIT_AVX2 inline Lengths LengthsOf(__m256i u, const Surrogates& pairs) {
    const __m256i two = LanesWhere(u, 0xF800, 0);
    return {LanesWhere(u, 0xFF80, 0), two,
            _mm256_or_si256(two, _mm256_or_si256(pairs.paired, pairs.after))};
}

// The first two bytes of each form, and the third; surrogate pairs give
// their 4-byte form's first two bytes at the high surrogate and the last
// two at the low one.
FAULTKIT_AVX2 inline void FormBytes(__m256i u, const Lengths& lengths, const Surrogates& pairs,
                                    __m256i* bytes01, __m256i* third) {
    avx2::BmpFormBytes(u, lengths, bytes01, third);
    if (_mm256_testz_si256(pairs.paired, pairs.paired)) {
        return;
    }
    const __m256i low6 = Set16(0x3F);
    // The code point shifted right by 10, from the high surrogate's bits
    // and 0x10000 >> 10; at a low surrogate, that of the high one before.
    const __m256i top = _mm256_add_epi16(_mm256_and_si256(u, Set16(0x3FF)), Set16(0x40));
    const __m256i top_before = Previous(top);
    const __m256i b0 = _mm256_or_si256(_mm256_srli_epi16(top, 8), Set16(0xF0));
    const __m256i b1 =
        _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(top, 2), low6), Set16(0x80));
    const __m256i b2 = _mm256_or_si256(
        _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(top_before, Set16(3)), 4),
                        _mm256_and_si256(_mm256_srli_epi16(u, 6), Set16(0xF))),
        Set16(0x80));
    const __m256i b3 = _mm256_or_si256(_mm256_and_si256(u, low6), Set16(0x80));
    *bytes01 =
        _mm256_blendv_epi8(*bytes01, _mm256_or_si256(b0, _mm256_slli_epi16(b1, 8)), pairs.paired);
    *bytes01 =
        _mm256_blendv_epi8(*bytes01, _mm256_or_si256(b2, _mm256_slli_epi16(b3, 8)), pairs.after);
}

// The forms of 16 units without a high surrogate that has no low one after
// it: what WriteForms needs, and their number of bytes.
struct Forms {
    uint32_t indices;
    int size;
    __m256i bytes01;
    __m256i third;
};

FAULTKIT_AVX2 inline void FormsOf(__m256i u, const Surrogates& pairs, Forms* forms) {
    const Lengths lengths = LengthsOf(u, pairs);
    FormBytes(u, lengths, pairs, &forms->bytes01, &forms->third);
    forms->indices = avx2::GroupIndices(lengths);
    forms->size = avx2::PackedFormsSize(forms->indices, 4);
}

// A block is up to kRuns runs of 16 units: two, so that the loop around
// the kernel runs once for 32 units, and one for what is left. A second
// run is taken only when the first is.
template <int kRuns>
struct Utf16Converter {
    static constexpr ptrdiff_t kSource = kRuns * 2 * kUnits;
    static constexpr ptrdiff_t kSpill = 16;
    static constexpr ptrdiff_t kRoom = kRuns * 3 * kUnits + kSpill;  // 3 bytes a unit at most

    // The forms' bytes are worked out once, by Scan, which needs their
    // lengths anyway.
    struct Plan : PlanHead {
        int runs;  // runs of 16 units taken; 0 for the SSE2 way, with `sse2`
        Forms forms[kRuns];
        sse2::PlacedForms sse2;
    };

    FAULTKIT_AVX2 static bool IsAscii(const uint8_t* p) {
        return _mm256_testz_si256(Load256(p), Set16(0xFF80)) != 0;
    }

    // 32 units at a time, then 16. Where 32 units are not ASCII but all
    // have forms of 1 or 2 bytes (an accented letter in English, or Latin,
    // Greek, Cyrillic text), they are written here too: leaving the copy
    // for the block loop and coming back costs more than they do.
    FAULTKIT_AVX2 static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                        const uint8_t* dst_end) {
        const uint8_t* s = *src;
        uint8_t* d = *dst;
        while (src_end - s >= 4 * kUnits && dst_end - d >= 2 * kUnits) {
            const __m256i a = Load256(s);
            const __m256i b = Load256(s + 2 * kUnits);
            const __m256i both = _mm256_or_si256(a, b);
            if (_mm256_testz_si256(both, Set16(0xFF80))) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                                    _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8));
                d += 2 * kUnits;
            } else if (_mm256_testz_si256(both, Set16(0xF800)) && dst_end - d >= 4 * kUnits + 8) {
                d = WriteShortRuns(a, b, d);
            } else {
                break;
            }
            s += 4 * kUnits;
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

    // Two runs of 16 units whose forms all have 1 or 2 bytes, written
    // exactly: the 8 bytes that the last store reaches past the forms are
    // read before and put back after. Returns the end of the forms.
    FAULTKIT_AVX2 static uint8_t* WriteShortRuns(__m256i a, __m256i b, uint8_t* d) {
        const avx2::ShortForms first = avx2::ShortFormsOf(a);
        const avx2::ShortForms second = avx2::ShortFormsOf(b);
        uint8_t* middle = d + avx2::ShortFormsSize(first);
        uint8_t* end = middle + avx2::ShortFormsSize(second);
        const __m128i past = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(end));
        avx2::WriteShortForms(first, d);
        avx2::WriteShortForms(second, middle);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(end), past);
        return end;
    }

    // A run with a high surrogate that has no low one after it ends the
    // block before it; when it is the first, the SSE2 way takes the first
    // 8 units.
    FAULTKIT_AVX2 void Scan(const uint8_t* p, Plan* plan) const {
        const __m256i u = Load256(p);
        plan->src = p;
        const Surrogates pairs = SurrogatesOf(u);
        if (pairs.lone == 0) {
            ScanRuns(u, pairs, plan);
            return;
        }
        plan->runs = 0;
        sse2::Utf8Forms forms;
        const int count = sse2::Utf16Forms(_mm256_castsi256_si128(u), &forms);
        plan->taken = 2 * count;
        if (count != 0) {
            sse2::Place(forms, count, &plan->sse2);
            plan->size = plan->sse2.size;
            plan->spill = 4;
        }
    }

    // The block at plan->src, whose first run u has no high surrogate
    // without a low one after it. A second run of ASCII is left to the
    // ASCII copy, which is faster.
    FAULTKIT_AVX2 static void ScanRuns(__m256i u, const Surrogates& pairs, Plan* plan) {
        FormsOf(u, pairs, &plan->forms[0]);
        plan->runs = 1;
        plan->size = plan->forms[0].size;
        if constexpr (kRuns == 2) {
            const uint8_t* at = plan->src + 2 * kUnits;
            const __m256i second = Load256(at);
            const Surrogates second_pairs = SurrogatesOf(second);
            if (second_pairs.lone == 0 && !IsAscii(at)) {
                plan->runs = 2;
                FormsOf(second, second_pairs, &plan->forms[1]);
                plan->size += plan->forms[1].size;
            }
        }
        plan->taken = 2 * kUnits * plan->runs;
        plan->spill = 16 - avx2::GroupSize(plan->forms[plan->runs - 1].indices, 3);
    }

    // The second run's forms overwrite the bytes the first one's stores
    // reach past them.
    FAULTKIT_AVX2 void Emit(const Plan& plan, uint8_t* out) const {
        if (plan.runs == 0) {
            sse2::Write(plan.sse2, out);
            return;
        }
        const Forms& first = plan.forms[0];
        avx2::WriteForms(first.bytes01, first.third, first.indices, out);
        if constexpr (kRuns == 2) {
            if (plan.runs == 2) {
                const Forms& second = plan.forms[1];
                avx2::WriteForms(second.bytes01, second.third, second.indices, out + first.size);
            }
        }
    }
};

}  // namespace

FAULTKIT_AVX2 __attribute__((flatten)) void avx2::Utf16ToUtf8Blocks(BlockCursor& cursor) {
    RunBlocks(cursor, Utf16Converter<2>{});
    RunBlocks(cursor, Utf16Converter<1>{});
}

}  // namespace faultkit

#endif
