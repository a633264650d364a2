// Well-formed UTF-8 as Unicode defines it: the shortest forms of the scalar
// values, so no overlong form, no surrogate and nothing above U+10FFFF. The
// library's UTF-8 layer accepts all of these; the tool holds text to this
// stricter form where it checks or repairs it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit::cli {

struct Utf8Form {
    enum Kind : uint8_t {
        kChar,       // a character of `length` bytes, code point `cp`
        kIllFormed,  // `length` bytes: the longest start of a character, or
                     // one byte, that cannot be completed
        kCut,        // the `length` bytes there start a character but end early
    } kind;
    uint8_t length;
    uint32_t cp;
};

// What the `available` (at least 1) bytes at p start with. An ill-formed
// sequence is cut into maximal parts, each one problem, as Unicode
// recommends for replacing them.
inline Utf8Form ScanUtf8Form(const uint8_t* p, size_t available) {
    const uint8_t lead = p[0];
    if (lead < 0x80) {
        return Utf8Form{Utf8Form::kChar, 1, lead};
    }
    uint8_t length = 4;
    uint8_t low = 0x80, high = 0xBF;  // range of the byte after the lead
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return Utf8Form{Utf8Form::kIllFormed, 1, 0};
    }
    uint32_t cp = lead & (0x3Fu >> (length - 1));
    for (uint8_t i = 1; i < length; ++i) {
        if (i == available) {
            return Utf8Form{Utf8Form::kCut, i, 0};
        }
        if (p[i] < low || p[i] > high) {
            return Utf8Form{Utf8Form::kIllFormed, i, 0};
        }
        low = 0x80;
        high = 0xBF;
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    return Utf8Form{Utf8Form::kChar, length, cp};
}

}  // namespace faultkit::cli
