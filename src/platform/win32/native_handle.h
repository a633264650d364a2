// On Windows a platform::Handle is the kernel HANDLE itself.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace faultkit::platform {

inline HANDLE Native(Handle object) { return reinterpret_cast<HANDLE>(object); }

inline Handle FromNative(HANDLE object) { return reinterpret_cast<Handle>(object); }

}  // namespace faultkit::platform
