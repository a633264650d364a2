// The exact value of a double is mantissa x 2^exponent, whose decimal
// expansion is finite. Its digits are produced from the top until the digit
// behind the rounding position is known; that digit alone decides the
// rounding: 5 or more means the rest is at least half a unit, and ties go
// away from zero.
//
// Most values have an integer part below 2^64 and at most 60 fraction
// bits; their digits come from 64-bit arithmetic. Larger integers and
// smaller fractions use a fixed-size binary big number.
#include "platform/posix/wide_printf/decimal_digits.h"

#include <cstring>

namespace faultkit::platform {
namespace {

constexpr uint32_t kChunk = 1000000000;  // nine decimal digits
constexpr size_t kChunkDigits = 9;
constexpr int kSmallFractionBits = 60;  // fraction * 10 still fits 64 bits

// value = mantissa x 2^exponent with an odd mantissa, or a zero mantissa.
struct Binary {
    uint64_t mantissa;
    int exponent;
};

Binary Decompose(double magnitude) {
    uint64_t bits = 0;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    int exponent = -1074;
    if (biased != 0) {
        mantissa |= uint64_t{1} << 52;
        exponent = biased - 1075;
    }
    if (mantissa == 0) {
        return {0, 0};
    }
    const int zeros = __builtin_ctzll(mantissa);
    return {mantissa >> zeros, exponent + zeros};
}

int BitLength(uint64_t value) {
    return value == 0 ? 0 : 64 - __builtin_clzll(value);
}

// Digits gathered so far, and where rounding will cut them.
struct Collector {
    DecimalDigits& out;
    RoundAt at;
    int64_t places;
};

// Index of the digit that decides the rounding; negative when it lies
// among the zeros before the first significant digit.
int64_t RoundingIndex(const Collector& c) {
    return c.at == RoundAt::kSignificantDigits ? c.places : c.out.point + c.places;
}

bool HaveRoundingDigit(const Collector& c) {
    return static_cast<int64_t>(c.out.count) > RoundingIndex(c);
}

// Appends digits of the integer part or of the fraction; leading zeros are
// not kept, and those of the fraction move the point.
void Append(DecimalDigits& out, const char* digits, size_t length, bool integer) {
    size_t zeros = 0;
    while (out.count == 0 && zeros < length && digits[zeros] == '0') {
        ++zeros;
    }
    const size_t kept = length - zeros;
    std::memcpy(out.digits + out.count, digits + zeros, kept);
    out.count += kept;
    out.point += integer ? static_cast<int>(kept) : -static_cast<int>(zeros);
}

// Appends the digits of `value`, with leading zeros up to `width` digits.
void AppendNumber(DecimalDigits& out, uint64_t value, size_t width, bool integer) {
    char text[20];
    size_t start = sizeof text;
    while (value != 0 || sizeof text - start < width) {
        text[--start] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    Append(out, text + start, sizeof text - start, integer);
}

// value = integer + fraction / 2^shift, with shift <= kSmallFractionBits.
// The fraction's digits are put one at a time as Append would put them:
// zeros before the first digit move the point instead.
void CollectSmall(uint64_t integer, uint64_t fraction, int shift, Collector& c) {
    DecimalDigits& out = c.out;
    AppendNumber(out, integer, 0, true);
    const uint64_t mask = (uint64_t{1} << shift) - 1;
    while (fraction != 0 && !HaveRoundingDigit(c)) {
        fraction *= 10;
        const auto digit = static_cast<char>('0' + (fraction >> shift));
        fraction &= mask;
        if (out.count == 0 && digit == '0') {
            --out.point;
        } else {
            out.digits[out.count++] = digit;
        }
    }
}

// 5^0 ... 5^13, the powers of five below 2^32.
constexpr int kFivesStep = 13;
constexpr uint32_t kFives[kFivesStep + 1] = {1,       5,        25,        125,       625,
                                             3125,    15625,    78125,     390625,    1953125,
                                             9765625, 48828125, 244140625, 1220703125};

// Binary big number, least significant 32-bit limb first. It holds 2^1024
// (integer parts) and a fraction of 1074 bits times 10^9.
constexpr size_t kLimbs = 36;

struct BigNumber {
    uint32_t limbs[kLimbs];
    size_t size;  // limbs in use; the top one is not zero
};

void Trim(BigNumber& n) {
    while (n.size > 0 && n.limbs[n.size - 1] == 0) {
        --n.size;
    }
}

// mantissa x 2^shift.
void SetShifted(BigNumber& n, uint64_t mantissa, int shift) {
    const auto whole = static_cast<size_t>(shift / 32);
    const int bits = shift % 32;
    std::memset(n.limbs, 0, sizeof n.limbs);
    n.limbs[whole] = static_cast<uint32_t>(mantissa << bits);
    n.limbs[whole + 1] = static_cast<uint32_t>(mantissa >> (32 - bits));
    n.limbs[whole + 2] = bits == 0 ? 0 : static_cast<uint32_t>(mantissa >> (64 - bits));
    n.size = whole + 3;
    Trim(n);
}

// Divides by kChunk; returns the remainder.
uint32_t DivideByChunk(BigNumber& n) {
    uint64_t remainder = 0;
    for (size_t i = n.size; i-- > 0;) {
        const uint64_t part = (remainder << 32) | n.limbs[i];
        n.limbs[i] = static_cast<uint32_t>(part / kChunk);
        remainder = part % kChunk;
    }
    Trim(n);
    return static_cast<uint32_t>(remainder);
}

// Multiplies by a factor below 2^32. Low limbs that are zero stay zero;
// they are not visited.
void Multiply(BigNumber& n, uint32_t factor) {
    size_t i = 0;
    while (n.limbs[i] == 0) {
        ++i;
    }
    uint64_t carry = 0;
    for (; i < n.size; ++i) {
        const uint64_t part = uint64_t{n.limbs[i]} * factor + carry;
        n.limbs[i] = static_cast<uint32_t>(part);
        carry = part >> 32;
    }
    if (carry != 0) {
        n.limbs[n.size++] = static_cast<uint32_t>(carry);
    }
}

// Removes and returns the bits from `shift` up, which are fewer than 32.
uint32_t TakeHighBits(BigNumber& n, int shift) {
    const auto at = static_cast<size_t>(shift / 32);
    const int bits = shift % 32;
    if (at >= n.size) {
        return 0;
    }
    const uint64_t high = at + 1 < n.size ? n.limbs[at + 1] : 0;
    const auto taken = static_cast<uint32_t>(((high << 32) | n.limbs[at]) >> bits);
    n.limbs[at] &= (uint32_t{1} << bits) - 1;
    n.size = at + 1;
    Trim(n);
    return taken;
}

// An integer mantissa x 2^exponent of 2^64 or more: all its digits.
void CollectBigInteger(uint64_t mantissa, int exponent, Collector& c) {
    BigNumber n;
    SetShifted(n, mantissa, exponent);
    uint32_t chunks[kLimbs + 4];
    size_t count = 0;
    while (n.size > 0) {
        chunks[count++] = DivideByChunk(n);
    }
    while (count-- > 0) {
        AppendNumber(c.out, chunks[count], kChunkDigits, true);
    }
}

// mantissa / 2^shift, below 1: nine digits at a time. Below 2^(bits -
// shift) the value starts with at least `zeros` zeros behind the point;
// they are skipped by multiplying by 10^zeros at once, as 5^zeros with
// the 2^zeros taken off the shift.
void CollectBigFraction(uint64_t mantissa, int shift, Collector& c) {
    int zeros = (shift - BitLength(mantissa)) * 30102 / 100000;  // log10(2) > 0.30102
    c.out.point -= zeros;
    if (HaveRoundingDigit(c)) {
        return;
    }
    BigNumber n;
    SetShifted(n, mantissa, 0);
    for (shift -= zeros; zeros > 0; zeros -= kFivesStep) {
        Multiply(n, kFives[zeros < kFivesStep ? zeros : kFivesStep]);
    }
    while (n.size > 0 && !HaveRoundingDigit(c)) {
        Multiply(n, kChunk);
        AppendNumber(c.out, TakeHighBits(n, shift), kChunkDigits, false);
    }
}

void Collect(Binary value, Collector& c) {
    if (value.mantissa == 0) {
        return;
    }
    if (value.exponent >= 0) {
        if (BitLength(value.mantissa) + value.exponent <= 64) {
            CollectSmall(value.mantissa << value.exponent, 0, 0, c);
        } else {
            CollectBigInteger(value.mantissa, value.exponent, c);
        }
    } else if (-value.exponent <= kSmallFractionBits) {
        const int shift = -value.exponent;
        CollectSmall(value.mantissa >> shift, value.mantissa & ((uint64_t{1} << shift) - 1), shift,
                     c);
    } else {
        CollectBigFraction(value.mantissa, -value.exponent, c);
    }
}

// Adds one unit in the last kept place; "999" becomes "1" one place up.
void RoundUp(DecimalDigits& out) {
    size_t kept = out.count;
    while (kept > 0 && out.digits[kept - 1] == '9') {
        --kept;
    }
    if (kept == 0) {
        out.digits[0] = '1';
        out.count = 1;
        ++out.point;
        return;
    }
    ++out.digits[kept - 1];
    out.count = kept;
}

}  // namespace

void RoundDecimal(double magnitude, RoundAt at, int64_t places, DecimalDigits& out) {
    out.count = 0;
    out.point = 0;
    Collector collector{out, at, places};
    Collect(Decompose(magnitude), collector);
    const int64_t index = RoundingIndex(collector);
    if (index < 0) {
        out.count = 0;
    } else if (index < static_cast<int64_t>(out.count)) {
        const bool up = out.digits[index] >= '5';
        out.count = static_cast<size_t>(index);
        if (up) {
            RoundUp(out);
        }
    }
    while (out.count > 0 && out.digits[out.count - 1] == '0') {
        --out.count;
    }
    if (out.count == 0) {
        out.point = 1;
    }
}

}  // namespace faultkit::platform
