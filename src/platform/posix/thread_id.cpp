#include <pthread.h>
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
// gets a new record with an end of its own, and a redirect, which keeps the
// end of its target, fails from then on. Nor can a new thread meet its
// predecessor's record in the moment before the watcher removes it: the end
// is signalled before the id is free again (the sentinel signals during the
// thread's exit; a pidfd reports the exit before the kernel releases the
// id; the /proc poll sees the exit, or a different start time on the
// entry), and the kernel hands ids out in rising order, wrapping at
// pid_max, so a freed id comes back only after a whole round of ids.

// Every thread that asks for its id gets a sentinel: it registers the
// thread's end object under the thread's id and signals that object when
// the thread exits. Waiting on it costs no thread of its own, unlike a
// probe.
//
// Two hooks see the exit, and the first to run signals. The sentinel is a
// thread_local object: its destructor runs when a thread returns or calls
// pthread_exit, and while it is pending the C library keeps a dlclose'd
// library mapped. A thread-specific key holds it too: a main thread that
// calls pthread_exit runs the key's destructor but no thread_local
// destructor.
struct ThreadSentinel {
    uint32_t id;           // changes only in a forked child
    HandleObject* end;     // null once signalled, or when it could not be made
    ThreadSentinel* next;  // registry link

    ThreadSentinel();
    ~ThreadSentinel();
};

// Registry of live threads that have a sentinel; guarded by the objects lock.
ThreadSentinel* g_registry = nullptr;

uint32_t KernelThreadId() {
    // Linux thread ids are positive and fit in 32 bits (pid_max <= 2^22).
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

// Unregisters the sentinel and signals its end; the objects lock is held.
void EndLocked(ThreadSentinel* sentinel) {
    if (sentinel->end == nullptr) {
        return;
    }
    for (ThreadSentinel** link = &g_registry; *link != nullptr; link = &(*link)->next) {
        if (*link == sentinel) {
            *link = sentinel->next;
            break;
        }
    }
    SignalLocked(sentinel->end);
    DropLocked(sentinel->end);
    sentinel->end = nullptr;
}

// Runs on the ending thread: from here on it has no flag to write.
void End(void* sentinel) {
    t_own_thread_flag = nullptr;
    LockObjects();
    EndLocked(static_cast<ThreadSentinel*>(sentinel));
    UnlockObjects();
}

// The key lives as long as the library is loaded. The library is unloaded
// only once no sentinel is pending (see above), so no thread holds a value
// under the key by then.
struct EndKey {
    pthread_key_t key{};
    bool made = pthread_key_create(&key, End) == 0;

    ~EndKey() {
        if (made) {
            pthread_key_delete(key);
        }
    }
} g_end_key;

ThreadSentinel::ThreadSentinel()
    : id(KernelThreadId()), end(NewObject(1, ThreadGate::kNone)), next(nullptr) {
    if (end == nullptr) {
        return;
    }
    t_own_thread_flag = FlagOfOwnEnd(end);
    LockObjects();
    next = g_registry;
    g_registry = this;
    UnlockObjects();
    if (g_end_key.made) {
        pthread_setspecific(g_end_key.key, this);
    }
}

ThreadSentinel::~ThreadSentinel() {
    if (g_end_key.made) {
        pthread_setspecific(g_end_key.key, nullptr);  // the key's destructor is not needed
    }
    End(this);
}

ThreadSentinel& Sentinel() {
    thread_local ThreadSentinel sentinel;
    return sentinel;
}

}  // namespace

uint32_t CurrentThreadId() {
    return Sentinel().id;
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

// In a forked child the forking thread goes on under the id the kernel gave
// the child; the other threads have ended. Their sentinels lie in stacks
// the child's C library has taken back but not yet reused.
void ForgetOtherSentinelsLocked() {
    const uint32_t own_id = KernelThreadId();
    const void* own = g_end_key.made ? pthread_getspecific(g_end_key.key) : nullptr;
    ThreadSentinel* sentinel = g_registry;
    while (sentinel != nullptr) {
        ThreadSentinel* next = sentinel->next;
        if (sentinel == own) {
            sentinel->id = own_id;
        } else {
            EndLocked(sentinel);
        }
        sentinel = next;
    }
}

}  // namespace faultkit::platform
