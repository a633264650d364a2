// The character loop shared by ConvertToUtf8 and ConvertFromUtf8: decode a
// character, encode it, hand it to the output. A template over a source and
// a target coder (conversion_coders.h) so that the coders inline.
//
// The bulk of the text goes through a window loop that runs only where
// every decode has its whole window readable and every character fits the
// output with room to spare, so that none of the limits, fits and stream
// writes can come into play there. It hands the text to the pair's block
// kernel where there is one at the vector level in use
// (conversion_blocks.h), else moves runs of ASCII in blocks, and converts what these leave with the window coders.
// Each character the window loop does not take goes through the general
// step, which is the plain one-character-at-a-time conversion. Every
// observable result is that of the general step alone.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/convert/conversion_blocks.h"
#include "text/convert/conversion_coders.h"
#include "text/convert/conversion_output.h"
#include "text/encoding/character_coders.h"
#include "text/simd/dispatch.h"

namespace faultkit {

// Runs of ASCII: units below 0x7F are the same characters in every
// encoding, so they are converted by changing the unit width only.
inline constexpr size_t kAsciiBlock = 8;

// Converts kAsciiBlock units at src to dst if all are below 0x7F. The test
// runs on 64-bit words: in a unit below 0x7F neither the unit nor the unit
// plus one has a bit from 0x80 up, and adding one carries into the next
// unit only from a unit that fails the test itself.
template <typename SrcUnit, typename DstUnit>
bool ConvertAsciiBlock(const uint8_t* src, uint8_t* dst) {
    constexpr uint64_t kOnes = ~uint64_t{0} / ((uint64_t{1} << (8 * sizeof(SrcUnit))) - 1);
    constexpr uint64_t kHigh = kOnes * ((uint64_t{1} << (8 * sizeof(SrcUnit))) - 0x80);
    uint64_t words[sizeof(SrcUnit)];
    std::memcpy(words, src, sizeof words);
    uint64_t seen = 0;
    for (const uint64_t word : words) {
        seen |= word | (word + kOnes);
    }
    if ((seen & kHigh) != 0) {
        return false;
    }
    SrcUnit units[kAsciiBlock];
    std::memcpy(units, src, sizeof units);
    DstUnit converted[kAsciiBlock];
    for (size_t i = 0; i < kAsciiBlock; ++i) {
        converted[i] = static_cast<DstUnit>(units[i]);
    }
    std::memcpy(dst, converted, sizeof converted);
    return true;
}

// Where the window loop writes: from `write` on, before `end`. Bytes past
// the output keep their values when keep_past_output is set.
struct WindowOutput {
    uint8_t* write;
    uint8_t* end;
    bool keep_past_output;
};

// Converts from *pos while a character starts before end with its decode
// window readable before readable_end and while kWindowRoom bytes are left
// before out.end; stops early at any character the window coders leave to
// the general step. The block kernel, or the ASCII blocks, take what
// they can; what they leave goes through the window coders, up to a
// block's worth of source before the next try, so that the blocks are
// tried once a block, not once a character.
template <class Source, class Target>
void ConvertWindow(const Source& source, const Target& target, const uint8_t* end,
                   const uint8_t* readable_end, const uint8_t** pos, WindowOutput& out) {
    using SrcUnit = typename Source::Unit;
    using DstUnit = typename Target::Unit;
    constexpr ptrdiff_t kSrcBlock = kAsciiBlock * sizeof(SrcUnit);
    constexpr ptrdiff_t kDstBlock = kAsciiBlock * sizeof(DstUnit);
    const uint8_t* p = *pos;
    uint8_t* w = out.write;
    uint8_t* const write_end = out.end;
    if (readable_end - p < Source::kDecodeWindow || write_end - w < kWindowRoom) {
        return;
    }
    // Characters start before char_end, and are written before write_limit.
    const uint8_t* char_end = std::min(end, readable_end - Source::kDecodeWindow + 1);
    const uint8_t* write_limit = write_end - kWindowRoom + 1;
    // Without vector code in use, the ASCII blocks, as where there is none.
    const BlockKernels* kernels = HasBlocks<Source, Target>::value ? ActiveBlockKernels() : nullptr;
    while (p < char_end && w < write_limit) {
        if (kernels != nullptr) {
            if constexpr (HasBlocks<Source, Target>::value) {
                BlockCursor cursor{p, end, w, write_end, out.keep_past_output};
                ConvertBlocks(*kernels, source, target, cursor);
                p = cursor.src;
                w = cursor.dst;
                if (p >= char_end || w >= write_limit) {
                    break;
                }
            }
        } else if constexpr (Source::kAsciiRuns && Target::kAsciiRuns) {
            if (end - p >= kSrcBlock && write_end - w >= kDstBlock &&
                ConvertAsciiBlock<SrcUnit, DstUnit>(p, w)) {
                p += kSrcBlock;
                w += kDstBlock;
                continue;
            }
        }
        const uint8_t* stop = char_end - p > kSrcBlock ? p + kSrcBlock : char_end;
        do {
            uint32_t cp = 0;
            const uint8_t* next = source.DecodeInWindow(p, &cp);
            const int size = next != nullptr ? target.EncodeInWindow(cp, w) : 0;
            if (size == 0) {
                *pos = p;
                out.write = w;
                return;
            }
            p = next;
            w += size;
        } while (p < stop && w < write_limit);
    }
    *pos = p;
    out.write = w;
}

// Runs the window loop into the output: in place into the buffer, keeping
// the caller's bytes past the output, or into the staging buffer; when
// counting, into a chunk on the stack that is used over and over and only
// counted.
template <class Source, class Target>
void ConvertWindowInto(const Source& source, const Target& target, const uint8_t* end,
                       const uint8_t* readable_end, const uint8_t** pos, ConversionOutput& out) {
    if (out.mode != OutputMode::kCounting) {
        WindowOutput window{out.write, out.start + out.capacity, out.mode == OutputMode::kBuffer};
        ConvertWindow(source, target, end, readable_end, pos, window);
        OutputAdvance(out, static_cast<size_t>(window.write - out.write));
        return;
    }
    uint8_t chunk[2048];
    for (;;) {
        WindowOutput window{chunk, chunk + sizeof chunk, false};
        ConvertWindow(source, target, end, readable_end, pos, window);
        out.pending += static_cast<size_t>(window.write - chunk);
        // Go on only when the chunk, not the text, was full.
        if (window.end - window.write >= kWindowRoom) {
            return;
        }
    }
}

// The general step for the character at *pos: false when it is invalid
// or refused by the target (*failed set) or when the conversion stops at it
// (incomplete, no room, failed stream write); true when it was converted.
template <class Source, class Target>
bool ConvertOneChar(const Source& source, const Target& target, const uint8_t* readable_end,
                    const uint8_t** pos, ConversionOutput& out, bool* failed) {
    const ptrdiff_t remaining = readable_end - *pos;
    if (remaining < static_cast<ptrdiff_t>(sizeof(typename Source::Unit))) {
        return false;  // a unit cut by the source end
    }
    uint32_t cp = 0;
    const uint8_t* next = nullptr;
    if (!source.Decode(*pos, DecodeLimit(remaining), &cp, &next, failed)) {
        return false;
    }
    uint8_t encoded[8];
    int size = 0;
    if (!target.Encode(cp, encoded, &size)) {
        *failed = true;
        return false;
    }
    if (out.mode == OutputMode::kCounting) {
        out.pending += static_cast<size_t>(size);
    } else {
        if (!OutputMakeRoom(out, static_cast<size_t>(size), *pos)) {
            return false;
        }
        std::memcpy(out.write, encoded, static_cast<size_t>(size));
        OutputAdvance(out, static_cast<size_t>(size));
    }
    *pos = next;
    return true;
}

// Converts from *position up to end; decodes may read up to readable_end
// (at or after end). Returns false on an invalid character or a code point
// the target refuses, leaving *position alone; otherwise true with
// *position where the conversion stopped: at end, at an incomplete
// character, or at the first character that did not fit or whose stream
// write failed.
template <class Source, class Target>
bool ConvertLoop(const Source& source, const Target& target, const uint8_t* end,
                 const uint8_t* readable_end, const uint8_t** position, ConversionOutput& out) {
    const uint8_t* pos = *position;
    bool failed = false;
    while (pos < end) {
        ConvertWindowInto(source, target, end, readable_end, &pos, out);
        if (pos == end || !ConvertOneChar(source, target, readable_end, &pos, out, &failed)) {
            break;
        }
    }
    if (failed) {
        return false;
    }
    *position = pos;
    return true;
}

}  // namespace faultkit
