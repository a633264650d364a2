#include "platform/platform.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace faultkit::platform {

// gettid() is a system call; each thread asks once and keeps the answer.
// Linux thread ids are positive and fit in 32 bits (pid_max <= 2^22).
uint32_t CurrentThreadId() {
    thread_local const uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
    return id;
}

}  // namespace faultkit::platform
