// Our formatter's %e, %f and %g against an independent model of the Windows
// runtime's text (support/floating_reference.h), over a few million texts: random
// bit patterns, values built to lie exactly halfway at a short precision,
// values next to powers of two, and large integers that are ties for %e.
// Every value is printed at a random precision (0 to 20 or none) and at
// the precisions where it is a tie.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "platform/platform.h"
#include "support/floating_reference.h"

namespace {

using faultkit::test::ExactDecimal;
using faultkit::test::ExpandExactly;
using faultkit::test::ReferenceText;
using faultkit::test::TiePrecision;

// Sanitizer and unoptimised builds compare fewer values.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FAULTKIT_SLOW_BUILD 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(FAULTKIT_SLOW_BUILD)
constexpr size_t kDivisor = 10;
#elif !defined(__OPTIMIZE__)
constexpr size_t kDivisor = 4;
#else
constexpr size_t kDivisor = 1;
#endif

uint64_t Bits(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double FromBits(uint64_t bits) {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// "%.*<conversion>" or "%#.*<conversion>" through our formatter, as ASCII.
std::string Ours(double value, char conversion, int precision, bool alternate) {
    const std::u16string format =
        std::u16string(alternate ? u"%#.*" : u"%.*") + static_cast<char16_t>(conversion);
    const uint64_t slots[] = {static_cast<uint64_t>(static_cast<int64_t>(precision)), Bits(value)};
    char16_t buffer[4096];
    const int written = faultkit::platform::WideFormat(buffer, 4096, format.c_str(), slots);
    return written < 0 ? "<refused>" : std::string(buffer, buffer + written);
}

// Compares values from `make` (given indexes 0 to `values` - 1, spaced out
// in slow builds), each with a random sign, at a random directive and at
// the tie precision of each conversion. The seed is fixed, so a failure
// repeats; the first few mismatches are shown.
void CompareMany(size_t values, const std::function<double(size_t, std::mt19937_64&)>& make) {
    std::mt19937_64 random(values);
    size_t mismatches = 0;
    const auto check = [&](double value, const ExactDecimal& exact, char conversion,
                           int precision) {
        const bool alternate = random() % 4 == 0;
        const std::string expected =
            ReferenceText(exact, std::signbit(value), conversion, precision, alternate);
        const std::string actual = Ours(value, conversion, precision, alternate);
        if (actual != expected && ++mismatches <= 10) {
            ADD_FAILURE() << std::hexfloat << value << ", " << conversion
                          << (alternate ? " with #" : "") << ", precision " << precision
                          << " (-1: none): expected " << expected << ", got " << actual;
        }
    };
    for (size_t i = 0; i < values / kDivisor; ++i) {
        const double magnitude = make(i * kDivisor, random);
        const double value = random() % 2 == 0 ? magnitude : -magnitude;
        const ExactDecimal exact = ExpandExactly(value);
        check(value, exact, "fegEG"[random() % 5], static_cast<int>(random() % 22) - 1);
        for (const char conversion : {'f', 'e', 'g'}) {
            const int tie = TiePrecision(exact, conversion);
            if (tie >= 0) {
                check(value, exact, conversion, tie);
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// Random bit patterns; an odd mantissa of 1 to 53 bits over 2^k (a tie at
// k - 1 decimals); the four doubles on either side of every power of two,
// subnormals included, each printed in four random ways; and D x 10^j with
// D ending in 5 and D x 5^j below 2^53 (ties of %e and %g far above 2^53).
TEST(FloatingTextTest, AgreesWithTheModel) {
    CompareMany(400000, [](size_t, std::mt19937_64& random) {
        uint64_t bits = random();
        while ((bits & 0x7FF0000000000000) == 0x7FF0000000000000) {
            bits = random();
        }
        return FromBits(bits);
    });
    CompareMany(500000, [](size_t, std::mt19937_64& random) {
        const int bits = 1 + static_cast<int>(random() % 53);
        const uint64_t mantissa = (random() >> (64 - bits)) | 1;
        return std::ldexp(static_cast<double>(mantissa), -1 - static_cast<int>(random() % 64));
    });
    CompareMany(0x7FF * 8 * 4, [](size_t index, std::mt19937_64&) {
        const uint64_t step = index % 4;
        const uint64_t fraction = index % 8 < 4 ? step : ((uint64_t{1} << 52) - 1 - step);
        return FromBits((index / 8 % 0x7FF << 52) | fraction);
    });
    CompareMany(300000, [](size_t, std::mt19937_64& random) {
        const int power = static_cast<int>(random() % 22);
        uint64_t fives = 1;
        for (int i = 0; i < power; ++i) {
            fives *= 5;
        }
        const uint64_t tens = random() % (((uint64_t{1} << 53) / fives - 6) / 10 + 1);
        return std::ldexp(static_cast<double>((tens * 10 + 5) * fives), power);
    });
}

}  // namespace
