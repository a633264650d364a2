// Floating conversions e E f g G a A, printed as the Windows runtime prints
// them: exponents of at least three digits, ties rounded away from zero,
// hexadecimal mantissas of 13 digits by default, infinities and NaNs as
// "1.#INF00", "-1.#IND00" and "1.#QNAN0", and the current locale's decimal
// point.
#include <langinfo.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/format_directive.h"
#include "platform/posix/locale_text.h"

namespace faultkit::platform {
namespace {

// Beyond these precisions every further digit of a double is 0, so the
// digits are printed up to here and the rest are added as zeros.
constexpr int kFixedDigits = 1100;
constexpr int kSignificantDigits = 800;

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

// The locale's decimal point; "." when it does not decode.
size_t PutDecimalPoint(WideSink* sink) {
    const char* point = nl_langinfo(RADIXCHAR);
    const size_t length = std::strlen(point);
    size_t units = 0;
    if (PutLocaleText(point, length, nullptr, units) && units > 0) {
        if (sink != nullptr) {
            PutLocaleText(point, length, sink, units);
        }
        return units;
    }
    if (sink != nullptr) {
        PutUnit(*sink, u'.');
    }
    return 1;
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
    if (precision < tail_length && kept_length > 0 && tail[precision] >= '5') {
        ++kept[kept_length - 1];
    }
    const size_t zeros = kind == 'g' ? 0 : precision - kept_length;
    char exponent[6] = "";
    std::strcpy(exponent, kind == 'e' ? "e+000" : (kind == 'a' ? "p+0" : ""));
    if (IsUpper(directive.conversion)) {
        exponent[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(exponent[0])));
    }
    const size_t exponent_length = std::strlen(exponent);
    const bool point = kept_length + zeros > 0;
    const size_t units =
        1 + (point ? PutDecimalPoint(nullptr) : 0) + kept_length + zeros + exponent_length;
    char prefix[4];
    const Field field{prefix, Prefix(directive, negative, prefix), 0, units, directive.zero};
    PutField(sink, directive, field, [&] {
        PutUnit(sink, u'1');
        if (point) {
            PutDecimalPoint(&sink);
        }
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
    const bool point = precision > 0 || directive.alternate;
    const size_t units =
        1 + (point ? PutDecimalPoint(nullptr) : 0) + precision + static_cast<size_t>(tail_length);
    char prefix[4];
    const Field field{prefix, Prefix(directive, negative, prefix), 0, units, directive.zero};
    PutField(sink, directive, field, [&] {
        PutUnit(sink, static_cast<char16_t>(set[lead]));
        if (point) {
            PutDecimalPoint(&sink);
        }
        PutAscii(sink, digits, kept);
        PutRepeated(sink, u'0', precision - kept);
        PutAscii(sink, tail, static_cast<size_t>(tail_length));
    });
}

// The decimal position s at which `magnitude` lies exactly halfway
// between two neighbours of that position: magnitude * 10^s * 2 is an odd
// integer. With magnitude = m * 2^e, m odd, that is s = -e - 1 for e < 0,
// and s = -(e + 1) for e >= 0 when 5^(e + 1) divides m.
bool HalfwayPosition(double magnitude, int& position) {
    int exponent = 0;
    const double fraction = std::frexp(magnitude, &exponent);
    auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
    exponent -= 53;
    if (mantissa == 0) {
        return false;
    }
    for (; (mantissa & 1) == 0; mantissa >>= 1) {
        ++exponent;
    }
    if (exponent < 0) {
        position = -exponent - 1;
        return true;
    }
    uint64_t power = 1;
    for (int i = 0; i <= exponent; ++i) {
        if (power > mantissa / 5) {
            return false;
        }
        power *= 5;
    }
    position = -(exponent + 1);
    return mantissa % power == 0;
}

// Text printed by snprintf: in a local buffer, or on the heap when long.
struct Printed {
    char local[128];
    char* text;
    size_t length;
};

void ReleasePrinted(Printed& printed) {
    if (printed.text != printed.local) {
        std::free(printed.text);
    }
    printed.text = printed.local;
}

bool Print(Printed& printed, const char* format, int precision, double value) {
    ReleasePrinted(printed);
    const int length = std::snprintf(printed.local, sizeof printed.local, format, precision, value);
    if (length < 0) {
        return false;
    }
    printed.length = static_cast<size_t>(length);
    if (printed.length < sizeof printed.local) {
        return true;
    }
    printed.text = static_cast<char*>(std::malloc(printed.length + 1));
    if (printed.text == nullptr) {
        printed.text = printed.local;
        return false;
    }
    std::snprintf(printed.text, printed.length + 1, format, precision, value);
    return true;
}

// The decimal exponent shown by an e-style text.
int ShownExponent(const Printed& printed) {
    const char* marker = static_cast<const char*>(std::memchr(printed.text, 'e', printed.length));
    return marker != nullptr ? std::atoi(marker + 1) : 0;
}

// snprintf prints exact digits rounded half to even; the runtime rounds
// half away from zero. So a magnitude that lies exactly halfway at the
// rounding position is printed as its upper neighbour instead, which
// rounds the way the runtime does. `digits` is the precision of %f, or of
// the %e that rounds at the same place (%g's precision - 1).
bool RoundedValue(Printed& printed, char kind, int digits, double magnitude, double& value) {
    value = magnitude;
    int halfway = 0;
    if (!HalfwayPosition(magnitude, halfway)) {
        return true;
    }
    if (kind == 'f') {
        value = halfway == digits ? std::nextafter(magnitude, INFINITY) : magnitude;
        return true;
    }
    // %e rounds `digits` places behind its leading digit. A halfway value
    // there has the exponent digits - halfway; only when that is near the
    // magnitude's is %e asked for the exact one. The exponent it shows is
    // one too large only when it rounded up to a power of ten, and then no
    // halfway point of the coarser position lies near.
    const int exponent = digits - halfway;
    if (std::abs(exponent - static_cast<int>(std::floor(std::log10(magnitude)))) > 1) {
        return true;
    }
    if (!Print(printed, "%.*e", digits, magnitude)) {
        return false;
    }
    if (ShownExponent(printed) == exponent) {
        value = std::nextafter(magnitude, INFINITY);
    }
    return true;
}

// Lays out snprintf's text of the magnitude: the exponent widened to at
// least three digits, and the zeros beyond the printed precision in front
// of the exponent.
void PutDecimalText(WideSink& sink, const FormatDirective& directive, bool negative,
                    const Printed& printed, size_t extra_zeros) {
    const char* text = printed.text;
    const char* marker = static_cast<const char*>(
        std::memchr(text, IsUpper(directive.conversion) ? 'E' : 'e', printed.length));
    const size_t mantissa = marker != nullptr ? static_cast<size_t>(marker - text) : printed.length;
    const size_t exponent_digits = marker != nullptr ? printed.length - mantissa - 2 : 0;
    const size_t exponent_zeros =
        marker != nullptr && exponent_digits < 3 ? 3 - exponent_digits : 0;
    size_t units = 0;
    PutLocaleText(text, mantissa, nullptr, units);
    units += extra_zeros + (printed.length - mantissa) + exponent_zeros;
    char prefix[4];
    const Field field{prefix, Prefix(directive, negative, prefix), 0, units, directive.zero};
    PutField(sink, directive, field, [&] {
        PutLocaleText(text, mantissa, &sink, units);
        PutRepeated(sink, u'0', extra_zeros);
        if (marker != nullptr) {
            PutAscii(sink, marker, 2);
            PutRepeated(sink, u'0', exponent_zeros);
            PutAscii(sink, marker + 2, exponent_digits);
        }
    });
}

// %e, %f and %g of a finite magnitude.
bool FormatDecimal(WideSink& sink, const FormatDirective& directive, bool negative,
                   double magnitude) {
    const char kind = Lower(directive.conversion);
    int precision = Precision(directive);
    if (kind == 'g' && precision == 0) {
        precision = 1;
    }
    const int limit = kind == 'f' ? kFixedDigits : kSignificantDigits;
    const int printed_precision = precision < limit ? precision : limit;
    const size_t extra_zeros =
        kind != 'g' || directive.alternate ? static_cast<size_t>(precision - printed_precision) : 0;
    // "%.*f", or "%#.*f" with the alternate form.
    char format[8] = "%";
    char* end = format + 1;
    if (directive.alternate) {
        *end++ = '#';
    }
    std::memcpy(end, ".*", 2);
    end[2] = static_cast<char>(directive.conversion);
    end[3] = '\0';
    Printed printed{};
    printed.text = printed.local;
    double value = magnitude;
    bool ok =
        RoundedValue(printed, kind == 'f' ? 'f' : 'e',
                     kind == 'g' ? printed_precision - 1 : printed_precision, magnitude, value) &&
        Print(printed, format, printed_precision, value);
    if (ok) {
        PutDecimalText(sink, directive, negative, printed, extra_zeros);
    }
    ReleasePrinted(printed);
    return ok;
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
    return FormatDecimal(sink, directive, negative, std::fabs(value));
}

}  // namespace faultkit::platform
