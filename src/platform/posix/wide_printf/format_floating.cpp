// Floating conversions e E f g G a A, printed as the Windows runtime prints
// them: decimal digits of the exact binary value with ties rounded away
// from zero (decimal_digits.h), exponents of at least three digits,
// hexadecimal mantissas of 13 digits by default, infinities and NaNs as
// "1.#INF00", "-1.#IND00" and "1.#QNAN0", and the current locale's decimal
// point.
#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/posix/wide_printf/decimal_digits.h"
#include "platform/posix/wide_printf/format_conversions.h"
#include "platform/posix/wide_printf/locale_text.h"

namespace faultkit::platform {
namespace {

char Lower(char16_t conversion) {
    return static_cast<char>(conversion | 0x20);
}
bool IsUpper(char16_t conversion) {
    return conversion == u'E' || conversion == u'G' || conversion == u'A';
}

int Precision(const FormatDirective& directive) {
    if (directive.precision >= 0) {
        return directive.precision;
    }
    return Lower(directive.conversion) == 'a' ? 13 : 6;
}

// The sign, and "0x" for the hexadecimal form; returns the prefix length.
size_t Prefix(const FormatDirective& directive, bool negative, char* prefix) {
    size_t length = 0;
    if (negative || directive.plus || directive.space) {
        prefix[length++] = negative ? '-' : (directive.plus ? '+' : ' ');
    }
    if (Lower(directive.conversion) == 'a') {
        prefix[length++] = '0';
        prefix[length++] = IsUpper(directive.conversion) ? 'X' : 'x';
    }
    return length;
}

// The decimal point of a text, looked up in the current locale once per
// conversion, which counts its units for the field and then puts it; "."
// when the locale's does not decode, nothing when the text has none.
struct DecimalPoint {
    const char* text;
    size_t length;
    size_t units;
};

DecimalPoint DecimalPointIf(bool shown) {
    if (!shown) {
        return DecimalPoint{"", 0, 0};
    }
    DecimalPoint point{nl_langinfo(RADIXCHAR), 0, 0};
    if (point.text[0] == '.' && point.text[1] == '\0') {
        return DecimalPoint{".", 1, 1};  // most locales', "C" among them
    }
    point.length = std::strlen(point.text);
    if (!PutLocaleText(point.text, point.length, nullptr, point.units) || point.units == 0) {
        return DecimalPoint{".", 1, 1};
    }
    return point;
}

void PutDecimalPoint(WideSink& sink, const DecimalPoint& point) {
    size_t units = 0;
    PutLocaleText(point.text, point.length, &sink, units);
}

// Infinities and NaNs. The runtime lays out "1#INF", "1#IND" (a negative
// NaN) or "1#QNAN" as if it were the digits of a number with exponent 0:
// the precision cuts the text after "1" or pads it with zeros, and the
// last character kept goes up by one when the next is '5' or above, so
// "%.2f" of infinity is "1.#J". "%g" drops the padding zeros.
void FormatSpecial(WideSink& sink, const FormatDirective& directive, bool negative, bool nan) {
    const char* tail = !nan ? "#INF" : (negative ? "#IND" : "#QNAN");
    const size_t tail_length = std::strlen(tail);
    const char kind = Lower(directive.conversion);
    size_t precision = static_cast<size_t>(Precision(directive));
    if (kind == 'g') {
        precision = precision == 0 ? 0 : precision - 1;
    }
    char kept[8];
    const size_t kept_length = precision < tail_length ? precision : tail_length;
    std::memcpy(kept, tail, kept_length);
    // The tail starts with '#': a precision of 0 keeps nothing and never rounds.
    if (precision < tail_length && tail[precision] >= '5') {
        ++kept[kept_length - 1];
    }
    const size_t zeros = kind == 'g' ? 0 : precision - kept_length;
    char exponent[6] = "";
    std::strcpy(exponent, kind == 'e' ? "e+000" : (kind == 'a' ? "p+0" : ""));
    if (IsUpper(directive.conversion)) {
        exponent[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(exponent[0])));
    }
    const size_t exponent_length = std::strlen(exponent);
    const DecimalPoint point = DecimalPointIf(kept_length + zeros > 0);
    const size_t units = 1 + point.units + kept_length + zeros + exponent_length;
    char prefix[4];
    const Field field{prefix, Prefix(directive, negative, prefix), 0, units, directive.zero};
    PutField(sink, directive, field, [&] {
        PutUnit(sink, u'1');
        PutDecimalPoint(sink, point);
        PutAscii(sink, kept, kept_length);
        PutRepeated(sink, u'0', zeros);
        PutAscii(sink, exponent, exponent_length);
    });
}

// Hexadecimal form: "0x1.8000000000000p+0". Rounding to a shorter
// precision is half away from zero and may carry into the leading digit
// ("%.0a" of 1.5 is "0x2p+0").
void FormatHexadecimal(WideSink& sink, const FormatDirective& directive, bool negative,
                       uint64_t bits) {
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    unsigned lead = biased != 0 ? 1 : 0;
    const int exponent = biased != 0 ? biased - 1023 : (mantissa != 0 ? -1022 : 0);
    const size_t precision = static_cast<size_t>(Precision(directive));
    const size_t kept = precision < 13 ? precision : 13;
    if (kept < 13) {
        const size_t dropped = (13 - kept) * 4;
        const bool up =
            (mantissa & ((uint64_t{1} << dropped) - 1)) >= (uint64_t{1} << (dropped - 1));
        mantissa = (mantissa >> dropped) + (up ? 1 : 0);
        if ((mantissa >> (kept * 4)) != 0) {
            ++lead;
            mantissa = 0;
        }
    }
    const char* set = IsUpper(directive.conversion) ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[13];
    for (size_t i = 0; i < kept; ++i) {
        digits[i] = set[(mantissa >> ((kept - 1 - i) * 4)) & 0xF];
    }
    char tail[8];
    const int tail_length = std::snprintf(tail, sizeof tail, "%c%+d",
                                          IsUpper(directive.conversion) ? 'P' : 'p', exponent);
    const DecimalPoint point = DecimalPointIf(precision > 0 || directive.alternate);
    const size_t units = 1 + point.units + precision + static_cast<size_t>(tail_length);
    char prefix[4];
    const Field field{prefix, Prefix(directive, negative, prefix), 0, units, directive.zero};
    PutField(sink, directive, field, [&] {
        PutUnit(sink, static_cast<char16_t>(set[lead]));
        PutDecimalPoint(sink, point);
        PutAscii(sink, digits, kept);
        PutRepeated(sink, u'0', precision - kept);
        PutAscii(sink, tail, static_cast<size_t>(tail_length));
    });
}

// The digits at indexes [from, from + length) of `decimal`: zeros before
// the first and behind the last digit it holds.
void PutDigits(WideSink& sink, const DecimalDigits& decimal, int64_t from, size_t length) {
    const int64_t end = from + static_cast<int64_t>(length);
    const int64_t first = std::max<int64_t>(from, 0);
    const int64_t last = std::min<int64_t>(end, static_cast<int64_t>(decimal.count));
    const size_t before =
        static_cast<size_t>(std::min<int64_t>(end, 0) - std::min<int64_t>(from, 0));
    const size_t held = last > first ? static_cast<size_t>(last - first) : 0;
    PutRepeated(sink, u'0', before);
    PutAscii(sink, decimal.digits + first, held);
    PutRepeated(sink, u'0', length - before - held);
}

// How a decimal text is laid out: integer digits, point, fraction digits
// (both taken from the digits at consecutive indexes), exponent.
struct DecimalLayout {
    size_t integer_digits;
    int64_t fraction_start;  // index of the first fraction digit
    size_t fraction_digits;
    char exponent[8];
    size_t exponent_length;
};

// %f: the integer part is "0" when the value is below 1.
DecimalLayout FixedLayout(const DecimalDigits& decimal, int64_t fraction_digits) {
    return {static_cast<size_t>(decimal.point > 1 ? decimal.point : 1), decimal.point,
            static_cast<size_t>(fraction_digits), "", 0};
}

// %e: one integer digit and an exponent of at least three digits.
DecimalLayout ScientificLayout(const DecimalDigits& decimal, int64_t fraction_digits, bool upper) {
    DecimalLayout layout{1, 1, static_cast<size_t>(fraction_digits), "", 5};
    const int exponent = decimal.point - 1;
    const int shown = exponent < 0 ? -exponent : exponent;
    layout.exponent[0] = upper ? 'E' : 'e';
    layout.exponent[1] = exponent < 0 ? '-' : '+';
    layout.exponent[2] = static_cast<char>('0' + shown / 100);
    layout.exponent[3] = static_cast<char>('0' + shown / 10 % 10);
    layout.exponent[4] = static_cast<char>('0' + shown % 10);
    return layout;
}

// %g: %e when the exponent is below -4 or not below the precision, else
// %f; without "#" the fraction loses its trailing zeros.
DecimalLayout GeneralLayout(const DecimalDigits& decimal, int64_t precision,
                            const FormatDirective& directive) {
    const int exponent = decimal.point - 1;
    DecimalLayout layout =
        exponent < -4 || exponent >= precision
            ? ScientificLayout(decimal, precision - 1, IsUpper(directive.conversion))
            : FixedLayout(decimal, precision - 1 - exponent);
    if (!directive.alternate) {
        const int64_t held = static_cast<int64_t>(decimal.count) - layout.fraction_start;
        if (held < static_cast<int64_t>(layout.fraction_digits)) {
            layout.fraction_digits = static_cast<size_t>(held > 0 ? held : 0);
        }
    }
    return layout;
}

// The digits of a finite magnitude rounded as the conversion asks, and
// their layout. The layout is returned, not assigned: built in place, it
// is not copied through the stack.
DecimalLayout RoundAndLayOut(const FormatDirective& directive, double magnitude,
                             DecimalDigits& decimal) {
    const char kind = Lower(directive.conversion);
    const int64_t precision = Precision(directive);
    if (kind == 'f') {
        RoundDecimal(magnitude, RoundAt::kFractionDigits, precision, decimal);
        return FixedLayout(decimal, precision);
    }
    if (kind == 'e') {
        RoundDecimal(magnitude, RoundAt::kSignificantDigits, precision + 1, decimal);
        return ScientificLayout(decimal, precision, IsUpper(directive.conversion));
    }
    const int64_t significant = precision == 0 ? 1 : precision;
    RoundDecimal(magnitude, RoundAt::kSignificantDigits, significant, decimal);
    return GeneralLayout(decimal, significant, directive);
}

// %e, %f and %g of a finite magnitude.
void FormatDecimal(WideSink& sink, const FormatDirective& directive, bool negative,
                   double magnitude) {
    DecimalDigits decimal;
    const DecimalLayout layout = RoundAndLayOut(directive, magnitude, decimal);
    const DecimalPoint point = DecimalPointIf(layout.fraction_digits > 0 || directive.alternate);
    const size_t units =
        layout.integer_digits + point.units + layout.fraction_digits + layout.exponent_length;
    char prefix[4];
    const Field field{prefix, Prefix(directive, negative, prefix), 0, units, directive.zero};
    PutField(sink, directive, field, [&] {
        const int64_t integer_start =
            layout.fraction_start - static_cast<int64_t>(layout.integer_digits);
        PutDigits(sink, decimal, integer_start, layout.integer_digits);
        PutDecimalPoint(sink, point);
        PutDigits(sink, decimal, layout.fraction_start, layout.fraction_digits);
        PutAscii(sink, layout.exponent, layout.exponent_length);
    });
}

}  // namespace

bool FormatFloating(WideSink& sink, const FormatDirective& directive, uint64_t slot) {
    double value = 0;
    std::memcpy(&value, &slot, sizeof value);
    const bool negative = std::signbit(value);
    if (!std::isfinite(value)) {
        FormatSpecial(sink, directive, negative, std::isnan(value));
        return true;
    }
    if (Lower(directive.conversion) == 'a') {
        FormatHexadecimal(sink, directive, negative, slot);
        return true;
    }
    FormatDecimal(sink, directive, negative, std::fabs(value));
    return true;
}

}  // namespace faultkit::platform
