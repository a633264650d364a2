// ThreadStarter: the library's one way of starting a thread.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace faultkit {

using ThreadEntry = platform::ThreadRoutine;

// Runs entry(argument) on a new thread and returns the thread's handle,
// which the caller owns; null on failure. A thread started suspended runs
// when the caller resumes it (platform::ResumeSuspendedThread). When
// `exit_callback` is given, exit_callback(argument) runs on yet another new
// thread once the thread has ended; if that cannot be arranged, nothing is
// started at all (the thread is terminated before it ever ran).
platform::Handle ThreadStart(size_t stack_size, ThreadEntry entry, void* argument,
                             bool start_suspended, ThreadEntry exit_callback);

}  // namespace faultkit
