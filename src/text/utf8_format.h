// printf-style formatting with a UTF-8 format and UTF-8 string arguments,
// producing UTF-8 text. The work is done by the platform's wide formatter
// on a UTF-16 copy of the format prepared by the positional front end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/argument_block.h"

namespace faultkit {

// A wide formatter with the contract of platform::WideFormat.
using WideFormatter = int (*)(char16_t* buffer, size_t count, const char16_t* format,
                              const uint64_t* arguments);

// Formats into `buffer` (unbounded: the caller has counted first) or, with
// a null buffer, counts. Counting returns the text's bytes + 1 (its
// terminator); writing returns the bytes written without the terminator;
// an empty text gives 0 and writes nothing; a formatter failure gives its
// negative result and writes nothing.
int32_t FormatUtf8(char* buffer, const char* format, ...);
int32_t FormatUtf8V(char* buffer, const char* format, ArgumentSlots arguments);

// Both results of FormatUtf8V from one formatting of the text.
struct Utf8Results {
    int32_t counted;  // its result without a buffer
    int32_t written;  // its result with one, where `fits`
    bool fits;  // what it writes fitted and was written (nothing, for an empty or failed text)
};

// Formats once and gives what FormatUtf8V would give counting and writing.
// The text and its NUL are written to `buffer` only when they fit
// `capacity` bytes; else nothing is written and `fits` is false. A caller
// that counts to size its buffer and then writes gets both from here.
Utf8Results FormatUtf8Bounded(char* buffer, size_t capacity, const char* format,
                              ArgumentSlots arguments);

// Bytes of UTF-16 output the format needs, terminator included; -1 when it
// cannot be measured. A formatter that cannot count without a buffer is
// measured by trial with growing buffers.
int32_t MeasureWideFormat(const char16_t* format, ArgumentSlots arguments);
int32_t MeasureWideFormatWith(WideFormatter formatter, const char16_t* format,
                              ArgumentSlots arguments);

}  // namespace faultkit
