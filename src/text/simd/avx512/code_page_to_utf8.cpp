// A code page to UTF-8 with AVX-512, 64 source bytes at a time.
//
// A run first makes the UTF-8 forms of the page's bytes from 0x80 on
// (../sse2/utf8_forms.h) and lays them out as three tables of 128 bytes,
// one for each byte of a form, the third 0 for forms of 2 bytes. A block
// of bytes below 0x7F, which are themselves in every code page, is copied;
// any other block looks up the bytes of its forms with one byte permute a
// table, interleaves them into 32-bit lanes, and compresses and stores
// them as the kernels to UTF-8 do (to_utf8.cpp).
#include "text/simd/avx512/avx512_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/simd/avx512/avx512_helpers.h"
#include "text/simd/sse2/utf8_forms.h"

namespace faultkit {
namespace {

using avx512::MadeOnce;
using avx512::Set32;
using avx512::Step;

constexpr int kBlock = 64;
// Runs shorter than this are left to the scalar code; the tables would
// cost more than they save.
constexpr ptrdiff_t kShortestRun = 128;

// Byte indices that interleave the bytes of a block's forms: `pairs[h]`
// the first and second bytes of positions 32h to 32h + 31, from a register
// of first bytes and one of second bytes (index + 64); `lanes[g]` the
// first two bytes of positions 16g to 16g + 15, from such pairs, and their
// third, from a register of third bytes (index + 64), into 32-bit lanes.
struct Interleaves {
    uint8_t pairs[2][64];
    uint8_t lanes[4][64];
};

constexpr Interleaves MakeInterleaves() {
    Interleaves table{};
    for (int h = 0; h < 2; ++h) {
        for (int i = 0; i < 32; ++i) {
            table.pairs[h][2 * i] = static_cast<uint8_t>(32 * h + i);
            table.pairs[h][2 * i + 1] = static_cast<uint8_t>(64 + 32 * h + i);
        }
    }
    for (int g = 0; g < 4; ++g) {
        for (int j = 0; j < 16; ++j) {
            const int in_pairs = 16 * (g % 2) + j;
            table.lanes[g][4 * j] = static_cast<uint8_t>(2 * in_pairs);
            table.lanes[g][4 * j + 1] = static_cast<uint8_t>(2 * in_pairs + 1);
            table.lanes[g][4 * j + 2] = static_cast<uint8_t>(64 + 16 * g + j);
        }
    }
    return table;
}

inline constexpr Interleaves kInterleaves = MakeInterleaves();

// The bytes 0 to 2 of 32-bit lanes, in their low byte.
constexpr uint64_t kFormBytes = 0x7777777777777777;

// A page's forms as tables, and the constants of a run.
struct PageForms {
    __m512i bytes[3][2];  // byte k of the forms of 0x80 + i, i < 64 and i >= 64
    __m512i pairs[2];
    __m512i lanes[4];
    __m512i first_byte;
    uint32_t form_7f;  // the form of 0x7F, unmapped in most pages

    FAULTKIT_AVX512 explicit PageForms(const uint16_t* table)
        : pairs{avx512::Load(kInterleaves.pairs[0]), avx512::Load(kInterleaves.pairs[1])},
          lanes{avx512::Load(kInterleaves.lanes[0]), avx512::Load(kInterleaves.lanes[1]),
                avx512::Load(kInterleaves.lanes[2]), avx512::Load(kInterleaves.lanes[3])},
          first_byte(Set32(0xFF)) {
        alignas(64) uint32_t words[256];
        sse2::BuildPageForms(table, words);
        form_7f = words[0x7F];
        for (int half = 0; half < 2; ++half) {
            __m128i parts[3][4];
            for (int q = 0; q < 4; ++q) {
                const __m512i w = avx512::Load(words + 128 + 64 * half + 16 * q);
                const __mmask16 three = _mm512_cmpeq_epi32_mask(_mm512_srli_epi32(w, 24), Set32(3));
                parts[0][q] = _mm512_cvtepi32_epi8(w);
                parts[1][q] = _mm512_cvtepi32_epi8(_mm512_srli_epi32(w, 8));
                parts[2][q] = _mm512_cvtepi32_epi8(_mm512_maskz_srli_epi32(three, w, 16));
            }
            for (int k = 0; k < 3; ++k) {
                bytes[k][half] = _mm512_inserti64x4(
                    _mm512_castsi256_si512(_mm256_setr_m128i(parts[k][0], parts[k][1])),
                    _mm256_setr_m128i(parts[k][2], parts[k][3]), 1);
            }
        }
        MadeOnce(bytes[0][0]);
        MadeOnce(bytes[0][1]);
        MadeOnce(bytes[1][0]);
        MadeOnce(bytes[1][1]);
        MadeOnce(bytes[2][0]);
        MadeOnce(bytes[2][1]);
        MadeOnce(pairs[0]);
        MadeOnce(pairs[1]);
        MadeOnce(lanes[0]);
        MadeOnce(lanes[1]);
        MadeOnce(lanes[2]);
        MadeOnce(lanes[3]);
        MadeOnce(first_byte);
    }
};

struct Converter {
    static constexpr ptrdiff_t kSource = kBlock;
    static constexpr ptrdiff_t kRoom = 3 * kBlock;

    const PageForms* page;

    FAULTKIT_AVX512 Step Convert(const uint8_t* src, uint8_t* dst) const {
        const PageForms& p = *page;
        const __m512i x = avx512::Load(src);
        const uint64_t not_same = _mm512_cmpge_epu8_mask(x, _mm512_set1_epi8(0x7F));
        if (not_same == 0) {
            _mm512_storeu_si512(dst, x);
            return {kBlock, kBlock};
        }
        // The permutes take the low 7 bits of each byte as the index; the
        // bytes below 0x80 keep themselves as the first byte and no other.
        const uint64_t high = _mm512_movepi8_mask(x);
        __m512i first = _mm512_mask2_permutex2var_epi8(p.bytes[0][0], x, high, p.bytes[0][1]);
        __m512i second = _mm512_maskz_permutex2var_epi8(high, p.bytes[1][0], x, p.bytes[1][1]);
        __m512i third = _mm512_maskz_permutex2var_epi8(high, p.bytes[2][0], x, p.bytes[2][1]);
        const uint64_t seven_f = not_same & ~high;
        if (seven_f != 0 && p.form_7f >> 24 == 3) {
            first = _mm512_mask_set1_epi8(first, seven_f, static_cast<char>(p.form_7f));
            second = _mm512_mask_set1_epi8(second, seven_f, static_cast<char>(p.form_7f >> 8));
            third = _mm512_mask_set1_epi8(third, seven_f, static_cast<char>(p.form_7f >> 16));
        }
        uint8_t* out = dst;
        for (int group = 0; group < 4; ++group) {
            const __m512i pairs = _mm512_permutex2var_epi8(first, p.pairs[group >> 1], second);
            const __m512i forms =
                _mm512_maskz_permutex2var_epi8(kFormBytes, pairs, p.lanes[group], third);
            out = avx512::StoreFormBytes(forms, 0xFFFF, p.first_byte, out);
        }
        return {kBlock, static_cast<int>(out - dst)};
    }
};

}  // namespace

FAULTKIT_AVX512 void avx512::CodePageToUtf8Blocks(BlockCursor& cursor, const uint16_t* table) {
    if (cursor.src_end - cursor.src < kShortestRun) {
        return;
    }
    const PageForms page(table);
    RunExactBlocks(cursor, Converter{&page});
}

}  // namespace faultkit

#endif
