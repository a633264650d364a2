// A code page to UTF-8 with AVX2, 32 source bytes at a time.
//
// As with SSE2 (../sse2/code_page_to_utf8.cpp): a run first computes the
// UTF-8 form of each of the page's 256 bytes into a table of words, the
// form's bytes from the low end and its length in the top byte. A block
// of bytes below 0x7F, which are themselves in every code page, is copied
// whole; so is each half of 16 such bytes in any other block, and the
// other halves take one load and one word store a byte, the next byte's
// store landing where the top of the word went. The last store of a block
// reaches up to 3 bytes past its output: in place only when another block
// follows and overwrites them, else through a scratch buffer.
//
// The forms are not gathered: with the microcode that closes the gather
// data sampling leak, AVX2 gathers take several times as long as the
// loads they replace.
#include "text/simd/avx2/avx2_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include <cstring>

#include "text/simd/avx2/avx2_helpers.h"
#include "text/simd/sse2/utf8_forms.h"

namespace faultkit {
namespace {

constexpr int kBlock = 32;
// Runs shorter than this are left to the scalar code; the tables would
// cost more than they save.
constexpr ptrdiff_t kShortestRun = 64;

// Bit i: byte i of block x is below 0x7F, which is itself in every code
// page.
FAULTKIT_AVX2 inline uint32_t SameBytes(__m256i x) {
    return ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_adds_epu8(x, _mm256_set1_epi8(1))));
}

// The most a block writes: 32 forms of up to 3 bytes, the last store of
// 4 bytes reaching up to 3 bytes past them but no further than 1 past 32
// forms of 3.
constexpr ptrdiff_t kBlockRoom = 3 * kBlock + 1;

// Converts the block at src to dst, `same` marking its bytes that are
// themselves; the end of its output.
FAULTKIT_AVX2 inline uint8_t* ConvertBlock(const uint32_t forms[256], uint32_t same,
                                           const uint8_t* src, uint8_t* dst) {
    uint8_t* o = dst;
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h) {
        if (((same >> (16 * h)) & 0xFFFF) == 0xFFFF) {
            std::memcpy(o, src + 16 * h, 16);
            o += 16;
            continue;
        }
#pragma GCC unroll 16
        for (int i = 16 * h; i < 16 * h + 16; ++i) {
            const uint32_t form = forms[src[i]];
            std::memcpy(o, &form, 4);
            o += form >> 24;
        }
    }
    return o;
}

}  // namespace

FAULTKIT_AVX2 void avx2::CodePageToUtf8Blocks(BlockCursor& cursor, const uint16_t* table) {
    if (cursor.src_end - cursor.src < kShortestRun) {
        return;
    }
    uint32_t forms[256];
    sse2::BuildPageForms(table, forms);
    const uint8_t* src = cursor.src;
    uint8_t* dst = cursor.dst;
    while (cursor.src_end - src >= kBlock && cursor.dst_end - dst >= kBlockRoom) {
        const __m256i x = avx2::Load256(src);
        const uint32_t same = SameBytes(x);
        if (same == ~uint32_t{0}) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), x);
            dst += kBlock;
        } else if (!cursor.keep_past_output ||
                   (cursor.src_end - src >= 2 * kBlock && cursor.dst_end - dst >= 2 * kBlockRoom)) {
            dst = ConvertBlock(forms, same, src, dst);  // another block follows
        } else {
            uint8_t scratch[kBlockRoom];
            const auto size =
                static_cast<size_t>(ConvertBlock(forms, same, src, scratch) - scratch);
            std::memcpy(dst, scratch, size);
            dst += size;
        }
        src += kBlock;
    }
    cursor.src = src;
    cursor.dst = dst;
}

}  // namespace faultkit

#endif
