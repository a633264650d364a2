// The lowest and highest set bit of a mask that has one, as the kernels
// find them in the masks of their vector comparisons.
#pragma once

namespace faultkit {

inline int LowestBit(unsigned bits) {
    return __builtin_ctz(bits);
}

inline int HighestBit(unsigned bits) {
    return 31 - __builtin_clz(bits);
}

}  // namespace faultkit
