// How argument gathering reads a directive: loosely, as any formatter that
// reads at most a width, a precision and a value per '%' would, so that the
// caller's arguments can be read for every format, also one that reaches
// the platform formatter as it stands.
#pragma once

#include <climits>
#include <cstdint>

#include "text/format/directive_char_sets.h"

namespace faultkit {

struct ArgumentShape {
    int32_t index;  // positional index, 0 for none
    uint8_t stars;  // width and precision slots, at most 2
    bool floating;  // the value is a double
};

// The loose reading from `p` on, where `shape` holds what it has read
// before; returns the position of its conversion character (or of the
// terminator).
template <typename Char>
const Char* ReadShapeFrom(const Char* p, ArgumentShape* shape) {
    for (; IsInSet(*p, kLooseDirectiveBody); ++p) {
        shape->stars += (*p == '*' && shape->stars < 2) ? 1 : 0;
    }
    shape->floating = IsInSet(*p, kLooseFloatingConversions);
    return p;
}

// The loose reading of the directive after a '%'.
template <typename Char>
const Char* ReadArgumentShape(const Char* p, ArgumentShape* shape) {
    const Char* digits = p;
    int64_t index = 0;
    while (*p >= '0' && *p <= '9') {
        index = index * 10 + (*p++ - '0');
        index = index > INT32_MAX ? INT32_MAX : index;
    }
    *shape = ArgumentShape{0, 0, false};
    if (*p == '$' && p > digits) {
        shape->index = static_cast<int32_t>(index);
        ++p;
    } else {
        p = digits;
    }
    return ReadShapeFrom(p, shape);
}

}  // namespace faultkit
