#include "allocation_hook.h"

#include <pthread.h>

#include <mutex>
#include <unordered_set>

extern "C" {
void* __real_malloc(size_t size);
void* __real_aligned_alloc(size_t alignment, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);
}

namespace faultkit::test {
namespace {

struct ThreadState {
    bool armed = false;
    uint64_t fail_at = 0, refusals = 0;
    AllocationTally tally;
};
thread_local ThreadState t_state;

// The set's own storage comes from operator new in the shared C++ runtime,
// which these wrappers never see.
std::mutex g_tracked_mutex;
std::unordered_set<void*> g_tracked;  // blocks allocated while armed; guarded by g_tracked_mutex

// A child forked while another thread frees finds the set unlocked. (These
// handlers are registered before the library's, so in the child they run
// first, before the library's handler frees what the child has lost.)
const int g_fork_safe = pthread_atfork([] { g_tracked_mutex.lock(); },
                                       [] { g_tracked_mutex.unlock(); },
                                       [] { g_tracked_mutex.unlock(); });

// True when the calling thread is armed and this allocation is to fail.
bool CountAllocation() {
    if (!t_state.armed) {
        return false;
    }
    const uint64_t number = ++t_state.tally.made;
    const bool fail = t_state.fail_at != 0 && number >= t_state.fail_at &&
                      number - t_state.fail_at < t_state.refusals;
    t_state.tally.failed = t_state.tally.failed || fail;
    return fail;
}

void TrackIf(bool track, void* block) {
    if (track && block != nullptr) {
        std::lock_guard<std::mutex> lock(g_tracked_mutex);
        g_tracked.insert(block);
    }
}

// Forgets a block that is freed or moved; true when it was tracked.
bool Forget(void* block) {
    std::lock_guard<std::mutex> lock(g_tracked_mutex);
    return block != nullptr && g_tracked.erase(block) != 0;
}

}  // namespace

void ArmAllocations(uint64_t fail_at, uint64_t refusals) {
    t_state = ThreadState{true, fail_at, refusals, {}};
}

AllocationTally DisarmAllocations() {
    t_state.armed = false;
    return t_state.tally;
}

size_t OutstandingBlocks() {
    std::lock_guard<std::mutex> lock(g_tracked_mutex);
    return g_tracked.size();
}

}  // namespace faultkit::test

using namespace faultkit::test;

extern "C" {

void* __wrap_malloc(size_t size) {
    if (CountAllocation()) {
        return nullptr;
    }
    void* block = __real_malloc(size);
    TrackIf(t_state.armed, block);
    return block;
}

void* __wrap_aligned_alloc(size_t alignment, size_t size) {
    if (CountAllocation()) {
        return nullptr;
    }
    void* block = __real_aligned_alloc(alignment, size);
    TrackIf(t_state.armed, block);
    return block;
}

// A block that moves stays tracked under its new address; a failed realloc
// leaves the old block as it was.
void* __wrap_realloc(void* block, size_t size) {
    if (CountAllocation()) {
        return nullptr;
    }
    const bool tracked = Forget(block);
    void* moved = __real_realloc(block, size);
    TrackIf(tracked && moved == nullptr, block);
    TrackIf(tracked || t_state.armed, moved);
    return moved;
}

void __wrap_free(void* block) {
    Forget(block);
    __real_free(block);
}

}  // extern "C"
