// The library at the edges of thread, process and lock lifetimes, met as a
// host that does the unexpected meets them. A scenario that ends the main
// thread runs in a child: the test program starts itself again with the
// scenario's name. Unloading is tested in load_unload_test.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/spin_lock.h"
#include "faultkit.h"
#include "platform/platform.h"
#include "support/parked_thread.h"
#include "support/test_uuids.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif
#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>

#include "support/forked_child.h"
#endif

namespace faultkit::test {
namespace {

using Clock = std::chrono::steady_clock;

// Scenarios ThreadSanitizer cannot run: it keeps a thread of its own that
// never ends, it loses track of threads started after a fork, and it (like
// an emulator) makes threads too slowly to wait for an id to come round.
#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
constexpr bool kThreadSanitizer = __has_feature(thread_sanitizer);
#else
constexpr bool kThreadSanitizer = false;
#endif
// AddressSanitizer's allocator (GCC 12) takes no lock around fork: a child
// forked while another thread allocates may find it locked for good.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kForkUnsafeAllocator = true;
#elif defined(__has_feature)
constexpr bool kForkUnsafeAllocator = __has_feature(address_sanitizer);
#else
constexpr bool kForkUnsafeAllocator = false;
#endif
#ifdef FAULTKIT_SLOW_BUILD
constexpr bool kSlowThreads = true;
#else
constexpr bool kSlowThreads = kThreadSanitizer;
#endif
const char kMainThreadExits[] = "--scenario-main-thread-exits";
const char kTableFullThenExit[] = "--scenario-table-full-then-exit";
const char* g_program = nullptr;

_qel_error_manager* NewHandle(uint32_t n) {
    _qel_error_manager* handle = nullptr;
    _qel_bos_uuid uuid = TestUuid(0x7100 + n);
    EXPECT_TRUE(ErrorMgrCreate(&handle, &uuid));
    return handle;
}

// A contender's 1000 attempts, the tick moving on by each sleep as an exact
// millisecond counter does (and in 16 ms steps as Windows' does): together
// they last seconds, and every length from 0 to 7 ms comes up. A sleep of
// just `tick & 7` falls to 0 ms within three attempts on an exact counter.
TEST(Lifetime, LockBackoffSpreadsOverSeconds) {
    for (uint32_t step : {1u, 16u}) {
        for (uint32_t start : {0u, 5u, 12345u, 0xFFFFFFF0u}) {
            uint32_t elapsed = 0, lengths = 0;
            for (uint32_t attempt = 1; attempt <= kSpinLockAttempts; ++attempt) {
                const uint32_t tick = start + elapsed / step * step;
                const uint32_t ms =
                    SpinLockBackoffMs(tick, attempt, reinterpret_cast<uintptr_t>(&elapsed));
                ASSERT_LE(ms, 7u);
                elapsed += ms;
                lengths |= 1u << ms;
            }
            EXPECT_TRUE(elapsed > 3000u && elapsed < 4000u)
                << "tick step " << step << ", start " << start << ": " << elapsed << " ms";
            EXPECT_EQ(lengths, 0xFFu);
        }
    }
    // Contenders that fail at the same tick do not sleep in step.
    int same = 0;
    for (uint32_t attempt = 1; attempt <= 64; ++attempt) {
        same += SpinLockBackoffMs(100, attempt, 0x7FFC1000) ==
                SpinLockBackoffMs(100, attempt, 0x7FFC2000);
    }
    EXPECT_LT(same, 24);
}

// 16 contenders outwait a holder that keeps the lock 100 ms; against one
// that never lets go, an attempt gives up only after seconds of sleeps and
// leaves the counter as it found it.
TEST(Lifetime, LockOutwaitsASlowHolderAndGivesUpOnAStalledOne) {
    SpinLock lock;
    ASSERT_TRUE(SpinLockAcquire(lock));
    std::atomic<int> acquired{0};
    std::vector<std::thread> contenders;
    for (int n = 0; n < 16; ++n) {
        contenders.emplace_back([&] {
            if (SpinLockAcquire(lock)) {
                ++acquired;
                SpinLockRelease(lock);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    SpinLockRelease(lock);
    for (std::thread& contender : contenders) {
        contender.join();
    }
    EXPECT_EQ(acquired, 16);

    ASSERT_TRUE(SpinLockAcquire(lock));
    const auto start = Clock::now();
    EXPECT_FALSE(SpinLockAcquire(lock));
    EXPECT_GE(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(SpinLockCounter(lock.word.load()), 1u);
    SpinLockRelease(lock);
}

// A redirect holds on to its target thread, not to the number: once the
// target has ended, redirected calls fail, and they keep failing when a new
// thread receives the target's id (Linux hands ids out again after a round
// of pid_max; Windows does not while a handle to the ended thread is open).
TEST(Lifetime, RedirectFailsOnceItsTargetEndedEvenWhenItsIdReturns) {
    _qel_error_manager* target = nullptr;
    ParkedThread target_thread([&] {
        target = NewHandle(1);
        ErrorMgrSetErrorBasic(target, 7, nullptr);
    });
    ASSERT_TRUE(ErrorMgrRedirect(target));
    EXPECT_EQ(ErrorMgrGetLastError(target, nullptr), 7u);
    target_thread.Finish();
    EXPECT_TRUE(Eventually([&] { return ErrorMgrGetLastError(target, nullptr) == 0; }));
    EXPECT_EQ(ErrorMgrExport(nullptr, 0), 0u);

#ifndef _WIN32
    // Threads come and go until one has the target's id; it stores an
    // error, which the redirected thread must neither see nor overwrite.
    std::FILE* pid_max_file = std::fopen("/proc/sys/kernel/pid_max", "r");
    long pid_max = 0;
    ASSERT_TRUE(pid_max_file != nullptr && std::fscanf(pid_max_file, "%ld", &pid_max) == 1);
    std::fclose(pid_max_file);
    if (pid_max > (1L << 17) || kSlowThreads) {
        ErrorMgrRedirect(nullptr);
        GTEST_SKIP() << "pid_max " << pid_max << ": too many threads until an id returns";
    }
    const uint32_t target_id = target_thread.id();
    bool reused = false;
    for (long n = 0; !reused && n < 2 * pid_max; ++n) {
        Gate stored, checked;
        std::promise<bool> has_target_id;
        std::thread newcomer([&] {
            has_target_id.set_value(NativeThreadId() == target_id);
            if (NativeThreadId() == target_id) {
                _qel_error_manager* own = NewHandle(2);
                ErrorMgrSetErrorBasic(own, 11, nullptr);
                stored.Open();
                checked.Wait();
                EXPECT_EQ(ErrorMgrGetLastError(own, nullptr), 11u);
                ErrorMgrDelete(&own, true);
            }
        });
        reused = has_target_id.get_future().get();
        if (reused) {
            stored.Wait();
            EXPECT_EQ(ErrorMgrGetLastError(target, nullptr), 0u);
            ErrorMgrSetErrorBasic(target, 9, nullptr);
            checked.Open();
        }
        newcomer.join();
    }
    EXPECT_TRUE(reused);
    EXPECT_EQ(ErrorMgrGetLastError(target, nullptr), 0u);
#endif
    EXPECT_TRUE(ErrorMgrRedirect(nullptr));
    ErrorMgrDelete(&target, true);
}

// 32 threads fill the table; a 33rd gets no record until one of them ends.
// Then all end and the process exits at once, while the watchers are still
// busy: none of the library's threads may be left finished and neither
// joined nor detached, which ThreadSanitizer reports as a leak (exit code
// 66). Exit code 3 when the 33rd thread was not refused, or never served.
int TableFullThenExit() {
    static _qel_error_manager* handle = NewHandle(3);  // static: LeakSanitizer sees it held
    std::vector<std::unique_ptr<ParkedThread>> parked;
    for (int n = 0; n < 32; ++n) {
        parked.push_back(
            std::make_unique<ParkedThread>([] { ErrorMgrSetErrorBasic(handle, 2, nullptr); }));
    }
    bool refused = false, served = false;
    std::thread([&] {
        ErrorMgrSetErrorBasic(handle, 3, nullptr);
        refused = ErrorMgrGetLastError(handle, nullptr) == 0;
        parked.front()->Finish();
        served = Eventually([&] {
            ErrorMgrSetErrorBasic(handle, 3, nullptr);
            return ErrorMgrGetLastError(handle, nullptr) == 3u;
        });
    }).join();
    parked.clear();
    return refused && served ? 0 : 3;
}

// The main thread stores an error, starts a thread redirected to it and
// ends on its own (pthread_exit, ExitThread) while that thread lives on.
// Once the main thread has ended, the redirected calls fail; the process
// exits when the other thread ends. Exit code 3 when a call did not fail.
int MainThreadExits() {
#ifdef __SANITIZE_ADDRESS__
    // glibc records a thread's thread-local destructors in a block that a
    // main thread ending with pthread_exit never frees; LeakSanitizer would
    // report the block of the library's thread sentinel, made on the first call.
    __lsan_disable();
    platform::CurrentThreadId();
    __lsan_enable();
#endif
    static _qel_error_manager* main_handle = NewHandle(4);
    static Gate redirected;
    ErrorMgrSetErrorBasic(main_handle, 5, nullptr);
    std::thread([] {
        const bool before =
            ErrorMgrRedirect(main_handle) && ErrorMgrGetLastError(main_handle, nullptr) == 5;
        redirected.Open();
        const bool after = Eventually([] {
            return ErrorMgrGetLastError(main_handle, nullptr) == 0 &&
                   ErrorMgrExport(nullptr, 0) == 0;
        });
        if (!before || !after) {
            std::_Exit(3);
        }
    }).detach();
    redirected.Wait();
#ifdef _WIN32
    ExitThread(0);
#else
    pthread_exit(nullptr);
#endif
}

// Runs this program again with `scenario`; its exit code, or -1 when it did
// not end within a minute or ended by a signal.
int RunScenario(const char* scenario) {
#ifdef _WIN32
    std::string command = std::string("\"") + g_program + "\" " + scenario;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    } else {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
#else
    return ExitOfForkedChild([scenario] {
        execl(g_program, g_program, scenario, static_cast<char*>(nullptr));
        return 127;
    });
#endif
}

TEST(Lifetime, TableFullUntilAThreadEndsThenPromptExit) {
    EXPECT_EQ(RunScenario(kTableFullThenExit), 0);
}

TEST(Lifetime, MainThreadEndingOnItsOwnIsNoticedAndTheProcessExits) {
    if (kThreadSanitizer) {
        GTEST_SKIP() << "not with ThreadSanitizer";
    }
    const int code = RunScenario(kMainThreadExits);
#ifdef _WIN32
    // Windows gives a process the exit code of its last thread: the
    // redirected thread's 0 or a watcher's 1.
    EXPECT_TRUE(code == 0 || code == 1) << code;
#else
    EXPECT_EQ(code, 0);
#endif
}

#ifndef _WIN32
// True when the process holds an eventfd or a pidfd, as a probe of a
// thread's end does.
bool HoldsProbeDescriptors() {
    bool held = false;
    for (int fd = 0; fd < 1024; ++fd) {
        char path[32], target[64] = {};
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        held = held || (readlink(path, target, sizeof target - 1) > 0 &&
                        (std::strstr(target, "[eventfd]") || std::strstr(target, "[pidfd]")));
    }
    return held;
}

// A child of a process whose threads hold errors: it starts with no errors
// on any thread and none of the parent's probes, may call everything, and
// its new threads get records; the parent keeps its own. Exit code: one bit
// per check that failed.
int UseAfterFork(_qel_error_manager* handle, _qel_error_manager* other_thread) {
    int failed = HoldsProbeDescriptors() << 7;
    failed |= (ErrorMgrGetLastError(handle, nullptr) != 0) << 0;
    ErrorMgrSetErrorBasic(handle, 8, nullptr);
    failed |= (ErrorMgrGetLastError(handle, nullptr) != 8) << 1;
    failed |= !ErrorMgrRedirect(other_thread) << 2;  // that thread is not in the child
    failed |= (ErrorMgrGetLastError(handle, nullptr) != 0) << 3;
    failed |= !ErrorMgrRedirect(nullptr) << 4;
    std::thread([handle] { ErrorMgrSetErrorBasic(handle, 9, nullptr); }).join();
    failed |= !ErrorMgrShutdown() << 5;
    failed |= (ErrorMgrGetLastError(handle, nullptr) != 0) << 6;
    return failed;
}

TEST(Lifetime, ForkedChildStartsAfreshAndMayCallEverything) {
    if (kThreadSanitizer || kForkUnsafeAllocator) {
        GTEST_SKIP() << "not with ThreadSanitizer or AddressSanitizer";
    }
    _qel_error_manager* handle = NewHandle(5);
    _qel_error_manager* other = nullptr;
    ParkedThread other_thread([&] {
        other = NewHandle(6);
        ErrorMgrSetErrorBasic(other, 6, nullptr);
    });
    // An error redirected to a thread that never used the library: its
    // end is watched by a probe.
    ParkedThread never_used;
    _qel_error_manager by_hand{never_used.id(), {}, 0};
    ASSERT_TRUE(ErrorMgrRedirect(&by_hand));
    ErrorMgrSetErrorBasic(handle, 4, nullptr);
    ASSERT_TRUE(ErrorMgrRedirect(nullptr) && HoldsProbeDescriptors());
    ErrorMgrSetErrorBasic(handle, 5, nullptr);
    EXPECT_EQ(ExitOfForkedChild([&] { return UseAfterFork(handle, other); }), 0);
    EXPECT_EQ(ErrorMgrGetLastError(handle, nullptr), 5u);
    ErrorMgrSetErrorBasic(handle, 0, nullptr);
    other_thread.Finish();
    ErrorMgrDelete(&other, true);
    ErrorMgrDelete(&handle, true);
}
#endif

}  // namespace
}  // namespace faultkit::test

int main(int argc, char** argv) {
    using namespace faultkit::test;
    if (argc == 2 && std::strcmp(argv[1], kMainThreadExits) == 0) {
        return MainThreadExits();
    }
    if (argc == 2 && std::strcmp(argv[1], kTableFullThenExit) == 0) {
        return TableFullThenExit();
    }
    g_program = argv[0];
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
