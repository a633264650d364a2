// Integer conversions d i o u x X and the pointer conversion p.
#include <cstring>

#include "platform/posix/wide_printf/format_conversions.h"

namespace faultkit::platform {
namespace {

struct IntegerValue {
    uint64_t magnitude;
    bool negative;
};

// Reads the slot at the directive's size: the low 16, 32 or 64 bits,
// sign-extended for the signed conversions.
IntegerValue ReadInteger(char16_t conversion, uint8_t integer_bits, uint64_t slot) {
    const bool is_signed = conversion == u'd' || conversion == u'i';
    int64_t value = 0;
    switch (integer_bits) {
        case 16:
            value = is_signed ? int64_t{static_cast<int16_t>(slot)}
                              : int64_t{static_cast<uint16_t>(slot)};
            break;
        case 32:
            value = is_signed ? int64_t{static_cast<int32_t>(slot)}
                              : int64_t{static_cast<uint32_t>(slot)};
            break;
        default:
            if (!is_signed || static_cast<int64_t>(slot) >= 0) {
                return {slot, false};
            }
            return {0 - slot, true};
    }
    if (value < 0) {
        return {0 - static_cast<uint64_t>(value), true};
    }
    return {static_cast<uint64_t>(value), false};
}

// Writes the digits of `value` to the end of `digits`; returns their count.
// The radix is a constant in each instance, so that the division is cheap.
template <unsigned kRadix>
size_t DigitsIn(uint64_t value, const char* set, char* digits, size_t size) {
    size_t count = 0;
    for (; value != 0; value /= kRadix) {
        digits[size - ++count] = set[value % kRadix];
    }
    return count;
}

// The two-digit decimal numbers "00" to "99", back to back.
struct DigitPairs {
    char text[200];
};

constexpr DigitPairs MakeDigitPairs() {
    DigitPairs pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs.text[2 * i] = static_cast<char>('0' + i / 10);
        pairs.text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}

constexpr DigitPairs kDigitPairs = MakeDigitPairs();

// DigitsIn<10>, two digits a round; in 32 bits where the value fits, which
// divides faster.
template <typename Value>
size_t DecimalDigits(Value value, char* digits, size_t size) {
    size_t count = 0;
    for (; value >= 10; value /= 100) {
        count += 2;
        std::memcpy(digits + size - count, &kDigitPairs.text[2 * (value % 100)], 2);
    }
    if (value != 0) {
        digits[size - ++count] = static_cast<char>('0' + value);
    }
    return count;
}

size_t Digits(uint64_t value, unsigned radix, bool upper, char* digits, size_t size) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    switch (radix) {
        case 8: return DigitsIn<8>(value, set, digits, size);
        case 16: return DigitsIn<16>(value, set, digits, size);
        default:
            return value <= UINT32_MAX ? DecimalDigits(static_cast<uint32_t>(value), digits, size)
                                       : DecimalDigits(value, digits, size);
    }
}

unsigned Radix(char16_t conversion) {
    switch (conversion) {
        case u'o': return 8;
        case u'x':
        case u'X':
        case u'p': return 16;
        default: return 10;
    }
}

}  // namespace

// "%p" prints all 16 digits of the 64-bit value, upper case; "#" adds
// "0X".
bool FormatInteger(WideSink& sink, const FormatDirective& directive, uint64_t slot) {
    const bool pointer = directive.conversion == u'p';
    const int given_precision = pointer ? 16 : directive.precision;
    const IntegerValue value =
        ReadInteger(directive.conversion, pointer ? uint8_t{64} : directive.integer_bits, slot);
    const bool upper = directive.conversion == u'X' || pointer;
    char digits[24];
    const size_t count =
        Digits(value.magnitude, Radix(directive.conversion), upper, digits, sizeof digits);
    const size_t precision = given_precision < 0 ? 1 : static_cast<size_t>(given_precision);
    size_t zeros = precision > count ? precision - count : 0;
    // "#o" makes the text start with a zero, even for "%#.0o" of 0 (the
    // digits of a value never start with one).
    if (directive.alternate && directive.conversion == u'o' && zeros == 0) {
        zeros = 1;
    }
    char prefix[3];
    size_t prefix_length = 0;
    if (directive.conversion == u'd' || directive.conversion == u'i') {
        if (value.negative) {
            prefix[prefix_length++] = '-';
        } else if (directive.plus || directive.space) {
            prefix[prefix_length++] = directive.plus ? '+' : ' ';
        }
    } else if (directive.alternate && value.magnitude != 0 && Radix(directive.conversion) == 16) {
        prefix[prefix_length++] = '0';
        prefix[prefix_length++] = upper ? 'X' : 'x';
    }
    const Field field{prefix, prefix_length, zeros, count, directive.zero && given_precision < 0};
    PutField(sink, directive, field,
             [&] { PutAscii(sink, digits + sizeof digits - count, count); });
    return true;
}

}  // namespace faultkit::platform
