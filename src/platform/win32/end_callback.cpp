#include <windows.h>

#include <cstdlib>

#include "platform/win32/native_handle.h"

namespace faultkit::platform {

struct EndCallback {
    HANDLE wait;     // the wait registration
    HANDLE watched;  // the registration's own duplicate of the thread handle
    EndCallbackRoutine routine;
    void* context;
};

namespace {

// Runs in the system's wait thread. The routine may unregister and so free
// the registration; nothing is read from it afterwards.
VOID CALLBACK OnSignalled(PVOID raw, BOOLEAN /*timed_out*/) {
    auto* registration = static_cast<EndCallback*>(raw);
    registration->routine(registration, registration->context);
}

}  // namespace

// The wait is made on a duplicate of the handle: a handle must stay open
// while a wait on it is pending, and the caller may close its own at once.
EndCallback* RegisterEndCallback(Handle thread, EndCallbackRoutine routine, void* context) {
    auto* registration = static_cast<EndCallback*>(std::malloc(sizeof(EndCallback)));
    if (registration == nullptr) {
        return nullptr;
    }
    *registration = EndCallback{nullptr, nullptr, routine, context};
    const HANDLE process = GetCurrentProcess();
    if (DuplicateHandle(process, Native(thread), process, &registration->watched, SYNCHRONIZE,
                        FALSE, 0)) {
        if (RegisterWaitForSingleObject(&registration->wait, registration->watched, OnSignalled,
                                        registration, INFINITE, WT_EXECUTEINWAITTHREAD)) {
            return registration;
        }
        CloseHandle(registration->watched);
    }
    std::free(registration);
    return nullptr;
}

// Without a completion event the call does not wait for a running routine;
// from inside the routine it reports ERROR_IO_PENDING, which is expected.
void UnregisterEndCallback(EndCallback* registration) {
    UnregisterWaitEx(registration->wait, nullptr);
    CloseHandle(registration->watched);
    std::free(registration);
}

}  // namespace faultkit::platform
