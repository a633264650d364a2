// Block kernels: the bulk of a conversion between UTF-8 and UTF-16, UTF-32
// or a code page, a block of source bytes at a time with vector
// instructions. Each takes runs of ASCII and of 1- to 4-byte characters and
// leaves everything else (invalid or cut sequences, 5- and 6-byte forms,
// values a target refuses, units without a UTF-8 form of 1 to 4 bytes) to
// the scalar code, by stopping before it. What a kernel takes it converts
// exactly as the scalar coders do, byte for byte.
//
// Each instruction set has a folder of its own with its kernels; dispatch.h
// hands out those of the level in use.
#pragma once

#include <cstdint>

namespace faultkit {

class PageByteLookup;

// The source and destination of a run of blocks. A kernel reads only
// [src, src_end), takes only characters that lie wholly before src_end,
// writes only [dst, dst_end), and moves src and dst past what it
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

// The kernels of one vector level, one for each pair of encodings that has
// them. For the code pages, `lookup` gives the page's byte of a code point,
// and `table` is the page's CodePageTable.
struct BlockKernels {
    void (*utf8_to_utf16)(BlockCursor& cursor);
    void (*utf8_to_utf32)(BlockCursor& cursor);
    void (*utf8_to_code_page)(BlockCursor& cursor, const PageByteLookup& lookup);
    void (*utf16_to_utf8)(BlockCursor& cursor);
    void (*utf32_to_utf8)(BlockCursor& cursor);
    void (*code_page_to_utf8)(BlockCursor& cursor, const uint16_t* table);
};

}  // namespace faultkit
