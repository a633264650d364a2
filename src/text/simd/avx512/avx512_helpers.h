// AVX-512 helpers shared by the AVX-512 kernels.
//
// The kernels compute a block's output in 512-bit registers, pack it with
// a compress by the mask of the positions that give output, and store it
// with a masked store of exactly its bytes; nothing is written past the
// output, so that, unlike the kernels of the other instruction sets, they
// need no scratch buffer for a run's last block.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "text/simd/block_kernels.h"

#define FAULTKIT_AVX512 \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")))

namespace faultkit::avx512 {

FAULTKIT_AVX512 inline __m512i Load(const void* p) {
    return _mm512_loadu_si512(p);
}

FAULTKIT_AVX512 inline __m512i Set16(int value) {
    return _mm512_set1_epi16(static_cast<int16_t>(value));
}

FAULTKIT_AVX512 inline __m512i Set32(int value) {
    return _mm512_set1_epi32(value);
}

// The low n bits (n from 0 to 64).
FAULTKIT_AVX512 inline uint64_t FirstBits(int n) {
    return _bzhi_u64(~uint64_t{0}, static_cast<unsigned>(n));
}

FAULTKIT_AVX512 inline int Count(uint64_t bits) {
    return static_cast<int>(_mm_popcnt_u64(bits));
}

// Stores the first n bytes, 16-bit and 32-bit units of v.
FAULTKIT_AVX512 inline void StoreBytes(uint8_t* p, __m512i v, int n) {
    _mm512_mask_storeu_epi8(p, FirstBits(n), v);
}

FAULTKIT_AVX512 inline void StoreUnits16(uint8_t* p, __m512i v, int n) {
    _mm512_mask_storeu_epi16(p, static_cast<__mmask32>(FirstBits(n)), v);
}

FAULTKIT_AVX512 inline void StoreUnits32(uint8_t* p, __m512i v, int n) {
    _mm512_mask_storeu_epi32(p, static_cast<__mmask16>(FirstBits(n)), v);
}

// Hides the value of v, a constant made once before a run of blocks, from
// the compiler: GCC would otherwise make it again in every block, with a
// broadcast on the port that the permutes and compresses need, where now
// it keeps it in a register or reads it from the stack.
FAULTKIT_AVX512 inline void MadeOnce(__m512i& v) {
    asm("" : "+v"(v));
}

// Stores the bytes of the forms in the 32-bit lanes of `forms` whose bits
// are set in `lanes`: a lane's first byte, and its other bytes that are
// not 0, which the bytes of a form of 2 to 4 bytes never are and which pad
// every form to 4 bytes. `first_byte` is 0xFF in every 32-bit lane. Gives
// the end of the output.
FAULTKIT_AVX512 inline uint8_t* StoreFormBytes(__m512i forms, uint32_t lanes, __m512i first_byte,
                                               uint8_t* out) {
    const __m512i marked = _mm512_maskz_or_epi32(static_cast<__mmask16>(lanes), forms, first_byte);
    const __mmask64 keep = _mm512_test_epi8_mask(marked, marked);
    const int count = Count(keep);
    StoreBytes(out, _mm512_maskz_compress_epi8(keep, forms), count);
    return out + count;
}

// What a block gave: source bytes taken and output bytes written.
struct Step {
    int taken;
    int written;
};

// Runs a converter over a BlockCursor (../block_kernels.h). A converter
// has
//   kSource  the source bytes a block reads
//   kRoom    the most bytes a block writes
//   Step Convert(src, dst)  converts the whole characters of a block that
//            it takes, writing exactly their output.
// Blocks follow one another while they fit, each starting where the one
// before stopped, whether at a character cut by the block's end or at one
// left to the scalar code, until one takes nothing.
template <class Converter>
FAULTKIT_AVX512 inline void RunExactBlocks(BlockCursor& cursor, const Converter& converter) {
    const uint8_t* src = cursor.src;
    uint8_t* dst = cursor.dst;
    while (cursor.src_end - src >= Converter::kSource && cursor.dst_end - dst >= Converter::kRoom) {
        const Step step = converter.Convert(src, dst);
        dst += step.written;
        // The next block of a block taken whole starts at a fixed distance:
        // a branch the processor predicts, so that it need not wait for
        // this block's scan to load the next one.
        if (step.taken == Converter::kSource) {
            src += Converter::kSource;
            continue;
        }
        src += step.taken;
        if (step.taken == 0) {
            break;
        }
    }
    cursor.src = src;
    cursor.dst = dst;
}

}  // namespace faultkit::avx512

#endif
