#include "support/floating_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace faultkit::test {
namespace {

// Adds one to a string of digits; a carry out of the first adds a digit.
std::string Increment(std::string digits) {
    size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') {
        digits[--i] = '0';
    }
    if (i == 0) {
        return "1" + digits;
    }
    ++digits[i - 1];
    return digits;
}

// Rounds kept + tail to kept: a tail of half a unit of kept's last digit
// or more (ties away from zero) rounds up.
std::string RoundDigits(const std::string& kept, const std::string& tail) {
    return !tail.empty() && tail[0] >= '5' ? Increment(kept) : kept;
}

std::string FixedText(const ExactDecimal& exact, int precision, bool alternate) {
    // The fixed notation of the exact value, split at the decimal point.
    const auto point = static_cast<size_t>(std::max(exact.point, 0));
    std::string integer = exact.point > 0 ? exact.digits.substr(0, point) : "0";
    integer.resize(std::max<size_t>(point, 1), '0');
    std::string fraction = exact.point > 0
                               ? exact.digits.substr(std::min(point, exact.digits.size()))
                               : std::string(static_cast<size_t>(-exact.point), '0') + exact.digits;
    const auto places = static_cast<size_t>(precision);
    fraction.resize(std::max(fraction.size(), places), '0');
    std::string text = RoundDigits(integer + fraction.substr(0, places), fraction.substr(places));
    if (precision > 0 || alternate) {
        text.insert(text.size() - places, ".");
    }
    return text;
}

std::string ExponentText(char conversion, int exponent) {
    std::string digits = std::to_string(std::abs(exponent));
    digits.insert(0, 3 - std::min<size_t>(3, digits.size()), '0');
    return std::string(1, conversion == 'E' || conversion == 'G' ? 'E' : 'e') +
           (exponent < 0 ? "-" : "+") + digits;
}

// The significant digits rounded to `count`, and the exponent of the first.
std::string Significant(const ExactDecimal& exact, int count, int& exponent) {
    if (exact.digits.empty()) {
        exponent = 0;
        return std::string(static_cast<size_t>(count), '0');
    }
    const auto length = static_cast<size_t>(count);
    std::string kept = exact.digits.substr(0, length);
    kept.resize(length, '0');
    const std::string tail = exact.digits.substr(std::min(length, exact.digits.size()));
    std::string rounded = RoundDigits(kept, tail);
    exponent = exact.point - 1;
    if (rounded.size() > kept.size()) {
        rounded.pop_back();
        ++exponent;
    }
    return rounded;
}

std::string ScientificText(const ExactDecimal& exact, char conversion, int precision,
                           bool alternate) {
    int exponent = 0;
    std::string text = Significant(exact, precision + 1, exponent);
    if (precision > 0 || alternate) {
        text.insert(1, ".");
    }
    return text + ExponentText(conversion, exponent);
}

// Without "#", %g drops the fraction's trailing zeros, and a point with
// nothing behind it.
std::string WithoutTrailingZeros(std::string text) {
    const size_t exponent_at = text.find_first_of("eE");
    std::string exponent = exponent_at == std::string::npos ? "" : text.substr(exponent_at);
    text.resize(text.size() - exponent.size());
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text + exponent;
}

// C's rule: P significant digits; X the exponent %e would show with them;
// %f with precision P - 1 - X when P > X >= -4, else %e with P - 1.
std::string GeneralText(const ExactDecimal& exact, char conversion, int precision, bool alternate) {
    const int significant = precision < 0 ? 6 : (precision == 0 ? 1 : precision);
    int exponent = 0;
    Significant(exact, significant, exponent);
    const std::string text = significant > exponent && exponent >= -4
                                 ? FixedText(exact, significant - 1 - exponent, alternate)
                                 : ScientificText(exact, conversion, significant - 1, alternate);
    return alternate ? text : WithoutTrailingZeros(text);
}

}  // namespace

// glibc's printf writes a double's exact decimal expansion when asked for
// enough digits: those down to its lowest bit, 2^(e - 53) for a value
// below 2^e, whose last decimal digit is at 10^-(53 - e).
ExactDecimal ExpandExactly(double value) {
    int binary = 0;
    std::frexp(value, &binary);
    const int decimal = static_cast<int>(std::floor(std::log10(std::fabs(value) + 1e-320)));
    const int precision = std::clamp(decimal + std::max(0, 53 - binary) + 1, 0, 766);
    char text[800];
    std::snprintf(text, sizeof text, "%.*e", precision, std::fabs(value));
    char* exponent = std::strchr(text, 'e');
    ExactDecimal exact;
    exact.digits.assign(text, exponent);
    exact.digits.erase(std::remove(exact.digits.begin(), exact.digits.end(), '.'),
                       exact.digits.end());
    exact.digits.erase(exact.digits.find_last_not_of('0') + 1);
    exact.point = exact.digits.empty() ? 0 : std::atoi(exponent + 1) + 1;
    return exact;
}

std::string ReferenceText(const ExactDecimal& exact, bool negative, char conversion, int precision,
                          bool alternate) {
    std::string text;
    switch (conversion) {
        case 'f': text = FixedText(exact, precision < 0 ? 6 : precision, alternate); break;
        case 'e':
        case 'E':
            text = ScientificText(exact, conversion, precision < 0 ? 6 : precision, alternate);
            break;
        default: text = GeneralText(exact, conversion, precision, alternate); break;
    }
    return negative ? "-" + text : text;
}

int TiePrecision(const ExactDecimal& exact, char conversion) {
    const int digits = static_cast<int>(exact.digits.size());
    if (digits == 0 || exact.digits.back() != '5') {
        return -1;
    }
    switch (conversion) {
        case 'f': return digits - exact.point - 1;
        case 'e':
        case 'E': return digits - 2;
        default: return digits - 1;
    }
}

}  // namespace faultkit::test
