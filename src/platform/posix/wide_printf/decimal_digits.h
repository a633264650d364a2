// The decimal digits of a double, taken from its exact binary value and
// rounded half away from zero, as the Windows runtime rounds %e, %f and %g.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit::platform {

// A double has at most 767 significant decimal digits; digits are produced
// up to nine at a time, so a few more may be held before rounding.
constexpr size_t kMaxDecimalDigits = 780;

// Where the rounding happens: behind that many digits after the decimal
// point (%f), or behind that many significant digits (%e, %g).
enum class RoundAt : uint8_t { kFractionDigits, kSignificantDigits };

// The value is 0.d1 d2 ... dcount x 10^point: `point` digits stand before
// the decimal point (none when it is 0 or negative; then -point zeros
// follow the point before d1). d1 and dcount are not '0'; a value that is,
// or rounds to, zero has no digits and point 1.
struct DecimalDigits {
    char digits[kMaxDecimalDigits];
    size_t count;
    int point;
};

// Rounds a finite magnitude (>= 0) at `places` (>= 0; at least 1 for
// kSignificantDigits): a tie goes up, away from zero.
void RoundDecimal(double magnitude, RoundAt at, int64_t places, DecimalDigits& out);

}  // namespace faultkit::platform
