// The error round trip that the error-state benchmarks time: store an
// error, read the last error, read the root error (which clears). Shared by
// bench_error_state (Google Benchmark, Linux) and bench_error_state_plain,
// which times the same round trips without Google Benchmark for the Windows
// build under Wine.
#pragma once

#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "faultkit.h"

namespace faultkit::bench {

inline constexpr uint32_t kCode = 5;

// One thread's errors in the anchors.
struct ThreadErrors {
    uint32_t root = 0;
    uint32_t last = 0;
    int count = 0;
};

inline void Store(ThreadErrors& errors, uint32_t code) {
    if (errors.count++ == 0) {
        errors.root = code;
    }
    errors.last = code;
}

inline uint32_t TakeRoot(ThreadErrors& errors) {
    const uint32_t root = errors.count > 0 ? errors.root : 0;
    errors.count = 0;
    return root;
}

// The anchor: a std::mutex with a std::unordered_map keyed by thread id,
// what a user would write by hand.
struct MutexAndMap {
    std::mutex mutex;
    std::unordered_map<std::thread::id, ThreadErrors> errors;  // guarded by `mutex`
};

// The anchor's round trip; `keep` receives the last and the root error, so
// that no read can be left out.
template <typename Keep>
void MutexAndMapRoundTrip(MutexAndMap& store, std::thread::id self, Keep keep) {
    {
        std::lock_guard<std::mutex> lock(store.mutex);
        Store(store.errors[self], kCode);
    }
    {
        std::lock_guard<std::mutex> lock(store.mutex);
        const auto found = store.errors.find(self);
        keep(found != store.errors.end() ? found->second.last : 0u);
    }
    {
        std::lock_guard<std::mutex> lock(store.mutex);
        const auto found = store.errors.find(self);
        keep(found != store.errors.end() ? TakeRoot(found->second) : 0u);
    }
}

// The library's round trip through its exports; false when an operation
// failed.
inline bool FaultkitRoundTrip(_qel_error_manager* handle, _qel_error_enumerate* record) {
    ErrorMgrSetErrorFull(handle, kCode, nullptr, nullptr, nullptr, -1);
    const uint32_t last = ErrorMgrGetLastError(handle, record);
    const uint32_t root = ErrorMgrGetRootError(handle, record);
    return last == kCode && root == kCode;
}

}  // namespace faultkit::bench
