#include "platform/platform.h"

#include <windows.h>

namespace faultkit::platform {

uint32_t TickCount() { return GetTickCount(); }

void SleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace faultkit::platform
