#include <process.h>
#include <windows.h>

#include <cstdlib>

#include "platform/win32/native_handle.h"

namespace faultkit::platform {
namespace {

// What a new thread runs, and the reference to the library's module that it
// holds while it runs.
struct StartRecord {
    ThreadRoutine routine;
    void* argument;
    HMODULE module;
};

// The thread drops its reference as it exits, from code outside the
// library: if that was the last reference, the DLL is unloaded without a
// single instruction of it left to run.
unsigned __stdcall RunThread(void* raw) {
    const StartRecord start = *static_cast<StartRecord*>(raw);
    std::free(raw);
    FreeLibraryAndExitThread(start.module, start.routine(start.argument));
}

// The module holding this code: the DLL, or the program when the library
// is linked statically; with `add_reference`, one more reference to it.
HMODULE OwnModule(bool add_reference) {
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                        (add_reference ? 0 : GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT);
    HMODULE module = nullptr;
    return GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&RunThread), &module) ? module
                                                                                     : nullptr;
}

}  // namespace

Handle BeginThread(size_t stack_size, ThreadRoutine routine, void* argument, bool suspended) {
    auto* start = static_cast<StartRecord*>(std::malloc(sizeof(StartRecord)));
    HMODULE module = start != nullptr ? OwnModule(true) : nullptr;
    if (module == nullptr) {
        std::free(start);
        return nullptr;
    }
    *start = StartRecord{routine, argument, module};
    const uintptr_t thread = _beginthreadex(nullptr, static_cast<unsigned>(stack_size), RunThread,
                                            start, suspended ? CREATE_SUSPENDED : 0, nullptr);
    if (thread == 0) {
        FreeLibrary(module);
        std::free(start);
    }
    return FromNative(reinterpret_cast<HANDLE>(thread));
}

bool ResumeSuspendedThread(Handle thread) {
    const DWORD previous = ::ResumeThread(Native(thread));
    return previous != static_cast<DWORD>(-1) && previous != 0;
}

// The thread never ran: its module reference is dropped here. Its start
// record, whose address only the thread knew, is lost with it.
bool TerminateUnstartedThread(Handle thread) {
    if (::TerminateThread(Native(thread), 0) == 0) {
        return false;
    }
    WaitForSingleObject(Native(thread), INFINITE);
    FreeLibrary(OwnModule(false));
    return true;
}

// A thread's handle is signalled once the thread has ended, after the
// runtime's thread-exit work.
bool AwaitThreadExit(Handle thread) {
    if (GetThreadId(Native(thread)) == GetCurrentThreadId()) {
        return false;
    }
    return WaitForSingleObject(Native(thread), INFINITE) == WAIT_OBJECT_0;
}

}  // namespace faultkit::platform
