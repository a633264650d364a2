// Integer conversions d i o u x X and the pointer conversion p.
#include "platform/posix/format_spec.h"

namespace faultkit::platform {
namespace {

struct IntegerValue {
    uint64_t magnitude;
    bool negative;
};

// Reads the slot at the spec's size: the low 16, 32 or 64 bits,
// sign-extended for the signed conversions.
IntegerValue ReadInteger(const FormatSpec& spec, uint64_t slot) {
    const bool is_signed = spec.conversion == u'd' || spec.conversion == u'i';
    int64_t value = 0;
    switch (spec.integer_bits) {
        case 16:
            value = is_signed ? int64_t{static_cast<int16_t>(slot)} : int64_t{static_cast<uint16_t>(slot)};
            break;
        case 32:
            value = is_signed ? int64_t{static_cast<int32_t>(slot)} : int64_t{static_cast<uint32_t>(slot)};
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

size_t Digits(uint64_t value, unsigned radix, bool upper, char* digits, size_t size) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    switch (radix) {
        case 8: return DigitsIn<8>(value, set, digits, size);
        case 16: return DigitsIn<16>(value, set, digits, size);
        default: return DigitsIn<10>(value, set, digits, size);
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

bool FormatInteger(WideSink& sink, const FormatSpec& given, uint64_t slot) {
    FormatSpec spec = given;
    if (spec.conversion == u'p') {
        // Always all 16 digits, upper case; "#" adds "0X".
        spec.integer_bits = 64;
        spec.precision = 16;
    }
    const IntegerValue value = ReadInteger(spec, slot);
    const bool upper = spec.conversion == u'X' || spec.conversion == u'p';
    char digits[24];
    const size_t count = Digits(value.magnitude, Radix(spec.conversion), upper, digits, sizeof digits);
    const size_t precision = spec.precision < 0 ? 1 : static_cast<size_t>(spec.precision);
    size_t zeros = precision > count ? precision - count : 0;
    // "#o" makes the text start with a zero, even for "%#.0o" of 0 (the
    // digits of a value never start with one).
    if (spec.alternate && spec.conversion == u'o' && zeros == 0) {
        zeros = 1;
    }
    char prefix[3];
    size_t prefix_length = 0;
    if (spec.conversion == u'd' || spec.conversion == u'i') {
        if (value.negative) {
            prefix[prefix_length++] = '-';
        } else if (spec.plus || spec.space) {
            prefix[prefix_length++] = spec.plus ? '+' : ' ';
        }
    } else if (spec.alternate && value.magnitude != 0 && Radix(spec.conversion) == 16) {
        prefix[prefix_length++] = '0';
        prefix[prefix_length++] = upper ? 'X' : 'x';
    }
    const Field field{prefix, prefix_length, zeros, count, spec.zero && spec.precision < 0};
    PutField(sink, spec, field, [&] { PutAscii(sink, digits + sizeof digits - count, count); });
    return true;
}

}  // namespace faultkit::platform
