// Block converters: the bulk of a conversion between UTF-8 and UTF-16,
// UTF-32 or a code page, 16 source bytes at a time with SSE2 (part of every
// x86-64 CPU). Each takes runs of ASCII and of 1- to 4-byte characters and
// leaves everything else (invalid or cut sequences, 5- and 6-byte forms,
// values a target refuses, units without a UTF-8 form of 1 to 4 bytes) to
// the scalar code, by stopping before it. What a block converter takes it
// converts exactly as the scalar coders do, byte for byte.
//
// On other targets kVectorBlocks is false and they take nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit {

class PageByteLookup;

// The source and destination of a run of blocks. A block converter reads
// only [src, src_end), takes only characters that lie wholly before
// src_end, writes only [dst, dst_end), and moves src and dst past what it
// converted. Of the bytes past its output it leaves the original values
// when keep_past_output is set, and may leave others otherwise. It goes on
// block after block and returns at the first block it cannot take whole,
// having taken the characters before the first one it leaves to the scalar
// code, or when the next block might not fit before src_end or dst_end.
struct BlockCursor {
    const uint8_t* src;
    const uint8_t* src_end;
    uint8_t* dst;
    uint8_t* dst_end;
    bool keep_past_output;
};

// For the code pages, `lookup` gives the page's byte of a code point, and
// `table` is the page's CodePageTable.
#if defined(__SSE2__) || defined(_M_X64)
inline constexpr bool kVectorBlocks = true;
void Utf8ToUtf16Blocks(BlockCursor& cursor);
void Utf8ToUtf32Blocks(BlockCursor& cursor);
void Utf8ToCodePageBlocks(BlockCursor& cursor, const PageByteLookup& lookup);
void Utf16ToUtf8Blocks(BlockCursor& cursor);
void Utf32ToUtf8Blocks(BlockCursor& cursor);
void CodePageToUtf8Blocks(BlockCursor& cursor, const uint16_t* table);
#else
inline constexpr bool kVectorBlocks = false;
inline void Utf8ToUtf16Blocks(BlockCursor&) {}
inline void Utf8ToUtf32Blocks(BlockCursor&) {}
inline void Utf8ToCodePageBlocks(BlockCursor&, const PageByteLookup&) {}
inline void Utf16ToUtf8Blocks(BlockCursor&) {}
inline void Utf32ToUtf8Blocks(BlockCursor&) {}
inline void CodePageToUtf8Blocks(BlockCursor&, const uint16_t*) {}
#endif

}  // namespace faultkit
