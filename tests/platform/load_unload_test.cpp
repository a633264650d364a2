// A plug-in host that loads the library (dlopen, LoadLibrary), has 8
// threads register a component each and store, read, enumerate and render
// errors, ends them and unloads the library, with or without
// ErrorMgrShutdown first, again and again. Watcher threads run library
// code: the unload must not pull it from under them. Leaks: LeakSanitizer
// sees every block a cycle left on Linux; the heap bytes in use (and on
// Windows the private bytes) must stay flat once a tenth of the cycles have
// warmed the heap up, and each unload gives back its thread-specific slots.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <malloc.h>
#include <string>
#include <thread>
#include <vector>

#include "faultkit.h"

#ifdef _WIN32
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace {

#ifndef FAULTKIT_TEST_LOAD_CYCLES
#define FAULTKIT_TEST_LOAD_CYCLES 200
#endif
constexpr int kThreads = 8;

// The build's number of cycles, or FAULTKIT_TEST_LOAD_CYCLES from the environment.
int Cycles() {
    const char* given = std::getenv("FAULTKIT_TEST_LOAD_CYCLES");
    return given != nullptr && std::atoi(given) > 0 ? std::atoi(given) : FAULTKIT_TEST_LOAD_CYCLES;
}

// The exports a cycle uses, looked up by name after each load.
#define FAULTKIT_CYCLE_EXPORTS(X)                                                       \
    X(ErrorMgrCreate) X(ErrorMgrDelete) X(ErrorMgrBuildContext) X(ErrorMgrSetErrorFull) \
    X(ErrorMgrGetLastError) X(ErrorMgrGetRootError) X(ErrorMgrEnumErrors)              \
    X(ErrorMgrGetContextString) X(ErrorMgrShutdown)

struct Exports {
#define FAULTKIT_DECLARE_EXPORT(name) decltype(&::name) name = nullptr;
    FAULTKIT_CYCLE_EXPORTS(FAULTKIT_DECLARE_EXPORT)
#undef FAULTKIT_DECLARE_EXPORT
};

#ifdef _WIN32
using Module = HMODULE;
Module Load() { return LoadLibraryW(L"faultkit.dll"); }
void* Find(Module module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}
bool Unload(Module module) { return FreeLibrary(module) != 0; }
bool IsLoaded() { return GetModuleHandleW(L"faultkit.dll") != nullptr; }

// Committed private memory; Wine reports no PrivateUsage, and its
// PagefileUsage stands for the same.
size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// Bytes in use on the C runtime's heap, which the library's malloc shares
// with this program.
size_t HeapBytesInUse() {
    _HEAPINFO entry{};
    size_t total = 0;
    while (_heapwalk(&entry) == _HEAPOK) {
        total += entry._useflag == _USEDENTRY ? entry._size : 0;
    }
    return total;
}

// Thread-local slots the process can still take: found by taking them all.
size_t FreeThreadSlots() {
    std::vector<DWORD> slots;
    for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc()) {
        slots.push_back(slot);
    }
    for (const DWORD slot : slots) {
        TlsFree(slot);
    }
    return slots.size();
}
#else
using Module = void*;
Module Load() { return dlopen(FAULTKIT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL); }
void* Find(Module module, const char* name) { return dlsym(module, name); }
bool Unload(Module module) { return dlclose(module) == 0; }
bool IsLoaded() {
    Module again = dlopen(FAULTKIT_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (again != nullptr) {
        dlclose(again);
    }
    return again != nullptr;
}

// Bytes in use on the heap: mallinfo2 reads the main arena, which the
// test makes the only one (M_ARENA_MAX) before any thread starts.
size_t HeapBytesInUse() {
    return mallinfo2().uordblks;
}

// Thread-specific keys the process can still make: found by making them all.
size_t FreeThreadSlots() {
    std::vector<pthread_key_t> keys;
    for (pthread_key_t key; pthread_key_create(&key, nullptr) == 0;) {
        keys.push_back(key);
    }
    for (const pthread_key_t key : keys) {
        pthread_key_delete(key);
    }
    return keys.size();
}
#endif

bool FindExports(Module module, Exports* exports) {
    bool found = true;
#define FAULTKIT_FIND_EXPORT(name)                                                  \
    exports->name = reinterpret_cast<decltype(exports->name)>(Find(module, #name)); \
    found = found && exports->name != nullptr;
    FAULTKIT_CYCLE_EXPORTS(FAULTKIT_FIND_EXPORT)
#undef FAULTKIT_FIND_EXPORT
    return found;
}

// What one thread does in a cycle; true when every read gave back what the
// thread stored.
bool UseFromThread(const Exports& library, int n) {
    _qel_bos_uuid uuid{0xC0DE0000u + static_cast<uint32_t>(n), 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    _qel_error_manager* handle = nullptr;
    if (!library.ErrorMgrCreate(&handle, &uuid)) {
        return false;
    }
    std::string name = "thread " + std::to_string(n);
    char format[] = "%i%s";
    library.ErrorMgrSetErrorFull(handle, 100 + n, library.ErrorMgrBuildContext(format, n, "root"),
                                 nullptr, nullptr, n);
    library.ErrorMgrSetErrorFull(handle, 200 + n,
                                 library.ErrorMgrBuildContext(format, -n, name.c_str()), &name[0],
                                 nullptr, -n);
    _qel_error_enumerate last{};
    bool good = library.ErrorMgrGetLastError(handle, &last) == 200u + n &&
                last.aux_text1 == name.c_str() && last.aux_int == -n;
    char text[64] = {};
    const std::string expected = std::to_string(-n) + '\0' + '"' + name + '"' + '\0' + '\0';
    good = good &&
           library.ErrorMgrGetContextString(&last, text, sizeof text) ==
               static_cast<int>(expected.size() + 1) &&
           std::string(text, expected.size()) == expected;
    _qel_error_enumerate walk{};
    int walked = 0;
    while (library.ErrorMgrEnumErrors(handle, &walk)) {
        ++walked;
    }
    good = good && walked == 2 && library.ErrorMgrGetRootError(handle, nullptr) == 100u + n &&
           library.ErrorMgrGetLastError(handle, nullptr) == 0;
    // The second error stays stored: the watcher discards it when the
    // thread ends.
    library.ErrorMgrSetErrorFull(handle, 300 + n, library.ErrorMgrBuildContext(format, n, "left"),
                                 nullptr, nullptr, 0);
    return library.ErrorMgrDelete(&handle, true) && good;
}

size_t ThreadsOfProcess() {
    size_t threads = 0;
#ifdef _WIN32
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        threads += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
#else
    DIR* tasks = opendir("/proc/self/task");
    while (tasks != nullptr && readdir(tasks) != nullptr) {
        ++threads;
    }
    if (tasks != nullptr) {
        closedir(tasks);
    }
#endif
    return threads;
}

// Whether the library is gone and none of its threads is left, within a few
// seconds: on Windows each watcher keeps the DLL loaded until it ends; on
// Linux a joined thread may still be listed in /proc for a moment.
bool Unloaded(size_t threads_before) {
    const auto gone = [threads_before] {
        return !IsLoaded() && ThreadsOfProcess() == threads_before;
    };
    for (int waited_ms = 0; !gone() && waited_ms < 10000; ++waited_ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return gone();
}

enum class Unloading { kAfterShutdown, kWithoutShutdown, kWhileAThreadLivesOn };

// One cycle; returns the number of threads whose reads were right. With
// kWhileAThreadLivesOn the first thread is still alive, done with the
// library, when it is unloaded: its watcher, and on Linux its pending
// thread-local destructor, keep the library loaded until it ends.
int Cycle(Unloading unloading) {
    const size_t threads_before = ThreadsOfProcess();
    Module module = Load();
    Exports library;
    if (module == nullptr || !FindExports(module, &library)) {
        ADD_FAILURE() << "the library did not load";
        return 0;
    }
    const bool one_lives_on = unloading == Unloading::kWhileAThreadLivesOn;
    std::promise<void> first_done, end_first;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n) {
        threads.emplace_back([&, n] {
            good += UseFromThread(library, n) ? 1 : 0;
            if (n == 0 && one_lives_on) {
                first_done.set_value();
                end_first.get_future().wait();
            }
        });
    }
    if (one_lives_on) {
        first_done.get_future().wait();
    }
    for (size_t n = one_lives_on ? 1 : 0; n < threads.size(); ++n) {
        threads[n].join();
    }
    if (unloading == Unloading::kAfterShutdown) {
        EXPECT_TRUE(library.ErrorMgrShutdown());
    }
    EXPECT_TRUE(Unload(module));
    if (one_lives_on) {
        EXPECT_TRUE(IsLoaded()) << "unloaded while a thread that used it lives";
        end_first.set_value();
        threads[0].join();
#ifndef _WIN32
        Unload(Load());  // glibc lets such a library go at the next dlclose
#endif
    }
    EXPECT_TRUE(Unloaded(threads_before)) << "the library or its threads stayed";
    return good;
}

class Lifetime : public testing::TestWithParam<Unloading> {};

TEST_P(Lifetime, CyclesOfLoadUseAndUnload) {
#ifndef _WIN32
    mallopt(M_ARENA_MAX, 1);
#endif
    ASSERT_FALSE(IsLoaded());
    std::thread([] {}).join();  // a sanitizer's own thread, started with the first, counts before
    const int cycles = Cycles(), warm_up = cycles / 10;
    for (int cycle = 0; cycle < warm_up; ++cycle) {
        ASSERT_EQ(Cycle(GetParam()), kThreads) << "cycle " << cycle;
    }
    [[maybe_unused]] const size_t heap_bytes = HeapBytesInUse();  // not checked under coverage
    const size_t thread_slots = FreeThreadSlots();
#ifdef _WIN32
    const size_t private_bytes = PrivateBytes();
#endif
    for (int cycle = warm_up; cycle < cycles; ++cycle) {
        ASSERT_EQ(Cycle(GetParam()), kThreads) << "cycle " << cycle;
    }
    // Any block a cycle leaves behind shows in the heap. glibc's own blocks
    // move it by up to 2 KB over the run; the smallest leak, a 90-byte event
    // a cycle, adds 16 KB. The private bytes move by a few pages as the
    // system reuses thread stacks; a leaked thread or stack takes far more.
    [[maybe_unused]] const size_t heap_end = HeapBytesInUse();
    EXPECT_EQ(FreeThreadSlots(), thread_slots) << "an unload kept a thread-specific slot";
#ifdef _WIN32
    EXPECT_LE(heap_end, heap_bytes) << "heap bytes in use grew from " << heap_bytes;
    EXPECT_LT(PrivateBytes(), private_bytes + 256 * 1024) << "private bytes grew";
#elif !defined(FAULTKIT_COVERAGE)
    EXPECT_LE(heap_end, heap_bytes + 4096) << "heap bytes in use grew from " << heap_bytes;
#endif
}

const char* const kUnloadingNames[] = {"AfterShutdown", "WithoutShutdown", "WhileAThreadLivesOn"};
INSTANTIATE_TEST_SUITE_P(Unloading, Lifetime,
                         testing::Values(Unloading::kAfterShutdown, Unloading::kWithoutShutdown,
                                         Unloading::kWhileAThreadLivesOn),
                         [](const testing::TestParamInfo<Unloading>& info) {
                             return std::string(kUnloadingNames[static_cast<int>(info.param)]);
                         });

}  // namespace
