// The coders that the conversion loop is instantiated with: one source
// coder per encoding converted from, one target coder per encoding
// converted to. They adapt the single-character coders to one shape.
//
// A source coder has
//   Unit            its code unit; the smallest character is one unit
//   kDecodeWindow   bytes that DecodeInWindow may read
//   Decode          the single-character decoder with a byte limit (> 0)
//   DecodeInWindow  a decoder for the bulk of the text, where kDecodeWindow
//                   bytes are readable: the position after the character,
//                   or null to leave the character to Decode. Where it
//                   decodes, it gives what Decode gives.
// A target coder has
//   Unit            its code unit
//   Encode          writes at most 8 bytes and gives their number, or fails
//                   for a code point the target refuses
//   EncodeInWindow  an encoder for the bulk of the text, with kWindowRoom
//                   bytes of room: writes the bytes of Encode and gives
//                   their number, or writes nothing and gives 0 to leave
//                   the code point to Encode.
// kAsciiRuns, in both: a unit below 0x7F is a character of its own with
// that code point, so runs of them can be moved unit by unit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/encoding/character_coders.h"
#include "text/encoding/page_byte_lookup.h"
#include "text/encoding/reverse_tables.h"
#include "text/encoding/utf8.h"

namespace faultkit {

// Bytes a window encoder may write for one character.
inline constexpr ptrdiff_t kWindowRoom = 8;

// UTF-8 sequences of 1 to 4 bytes from a window of 4 readable bytes; null
// for 5- and 6-byte forms and anything invalid. It branches on the first
// byte: the branches are predicted, which lets the next character's decode
// start before this one's length is known.
inline const uint8_t* Utf8DecodeInWindow(const uint8_t* p, uint32_t* cp) {
    const uint32_t b0 = p[0];
    if (b0 < 0x80) {
        *cp = b0;
        return p + 1;
    }
    // A continuation byte's payload; from 0x40 up it was no continuation.
    const uint32_t c1 = p[1] ^ 0x80u;
    if (b0 < 0xE0) {
        if (b0 < 0xC0 || c1 > 0x3F) {
            return nullptr;
        }
        *cp = ((b0 & 0x1F) << 6) | c1;
        return p + 2;
    }
    const uint32_t c2 = p[2] ^ 0x80u;
    if (b0 < 0xF0) {
        if ((c1 | c2) > 0x3F) {
            return nullptr;
        }
        *cp = ((b0 & 0x0F) << 12) | (c1 << 6) | c2;
        return p + 3;
    }
    const uint32_t c3 = p[3] ^ 0x80u;
    if (b0 >= 0xF8 || (c1 | c2 | c3) > 0x3F) {
        return nullptr;
    }
    *cp = ((b0 & 0x07) << 18) | (c1 << 12) | (c2 << 6) | c3;
    return p + 4;
}

// Writes the UTF-8 form of cp at dst and returns its length (1 to 4); 0
// above U+10FFFF, whose forms are longer. Branches on the length, which the
// predictor mostly gets right, so that writing the next character need not
// wait for this one's length.
inline int Utf8EncodeInWindow(uint32_t cp, uint8_t* dst) {
    if (cp < 0x80) {
        dst[0] = static_cast<uint8_t>(cp);
        return 1;
    }
    if (cp < 0x800) {
        dst[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
        dst[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        dst[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
        dst[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        dst[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp > kUtf16MaxCodePoint) {
        return 0;
    }
    dst[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
    dst[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    dst[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    dst[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 4;
}

struct Utf8Source {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = true;
    static constexpr ptrdiff_t kDecodeWindow = 4;
    bool Decode(const uint8_t* p, int32_t limit, uint32_t* cp, const uint8_t** next,
                bool* error) const {
        const char* after = nullptr;
        const bool ok = Utf8DecodeChar(reinterpret_cast<const char*>(p), cp, &after, error, limit);
        *next = reinterpret_cast<const uint8_t*>(after);
        return ok;
    }
    const uint8_t* DecodeInWindow(const uint8_t* p, uint32_t* cp) const {
        return Utf8DecodeInWindow(p, cp);
    }
};

// UTF-16 and UTF-32: the decoders read at most 4 bytes without a limit.
template <typename UnitType, bool (*kDecode)(const void*, uint32_t*, const void**, bool*, int32_t)>
struct UtfSource {
    using Unit = UnitType;
    static constexpr bool kAsciiRuns = true;
    static constexpr ptrdiff_t kDecodeWindow = 4;
    bool Decode(const uint8_t* p, int32_t limit, uint32_t* cp, const uint8_t** next,
                bool* error) const {
        const void* after = nullptr;
        const bool ok = kDecode(p, cp, &after, error, limit);
        *next = static_cast<const uint8_t*>(after);
        return ok;
    }
    const uint8_t* DecodeInWindow(const uint8_t* p, uint32_t* cp) const {
        const uint8_t* next = nullptr;
        bool error = false;
        return Decode(p, 0, cp, &next, &error) ? next : nullptr;
    }
};
using Utf16Source = UtfSource<uint16_t, Utf16DecodeChar>;
using Utf32Source = UtfSource<uint32_t, Utf32DecodeChar>;

// Bytes below 0x7F are themselves in every code page.
struct CodePageSource {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = true;
    static constexpr ptrdiff_t kDecodeWindow = 1;
    EncodingId id;
    const uint16_t* table;  // the page's CodePageTable, fetched once

    explicit CodePageSource(EncodingId page) : id(page), table(CodePageTableOf(page)) {}

    bool Decode(const uint8_t* p, int32_t /*limit*/, uint32_t* cp, const uint8_t** next,
                bool* error) const {
        const void* after = nullptr;
        CodePageDecodeChar(p, cp, &after, error, id);
        *next = static_cast<const uint8_t*>(after);
        return true;
    }
    const uint8_t* DecodeInWindow(const uint8_t* p, uint32_t* cp) const {
        *cp = table[*p];
        return p + 1;
    }
};

struct Utf8Target {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = true;
    bool Encode(uint32_t cp, uint8_t* dst, int* size) const {
        *size = Utf8EncodeChar(static_cast<int32_t>(cp), reinterpret_cast<char*>(dst), nullptr);
        return true;
    }
    int EncodeInWindow(uint32_t cp, uint8_t* dst) const { return Utf8EncodeInWindow(cp, dst); }
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
    int EncodeInWindow(uint32_t cp, uint8_t* dst) const {
        return Utf16CanEncode(cp) ? Utf16EncodeChar(cp, dst, nullptr) : 0;
    }
};

struct Utf32Target {
    using Unit = uint32_t;
    static constexpr bool kAsciiRuns = true;
    bool Encode(uint32_t cp, uint8_t* dst, int* size) const {
        *size = Utf32EncodeChar(cp, dst, nullptr);
        return true;
    }
    int EncodeInWindow(uint32_t cp, uint8_t* dst) const {
        return Utf32EncodeChar(cp, dst, nullptr);
    }
};

struct CodePageTarget {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = true;
    const ReverseTableSet* set;
    // The page's lookup when the tables are expanded, made once for the
    // conversion; else null, and lookups read the compressed tables.
    const PageByteLookup* lookup;
    int32_t replacement;  // already mapped from 0 to "?"
    EncodingId id;

    uint8_t ByteOf(uint32_t cp) const {
        if (cp < 0x7F) {
            return static_cast<uint8_t>(cp);  // the same in every code page
        }
        if (lookup != nullptr) {
            return (*lookup)(cp);
        }
        return CodePageByte(cp < 0x10000 ? ReverseLookup(*set, cp, id) : 0, cp, replacement);
    }
    bool Encode(uint32_t cp, uint8_t* dst, int* size) const {
        *dst = ByteOf(cp);
        *size = 1;
        return true;
    }
    int EncodeInWindow(uint32_t cp, uint8_t* dst) const {
        *dst = ByteOf(cp);
        return 1;
    }
};

// The target of an EncodingId out of range: every character is refused.
struct RefusingTarget {
    using Unit = uint8_t;
    static constexpr bool kAsciiRuns = false;
    bool Encode(uint32_t /*cp*/, uint8_t* /*dst*/, int* /*size*/) const { return false; }
    int EncodeInWindow(uint32_t /*cp*/, uint8_t* /*dst*/) const { return 0; }
};

}  // namespace faultkit
