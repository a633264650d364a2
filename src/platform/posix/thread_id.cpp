#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/handle_object.h"
#include "platform/posix/thread_end_probe.h"

namespace faultkit::platform {
namespace {

// Thread ids are the kernel's thread ids (gettid): what CurrentThreadId
// returns, what a handle's thread_id carries, and what a user filling in a
// handle by hand would write. OpenThreadEnd accepts the id of any live
// thread of the process: a thread that has asked for its id has a sentinel
// and shares the sentinel's end object; any other thread gets an end object
// watched by a probe (thread_end_probe.h).
//
// Id reuse. An end object belongs to the thread that had the id when it was
// opened, not to the number: it is signalled when that thread ends, whoever
// has the id later. The thread table opens one for each record it makes and
// the record's watcher removes the record once it is signalled, so a record
// goes with the thread it was made for; a later thread with the same id
// gets a new record with an end of its own, and a redirect to the id lands
// there, as on Windows. Nor can a new thread meet its predecessor's record
// in the moment before the watcher removes it: the end is signalled before
// the id is free again (the sentinel signals during the thread's exit; a
// pidfd reports the exit before the kernel releases the id; the /proc poll
// sees the exit, or a different start time on the entry), and the kernel
// hands ids out in rising order, wrapping at pid_max, so a freed id comes
// back only after a whole round of ids.

// Every thread that asks for its id gets a sentinel: it registers the
// thread's end object under the thread's id, and its destructor, which runs
// when the thread exits, signals that object. Waiting on it costs no thread
// of its own, unlike a probe.
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
    return end != nullptr ? end : OpenProbedThreadEnd(id, EndProbe::kPidfdFirst);
}

}  // namespace faultkit::platform
