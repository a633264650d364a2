#include <pthread.h>

#include "platform/posix/handle_object.h"

namespace faultkit::platform {
namespace {

struct ForkHandlers {
    void (*prepare)();
    void (*parent)();
    void (*child)();
};

ForkHandlers g_handlers{};

// The caller's handlers run outside the objects lock: they may take their
// own locks first and then use handles (the order every other path keeps).
// The lock is held across the fork itself, so the child finds every object
// as a whole; there the other threads are forgotten before the caller's
// child handler runs.
void Prepare() {
    g_handlers.prepare();
    LockObjects();
}

void Parent() {
    UnlockObjects();
    g_handlers.parent();
}

void Child() {
    ForgetOtherThreadsLocked();
    UnlockObjects();
    g_handlers.child();
}

}  // namespace

void RegisterForkHandlers(void (*prepare)(), void (*parent)(), void (*child)()) {
    g_handlers = ForkHandlers{prepare, parent, child};
    pthread_atfork(Prepare, Parent, Child);
}

}  // namespace faultkit::platform
