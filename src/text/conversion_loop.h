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

// Whether the unit at p is below 0x7F.
template <typename Unit>
bool IsAsciiUnit(const uint8_t* p) {
    Unit unit;
    std::memcpy(&unit, p, sizeof unit);
    return unit < 0x7F;
}

// Converts whole blocks of 8 units below 0x7F from src to dst, at most
// max_units units; returns how many.
template <typename SrcUnit, typename DstUnit>
size_t ConvertAsciiBlocks(const uint8_t* src, uint8_t* dst, size_t max_units) {
    constexpr size_t kBlock = 8;
    size_t done = 0;
    for (; done + kBlock <= max_units; done += kBlock) {
        SrcUnit units[kBlock];
        std::memcpy(units, src + done * sizeof(SrcUnit), sizeof units);
        uint32_t seen = 0;
        for (const SrcUnit unit : units) {
            seen |= uint32_t{unit} | (uint32_t{unit} + 1);
        }
        if (seen > 0x7F) {
            break;
        }
        DstUnit converted[kBlock];
        for (size_t i = 0; i < kBlock; ++i) {
            converted[i] = static_cast<DstUnit>(units[i]);
        }
        std::memcpy(dst + done * sizeof(DstUnit), converted, sizeof converted);
    }
    return done;
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
    using DstUnit = typename Target::Unit;
    const uint8_t* p = *pos;
    uint8_t* w = *write;
    while (p < end && readable_end - p >= Source::kDecodeWindow && write_end - w >= kWindowRoom) {
        if constexpr (Source::kAsciiRuns && Target::kAsciiRuns) {
            if (IsAsciiUnit<SrcUnit>(p)) {
                const size_t units = std::min(static_cast<size_t>(end - p) / sizeof(SrcUnit),
                                              static_cast<size_t>(write_end - w) / sizeof(DstUnit));
                const size_t run = ConvertAsciiBlocks<SrcUnit, DstUnit>(p, w, units);
                p += run * sizeof(SrcUnit);
                w += run * sizeof(DstUnit);
                if (run != 0) {
                    continue;
                }
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
