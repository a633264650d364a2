#include <cstdlib>

#include "platform/posix/handle_object.h"

namespace faultkit::platform {

// Each registration has a waiting thread of its own that sleeps until the
// watched object or the registration's cancel event is signalled.
struct EndCallback {
    HandleObject* watched;  // a reference held by the registration
    HandleObject* cancel;   // signalled by UnregisterEndCallback
    EndCallbackRoutine routine;
    void* context;
    uint32_t references;  // the waiting thread and the registrant; objects lock
};

namespace {

void DropRegistrationLocked(EndCallback* registration) {
    if (--registration->references == 0) {
        DropLocked(registration->watched);
        DropLocked(registration->cancel);
        std::free(registration);
    }
}

uint32_t WaitAndCall(void* raw) {
    auto* registration = static_cast<EndCallback*>(raw);
    LockObjects();
    const bool ended =
        WaitForEitherLocked(registration->watched, registration->cancel) == 0 &&
        !registration->cancel->signalled;
    UnlockObjects();
    if (ended) {
        registration->routine(registration, registration->context);
    }
    LockObjects();
    DropRegistrationLocked(registration);
    UnlockObjects();
    return 0;
}

}  // namespace

EndCallback* RegisterEndCallback(Handle thread, EndCallbackRoutine routine, void* context) {
    if (thread == nullptr) {
        return nullptr;
    }
    auto* registration = static_cast<EndCallback*>(std::malloc(sizeof(EndCallback)));
    HandleObject* cancel = CreateManualResetEvent();
    if (registration == nullptr || cancel == nullptr) {
        std::free(registration);
        ReleaseHandle(cancel);
        return nullptr;
    }
    LockObjects();
    ++thread->references;
    UnlockObjects();
    *registration = EndCallback{thread, cancel, routine, context, 2};
    Handle waiter = BeginThread(0, WaitAndCall, registration, false);
    if (waiter == nullptr) {
        LockObjects();
        registration->references = 1;  // no waiting thread holds it
        DropRegistrationLocked(registration);
        UnlockObjects();
        return nullptr;
    }
    ReleaseHandle(waiter);
    return registration;
}

void UnregisterEndCallback(EndCallback* registration) {
    LockObjects();
    SignalLocked(registration->cancel);
    DropRegistrationLocked(registration);
    UnlockObjects();
}

}  // namespace faultkit::platform
