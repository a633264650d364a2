// A code page to UTF-8 with AVX2, 32 source bytes at a time.
//
// A block of bytes below 0x7F, which are themselves in every code page, is
// copied whole. In any other block the code point of every byte is found
// with byte shuffles. The page's bytes fall in 16 rows of 16 by their high
// 4 bits; a row whose bytes are all themselves (those below 0x70 in every
// page, and for instance the Latin-1 rows of Windows-1252) needs no
// lookup. Each other row has two shuffles, made once a run from the page's
// table, that give the low and the high byte of its code points by the
// byte's low 4 bits. The index a row's shuffle is given has the top bit
// set for the bytes of the other rows, so that they get 0 and the rows'
// results can be or-ed together. The code points, all below 0x10000, then
// take their forms of 1 to 3 bytes 16 at a time (utf8_forms.h): exactly
// the forms the scalar encoder writes for them. The last store of a block
// reaches up to 12 bytes past its output: in place only when another block
// follows and overwrites them, else through a scratch buffer.
//
// The code points are not gathered: with the microcode that closes the
// gather data sampling leak, AVX2 gathers take several times as long as
// the shuffles they replace.
#include "text/simd/avx2/avx2_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include <cstddef>
#include <cstring>

#include "text/simd/avx2/avx2_helpers.h"
#include "text/simd/avx2/utf8_forms.h"

namespace faultkit {
namespace {

constexpr int kBlock = 32;
// Runs shorter than this are left to the scalar code; the shuffles would
// cost more than they save.
constexpr ptrdiff_t kShortestRun = 64;

constexpr int kRows = 16;

// The rows that are looked up: the low and high bytes of their code
// points, the 16 of a row in both 128-bit halves, as the shuffles read
// them, and their first byte in every lane; and a shuffle that gives 0xFF
// for a row number whose bytes are themselves, 0 for the others.
struct PageRows {
    int looked;
    __m256i low[kRows];
    __m256i high[kRows];
    __m256i start[kRows];
    __m256i same;
};

FAULTKIT_AVX2 inline PageRows RowsOf(const uint16_t* table) {
    // In each 128-bit half, the low bytes of its 8 code points, then the
    // high bytes.
    const __m256i split = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15,
                                           0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const __m256i up = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    PageRows rows;
    rows.looked = 0;
    alignas(32) uint8_t same[32] = {};
    for (int r = 0; r < kRows; ++r) {
        const __m256i points = avx2::Load256(table + 16 * r);
        // The 16 low bytes, then the 16 high bytes.
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(points, split), 0xD8);
        const __m256i selves = _mm256_add_epi16(up, avx2::Set16(16 * r));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(points, selves)) == -1) {
            same[r] = same[16 + r] = 0xFF;
            continue;
        }
        rows.low[rows.looked] = _mm256_permute2x128_si256(bytes, bytes, 0x00);
        rows.high[rows.looked] = _mm256_permute2x128_si256(bytes, bytes, 0x11);
        rows.start[rows.looked++] = _mm256_set1_epi8(static_cast<char>(16 * r));
    }
    rows.same = _mm256_load_si256(reinterpret_cast<const __m256i*>(same));
    return rows;
}

// Whether every byte of block x is below 0x7F, which is itself in every
// code page.
FAULTKIT_AVX2 inline bool AllSame(__m256i x) {
    return _mm256_movemask_epi8(_mm256_adds_epu8(x, _mm256_set1_epi8(1))) == 0;
}

// The code points of the 32 bytes of x: bytes 0 to 15 in *first, 16 to 31
// in *second.
FAULTKIT_AVX2 inline void CodePoints(const PageRows& rows, __m256i x, __m256i* first,
                                     __m256i* second) {
    const __m256i row = _mm256_and_si256(_mm256_srli_epi16(x, 4), _mm256_set1_epi8(0x0F));
    __m256i low = _mm256_and_si256(x, _mm256_shuffle_epi8(rows.same, row));
    __m256i high = _mm256_setzero_si256();
    // The same rows every block of a run, which the branch predictor
    // follows.
    for (int r = 0; r < rows.looked; ++r) {
        // The low 4 bits in the row's bytes; from 0x80 up in the others.
        const __m256i index =
            _mm256_adds_epu8(_mm256_xor_si256(x, rows.start[r]), _mm256_set1_epi8(0x70));
        low = _mm256_or_si256(low, _mm256_shuffle_epi8(rows.low[r], index));
        high = _mm256_or_si256(high, _mm256_shuffle_epi8(rows.high[r], index));
    }
    // Bytes 0-7 and 16-23, then 8-15 and 24-31, widened to their code points.
    const __m256i a = _mm256_unpacklo_epi8(low, high);
    const __m256i b = _mm256_unpackhi_epi8(low, high);
    *first = _mm256_permute2x128_si256(a, b, 0x20);
    *second = _mm256_permute2x128_si256(a, b, 0x31);
}

// Writes the forms of 16 code points below 0x10000; the end of their
// bytes. The stores reach up to 12 bytes past them.
FAULTKIT_AVX2 inline uint8_t* WritePoints(__m256i points, uint8_t* out) {
    const avx2::Lengths lengths = avx2::BmpLengths(points);
    __m256i bytes01;
    __m256i third;
    avx2::BmpFormBytes(points, lengths, &bytes01, &third);
    const uint32_t indices = avx2::GroupIndices(lengths);
    avx2::WriteForms(bytes01, third, indices, out);
    return out + avx2::PackedFormsSize(indices, 4);
}

// The most a block writes: 32 forms of up to 3 bytes and 12 bytes past
// them.
constexpr ptrdiff_t kBlockRoom = 3 * kBlock + 12;

// Converts the block x to dst; the end of its output.
FAULTKIT_AVX2 inline uint8_t* ConvertBlock(const PageRows& rows, __m256i x, uint8_t* dst) {
    __m256i first;
    __m256i second;
    CodePoints(rows, x, &first, &second);
    return WritePoints(second, WritePoints(first, dst));
}

}  // namespace

FAULTKIT_AVX2 __attribute__((flatten)) void avx2::CodePageToUtf8Blocks(BlockCursor& cursor,
                                                                 const uint16_t* table) {
    if (cursor.src_end - cursor.src < kShortestRun) {
        return;
    }
    const PageRows rows = RowsOf(table);
    const uint8_t* src = cursor.src;
    uint8_t* dst = cursor.dst;
    while (cursor.src_end - src >= kBlock && cursor.dst_end - dst >= kBlockRoom) {
        const __m256i x = avx2::Load256(src);
        if (AllSame(x)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), x);
            dst += kBlock;
        } else if (!cursor.keep_past_output ||
                   (cursor.src_end - src >= 2 * kBlock && cursor.dst_end - dst >= 2 * kBlockRoom)) {
            dst = ConvertBlock(rows, x, dst);  // another block follows
        } else {
            uint8_t scratch[kBlockRoom];
            const auto size = static_cast<size_t>(ConvertBlock(rows, x, scratch) - scratch);
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
