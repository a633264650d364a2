// The error round trip (store, read the last error, read the root error,
// which clears) on one and on two threads, against two anchors in the same
// binary: a plain thread_local (the floor) and a std::mutex with a
// std::unordered_map keyed by thread id (what a user would write by hand).
#include <benchmark/benchmark.h>

#include <thread>

#include "base/spin_lock.h"
#include "error_round_trip.h"
#include "faultkit.h"
#include "support/test_uuids.h"

namespace {

using faultkit::bench::kCode;
using faultkit::bench::ThreadErrors;

thread_local ThreadErrors t_errors;

void BM_ThreadLocal(benchmark::State& state) {
    uint32_t code = kCode;
    for (auto _ : state) {
        benchmark::DoNotOptimize(code);
        faultkit::bench::Store(t_errors, code);
        benchmark::ClobberMemory();
        benchmark::DoNotOptimize(t_errors.last);
        benchmark::DoNotOptimize(faultkit::bench::TakeRoot(t_errors));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

faultkit::bench::MutexAndMap g_store;

void BM_MutexAndMap(benchmark::State& state) {
    const std::thread::id self = std::this_thread::get_id();
    for (auto _ : state) {
        faultkit::bench::MutexAndMapRoundTrip(
            g_store, self, [](uint32_t code) { benchmark::DoNotOptimize(code); });
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
        if (!faultkit::bench::FaultkitRoundTrip(handle, &record)) {
            state.SkipWithError("an operation failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    ErrorMgrDelete(&handle, true);
}

// What a round trip would spend on lock traffic alone if each operation
// took its record's SpinLock (an atomic increment and a plain store), as
// on Windows and on a record another thread has held: three operations'
// worth, on a lock of the thread's own. Where threads have flags, a thread
// on its own record holds it by its pass and spends none of this.
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
