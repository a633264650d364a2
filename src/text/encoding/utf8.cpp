#include "text/encoding/utf8.h"

#include <cstring>

namespace faultkit {

// clang-format off
const int8_t Utf8LeadLength[256] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x00
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x80 continuation bytes
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // 0xC0
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,  // 0xE0
    4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 0, 0,  // 0xF0
};
// clang-format on

const uint8_t Utf8LeadMark[5] = {0xC0, 0xE0, 0xF0, 0xF8, 0xFC};

const int32_t Utf8RangeLimit[6] = {127, 2047, 65535, 1114111, 67108863, 2147483647};

namespace {

// Start of the character after the one at p: its lead length on, but never
// over a byte that is not a continuation byte (so never over the NUL), and
// at least one byte, so stray bytes are stepped over one at a time.
const char* NextCharStart(const char* p) {
    const int length = Utf8LeadLength[static_cast<unsigned char>(*p)];
    const char* q = p + 1;
    for (int i = 1; i < length && Utf8IsContinuation(static_cast<unsigned char>(*q)); ++i) {
        ++q;
    }
    return q;
}

}  // namespace

const char* Utf8FindChar(const char* s, int32_t cp) {
    if (cp < 128) {
        return std::strchr(s, cp);
    }
    char encoded[8];
    const int length = Utf8EncodeChar(cp, encoded, nullptr);
    for (const char* p = s; *p != '\0'; p = NextCharStart(p)) {
        // The encoded bytes are never 0, so the comparison stops at s's NUL.
        int i = 0;
        while (i < length && p[i] == encoded[i]) {
            ++i;
        }
        if (i == length) {
            return p;
        }
    }
    return nullptr;
}

char* Utf8Copy(char* dst, const char* src) {
    return std::strcpy(dst, src);
}

size_t Utf8Length(const char* s) {
    return std::strlen(s);
}

}  // namespace faultkit
