#include "platform/platform.h"

namespace faultkit::platform {

// The System V x86-64 va_list keeps register and stack arguments apart;
// it is not a slot list.
bool VaListSlots(va_list /*arguments*/, const uint64_t** slots) {
    *slots = nullptr;
    return false;
}

}  // namespace faultkit::platform
