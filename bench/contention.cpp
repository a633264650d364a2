// Operations per second and failed operations for 1, 2, 8 and 32 threads,
// for the library as built and, in the same run, for a copy whose SpinLock
// sleeps before it takes a failed attempt's increment back. Two scenarios:
//   own_records    each thread does the error round trip (store, read the
//                  last error, read the root error) on its own record; the
//                  threads meet at the table lock when their records are made
//   shared_record  every thread is redirected to one record and stores,
//                  reads the last error and enumerates there, so every
//                  operation contends for that record's lock
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include "faultkit.h"
#include "support/test_uuids.h"

namespace {

// The exports the scenarios need, taken from one loaded build.
struct Library {
    decltype(&ErrorMgrCreate) create;
    decltype(&ErrorMgrDelete) destroy;
    decltype(&ErrorMgrSetErrorFull) set_error;
    decltype(&ErrorMgrGetLastError) get_last;
    decltype(&ErrorMgrGetRootError) get_root;
    decltype(&ErrorMgrEnumErrors) enumerate;
    decltype(&ErrorMgrRedirect) redirect;
    decltype(&ErrorMgrShutdown) shutdown;
    _qel_error_manager* hub;  // made by the main thread: the shared record's owner
};

enum Build { kAsBuilt, kLiteralOrder };
Library g_builds[2];

template <typename Function>
void Resolve(void* module, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(dlsym(module, name));
    if (*function == nullptr) {
        std::fprintf(stderr, "bench_contention: %s missing\n", name);
        std::exit(1);
    }
}

// Each build keeps its own tables: RTLD_LOCAL keeps the two apart.
Library Load(const char* path) {
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "bench_contention: %s\n", dlerror());
        std::exit(1);
    }
    Library library{};
    Resolve(module, "ErrorMgrCreate", &library.create);
    Resolve(module, "ErrorMgrDelete", &library.destroy);
    Resolve(module, "ErrorMgrSetErrorFull", &library.set_error);
    Resolve(module, "ErrorMgrGetLastError", &library.get_last);
    Resolve(module, "ErrorMgrGetRootError", &library.get_root);
    Resolve(module, "ErrorMgrEnumErrors", &library.enumerate);
    Resolve(module, "ErrorMgrRedirect", &library.redirect);
    Resolve(module, "ErrorMgrShutdown", &library.shutdown);
    _qel_bos_uuid hub = faultkit::test::TestUuid(899);
    if (!library.create(&library.hub, &hub)) {
        std::fprintf(stderr, "bench_contention: no hub handle\n");
        std::exit(1);
    }
    return library;
}

// Every run lasts kRunTime: a timer thread, started before the run's
// threads, tells them to stop. A fixed iteration count would not do: with
// the literal order an operation can take seconds, and short runs never
// meet contention at all.
constexpr auto kRunTime = std::chrono::seconds(2);
std::atomic<bool> g_stop{false};
std::thread g_timer;

// Before each run: removes the records of the previous run's threads, which
// have ended, and starts the timer.
template <Build kBuild>
void StartRun(const benchmark::State&) {
    g_builds[kBuild].shutdown();
    g_stop = false;
    g_timer = std::thread([] {
        std::this_thread::sleep_for(kRunTime);
        g_stop = true;
    });
}

void EndRun(const benchmark::State&) { g_timer.join(); }

// The fewest failed operations that explain what the two reads returned:
// a store was lost when neither read saw the new error; otherwise each read
// that missed it failed. A root read that failed leaves the errors in place,
// so a later root read returns an older error; that is no new failure.
int FailedRoundTripOperations(uint32_t expected, uint32_t last, uint32_t root) {
    if (last != expected && root != expected) {
        return 1;
    }
    return (last != expected ? 1 : 0) + (root == 0 ? 1 : 0);
}

// Store, read the last error, read the root error (which clears) on the
// thread's own record.
int OwnRecordRoundTrip(const Library& library, _qel_error_manager* handle, uint32_t code) {
    library.set_error(handle, code, nullptr, nullptr, nullptr, -1);
    const uint32_t last = library.get_last(handle, nullptr);
    const uint32_t root = library.get_root(handle, nullptr);
    return FailedRoundTripOperations(code, last, root);
}

// Store, read the last error, enumerate on the shared record. Nobody clears
// it, so a read that finds no error failed; a failed store cannot be told
// apart here, so only reads are counted.
int SharedRecordRoundTrip(const Library& library, _qel_error_manager* handle, uint32_t code) {
    library.set_error(handle, code, nullptr, nullptr, nullptr, -1);
    _qel_error_enumerate record{};
    int failed = library.get_last(handle, &record) == 0 ? 1 : 0;
    record.index = 0;
    return failed + (library.enumerate(handle, &record) ? 0 : 1);
}

using RoundTrip = int (*)(const Library&, _qel_error_manager*, uint32_t);

// Runs round trips until the timer fires; reports this thread's operations
// per second of its own running time and its failed operations (both
// summed over the run's threads).
template <Build kBuild, RoundTrip kRoundTrip, bool kShared>
void Run(benchmark::State& state) {
    const Library& library = g_builds[kBuild];
    _qel_bos_uuid uuid =
        faultkit::test::TestUuid(900 + static_cast<uint32_t>(state.thread_index()));
    _qel_error_manager* handle = nullptr;
    if (!library.create(&handle, &uuid)) {
        state.SkipWithError("no component handle");
        return;
    }
    if (kShared && state.thread_index() == 0) {
        library.set_error(library.hub, 1, nullptr, nullptr, nullptr, -1);  // never empty
    } else if (kShared) {
        library.redirect(library.hub);
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int64_t round_trips = 0;
        int64_t failed = 0;
        while (!g_stop.load(std::memory_order_relaxed)) {
            failed += kRoundTrip(library, handle, static_cast<uint32_t>(round_trips % 0xFFFF + 1));
            ++round_trips;
        }
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        state.counters["ops_per_second"] =
            benchmark::Counter(static_cast<double>(round_trips * 3) / seconds.count());
        state.counters["failed_ops"] = benchmark::Counter(static_cast<double>(failed));
    }
    library.redirect(nullptr);
    library.destroy(&handle, true);
}

template <Build kBuild>
void Register(const char* build) {
    const std::pair<const char*, void (*)(benchmark::State&)> scenarios[] = {
        {"own_records", Run<kBuild, OwnRecordRoundTrip, false>},
        {"shared_record", Run<kBuild, SharedRecordRoundTrip, true>}};
    for (const auto& [scenario, function] : scenarios) {
        benchmark::RegisterBenchmark((std::string(scenario) + "/" + build).c_str(), function)
            ->Setup(StartRun<kBuild>)
            ->Teardown(EndRun)
            ->Threads(1)
            ->Threads(2)
            ->Threads(8)
            ->Threads(32)
            ->Iterations(1)
            ->UseRealTime();
    }
}

}  // namespace

int main(int argc, char** argv) {
    g_builds[kAsBuilt] = Load(FAULTKIT_LIBRARY);
    g_builds[kLiteralOrder] = Load(FAULTKIT_LITERAL_LOCK_LIBRARY);
    Register<kAsBuilt>("lock_as_built");
    Register<kLiteralOrder>("lock_literal_order");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
