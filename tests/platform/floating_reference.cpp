#include "floating_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace faultkit::test {
namespace {

constexpr uint32_t kBase = 1000000000;

// A decimal number in base 10^9, least significant limb first.
using DecimalNumber = std::vector<uint32_t>;

void Multiply(DecimalNumber& n, uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& limb : n) {
        const uint64_t product = uint64_t{limb} * factor + carry;
        limb = static_cast<uint32_t>(product % kBase);
        carry = product / kBase;
    }
    while (carry != 0) {
        n.push_back(static_cast<uint32_t>(carry % kBase));
        carry /= kBase;
    }
}

// base^0 ... base^(count - 1), each made from the one before.
std::vector<DecimalNumber> Powers(uint32_t base, int count) {
    std::vector<DecimalNumber> powers{{1}};
    while (static_cast<int>(powers.size()) < count) {
        powers.push_back(powers.back());
        Multiply(powers.back(), base);
    }
    return powers;
}

// The powers a double's mantissa is multiplied by: 2^0 ... 2^1023 for
// integers, 5^0 ... 5^1074 for fractions.
const DecimalNumber& Power(uint32_t base, int exponent) {
    static const std::vector<DecimalNumber> twos = Powers(2, 1024);
    static const std::vector<DecimalNumber> fives = Powers(5, 1075);
    return base == 2 ? twos[static_cast<size_t>(exponent)] : fives[static_cast<size_t>(exponent)];
}

// Schoolbook product.
DecimalNumber Product(const DecimalNumber& a, const DecimalNumber& b) {
    DecimalNumber product(a.size() + b.size(), 0);
    for (size_t i = 0; i < a.size(); ++i) {
        uint64_t carry = 0;
        for (size_t j = 0; j < b.size(); ++j) {
            const uint64_t sum = product[i + j] + uint64_t{a[i]} * b[j] + carry;
            product[i + j] = static_cast<uint32_t>(sum % kBase);
            carry = sum / kBase;
        }
        product[i + b.size()] = static_cast<uint32_t>(carry);
    }
    while (product.size() > 1 && product.back() == 0) {
        product.pop_back();
    }
    return product;
}

std::string Text(const DecimalNumber& n) {
    std::string text = std::to_string(n.back());
    for (size_t i = n.size() - 1; i-- > 0;) {
        const std::string limb = std::to_string(n[i]);
        text += std::string(9 - limb.size(), '0') + limb;
    }
    return text;
}

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

// Rounds kept + tail to kept, by the value of the tail against half a
// unit of kept's last digit: above half and exactly half round up.
std::string RoundDigits(const std::string& kept, const std::string& tail) {
    const bool rest_is_zero =
        tail.size() <= 1 || tail.find_first_not_of('0', 1) == std::string::npos;
    const bool above = !tail.empty() && (tail[0] > '5' || (tail[0] == '5' && !rest_is_zero));
    const bool tie = !tail.empty() && tail[0] == '5' && rest_is_zero;
    return above || tie ? Increment(kept) : kept;
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

ExactDecimal ExpandExactly(double value) {
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
    exponent -= 53;
    ExactDecimal exact;
    if (mantissa == 0) {
        return exact;
    }
    for (; mantissa % 2 == 0; mantissa /= 2) {
        ++exponent;  // down to an odd mantissa, so that -1074 <= exponent <= 1023
    }
    const DecimalNumber m{static_cast<uint32_t>(mantissa % kBase),
                          static_cast<uint32_t>(mantissa / kBase)};
    // m x 2^e for e >= 0; m x 2^-k = m x 5^k / 10^k.
    exact.digits = Text(Product(m, Power(exponent >= 0 ? 2 : 5, std::abs(exponent))));
    exact.point = static_cast<int>(exact.digits.size()) + std::min(exponent, 0);
    exact.digits.erase(exact.digits.find_last_not_of('0') + 1);
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
