// The character loop shared by ConvertToUtf8 and ConvertFromUtf8: decode a
// character, encode it, hand it to the output. A template over a source and
// a target coder (conversion_coders.h) so that the coders inline.
//
// The bulk of the text goes through a window loop that runs only where
// every decode has its whole window readable and every character fits the
// output with room to spare, so that none of the limits, fits and stream
// writes can come into play there, and moves runs of ASCII in blocks. Each
// character it does not take goes through the general step, which is the
// plain one-character-at-a-time conversion. Every observable result is
// that of the general step alone.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/character_coders.h"
#include "text/conversion_coders.h"
#include "text/conversion_output.h"

namespace faultkit {

// Bytes of output room the window loop keeps: the most one character takes.
inline constexpr ptrdiff_t kWindowRoom = 8;

// ASCII moves: units below 0x7F are the same characters in every encoding,
// so they are converted by changing the unit width only.
template <typename Unit>
Unit LoadUnit(const uint8_t* p) {
    Unit unit;
    std::memcpy(&unit, p, sizeof unit);
    return unit;
}

template <typename Unit>
void StoreUnit(uint8_t* p, Unit unit) {
    std::memcpy(p, &unit, sizeof unit);
}

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

// Converts the ASCII units at *p (the first is one) to *w: a whole block
// when it is all ASCII, else the units before the first other one, at most
// a block. Needs kWindowRoom bytes of room at *w.
template <typename SrcUnit, typename DstUnit>
void ConvertAscii(const uint8_t** p, uint8_t** w, const uint8_t* end, const uint8_t* write_end) {
    constexpr ptrdiff_t kSrcBlock = kAsciiBlock * sizeof(SrcUnit);
    constexpr ptrdiff_t kDstBlock = kAsciiBlock * sizeof(DstUnit);
    if (end - *p >= kSrcBlock && write_end - *w >= kDstBlock &&
        ConvertAsciiBlock<SrcUnit, DstUnit>(*p, *w)) {
        *p += kSrcBlock;
        *w += kDstBlock;
        return;
    }
    const ptrdiff_t units = std::min({static_cast<ptrdiff_t>(kAsciiBlock),
                                      (end - *p) / static_cast<ptrdiff_t>(sizeof(SrcUnit)),
                                      (write_end - *w) / static_cast<ptrdiff_t>(sizeof(DstUnit))});
    for (ptrdiff_t i = 0; i < units; ++i) {
        const SrcUnit unit = LoadUnit<SrcUnit>(*p);
        if (unit >= 0x7F) {
            break;
        }
        StoreUnit(*w, static_cast<DstUnit>(unit));
        *p += sizeof(SrcUnit);
        *w += sizeof(DstUnit);
    }
}

// Converts from *pos while a character starts before end with its decode
// window readable before readable_end and while kWindowRoom bytes are left
// before write_end; stops early at any character the window coders leave
// to the general step.
template <class Source, class Target>
void ConvertWindow(const Source& source, const Target& target, const uint8_t* end,
                   const uint8_t* readable_end, const uint8_t** pos, uint8_t** write,
                   uint8_t* write_end) {
    using SrcUnit = typename Source::Unit;
    const uint8_t* p = *pos;
    uint8_t* w = *write;
    while (p < end && readable_end - p >= Source::kDecodeWindow && write_end - w >= kWindowRoom) {
        if constexpr (Source::kAsciiRuns && Target::kAsciiRuns) {
            if (LoadUnit<SrcUnit>(p) < 0x7F) {
                ConvertAscii<SrcUnit, typename Target::Unit>(&p, &w, end, write_end);
                continue;
            }
        }
        uint32_t cp = 0;
        const uint8_t* next = source.DecodeInWindow(p, &cp);
        int size = 0;
        if (next == nullptr || !target.Encode(cp, w, &size)) {
            break;
        }
        p = next;
        w += size;
    }
    *pos = p;
    *write = w;
}

// Runs the window loop into the output; when counting, into a scratch
// buffer that is only counted.
template <class Source, class Target>
void ConvertWindowInto(const Source& source, const Target& target, const uint8_t* end,
                       const uint8_t* readable_end, const uint8_t** pos, ConversionOutput& out) {
    if (out.mode == OutputMode::kCounting) {
        uint8_t scratch[1024];
        uint8_t* w = scratch;
        ConvertWindow(source, target, end, readable_end, pos, &w, scratch + sizeof scratch);
        out.pending += static_cast<size_t>(w - scratch);
    } else {
        uint8_t* w = out.write;
        ConvertWindow(source, target, end, readable_end, pos, &w, out.start + out.capacity);
        OutputAdvance(out, static_cast<size_t>(w - out.write));
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
