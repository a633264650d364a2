// UTF-8 primitives in the RFC 2279 form: sequences of 1 to 6 bytes carrying
// values up to 2147483647. Overlong forms, surrogates and values above
// U+10FFFF are neither produced specially nor rejected.
//
// The encoder and decoder are defined here, inline, because the conversion
// loops call them once per character.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit {

// Sequence length started by a byte; 0 for continuation bytes, 0xFE, 0xFF.
extern const int8_t Utf8LeadLength[256];
// Fixed high bits of the first byte of a 2..6-byte sequence (index n - 2).
extern const uint8_t Utf8LeadMark[5];
// Largest code point written with k + 1 bytes (index k).
extern const int32_t Utf8RangeLimit[6];

inline bool Utf8IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Writes cp (0 to 2147483647) at dst, which has room for 6 bytes. Returns
// the number of bytes written; *end, if asked for, receives dst plus that.
inline int Utf8EncodeChar(int32_t cp, char* dst, char** end) {
    int count = 1;
    if (cp <= Utf8RangeLimit[0]) {
        dst[0] = static_cast<char>(cp);
    } else {
        int k = 0;
        while (k < 4 && cp > Utf8RangeLimit[k + 1]) {
            ++k;
        }
        for (int i = k + 1; i >= 1; --i) {
            dst[i] = static_cast<char>(0x80 | (cp & 0x3F));
            cp >>= 6;
        }
        dst[0] = static_cast<char>(Utf8LeadMark[k] | cp);
        count = k + 2;
    }
    if (end != nullptr) {
        *end = dst + count;
    }
    return count;
}

// Decodes one character at src. limit is the number of bytes available, 0
// for no limit. Outcomes: success (true, *error false, *cp and *next set);
// incomplete (false, *error false: the limit is shorter than the sequence);
// invalid (false, *error true: bad first byte or a following byte that is
// not a continuation byte). *cp and *next change only on success. Bytes
// after the first are read only while they are continuation bytes, so the
// decoder never reads past a terminating NUL.
inline bool Utf8DecodeChar(const char* src, uint32_t* cp, const char** next, bool* error,
                           int32_t limit) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    const int length = Utf8LeadLength[bytes[0]];
    *error = length == 0;
    if (length <= 1) {
        if (length == 1) {
            *cp = bytes[0];
            if (next != nullptr) {
                *next = src + 1;
            }
        }
        return length == 1;
    }
    if (limit != 0 && limit < length) {
        return false;
    }
    uint32_t value = bytes[0] & ((0xFFu ^ Utf8LeadMark[length - 2]) >> 1);
    for (int i = 1; i < length; ++i) {
        if (!Utf8IsContinuation(bytes[i])) {
            *error = true;
            return false;
        }
        value = (value << 6) | (bytes[i] & 0x3Fu);
    }
    *cp = value;
    if (next != nullptr) {
        *next = src + length;
    }
    return true;
}

// First occurrence of cp in the NUL-terminated s, or null. Below 128 this
// is strchr (cp 0 finds the terminator); above, matches are found only
// where a character starts, and the terminator is never returned.
const char* Utf8FindChar(const char* s, int32_t cp);

// strcpy: copies src with its terminator, returns dst.
char* Utf8Copy(char* dst, const char* src);

// strlen: bytes before the terminator.
size_t Utf8Length(const char* s);

}  // namespace faultkit
