// A code page to UTF-8, 16 source bytes at a time.
//
// A run first computes the UTF-8 form of each of the page's 256 bytes with
// SSE2 (utf8_forms.h) into a table of words: the form's bytes from
// the low end, its length in the top byte. A block of bytes below 0x7F,
// which are themselves in every code page, is copied; any other block
// takes one load and one word store a byte, the next byte's store landing
// where the top of the word went. The last store of a block reaches up to
// 3 bytes past its output: in place only when another block follows and
// overwrites them, else through a scratch buffer (as in
// ../block_runs.h).
#include "text/simd/sse2/sse2_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include <cstring>

#include "text/simd/sse2/utf8_forms.h"

namespace faultkit {
namespace {

using sse2::Bits;
using sse2::Load;

constexpr ptrdiff_t kBlock = 16;
// The most a block writes: 16 forms of 3 bytes, and 3 bytes past them.
constexpr ptrdiff_t kBlockRoom = 3 * kBlock + 3;
// Runs shorter than this are left to the scalar code; the table would
// cost more than it saves.
constexpr ptrdiff_t kShortestRun = 64;

// Bytes below 0x7F are themselves in every code page.
bool AllSame(__m128i x) {
    return Bits(_mm_adds_epu8(x, _mm_set1_epi8(1))) == 0;
}

// Converts the block at src to dst; the end of its output.
uint8_t* ConvertBlock(const uint32_t forms[256], const uint8_t* src, uint8_t* dst) {
#pragma GCC unroll 16
    for (int i = 0; i < kBlock; ++i) {
        const uint32_t form = forms[src[i]];
        std::memcpy(dst, &form, 4);
        dst += form >> 24;
    }
    return dst;
}

}  // namespace

void sse2::CodePageToUtf8Blocks(BlockCursor& cursor, const uint16_t* table) {
    if (cursor.src_end - cursor.src < kShortestRun) {
        return;
    }
    uint32_t forms[256];
    sse2::BuildPageForms(table, forms);
    const uint8_t* src = cursor.src;
    uint8_t* dst = cursor.dst;
    while (cursor.src_end - src >= kBlock && cursor.dst_end - dst >= kBlockRoom) {
        const __m128i x = Load(src);
        if (AllSame(x)) {
            sse2::Store(dst, x);
            dst += kBlock;
        } else if (!cursor.keep_past_output ||
                   (cursor.src_end - src >= 2 * kBlock && cursor.dst_end - dst >= 2 * kBlockRoom)) {
            dst = ConvertBlock(forms, src, dst);  // another block follows
        } else {
            uint8_t scratch[kBlockRoom];
            const auto size = static_cast<size_t>(ConvertBlock(forms, src, scratch) - scratch);
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
