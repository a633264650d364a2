// The lowest and highest set bit of a mask that has one, as the kernels
// find them in the masks of their vector comparisons: 32 or 64 bits.
#pragma once

#include <cstdint>

namespace faultkit {

template <typename Mask>
inline int LowestBit(Mask bits) {
    if constexpr (sizeof(Mask) <= sizeof(uint32_t)) {
        return __builtin_ctz(static_cast<uint32_t>(bits));
    } else {
        return __builtin_ctzll(static_cast<uint64_t>(bits));
    }
}

template <typename Mask>
inline int HighestBit(Mask bits) {
    if constexpr (sizeof(Mask) <= sizeof(uint32_t)) {
        return 31 - __builtin_clz(static_cast<uint32_t>(bits));
    } else {
        return 63 - __builtin_clzll(static_cast<uint64_t>(bits));
    }
}

}  // namespace faultkit
