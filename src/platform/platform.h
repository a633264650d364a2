// The platform layer: the few operating-system services the library uses.
// Windows builds call the real Win32 services (src/platform/win32); other
// builds get stand-ins with the same behaviour (src/platform/posix). Code
// outside src/platform/ reaches the operating system only through here.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace faultkit::platform {

// Thread identity --------------------------------------------------------

// Id of the calling thread: non-zero, unique among the live threads of the
// process and stable for the thread's life (GetCurrentThreadId). On Linux
// the kernel's thread id (gettid).
uint32_t CurrentThreadId();

// Clock ------------------------------------------------------------------

// Millisecond counter whose low bits vary (GetTickCount).
uint32_t TickCount();

// Suspends the calling thread for about `milliseconds` ms; 0 yields (Sleep).
void SleepMs(uint32_t milliseconds);

// Waitable objects ---------------------------------------------------------

// A Handle names a thread started by BeginThread, the end of a thread
// (OpenThreadEnd) or a manual-reset event. Threads and thread ends are
// signalled once the thread has ended and stay signalled. Every handle is
// given back with ReleaseHandle.
struct HandleObject;
using Handle = HandleObject*;

// An unnamed manual-reset event, initially clear (CreateEventW); null when
// it cannot be made.
Handle CreateManualResetEvent();

// Sets the event (SetEvent). Every thread waiting on it at that moment is
// released, even when the event is cleared right after; it stays set for
// later waiters until cleared.
bool SignalEvent(Handle event);

// Clears the event (ResetEvent).
bool ClearEvent(Handle event);

// Zero time-out test: true when the object is signalled
// (WaitForSingleObject with time-out 0 returning WAIT_OBJECT_0).
bool IsSignalled(Handle object);

// Waits without time-out until `first` or `second` is signalled
// (WaitForMultipleObjects). Returns 0 or 1 for the one that was, -1 on
// failure.
int WaitForEither(Handle first, Handle second);

// Gives the handle back (CloseHandle). The object lives on while others
// hold handles to it; closing a thread's handle does not stop the thread.
void ReleaseHandle(Handle object);

// Threads ----------------------------------------------------------------

using ThreadRoutine = uint32_t (*)(void* argument);

// Runs routine(argument) on a new thread with `stack_size` bytes of stack
// (0: the default) and returns the thread's handle, or null
// (_beginthreadex). A thread started `suspended` runs nothing until
// ResumeSuspendedThread or TerminateUnstartedThread. On Windows the thread
// keeps the library loaded until it ends (see kUnloadStopsThreads).
Handle BeginThread(size_t stack_size, ThreadRoutine routine, void* argument, bool suspended);

// Lets a suspended thread run. True when it was suspended (ResumeThread
// reporting a non-zero previous suspend count).
bool ResumeSuspendedThread(Handle thread);

// Ends a thread that was started suspended and never resumed, before it
// runs any of its routine (TerminateThread). Its handle becomes signalled.
bool TerminateUnstartedThread(Handle thread);

// Waits until a thread started by BeginThread has ended and left the
// library's code for good: its routine has returned and the platform's code
// around it has finished too, so that the library may be unloaded. The
// thread must not be suspended. At most one call per thread (pthread_join;
// WaitForSingleObject on the thread's handle). False at once when called
// on the thread itself (which can happen when the last thread of a process
// runs the library's exit work).
bool AwaitThreadExit(Handle thread);

// A handle that becomes signalled when the live thread `id` ends, for any
// thread of the process, whether it has used the library or not; null when
// no live thread of the process has that id (OpenThread with SYNCHRONIZE).
// The handle stays with that thread: a later thread given the same id does
// not change it.
Handle OpenThreadEnd(uint32_t id);

// Library lifetime -----------------------------------------------------------

// How the library's own threads meet its unloading. On Windows every thread
// BeginThread starts holds a reference to the library's module and drops it
// as it exits (FreeLibraryAndExitThread), so the DLL stays mapped until the
// last of them has ended; nothing may wait for a thread there while the
// library is unloaded (the loader lock is held). Elsewhere dlclose unmaps
// the library at once, so its exit work first stops its threads and waits
// for them (AwaitThreadExit).
#if defined(_WIN32)
inline constexpr bool kUnloadStopsThreads = false;
#else
inline constexpr bool kUnloadStopsThreads = true;
#endif

// Has `prepare` run in a thread that forks, before the fork, `parent` in
// the parent and `child` in the child after it (pthread_atfork). The
// platform's own state is kept consistent around them: in the child only
// the forking thread lives on, under a new id; every other thread that a
// handle names counts as ended there. One set of handlers per process; no
// fork on Windows, where this does nothing. pthread_atfork fails only when
// memory is short, and then nothing is registered.
void RegisterForkHandlers(void (*prepare)(), void (*parent)(), void (*child)());

// Thread flags ---------------------------------------------------------------

// A thread flag is a word that one thread writes with plain stores and that
// other threads read. With FlushOtherThreads it makes an asymmetric Dekker
// pair: the thread sets its flag and reads a shared word with no fence in
// between; another thread changes the shared word, calls FlushOtherThreads
// and reads the flag. Then either the second thread sees the flag set, or
// the first sees the change.
//
// A thread's flag lives in the object of its end (OpenThreadEnd) and as long
// as that object: whoever holds a handle to the end may read the flag, even
// after the thread has ended (it reads 0 then), and the thread writes it
// only while it lives, so no other thread ever writes it.
//
// Flags exist only where FlushOtherThreads works: our POSIX layer on Linux,
// with membarrier. The Windows layer has none, on purpose.
// FlushProcessWriteBuffers would serve on Windows itself, but Wine, where the
// same DLL is tested and also used, returns from it without interrupting any
// thread, and a pass that relied on it there would let an owner and a lock
// holder write a record at once, with nothing to show for it. Telling Wine
// apart at run time would leave the path that real Windows takes untested.
// So on Windows no thread has a flag and every operation takes the record's
// lock, which is correct on both.

// Makes every other thread of the process pass a full memory barrier before
// this returns: one that runs now is interrupted, one that does not passes
// one when it is scheduled again. False when that cannot be done; never
// false once OwnThreadFlag has returned a flag in this process (its parent
// included).
#if defined(_WIN32)
inline bool FlushOtherThreads() {
    return false;
}
#else
bool FlushOtherThreads();
#endif

// OwnThreadFlag: the calling thread's flag; null once the thread's end has
// been signalled (in its exit), for a thread whose end object could not be
// made, and where there are no flags.
// ThreadFlagOf: the flag in the end object `end`; the same word as that
// thread's OwnThreadFlag when `end` is the end the thread reports itself (a
// thread seen only from outside, whose end a probe watches, has an end of
// another object, and its flag stays 0).
#if defined(_WIN32)
inline std::atomic<uint32_t>* OwnThreadFlag() {
    return nullptr;
}
inline const std::atomic<uint32_t>* ThreadFlagOf(Handle) {
    return nullptr;
}
#else
extern __thread std::atomic<uint32_t>* t_own_thread_flag __attribute__((tls_model("initial-exec")));
inline std::atomic<uint32_t>* OwnThreadFlag() {
    return t_own_thread_flag;
}
const std::atomic<uint32_t>* ThreadFlagOf(Handle end);
#endif

// Per-thread words ---------------------------------------------------------

inline constexpr int kThreadWords = 5;

// The calling thread's word `index` (0 to kThreadWords - 1): 0 until the
// thread sets it. No heap block stands behind the words, so nothing is left
// over when a thread ends or the library is unloaded: TlsAlloc slots on
// Windows, where the runtime's thread_local support keeps memory that
// FreeLibrary does not give back; elsewhere initial-exec thread-local
// storage, which a shared library reaches with one load from the thread
// pointer (40 bytes of the static TLS reserve).
#if defined(_WIN32)
uint64_t ThreadWord(int index);
void SetThreadWord(int index, uint64_t value);
#else
extern __thread uint64_t t_thread_words[kThreadWords] __attribute__((tls_model("initial-exec")));
inline uint64_t ThreadWord(int index) {
    return t_thread_words[index];
}
inline void SetThreadWord(int index, uint64_t value) {
    t_thread_words[index] = value;
}
#endif

// End callbacks ------------------------------------------------------------

struct EndCallback;
using EndCallbackRoutine = void (*)(EndCallback* registration, void* context);

// Arranges for routine(registration, context) to run once, on a thread of
// the platform's, when `thread` is signalled (RegisterWaitForSingleObject).
// The registration keeps its own hold on the thread, so the caller may give
// its handle back at once. The routine must not block: other waits may share
// its thread. Register while the thread cannot end yet (started suspended).
// Null on failure.
EndCallback* RegisterEndCallback(Handle thread, EndCallbackRoutine routine, void* context);

// Cancels the registration and frees it (UnregisterWaitEx without a
// completion event). Called exactly once: either from the routine itself or
// before the watched thread can end.
void UnregisterEndCallback(EndCallback* registration);
// Wide formatted output -------------------------------------------------

// Wide formatted output with the contract of _vswprintf_c_l called with a
// null locale. `args` points at consecutive 8-byte argument slots (integers
// and pointers as 64-bit words, doubles as their IEEE bits), read strictly
// in order.
// buffer == nullptr && count == 0: returns the UTF-16 units the text needs
// (no terminator), or < 0.
// Otherwise writes at most `count` units including the terminator; returns
// units written (terminator not counted), or a negative value when the text
// does not fit or the format is refused.
int WideFormat(char16_t* buffer, size_t count, const char16_t* format, const uint64_t* args);
// Variable argument lists ---------------------------------------------------

// On platforms whose va_list is a pointer to consecutive 8-byte argument
// slots (64-bit Windows), stores that pointer and returns true; elsewhere
// returns false and the caller gathers the arguments itself.
bool VaListSlots(va_list arguments, const uint64_t** slots);

}  // namespace faultkit::platform
