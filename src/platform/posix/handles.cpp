#include <pthread.h>

#include <cstdlib>

#include "platform/posix/handle_object.h"

namespace faultkit::platform {

struct WaitNode {
    WaitNode* next;
    pthread_cond_t* wake;
};

namespace {

// Guards every HandleObject's fields and every WaitNode list.
pthread_mutex_t g_objects = PTHREAD_MUTEX_INITIALIZER;

void Unlink(HandleObject* object, WaitNode* node) {
    for (WaitNode** link = &object->waiters; *link != nullptr; link = &(*link)->next) {
        if (*link == node) {
            *link = node->next;
            return;
        }
    }
}

int SignalledIndex(const HandleObject* first, const HandleObject* second) {
    if (first->signalled) {
        return 0;
    }
    return second->signalled ? 1 : -1;
}

}  // namespace

void LockObjects() { pthread_mutex_lock(&g_objects); }

void UnlockObjects() { pthread_mutex_unlock(&g_objects); }

HandleObject* NewObject(uint32_t references, ThreadGate gate) {
    auto* object = static_cast<HandleObject*>(std::malloc(sizeof(HandleObject)));
    if (object != nullptr) {
        *object = HandleObject{references, false, gate, nullptr, pthread_t{}, false};
    }
    return object;
}

void WakeWaitersLocked(HandleObject* object) {
    for (WaitNode* node = object->waiters; node != nullptr; node = node->next) {
        pthread_cond_signal(node->wake);
    }
}

void SignalLocked(HandleObject* object) {
    object->signalled = true;
    WakeWaitersLocked(object);
}

void DropLocked(HandleObject* object) {
    if (--object->references != 0) {
        return;
    }
    if (object->gate != ThreadGate::kNone && !object->joined) {
        pthread_detach(object->native);
    }
    std::free(object);
}

void SleepOnLocked(HandleObject* first, HandleObject* second) {
    pthread_cond_t wake = PTHREAD_COND_INITIALIZER;
    WaitNode nodes[2] = {{first->waiters, &wake}, {nullptr, &wake}};
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

int WaitForEitherLocked(HandleObject* first, HandleObject* second) {
    int which;
    while ((which = SignalledIndex(first, second)) < 0) {
        SleepOnLocked(first, second);
    }
    return which;
}

Handle CreateManualResetEvent() { return NewObject(1, ThreadGate::kNone); }

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
    DropLocked(object);
    UnlockObjects();
}

}  // namespace faultkit::platform
