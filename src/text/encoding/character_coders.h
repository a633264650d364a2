// Single-character decoders and encoders for UTF-16, UTF-32 and the code
// pages, and the dispatchers DecodeChar and EncodeChar over all encodings
// (UTF-8 itself is in utf8.h).
//
// Every decoder has three outcomes: success (true, *error false), incomplete
// (false, *error false: the limit, a byte count that is 0 for none, is
// shorter than the character) and invalid (false, *error true). The code
// point and next pointer are written only on success. Sources and
// destinations need not be aligned; units are in host byte order.
//
// The per-encoding coders are inline because the conversion loops call them
// once per character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/encoding/code_page_tables.h"
#include "text/encoding/encoding_id.h"

namespace faultkit {

// Code point stored by DecodeChar on every error.
inline constexpr uint32_t kErrorCodePoint = 0xFFFF;
// Replacement byte used when a caller passes 0: "?".
inline constexpr int32_t kDefaultReplacement = 63;
// Largest code point that UTF-16 can carry.
inline constexpr uint32_t kUtf16MaxCodePoint = 0x10FFFF;

// Smallest number of bytes one character of id takes.
inline int MinCharBytes(EncodingId id) {
    static constexpr int kMinBytes[4] = {1, 2, 4, 1};
    return kMinBytes[id + 2 < 3 ? id + 2 : 3];
}

// The limit for a decode with `remaining` (> 0) bytes before the source
// end. Decoders take a 32-bit limit, and any count from 6 on limits
// nothing, so larger counts are clamped.
inline int32_t DecodeLimit(ptrdiff_t remaining) {
    return remaining > INT32_MAX ? INT32_MAX : static_cast<int32_t>(remaining);
}

// A high surrogate starts a 4-byte pair; a lone low surrogate is returned
// as its own value; a high surrogate not followed by a low one is invalid.
inline bool Utf16DecodeChar(const void* src, uint32_t* cp, const void** next, bool* error,
                            int32_t limit) {
    const auto* bytes = static_cast<const unsigned char*>(src);
    uint16_t first;
    std::memcpy(&first, bytes, 2);
    const bool pair = first >= 0xD800 && first < 0xDC00;
    const int size = pair ? 4 : 2;
    *error = false;
    if (limit != 0 && limit < size) {
        return false;
    }
    uint32_t value = first;
    if (pair) {
        uint16_t second;
        std::memcpy(&second, bytes + 2, 2);
        if (second < 0xDC00 || second > 0xDFFF) {
            *error = true;
            return false;
        }
        value = (((first & 0x3FFu) << 10) | (second & 0x3FFu)) + 0x10000;
    }
    *cp = value;
    if (next != nullptr) {
        *next = bytes + size;
    }
    return true;
}

// Units of 0x80000000 and above have no UTF-8 form and are invalid.
inline bool Utf32DecodeChar(const void* src, uint32_t* cp, const void** next, bool* error,
                            int32_t limit) {
    *error = false;
    if (limit != 0 && limit < 4) {
        return false;
    }
    uint32_t unit;
    std::memcpy(&unit, src, 4);
    if (unit > 0x7FFFFFFF) {
        *error = true;
        return false;
    }
    *cp = unit;
    if (next != nullptr) {
        *next = static_cast<const unsigned char*>(src) + 4;
    }
    return true;
}

// Always succeeds; an unmapped byte yields U+FFFF.
inline bool CodePageDecodeChar(const void* src, uint32_t* cp, const void** next, bool* error,
                               EncodingId id) {
    const auto* bytes = static_cast<const unsigned char*>(src);
    *cp = CodePageTableOf(id)[bytes[0]];
    *error = false;
    if (next != nullptr) {
        *next = bytes + 1;
    }
    return true;
}

// Code points above U+10FFFF have no UTF-16 form.
inline bool Utf16CanEncode(uint32_t cp) {
    return cp <= kUtf16MaxCodePoint;
}

// Writes 2 bytes, or 4 for a surrogate pair (cp 0x10000 and above; only the
// low 20 bits of cp - 0x10000 are kept). Surrogate code points pass as they
// are.
inline int Utf16EncodeChar(uint32_t cp, void* dst, void** end) {
    auto* bytes = static_cast<unsigned char*>(dst);
    int size = 2;
    if (cp >= 0x10000) {
        const uint32_t d = cp - 0x10000;
        const uint16_t units[2] = {static_cast<uint16_t>(0xD800 | ((d >> 10) & 0x3FF)),
                                   static_cast<uint16_t>(0xDC00 | (d & 0x3FF))};
        std::memcpy(bytes, units, 4);
        size = 4;
    } else {
        const auto unit = static_cast<uint16_t>(cp);
        std::memcpy(bytes, &unit, 2);
    }
    if (end != nullptr) {
        *end = bytes + size;
    }
    return size;
}

inline int Utf32EncodeChar(uint32_t cp, void* dst, void** end) {
    std::memcpy(dst, &cp, 4);
    if (end != nullptr) {
        *end = static_cast<unsigned char*>(dst) + 4;
    }
    return 4;
}

// The byte a code page writes for cp, given `mapped`, cp's byte in the
// page's reverse table (0 for none, and for every cp from 0x10000 up): the
// mapped byte, byte 0 for U+0000, or the low 8 bits of `replacement`.
inline uint8_t CodePageByte(uint8_t mapped, uint32_t cp, int32_t replacement) {
    return mapped != 0 || cp == 0 ? mapped : static_cast<uint8_t>(replacement);
}

// Writes exactly one byte, using the process-wide reverse tables.
void CodePageEncodeChar(uint32_t cp, void* dst, void** end, int32_t replacement, EncodingId id);

// Decodes one character of encoding id. If next is given and *next is not
// null, *next is the source end (one past the last readable byte) and
// limits the decode; on success *next receives the position after the
// character. error may be null. On every error *cp becomes 0xFFFF; an id
// out of range is an error.
bool DecodeChar(EncodingId id, const void* src, uint32_t* cp, const void** next, bool* error);

// Encodes cp in encoding id at dst (room for 8 bytes); *end, if given,
// receives the position after it. False when dst is null, id is out of
// range, or cp lies above U+10FFFF and id is UTF-16 (no UTF-16 form). A
// replacement of 0 stands for "?".
bool EncodeChar(EncodingId id, uint32_t cp, void* dst, void** end, int32_t replacement);

}  // namespace faultkit
