// Integer directives that the runtime's wide formatters cannot be trusted
// with (see long_integer_directives.cpp), formatted before they reach it.
#pragma once

#include <cstdint>

namespace faultkit::platform {

// A format and its argument slots as the runtime's wide formatter gets them.
struct RuntimeFormat {
    const char16_t* format;
    const uint64_t* args;
    void* block;  // holds a rewritten format, its slots and texts; null when unchanged
};

// Replaces every integer directive whose width or precision is 23 or more
// by "%ls" and one slot with the address of the directive's text, made by
// the runtime's narrow formatter; other text and slots are kept. A format
// without such a directive is passed on unchanged. False when the format is
// to be refused: the directive parser refuses one of its directives, the
// narrow formatter refuses one, or memory runs out.
bool PrepareRuntimeFormat(const char16_t* format, const uint64_t* args, RuntimeFormat& out);

void ReleaseRuntimeFormat(const RuntimeFormat& prepared);

}  // namespace faultkit::platform
