// The AVX-512 kernels, one for every pair of encodings. They use the byte
// permutes of VBMI and the compresses of VBMI2, and are compiled for them
// whatever the build's baseline and run only where the CPU has them.
#pragma once

#include <cstdint>

#include "text/simd/block_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

namespace faultkit::avx512 {

void Utf8ToUtf16Blocks(BlockCursor& cursor);
void Utf8ToUtf32Blocks(BlockCursor& cursor);
void Utf8ToCodePageBlocks(BlockCursor& cursor, const PageByteLookup& lookup);
void Utf16ToUtf8Blocks(BlockCursor& cursor);
void Utf32ToUtf8Blocks(BlockCursor& cursor);
void CodePageToUtf8Blocks(BlockCursor& cursor, const uint16_t* table);

// Whether the CPU and the system support what the kernels use.
inline bool Supported() {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

}  // namespace faultkit::avx512

#endif
