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

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "faultkit.h"
#include "test_uuids.h"

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

// Runs before each run's threads start: removes the records of the previous
// run's threads, which have ended.
template <Build kBuild>
void EmptyTable(const benchmark::State&) {
    g_builds[kBuild].shutdown();
}

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

// The calling thread's component handle; null, the run skipped, on failure.
_qel_error_manager* ComponentOf(benchmark::State& state, const Library& library) {
    _qel_bos_uuid uuid =
        faultkit::test::TestUuid(900 + static_cast<uint32_t>(state.thread_index()));
    _qel_error_manager* handle = nullptr;
    if (!library.create(&handle, &uuid)) {
        state.SkipWithError("no component handle");
    }
    return handle;
}

void Report(benchmark::State& state, int operations, int64_t failed) {
    state.SetItemsProcessed(state.iterations() * operations);
    state.counters["failed_ops"] = benchmark::Counter(static_cast<double>(failed));
}

template <Build kBuild>
void OwnRecords(benchmark::State& state) {
    const Library& library = g_builds[kBuild];
    _qel_error_manager* handle = ComponentOf(state, library);
    if (handle == nullptr) {
        return;
    }
    int64_t failed = 0;
    uint32_t number = 0;
    for (auto _ : state) {
        const uint32_t code = number++ % 0xFFFFu + 1;
        library.set_error(handle, code, nullptr, nullptr, nullptr, -1);
        const uint32_t last = library.get_last(handle, nullptr);
        const uint32_t root = library.get_root(handle, nullptr);
        failed += FailedRoundTripOperations(code, last, root);
    }
    Report(state, 3, failed);
    library.destroy(&handle, true);
}

// Nobody clears the shared record, so a read that finds no error failed.
// A failed store cannot be told apart here; only reads are counted.
template <Build kBuild>
void SharedRecord(benchmark::State& state) {
    const Library& library = g_builds[kBuild];
    _qel_error_manager* handle = ComponentOf(state, library);
    if (handle == nullptr) {
        return;
    }
    if (state.thread_index() == 0) {
        library.set_error(library.hub, 1, nullptr, nullptr, nullptr, -1);  // never empty
    } else {
        library.redirect(library.hub);
    }
    int64_t failed = 0;
    uint32_t number = 0;
    for (auto _ : state) {
        library.set_error(handle, number++ % 0xFFFFu + 1, nullptr, nullptr, nullptr, -1);
        _qel_error_enumerate record{};
        failed += library.get_last(handle, &record) == 0 ? 1 : 0;
        record.index = 0;
        failed += library.enumerate(handle, &record) ? 0 : 1;
    }
    Report(state, 3, failed);
    library.redirect(nullptr);
    library.destroy(&handle, true);
}

template <Build kBuild>
void Register(const char* build) {
    const std::pair<const char*, void (*)(benchmark::State&)> scenarios[] = {
        {"own_records", OwnRecords<kBuild>}, {"shared_record", SharedRecord<kBuild>}};
    for (const auto& [scenario, function] : scenarios) {
        benchmark::RegisterBenchmark((std::string(scenario) + "/" + build).c_str(), function)
            ->Setup(EmptyTable<kBuild>)
            ->Threads(1)
            ->Threads(2)
            ->Threads(8)
            ->Threads(32)
            ->MinTime(0.5)
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
