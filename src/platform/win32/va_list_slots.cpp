#include "platform/platform.h"

namespace faultkit::platform {

// A 64-bit Windows va_list points at the caller's 8-byte argument slots.
bool VaListSlots(va_list arguments, const uint64_t** slots) {
    *slots = reinterpret_cast<const uint64_t*>(arguments);
    return true;
}

}  // namespace faultkit::platform
