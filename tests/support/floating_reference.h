// A model of the Windows runtime's %e, %f and %g text, written apart from
// the formatter so that the two can be compared: the exact decimal
// expansion of a double (printed by the C library) is rounded as text, ties
// away from zero.
#pragma once

#include <string>

namespace faultkit::test {

// The magnitude of a finite double as 0.digits x 10^point; `digits` has
// no leading or trailing zeros and is empty for zero.
struct ExactDecimal {
    std::string digits;
    int point = 0;
};

ExactDecimal ExpandExactly(double value);

// The text of "%.<precision><conversion>" (with "#" when `alternate`) for
// a finite value whose expansion is `exact`; conversion is one of e E f g
// G, a negative precision means none. The decimal point is '.'.
std::string ReferenceText(const ExactDecimal& exact, bool negative, char conversion, int precision,
                          bool alternate);

// Precisions at which the value lies exactly halfway between two texts of
// the conversion: the one that keeps all but its last digit, 5. Negative
// when there is none (the value is 0, or its last digit is not 5).
int TiePrecision(const ExactDecimal& exact, char conversion);

}  // namespace faultkit::test
