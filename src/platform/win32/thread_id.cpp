#include <windows.h>

#include "platform/win32/native_handle.h"

namespace faultkit::platform {

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

Handle OpenThreadEnd(uint32_t id) {
    return FromNative(OpenThread(SYNCHRONIZE, FALSE, id));
}

}  // namespace faultkit::platform
