#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#include "platform/posix/handle_object.h"

namespace faultkit::platform {

struct WaitNode {
    WaitNode* next;
    pthread_cond_t* wake;
    // Shared by the nodes of one wait: -1 until a signal releases the wait,
    // then the position of the object that did. Null for sleeps that only
    // watch for changes.
    int* released_by;
    int position;  // of this node's object in the wait
};

namespace {

// Guards every HandleObject's fields, every WaitNode list and the list of
// live objects.
pthread_mutex_t g_objects = PTHREAD_MUTEX_INITIALIZER;
HandleObject* g_live = nullptr;

void Unlist(HandleObject* object) {
    (object->previous != nullptr ? object->previous->next : g_live) = object->next;
    if (object->next != nullptr) {
        object->next->previous = object->previous;
    }
}

void Unlink(HandleObject* object, WaitNode* node) {
    for (WaitNode** link = &object->waiters; *link != nullptr; link = &(*link)->next) {
        if (*link == node) {
            *link = node->next;
            return;
        }
    }
}

void Sleep(HandleObject* first, HandleObject* second, int* released_by) {
    pthread_cond_t wake = PTHREAD_COND_INITIALIZER;
    WaitNode nodes[2] = {{first->waiters, &wake, released_by, 0}, {nullptr, &wake, released_by, 1}};
    first->waiters = &nodes[0];
    if (second != nullptr) {
        nodes[1].next = second->waiters;
        second->waiters = &nodes[1];
    }
    pthread_cond_wait(&wake, &g_objects);
    Unlink(first, &nodes[0]);
    if (second != nullptr) {
        Unlink(second, &nodes[1]);
    }
    pthread_cond_destroy(&wake);
}

}  // namespace

void LockObjects() {
    pthread_mutex_lock(&g_objects);
}

void UnlockObjects() {
    pthread_mutex_unlock(&g_objects);
}

HandleObject* NewObject(uint32_t references, ThreadGate gate) {
    void* memory = std::aligned_alloc(alignof(HandleObject), sizeof(HandleObject));
    HandleObject* object = nullptr;
    if (memory != nullptr) {
        LockObjects();
        object = new (memory) HandleObject{references, false, gate,  nullptr, -1,    -1,
                                           nullptr,    {},    false, nullptr, g_live};
        if (g_live != nullptr) {
            g_live->previous = object;
        }
        g_live = object;
        UnlockObjects();
    }
    return object;
}

void DiscardNewObject(HandleObject* object) {
    if (object != nullptr) {
        LockObjects();
        Unlist(object);
        UnlockObjects();
        std::free(object);
    }
}

void WakeWaitersLocked(HandleObject* object) {
    for (WaitNode* node = object->waiters; node != nullptr; node = node->next) {
        pthread_cond_signal(node->wake);
    }
}

// The signal releases the waits sleeping on the object there and then: a
// woken waiter runs only once it holds the objects lock again, after a
// ClearEvent perhaps, and then goes by what released it, not by the state
// it finds.
void SignalLocked(HandleObject* object) {
    object->signalled = true;
    for (WaitNode* node = object->waiters; node != nullptr; node = node->next) {
        if (node->released_by != nullptr && *node->released_by < 0) {
            *node->released_by = node->position;
        }
    }
    WakeWaitersLocked(object);
}

void DropLocked(HandleObject* object) {
    if (--object->references == 0) {
        if (object->gate != ThreadGate::kNone && !object->joined) {
            pthread_detach(object->native);
        }
        Unlist(object);
        std::free(object);
    } else if (object->references == 1 && object->probe_stop >= 0) {
        eventfd_write(object->probe_stop, 1);  // only the probe holds it now
    }
}

void SleepOnLocked(HandleObject* first, HandleObject* second) {
    Sleep(first, second, nullptr);
}

int WaitForEitherLocked(HandleObject* first, HandleObject* second) {
    int released_by = -1;
    for (;;) {
        if (first->signalled) {
            return 0;
        }
        if (second->signalled) {
            return 1;
        }
        Sleep(first, second, &released_by);
        if (released_by >= 0) {
            return released_by;
        }
    }
}

// The other threads' objects are left as they are, only marked: a thread
// that is gone drops none of its holds, and each object stays listed, so
// that nothing frees what a record of the child may still name.
void ForgetOtherThreadsLocked() {
    for (HandleObject* object = g_live; object != nullptr; object = object->next) {
        object->waiters = nullptr;  // every sleeper was another thread
        if (object->gate != ThreadGate::kNone && !pthread_equal(object->native, pthread_self())) {
            object->signalled = true;
            object->joined = true;  // the child's C library has taken its stack back
        }
        if (object->probe_stop >= 0) {
            close(object->probe_stop);
            if (object->probe_pidfd >= 0) {
                close(object->probe_pidfd);
            }
            object->probe_stop = object->probe_pidfd = -1;
            object->probe_thread = nullptr;
            object->signalled = true;  // its thread is not the child's
        }
    }
    ForgetOtherSentinelsLocked();
}

// Manual-reset events keep the rule of Windows events: setting an event
// releases every thread that is waiting on it at that moment, whatever
// happens to the event afterwards (a ClearEvent right after the set releases
// them all the same); a thread that starts waiting after the clear waits for
// the next set. While set, the event releases every waiter at once.
Handle CreateManualResetEvent() {
    return NewObject(1, ThreadGate::kNone);
}

bool SignalEvent(Handle event) {
    if (event == nullptr) {
        return false;
    }
    LockObjects();
    SignalLocked(event);
    UnlockObjects();
    return true;
}

bool ClearEvent(Handle event) {
    if (event == nullptr) {
        return false;
    }
    LockObjects();
    event->signalled = false;
    UnlockObjects();
    return true;
}

bool IsSignalled(Handle object) {
    if (object == nullptr) {
        return false;
    }
    LockObjects();
    const bool signalled = object->signalled;
    UnlockObjects();
    return signalled;
}

int WaitForEither(Handle first, Handle second) {
    if (first == nullptr || second == nullptr) {
        return -1;
    }
    LockObjects();
    const int which = WaitForEitherLocked(first, second);
    UnlockObjects();
    return which;
}

void ReleaseHandle(Handle object) {
    if (object == nullptr) {
        return;
    }
    LockObjects();
    // When only the probe would hold the end after this, the probe stops;
    // it is waited for here, so nothing of it runs once this returns.
    HandleObject* probe = nullptr;
    if (object->probe_thread != nullptr && object->references <= 2) {
        probe = object->probe_thread;
        object->probe_thread = nullptr;
    }
    DropLocked(object);
    UnlockObjects();
    if (probe != nullptr) {
        AwaitThreadExit(probe);
        ReleaseHandle(probe);
    }
}

}  // namespace faultkit::platform
