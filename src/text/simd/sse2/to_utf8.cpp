// UTF-16 and UTF-32 to UTF-8 with SSE2, 8 code points at a time (16 source
// bytes of UTF-16, 32 of UTF-32).
//
// The code points are brought into 16-bit lanes: UTF-16 as it is, UTF-32
// when they are below 0x10000 (up to the first that is not). Their forms (utf8_forms.h) are
// stored as 4-byte words one by one, in order, at offsets from a prefix sum of their lengths
// (sse2_helpers.h); a word reaches up to 4 bytes past its form, which the next form, or the next
// block, overwrites. A high surrogate without its low one ends the block before it.
#include "text/simd/sse2/sse2_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/simd/block_runs.h"
#include "text/simd/sse2/utf8_forms.h"

namespace faultkit {
namespace {

using sse2::AllAscii;
using sse2::Bits;
using sse2::BmpForms;
using sse2::kLanes;
using sse2::Load;
using sse2::Place;
using sse2::PlacedForms;
using sse2::Utf8Forms;
using sse2::Write;

// What a converter below found: the forms of the code points it takes.
struct FormsPlan : PlanHead {
    PlacedForms forms;
};

// Converts blocks of kIn source bytes while they are ASCII and fit:
// narrow(src) gives the block narrowed to bytes in its low kIn / kUnit
// bytes, or sets *ascii false.
template <int kIn, int kUnit, class Narrow>
inline void NarrowBlocks(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                         const uint8_t* dst_end, Narrow narrow) {
    constexpr int kOut = kIn / kUnit;
    const uint8_t* s = *src;
    uint8_t* d = *dst;
    while (src_end - s >= kIn && dst_end - d >= 16) {
        bool ascii = true;
        const __m128i bytes = narrow(s, &ascii);
        if (!ascii) {
            break;
        }
        if constexpr (kOut == 16) {
            sse2::Store(d, bytes);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d), bytes);
        }
        s += kIn;
        d += kOut;
    }
    *src = s;
    *dst = d;
}

struct Utf16Converter {
    static constexpr ptrdiff_t kSource = 2 * kLanes;
    static constexpr ptrdiff_t kRoom = 3 * kLanes + 4;
    static constexpr ptrdiff_t kSpill = 4;
    using Plan = FormsPlan;

    static bool IsAscii(const uint8_t* p) { return AllAscii(Load(p)); }

    static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                          const uint8_t* dst_end) {
        NarrowBlocks<4 * kLanes, 2>(src, dst, src_end, dst_end, [](const uint8_t* s, bool* ascii) {
            const __m128i a = Load(s);
            const __m128i b = Load(s + 16);
            *ascii = AllAscii(_mm_or_si128(a, b));
            return _mm_packus_epi16(a, b);
        });
        NarrowBlocks<2 * kLanes, 2>(src, dst, src_end, dst_end, [](const uint8_t* s, bool* ascii) {
            const __m128i a = Load(s);
            *ascii = AllAscii(a);
            return _mm_packus_epi16(a, a);
        });
    }

    void Scan(const uint8_t* p, Plan* plan) const {
        Utf8Forms forms;
        const int count = sse2::Utf16Forms(Load(p), &forms);
        plan->taken = 2 * count;
        if (count != 0) {
            Place(forms, count, &plan->forms);
            plan->size = plan->forms.size;
            plan->spill = kSpill;
        }
    }

    void Emit(const Plan& plan, uint8_t* out) const { Write(plan.forms, out); }
};

struct Utf32Converter {
    static constexpr ptrdiff_t kSource = 4 * kLanes;
    static constexpr ptrdiff_t kRoom = 3 * kLanes + 4;
    static constexpr ptrdiff_t kSpill = 4;
    using Plan = FormsPlan;

    // The 8 units at p: their low halves in 16-bit lanes, and which are
    // 0x10000 or above (two bits a lane).
    static __m128i Units(const uint8_t* p, unsigned* beyond) {
        const __m128i a = Load(p);
        const __m128i b = Load(p + 16);
        // High halves saturated to 0x7FFF, so that none becomes 0.
        const __m128i above = _mm_packs_epi32(_mm_srli_epi32(a, 16), _mm_srli_epi32(b, 16));
        *beyond = Bits(_mm_cmpeq_epi16(above, _mm_setzero_si128())) ^ 0xFFFF;
        return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                               _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
    }

    static bool IsAscii(const uint8_t* p) {
        unsigned beyond = 0;
        const __m128i u = Units(p, &beyond);
        return beyond == 0 && AllAscii(u);
    }

    static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                          const uint8_t* dst_end) {
        NarrowBlocks<4 * kLanes, 4>(src, dst, src_end, dst_end, [](const uint8_t* s, bool* ascii) {
            unsigned beyond = 0;
            const __m128i u = Units(s, &beyond);
            *ascii = beyond == 0 && AllAscii(u);
            return _mm_packus_epi16(u, u);
        });
    }

    void Scan(const uint8_t* p, Plan* plan) const {
        unsigned beyond = 0;
        const __m128i u = Units(p, &beyond);
        const int count = beyond != 0 ? LowestBit(beyond) / 2 : kLanes;
        plan->taken = 4 * count;
        if (count != 0) {
            Place(BmpForms(u), count, &plan->forms);
            plan->size = plan->forms.size;
            plan->spill = kSpill;
        }
    }

    void Emit(const Plan& plan, uint8_t* out) const { Write(plan.forms, out); }
};

}  // namespace

void sse2::Utf16ToUtf8Blocks(BlockCursor& cursor) {
    RunBlocksInline(cursor, Utf16Converter{});
}

void sse2::Utf32ToUtf8Blocks(BlockCursor& cursor) {
    RunBlocksInline(cursor, Utf32Converter{});
}

}  // namespace faultkit

#endif
