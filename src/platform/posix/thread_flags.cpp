// Thread flags on Linux: each thread that reports its own end has the flag
// of its end object, and membarrier's private expedited command flushes the
// other threads.
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/handle_object.h"

#ifdef SYS_membarrier
#include <linux/membarrier.h>
#endif

namespace faultkit::platform {

__thread std::atomic<uint32_t>* t_own_thread_flag __attribute__((tls_model("initial-exec")));

namespace {

#ifdef SYS_membarrier
bool Membarrier(int command) {
    return syscall(SYS_membarrier, command, 0, 0) == 0;
}

bool RegisterForFlushes() {
    return Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED);
}

// The expedited command interrupts only the CPUs that run a thread of this
// process now, and works once the process has registered for it.
bool Flush() {
    return Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED);
}
#else
bool RegisterForFlushes() {
    return false;
}

bool Flush() {
    return false;
}
#endif

// Whether the process could register: 0 not asked yet, 1 yes, 2 no. Asked
// once; registering twice does no harm, so racing first callers may both.
std::atomic<int> g_registered{0};

bool Registered() {
    int state = g_registered.load(std::memory_order_acquire);
    if (state == 0) {
        state = RegisterForFlushes() ? 1 : 2;
        g_registered.store(state, std::memory_order_release);
    }
    return state == 1;
}

}  // namespace

// A forked child inherits the registration on current kernels; should one
// not carry it over, the child registers again.
bool FlushOtherThreads() {
    return Registered() && (Flush() || (RegisterForFlushes() && Flush()));
}

std::atomic<uint32_t>* FlagOfOwnEnd(HandleObject* end) {
    return end != nullptr && Registered() ? &end->flag : nullptr;
}

const std::atomic<uint32_t>* ThreadFlagOf(Handle end) {
    return end != nullptr ? &end->flag : nullptr;
}

}  // namespace faultkit::platform
