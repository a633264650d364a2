// Single-byte text of the current locale (LC_CTYPE) as UTF-16.
//
// Bytes 0x00-0x7F stand for themselves. Other bytes go through mbrtowc. In
// a single-byte locale (MB_CUR_MAX == 1, "C" and "POSIX" among them) a byte
// that mbrtowc does not take stands for the code point of the same value,
// as in the Windows runtime's "C" locale: 0x80-0xFF become U+0080-U+00FF.
// In a multibyte locale (UTF-8, for instance) a sequence that does not
// decode, or is cut short, fails the conversion.
#pragma once

#include <cstddef>

#include "platform/posix/wide_printf/wide_sink.h"

namespace faultkit::platform {

// Counts the UTF-16 units of text[0, length) into `units` and stores them
// into `sink` when one is given. Returns false when the text does not
// decode.
bool PutLocaleText(const char* text, size_t length, WideSink* sink, size_t& units);

}  // namespace faultkit::platform
