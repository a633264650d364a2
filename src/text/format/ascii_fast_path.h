// Plain ASCII between UTF-8 and UTF-16 on the formatting path, where texts
// are short and mostly ASCII: ASCII is widened or narrowed 16 bytes at a
// time here, and only text from the first other character on goes through
// the general conversion.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit {

// ConvertUtf8TextToUtf16 with its contract and results: `bytes` bytes of
// UTF-8 text, terminator included, into `dst`, which has room for `bytes`
// units; the bytes of the UTF-16 text with its terminator, or 0 when the
// source is not UTF-8 throughout.
uint64_t WidenUtf8Text(const char* src, size_t bytes, char16_t* dst);

// Widens the bytes at `src` up to the first '%' or byte from 0x80 up, at
// most `length` of them, into `dst`; returns how many it widened. `dst`
// has room for `length` units, and units behind the run may be stored too
// (those of the bytes that follow it), for the caller to overwrite.
size_t WidenTextRun(const char* src, size_t length, char16_t* dst);

// The same a byte at a time, inline: for the short texts between
// directives, and for what the blocks leave.
inline size_t WidenTextBytes(const char* src, size_t length, char16_t* dst) {
    size_t i = 0;
    for (; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(src[i]);
        if (byte >= 0x80 || byte == '%') {
            break;
        }
        dst[i] = byte;
    }
    return i;
}

// True when the `bytes` bytes at `text` are all ASCII (below 0x80).
bool IsAsciiText(const char* text, size_t bytes);

// True when the `units` UTF-16 units at `text` are ASCII and none is 0:
// text that is its own UTF-8, unit for unit.
bool IsPlainAscii(const char16_t* text, size_t units);

// Writes `units` plain ASCII units (see IsPlainAscii) as bytes, then a NUL.
void NarrowAscii(const char16_t* text, size_t units, char* buffer);

}  // namespace faultkit
