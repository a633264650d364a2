#include <windows.h>

#include "platform/win32/native_handle.h"

namespace faultkit::platform {

Handle CreateManualResetEvent() {
    return FromNative(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

bool SignalEvent(Handle event) { return ::SetEvent(Native(event)) != 0; }

bool ClearEvent(Handle event) { return ::ResetEvent(Native(event)) != 0; }

bool IsSignalled(Handle object) {
    return WaitForSingleObject(Native(object), 0) == WAIT_OBJECT_0;
}

int WaitForEither(Handle first, Handle second) {
    const HANDLE objects[2] = {Native(first), Native(second)};
    const DWORD result = WaitForMultipleObjects(2, objects, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1) {
        return static_cast<int>(result - WAIT_OBJECT_0);
    }
    return -1;
}

void ReleaseHandle(Handle object) {
    if (object != nullptr) {
        ::CloseHandle(Native(object));
    }
}

}  // namespace faultkit::platform
