// DLL entry: the library needs no per-thread attach or detach calls; a
// watcher thread notices a thread's end instead.
#include <windows.h>

#include "platform/platform.h"

namespace faultkit::platform {

// Windows processes do not fork.
void RegisterForkHandlers(void (*)(), void (*)(), void (*)()) {}

}  // namespace faultkit::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
