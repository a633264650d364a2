// Conversion directives of the Windows runtime's wide printf dialect:
//   %[flags][width][.precision][size]conversion
// flags "-+ #0" in any number and order; width and precision as digits or
// "*" (taken from the next slot); sizes "h", "hh" (read as "h"), "l", "ll",
// "I64", "I32", "I", "j", "z", "t", "w", "L"; conversions
// d i o u x X p, e E f g G a A, c C, s S. "%n" and anything else is refused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/wide_sink.h"

namespace faultkit::platform {

// The caller's arguments: consecutive 8-byte slots, read strictly in order.
struct SlotReader {
    const uint64_t* next;
};

inline uint64_t NextSlot(SlotReader& slots) {
    return *slots.next++;
}

// How character and string conversions read their argument.
enum class TextWidth : uint8_t { kDefault, kNarrow, kWide };

struct FormatDirective {
    bool left;             // "-"
    bool plus;             // "+"
    bool space;            // " "
    bool alternate;        // "#"
    bool zero;             // "0"
    size_t width;          // 0 when absent
    int precision;         // -1 when absent
    uint8_t integer_bits;  // 16, 32 or 64
    TextWidth text;        // "h" narrow, "l"/"w" wide
    char16_t conversion;
};

// Reads the directive behind a "%" (not "%%"), taking "*" values from `slots`,
// and moves `format` past its conversion character. Returns false for a
// directive the formatter refuses; it never reads past the format's terminator.
bool ParseFormatDirective(const char16_t*& format, SlotReader& slots, FormatDirective& directive);

// The conversions; each returns false when it refuses its argument.
bool FormatInteger(WideSink& sink, const FormatDirective& directive, uint64_t slot);
bool FormatFloating(WideSink& sink, const FormatDirective& directive, uint64_t slot);
bool FormatCharacter(WideSink& sink, const FormatDirective& directive, uint64_t slot);
bool FormatString(WideSink& sink, const FormatDirective& directive, uint64_t slot);

// A padded field: [spaces][prefix][zeros][body][spaces]. The width counts
// the prefix, `zeros` and the body's units; the padding is zeros behind
// the prefix when `zero_pad` is set and the field is right-aligned.
struct Field {
    const char* prefix;  // sign and radix prefix, ASCII
    size_t prefix_length;
    size_t zeros;  // zeros the value itself needs (precision)
    size_t body_units;
    bool zero_pad;
};

template <typename Body>
void PutField(WideSink& sink, const FormatDirective& directive, const Field& field, Body&& body) {
    const size_t used = field.prefix_length + field.zeros + field.body_units;
    const size_t padding = directive.width > used ? directive.width - used : 0;
    const bool zero_pad = field.zero_pad && !directive.left;
    if (!directive.left && !zero_pad) {
        PutRepeated(sink, u' ', padding);
    }
    PutAscii(sink, field.prefix, field.prefix_length);
    PutRepeated(sink, u'0', field.zeros + (zero_pad ? padding : 0));
    body();
    if (directive.left) {
        PutRepeated(sink, u' ', padding);
    }
}

}  // namespace faultkit::platform
