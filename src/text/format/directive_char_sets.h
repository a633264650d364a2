// Sets of ASCII characters for the format scanners. Membership is one bit
// test; the terminator and anything above 0x7F never belong to a set.
#pragma once

#include <cstdint>
#include <type_traits>

namespace faultkit {

struct CharSet {
    uint64_t bits[2];
};

constexpr CharSet MakeCharSet(const char* members) {
    CharSet set{{0, 0}};
    for (; *members != '\0'; ++members) {
        const auto c = static_cast<unsigned char>(*members);
        set.bits[c >> 6] |= uint64_t{1} << (c & 63);
    }
    set.bits[0] &= ~uint64_t{1};  // the terminator
    return set;
}

template <typename Char>
constexpr bool IsInSet(Char c, const CharSet& set) {
    const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
    return unit < 128 && ((set.bits[unit >> 6] >> (unit & 63)) & 1) != 0;
}

// The loose reading of a directive that argument gathering makes: what may
// stand between '%' (or the index) and the conversion character, and the
// conversions whose value is a double.
constexpr CharSet kLooseDirectiveBody = MakeCharSet("-+ #0123456789.*hlLjztIw");
constexpr CharSet kLooseFloatingConversions = MakeCharSet("aAeEfFgG");

// The lower-case letters but the size letters "h", "j", "l", "t", "w", "z":
// where the check for narrow string directives takes a directive to end.
constexpr CharSet kConversionLetters = MakeCharSet("abcdefgikmnopqrsuvxy");

}  // namespace faultkit
