// What a kernel from UTF-8 takes of a block, worked out from bit masks of
// the block's bytes by kind, whatever instructions made the masks: the
// characters up to the first one left to the scalar code.
//
// The continuation bytes that the leads call for must be exactly the
// continuation bytes there are; the block is taken up to the character
// before the first place where they differ, up to the first lead left to
// the scalar code, and up to the character cut by the block's end. Nothing
// else is checked: overlong forms and surrogates decode to the values the
// scalar decoder gives them.
#pragma once

#include <algorithm>
#include <cstdint>

#include "text/simd/bit_scan.h"

namespace faultkit {

// The low n bits of a mask (n from 0 to its width), without a branch:
// whether a block ends on a character's end is as good as random.
template <typename Mask>
inline Mask LowBitsOf(int n) {
    constexpr unsigned kWidth = 8 * sizeof(Mask);
    const auto bits = static_cast<unsigned>(n);
    const auto all = static_cast<Mask>(Mask{0} - static_cast<Mask>(bits / kWidth));
    return ((Mask{1} << (bits % kWidth)) - 1) | all;
}

// The part of a block that is taken, with a bit per byte in a Mask of
// 32 or 64 bits.
template <typename Mask>
struct Utf8BlockOf {
    int taken;   // bytes of the whole characters taken from its start
    Mask leads;  // bit i: a taken character starts at byte i
    Mask fours;  // the 4-byte characters among them

    // Takes only the characters before byte `at`.
    void EndAt(int at) {
        taken = at;
        leads &= LowBitsOf<Mask>(at);
        fours &= LowBitsOf<Mask>(at);
    }
};
using Utf8Block = Utf8BlockOf<uint32_t>;

// The bytes of a block of kWidth bytes by kind, a bit each: from 0x80 on,
// continuation bytes (0x80 to 0xBF), from 0xE0, 0xF0 and 0xF8 on.
template <typename Mask>
struct ByteKindsOf {
    Mask high;
    Mask continuation;
    Mask from_e0;
    Mask from_f0;
    Mask from_f8;
};
using ByteKinds = ByteKindsOf<uint32_t>;

// What of a block of kWidth bytes is taken; 4-byte characters are taken
// if take_fours.
template <int kWidth, typename Mask>
inline Utf8BlockOf<Mask> TakeBlock(const ByteKindsOf<Mask>& kinds, bool take_fours) {
    constexpr Mask kLast = Mask{1} << (kWidth - 1);
    const Mask all = LowBitsOf<Mask>(kWidth);
    const Mask from_c0 = kinds.high & ~kinds.continuation;
    const Mask starts = ~kinds.continuation & all;
    // Each lead calls for a continuation byte after it, from E0 on for a
    // second, from F0 on for a third.
    const Mask called = (from_c0 << 1) | (kinds.from_e0 << 2) | (kinds.from_f0 << 3);
    const Mask cut =
        (from_c0 & kLast) | (kinds.from_e0 & (kLast >> 1)) | (kinds.from_f0 & (kLast >> 2));
    int taken = cut != 0 ? LowestBit(cut) : kWidth;
    const Mask mismatch = (called ^ kinds.continuation) & all;
    if (mismatch != 0) {
        // The character before the first mismatch is cut short or followed
        // by a stray continuation byte.
        const Mask before = starts & LowBitsOf<Mask>(LowestBit(mismatch));
        taken = std::min(taken, before != 0 ? HighestBit(before) : 0);
    }
    const Mask refused = kinds.from_f8 | (take_fours ? 0 : kinds.from_f0);
    if (refused != 0) {
        taken = std::min(taken, LowestBit(refused));
    }
    const Mask leads = starts & LowBitsOf<Mask>(taken);
    return {taken, leads, leads & kinds.from_f0};
}

inline uint32_t TwoByteValue(const uint8_t* p) {
    return (uint32_t{p[0] & 0x1Fu} << 6) | (p[1] & 0x3Fu);
}

inline uint32_t ThreeByteValue(const uint8_t* p) {
    return (uint32_t{p[0] & 0x0Fu} << 12) | (uint32_t{p[1] & 0x3Fu} << 6) | (p[2] & 0x3Fu);
}

inline uint32_t FourByteValue(const uint8_t* p) {
    return (uint32_t{p[0] & 0x07u} << 18) | (uint32_t{p[1] & 0x3Fu} << 12) |
           (uint32_t{p[2] & 0x3Fu} << 6) | (p[3] & 0x3Fu);
}

}  // namespace faultkit
