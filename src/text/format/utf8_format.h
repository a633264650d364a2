// printf-style formatting with a UTF-8 format and UTF-8 string arguments,
// producing UTF-8 text. The work is done by the platform's wide formatter
// on a UTF-16 copy of the format prepared by the positional front end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/format/format_front_end.h"

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

// Formats once and gives both results of FormatUtf8V: its counting result
// goes to *counted, and the text and its NUL are written to `buffer` when
// that count fits `capacity` bytes. Returns its writing result then, and
// also when there is nothing to write (*counted 0 or less); else 0 with
// nothing written. A caller that counts to size its buffer and then
// writes gets both from one formatting here.
int32_t FormatUtf8Bounded(char* buffer, size_t capacity, const char* format,
                          ArgumentSlots arguments, int32_t* counted);

// Bytes of UTF-16 output the format needs, terminator included; -1 when it
// cannot be measured. A formatter that cannot count without a buffer is
// measured by trial with growing buffers.
int32_t MeasureWideFormat(const char16_t* format, ArgumentSlots arguments);
int32_t MeasureWideFormatWith(WideFormatter formatter, const char16_t* format,
                              ArgumentSlots arguments);

}  // namespace faultkit
