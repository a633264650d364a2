// Argument slots handed to the C runtime's formatters.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace faultkit::platform {

// On x64 Windows a va_list is a pointer to consecutive 8-byte slots.
inline va_list SlotList(const uint64_t* slots) {
    return reinterpret_cast<va_list>(const_cast<uint64_t*>(slots));
}

}  // namespace faultkit::platform
