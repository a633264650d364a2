// The error round trip (store, read the last error, read the root error,
// which clears) on one and on two threads, against two anchors in the same
// binary: a plain thread_local (the floor) and a std::mutex with a
// std::unordered_map keyed by thread id (what a user would write by hand).
#include <benchmark/benchmark.h>

#include <mutex>
#include <thread>
#include <unordered_map>

#include "base/spin_lock.h"
#include "faultkit.h"
#include "support/test_uuids.h"

namespace {

constexpr uint32_t kCode = 5;

struct ThreadErrors {
    uint32_t root = 0;
    uint32_t last = 0;
    int count = 0;
};

void Store(ThreadErrors& errors, uint32_t code) {
    if (errors.count++ == 0) {
        errors.root = code;
    }
    errors.last = code;
}

uint32_t TakeRoot(ThreadErrors& errors) {
    const uint32_t root = errors.count > 0 ? errors.root : 0;
    errors.count = 0;
    return root;
}

thread_local ThreadErrors t_errors;

void BM_ThreadLocal(benchmark::State& state) {
    uint32_t code = kCode;
    for (auto _ : state) {
        benchmark::DoNotOptimize(code);
        Store(t_errors, code);
        benchmark::ClobberMemory();
        benchmark::DoNotOptimize(t_errors.last);
        benchmark::DoNotOptimize(TakeRoot(t_errors));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

std::mutex g_mutex;
std::unordered_map<std::thread::id, ThreadErrors> g_errors;  // guarded by g_mutex

void BM_MutexAndMap(benchmark::State& state) {
    const std::thread::id self = std::this_thread::get_id();
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            Store(g_errors[self], kCode);
        }
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            const auto found = g_errors.find(self);
            benchmark::DoNotOptimize(found != g_errors.end() ? found->second.last : 0u);
        }
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            const auto found = g_errors.find(self);
            benchmark::DoNotOptimize(found != g_errors.end() ? TakeRoot(found->second) : 0u);
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Faultkit(benchmark::State& state) {
    _qel_bos_uuid uuid =
        faultkit::test::TestUuid(700 + static_cast<uint32_t>(state.thread_index()));
    _qel_error_manager* handle = nullptr;
    if (!ErrorMgrCreate(&handle, &uuid)) {
        state.SkipWithError("no component handle");
        return;
    }
    _qel_error_enumerate record{};
    for (auto _ : state) {
        ErrorMgrSetErrorFull(handle, kCode, nullptr, nullptr, nullptr, -1);
        const uint32_t last = ErrorMgrGetLastError(handle, &record);
        const uint32_t root = ErrorMgrGetRootError(handle, &record);
        if (last != kCode || root != kCode) {
            state.SkipWithError("an operation failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    ErrorMgrDelete(&handle, true);
}

// Where the time goes: every operation takes and releases its record's
// SpinLock, an atomic increment and a plain store. This is that traffic
// alone, three operations' worth, on a lock of the thread's own.
void BM_LockTrafficOnly(benchmark::State& state) {
    faultkit::SpinLock lock;
    for (auto _ : state) {
        for (int operation = 0; operation < 3; ++operation) {
            if (!faultkit::SpinLockAcquire(lock)) {
                state.SkipWithError("lock not acquired");
            }
            faultkit::SpinLockReleaseBlock(&lock, nullptr);
        }
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ThreadLocal)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_MutexAndMap)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_Faultkit)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_LockTrafficOnly)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

// glibc's mutex skips its atomic instructions while a process has never had
// a second thread, so the anchor would be measured in a state that no
// process using the library is in (the library starts a watcher thread for
// every thread that stores errors), and its cost would depend on which
// benchmarks ran first. One thread, started and joined before any of them,
// puts every benchmark in the state of a real host.
int main(int argc, char** argv) {
    std::thread([] {}).join();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
