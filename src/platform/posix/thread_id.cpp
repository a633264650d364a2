#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/handle_object.h"

namespace faultkit::platform {
namespace {

// Every thread that asks for its id gets a sentinel: it registers the
// thread's end object under the thread's id, and its destructor, which runs
// when the thread exits, signals that object. This is how OpenThreadEnd
// finds live threads and how waiters learn that a thread has ended.
struct ThreadSentinel {
    uint32_t id;
    HandleObject* end;     // null when it could not be made; then unregistered
    ThreadSentinel* next;  // registry link

    ThreadSentinel();
    ~ThreadSentinel();
};

// Registry of live threads that have a sentinel; guarded by the objects lock.
ThreadSentinel* g_registry = nullptr;

// Linux thread ids are positive and fit in 32 bits (pid_max <= 2^22).
ThreadSentinel::ThreadSentinel()
    : id(static_cast<uint32_t>(syscall(SYS_gettid))),
      end(NewObject(1, ThreadGate::kNone)),
      next(nullptr) {
    if (end == nullptr) {
        return;
    }
    LockObjects();
    next = g_registry;
    g_registry = this;
    UnlockObjects();
}

ThreadSentinel::~ThreadSentinel() {
    if (end == nullptr) {
        return;
    }
    LockObjects();
    for (ThreadSentinel** link = &g_registry; *link != nullptr; link = &(*link)->next) {
        if (*link == this) {
            *link = next;
            break;
        }
    }
    SignalLocked(end);
    DropLocked(end);
    UnlockObjects();
}

}  // namespace

uint32_t CurrentThreadId() {
    thread_local const ThreadSentinel sentinel;
    return sentinel.id;
}

Handle OpenThreadEnd(uint32_t id) {
    HandleObject* end = nullptr;
    LockObjects();
    for (ThreadSentinel* sentinel = g_registry; sentinel != nullptr; sentinel = sentinel->next) {
        if (sentinel->id == id) {
            end = sentinel->end;
            ++end->references;
            break;
        }
    }
    UnlockObjects();
    return end;
}

}  // namespace faultkit::platform
