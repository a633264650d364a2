// The SSE2 kernels, one for every pair of encodings. SSE2 is part of every
// x86-64 CPU, so that they need no check of the CPU.
#pragma once

#include <cstdint>

#include "text/simd/block_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

namespace faultkit::sse2 {

void Utf8ToUtf16Blocks(BlockCursor& cursor);
void Utf8ToUtf32Blocks(BlockCursor& cursor);
void Utf8ToCodePageBlocks(BlockCursor& cursor, const PageByteLookup& lookup);
void Utf16ToUtf8Blocks(BlockCursor& cursor);
void Utf32ToUtf8Blocks(BlockCursor& cursor);
void CodePageToUtf8Blocks(BlockCursor& cursor, const uint16_t* table);

}  // namespace faultkit::sse2

#endif
