#include <limits.h>
#include <pthread.h>

#include <cstdlib>

#include "platform/posix/handle_object.h"

namespace faultkit::platform {
namespace {

struct StartRecord {
    ThreadRoutine routine;
    void* argument;
    HandleObject* thread;  // the thread's own reference to its handle object
};

// Waits at the gate while the thread is suspended, runs the routine unless
// the thread was terminated first, then signals the thread's end.
void* RunThread(void* raw) {
    const StartRecord start = *static_cast<StartRecord*>(raw);
    std::free(raw);
    LockObjects();
    while (start.thread->gate == ThreadGate::kSuspended) {
        SleepOnLocked(start.thread, nullptr);
    }
    const bool run = start.thread->gate == ThreadGate::kRunning;
    UnlockObjects();
    if (run) {
        start.routine(start.argument);
    }
    LockObjects();
    SignalLocked(start.thread);
    DropLocked(start.thread);
    UnlockObjects();
    return nullptr;
}

// The thread stays joinable: AwaitThreadExit joins it, or the last holder
// of its handle object detaches it (DropLocked).
bool CreateJoinable(size_t stack_size, StartRecord* start) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    if (stack_size != 0) {
        const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attributes, stack_size < minimum ? minimum : stack_size);
    }
    const bool created = pthread_create(&start->thread->native, &attributes, RunThread, start) == 0;
    pthread_attr_destroy(&attributes);
    return created;
}

// Moves a suspended thread through its gate; false when it was not waiting.
bool OpenGate(Handle thread, ThreadGate to) {
    if (thread == nullptr) {
        return false;
    }
    LockObjects();
    const bool suspended = thread->gate == ThreadGate::kSuspended;
    if (suspended) {
        thread->gate = to;
        WakeWaitersLocked(thread);
    }
    UnlockObjects();
    return suspended;
}

}  // namespace

Handle BeginThread(size_t stack_size, ThreadRoutine routine, void* argument, bool suspended) {
    // Two holders: the returned handle and the thread itself.
    HandleObject* thread =
        NewObject(2, suspended ? ThreadGate::kSuspended : ThreadGate::kRunning);
    auto* start = static_cast<StartRecord*>(std::malloc(sizeof(StartRecord)));
    if (thread != nullptr && start != nullptr) {
        *start = StartRecord{routine, argument, thread};
        if (CreateJoinable(stack_size, start)) {
            return thread;
        }
    }
    std::free(start);
    DiscardNewObject(thread);
    return nullptr;
}

bool ResumeSuspendedThread(Handle thread) { return OpenGate(thread, ThreadGate::kRunning); }

bool TerminateUnstartedThread(Handle thread) { return OpenGate(thread, ThreadGate::kCancelled); }

bool AwaitThreadExit(Handle thread) {
    if (thread == nullptr) {
        return false;
    }
    LockObjects();
    const bool joinable = thread->gate != ThreadGate::kNone && !thread->joined &&
                          !pthread_equal(thread->native, pthread_self());
    thread->joined = thread->joined || joinable;
    UnlockObjects();
    return joinable && pthread_join(thread->native, nullptr) == 0;
}

}  // namespace faultkit::platform
