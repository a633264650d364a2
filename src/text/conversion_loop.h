// The character loop shared by ConvertToUtf8 and ConvertFromUtf8: decode a
// character, encode it, hand it to the output. It is a template over a
// source and a target coder so that the per-character coders inline, and
// it moves runs of plain ASCII characters in blocks; every observable
// result is that of converting the characters one at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/character_coders.h"
#include "text/conversion_output.h"
#include "text/utf8.h"

namespace faultkit {

// Source coders: Decode has the outcomes of the single-character decoders,
// with `limit` (> 0) bytes available. kAsciiRuns: a unit below 0x7F is a
// character of its own with that code point.
struct Utf8Source {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = true;
    bool Decode(const uint8_t* p, int32_t limit, uint32_t* cp, const uint8_t** next,
                bool* error) const {
        const char* after = nullptr;
        const bool ok = Utf8DecodeChar(reinterpret_cast<const char*>(p), cp, &after, error, limit);
        *next = reinterpret_cast<const uint8_t*>(after);
        return ok;
    }
};

template <typename UnitType, bool (*kDecode)(const void*, uint32_t*, const void**, bool*, int32_t)>
struct UtfSource {
    using Unit = UnitType;
    static constexpr bool kAsciiRuns = true;
    bool Decode(const uint8_t* p, int32_t limit, uint32_t* cp, const uint8_t** next,
                bool* error) const {
        const void* after = nullptr;
        const bool ok = kDecode(p, cp, &after, error, limit);
        *next = static_cast<const uint8_t*>(after);
        return ok;
    }
};
using Utf16Source = UtfSource<uint16_t, Utf16DecodeChar>;
using Utf32Source = UtfSource<uint32_t, Utf32DecodeChar>;

// Bytes below 0x7F are themselves in every code page.
struct CodePageSource {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = true;
    EncodingId id;
    bool Decode(const uint8_t* p, int32_t /*limit*/, uint32_t* cp, const uint8_t** next,
                bool* error) const {
        const void* after = nullptr;
        CodePageDecodeChar(p, cp, &after, error, id);
        *next = static_cast<const uint8_t*>(after);
        return true;
    }
};

// Target coders: Encode writes at most 8 bytes at dst and gives their
// number, or fails. kAsciiRuns: a code point below 0x7F is one unit of that
// value.
struct Utf8Target {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = true;
    bool Encode(uint32_t cp, uint8_t* dst, int* size) const {
        *size = Utf8EncodeChar(static_cast<int32_t>(cp), reinterpret_cast<char*>(dst), nullptr);
        return true;
    }
};

struct Utf16Target {
    using Unit = uint16_t;
    static constexpr bool kAsciiRuns = true;
    bool Encode(uint32_t cp, uint8_t* dst, int* size) const {
        if (!Utf16CanEncode(cp)) {
            return false;
        }
        *size = Utf16EncodeChar(cp, dst, nullptr);
        return true;
    }
};

struct Utf32Target {
    using Unit = uint32_t;
    static constexpr bool kAsciiRuns = true;
    bool Encode(uint32_t cp, uint8_t* dst, int* size) const {
        *size = Utf32EncodeChar(cp, dst, nullptr);
        return true;
    }
};

struct CodePageTarget {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = true;
    const ReverseTableSet* set;
    int32_t replacement;  // already mapped from 0 to "?"
    EncodingId id;
    bool Encode(uint32_t cp, uint8_t* dst, int* size) const {
        *dst = CodePageByte(*set, cp, replacement, id);
        *size = 1;
        return true;
    }
};

// The target of an EncodingId out of range: every character is refused.
struct RefusingTarget {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = false;
    bool Encode(uint32_t /*cp*/, uint8_t* /*dst*/, int* /*size*/) const {
        return false;
    }
};

// Converts whole blocks of 8 characters below 0x7F from src to dst (null:
// count only), at most max_chars characters; returns how many.
template <typename SrcUnit, typename DstUnit>
size_t ConvertAsciiBlocks(const uint8_t* src, uint8_t* dst, size_t max_chars) {
    constexpr size_t kBlock = 8;
    size_t done = 0;
    for (; done + kBlock <= max_chars; done += kBlock) {
        SrcUnit units[kBlock];
        std::memcpy(units, src + done * sizeof(SrcUnit), sizeof units);
        uint32_t seen = 0;
        for (const SrcUnit unit : units) {
            seen |= uint32_t{unit} | (uint32_t{unit} + 1);
        }
        if (seen > 0x7F) {
            break;
        }
        if (dst != nullptr) {
            DstUnit converted[kBlock];
            for (size_t i = 0; i < kBlock; ++i) {
                converted[i] = static_cast<DstUnit>(units[i]);
            }
            std::memcpy(dst + done * sizeof(DstUnit), converted, sizeof converted);
        }
    }
    return done;
}

// Moves a run of plain ASCII at *pos to the output, as far as source and
// output room allow.
template <class Source, class Target>
void ConvertAsciiRun(const uint8_t** pos, const uint8_t* end, ConversionOutput& out) {
    using SrcUnit = typename Source::Unit;
    using DstUnit = typename Target::Unit;
    const bool counting = out.mode == OutputMode::kCounting;
    size_t max_chars = static_cast<size_t>(end - *pos) / sizeof(SrcUnit);
    if (!counting) {
        max_chars = std::min(max_chars, OutputRoom(out) / sizeof(DstUnit));
    }
    const size_t run =
        ConvertAsciiBlocks<SrcUnit, DstUnit>(*pos, counting ? nullptr : out.write, max_chars);
    *pos += run * sizeof(SrcUnit);
    if (counting) {
        out.pending += run * sizeof(DstUnit);
    } else {
        OutputAdvance(out, run * sizeof(DstUnit));
    }
}

// Converts from *position up to end; decodes may read up to readable_end
// (at or after end). Returns false on an invalid character
// or a code point the target refuses, leaving *position alone; otherwise
// true with *position where the conversion stopped: at end, at an
// incomplete character, or at the first character that did not fit or
// whose stream write failed.
template <class Source, class Target>
bool ConvertLoop(const Source& source, const Target& target, const uint8_t* end,
                 const uint8_t* readable_end, const uint8_t** position, ConversionOutput& out) {
    constexpr ptrdiff_t kMinBytes = sizeof(typename Source::Unit);
    const bool counting = out.mode == OutputMode::kCounting;
    const uint8_t* pos = *position;
    while (pos < end) {
        if constexpr (Source::kAsciiRuns && Target::kAsciiRuns) {
            ConvertAsciiRun<Source, Target>(&pos, end, out);
            if (pos == end) {
                break;
            }
        }
        const ptrdiff_t remaining = readable_end - pos;
        uint32_t cp = 0;
        const uint8_t* next = nullptr;
        bool error = false;
        if (remaining < kMinBytes || !source.Decode(pos, DecodeLimit(remaining), &cp, &next, &error)) {
            if (error) {
                return false;
            }
            break;
        }
        uint8_t local[8];
        const bool direct = !counting && OutputRoom(out) >= sizeof local;
        int size = 0;
        if (!target.Encode(cp, direct ? out.write : local, &size)) {
            return false;
        }
        if (counting) {
            out.pending += static_cast<size_t>(size);
        } else {
            if (!direct) {
                if (!OutputMakeRoom(out, static_cast<size_t>(size), pos)) {
                    break;
                }
                std::memcpy(out.write, local, static_cast<size_t>(size));
            }
            OutputAdvance(out, static_cast<size_t>(size));
        }
        pos = next;
    }
    *position = pos;
    return true;
}

}  // namespace faultkit
