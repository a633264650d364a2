// A client built for the MSVC ABI (clang, lld-link, faultkit.lib) that calls
// all 32 exports, the C++ ones under their decorated names, as code from
// Microsoft's compiler would. Freestanding, with no MSVC runtime: its own
// entry point, kernel32 for threads and the exit. Exit code: 0, else the
// failed check's line, plus 10000 when it failed through the C++ functions.
#include "c_face.h"
#include "client_scenario.h"
#include "cxx_face.h"

extern "C" {
__declspec(dllimport) void* __stdcall CreateThread(void* attributes, unsigned long long stack_size,
                                                   unsigned long(__stdcall* routine)(void*),
                                                   void* argument, unsigned long flags,
                                                   unsigned long* thread_id);
__declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void* handle,
                                                                  unsigned long milliseconds);
__declspec(dllimport) int __stdcall CloseHandle(void* handle);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

// What the compiler expects of a runtime: floating point in use, and the
// memory functions it may call for copies and zeroing.
int _fltused = 0;

void* memset(void* destination, int value, unsigned long long count) {
    auto* bytes = static_cast<unsigned char*>(destination);
    for (unsigned long long i = 0; i < count; ++i) {
        bytes[i] = static_cast<unsigned char>(value);
    }
    return destination;
}

void* memcpy(void* destination, const void* source, unsigned long long count) {
    auto* to = static_cast<unsigned char*>(destination);
    const auto* from = static_cast<const unsigned char*>(source);
    for (unsigned long long i = 0; i < count; ++i) {
        to[i] = from[i];
    }
    return destination;
}
}

namespace {

struct ThreadStart {
    void (*routine)(void*);
    void* argument;
};

unsigned long __stdcall ThreadEntry(void* start) {
    const ThreadStart* own = static_cast<ThreadStart*>(start);
    own->routine(own->argument);
    return 0;
}

void RunOnNewThread(void (*routine)(void*), void* argument) {
    ThreadStart start{routine, argument};
    void* thread = CreateThread(nullptr, 0, ThreadEntry, &start, 0, nullptr);
    if (thread != nullptr) {
        WaitForSingleObject(thread, 0xFFFFFFFFu);
        CloseHandle(thread);
    }
}

constexpr unsigned kCxxFailure = 10000;

}  // namespace

extern "C" void start() {
    const int c_failure = client::Scenario<client::CFace>::Run(1, RunOnNewThread);
    if (c_failure != 0) {
        ExitProcess(static_cast<unsigned>(c_failure));
    }
    const int cxx_failure = client::Scenario<client::CxxFace>::Run(2, RunOnNewThread);
    ExitProcess(cxx_failure != 0 ? kCxxFailure + static_cast<unsigned>(cxx_failure) : 0);
}
