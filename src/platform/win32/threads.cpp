#include <process.h>
#include <windows.h>

#include "platform/win32/native_handle.h"

namespace faultkit::platform {

Handle BeginThread(size_t stack_size, ThreadRoutine routine, void* argument, bool suspended) {
    const uintptr_t thread = _beginthreadex(nullptr, static_cast<unsigned>(stack_size), routine,
                                            argument, suspended ? CREATE_SUSPENDED : 0, nullptr);
    return FromNative(reinterpret_cast<HANDLE>(thread));
}

bool ResumeSuspendedThread(Handle thread) {
    const DWORD previous = ::ResumeThread(Native(thread));
    return previous != static_cast<DWORD>(-1) && previous != 0;
}

bool TerminateUnstartedThread(Handle thread) { return ::TerminateThread(Native(thread), 0) != 0; }

// A thread's handle is signalled once the thread has ended, after the
// runtime's thread-exit work.
bool AwaitThreadExit(Handle thread) {
    return WaitForSingleObject(Native(thread), INFINITE) == WAIT_OBJECT_0;
}

}  // namespace faultkit::platform
