#include "platform/platform.h"

#include <windows.h>

namespace faultkit::platform {

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

}  // namespace faultkit::platform
