// Conversion directives of the Windows runtime's wide printf dialect:
//   %[flags][width][.precision][size]conversion
// flags "-+ #0" in any number and order; width and precision as digits or
// "*" (taken from the next slot); sizes "h", "hh" (read as "h"), "l", "ll",
// "I64", "I32", "I", "j", "z", "t", "w", "L"; conversions
// d i o u x X p, e E f g G a A, c C, s S. "%n" and anything else is refused.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace faultkit::platform
