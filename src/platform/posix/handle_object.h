// POSIX handle objects: the state behind platform::Handle. One process-wide
// mutex guards the state of every object. Objects change state rarely
// (threads start and end, shutdown), so a single lock costs nothing on the
// library's hot paths and makes waiting on two objects at once simple.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace faultkit::platform {

// A thread waiting on an object; lives on the waiting thread's stack.
struct WaitNode;

// Start state of a thread made by BeginThread.
enum class ThreadGate : uint8_t { kNone, kSuspended, kRunning, kCancelled };

struct HandleObject {
    uint32_t references;  // open handles plus internal holders
    bool signalled;       // set once for thread ends, set and cleared for events
    ThreadGate gate;      // kNone for objects that are not started threads
    WaitNode* waiters;    // threads sleeping until this object changes
    // The end of a thread watched from outside (OpenProbedThreadEnd): the
    // descriptor that stops the probe once it is the only holder left, and
    // the thread's pidfd (-1 when its /proc entry is polled); -1 for every
    // other object.
    int probe_stop;
    int probe_pidfd;
    // The probe's own thread, waited for when the last other holder lets go
    // (ReleaseHandle), so that no probe runs once its end is given back;
    // null for every other object.
    HandleObject* probe_thread;
    // Started threads only: the thread, joinable until AwaitThreadExit joins
    // it or the last holder lets go, which detaches it.
    pthread_t native;
    bool joined;
    // Every live object, so that a forked child can tell them all that the
    // other threads are gone.
    HandleObject* previous;
    HandleObject* next;
    // The flag of the thread whose end this is (platform.h, thread flags),
    // on a cache line of its own: the thread may write it on every call.
    alignas(64) std::atomic<uint32_t> flag{0};
};

// The flag that a thread reporting its own end `end` writes: the end's
// flag, or null where FlushOtherThreads does not work (thread_flags.cpp).
std::atomic<uint32_t>* FlagOfOwnEnd(HandleObject* end);

void LockObjects();
void UnlockObjects();

// A new object with `references` holders, or null when memory is short.
// Objects start on a cache line and are given back with std::free. Takes
// the objects lock.
HandleObject* NewObject(uint32_t references, ThreadGate gate);
// Frees an object that was never handed out (null: nothing); takes the
// objects lock.
void DiscardNewObject(HandleObject* object);

// The functions below expect the objects lock to be held.

// Wakes the object's waiters without signalling it.
void WakeWaitersLocked(HandleObject* object);
void SignalLocked(HandleObject* object);
// Drops one holder; frees the object when it was the last (detaching a
// thread that nobody joined).
void DropLocked(HandleObject* object);
// Sleeps until `first` or `second` (may be null) is woken; may return early.
void SleepOnLocked(HandleObject* first, HandleObject* second);
// Waits until `first` or `second` is signalled: returns 0 or 1 for the one
// whose signal released the wait, 0 when both were signalled already.
int WaitForEitherLocked(HandleObject* first, HandleObject* second);

// In a forked child, where only the calling thread lives on: no thread
// sleeps on any object any more, every other thread the objects name has
// ended, and the probes watching threads from outside are gone.
void ForgetOtherThreadsLocked();
// The sentinels' share of that (thread_id.cpp): the calling thread's
// sentinel takes its new id, the others' threads have ended.
void ForgetOtherSentinelsLocked();

}  // namespace faultkit::platform
