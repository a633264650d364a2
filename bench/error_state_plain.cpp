// The round trips of bench_error_state timed without Google Benchmark,
// which the Windows cross build lacks, so that the Windows DLL can be
// measured under Wine as the Linux build is: the mutex + map anchor and the
// library, on one and on two threads, five runs each, interleaved. Prints
// the median time of a round trip (wall time over the round trips of one
// thread, as Google Benchmark's real time) and the library's ratio.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "error_round_trip.h"
#include "faultkit.h"
#include "support/test_uuids.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr long kRoundTrips = 1000000;  // per thread and run
constexpr long kWarmUp = 1000;

faultkit::bench::MutexAndMap g_store;

// What a round trip reads goes here, so that no read can be left out.
std::atomic<uint32_t> g_kept{0};

void Keep(uint32_t code) {
    g_kept.store(code, std::memory_order_relaxed);
}

struct MutexAndMapThread {
    std::thread::id self = std::this_thread::get_id();

    explicit MutexAndMapThread(int) {}
    bool RoundTrip() {
        faultkit::bench::MutexAndMapRoundTrip(g_store, self, Keep);
        return true;
    }
};

struct FaultkitThread {
    _qel_error_manager* handle = nullptr;
    _qel_error_enumerate record{};

    explicit FaultkitThread(int index) {
        _qel_bos_uuid uuid = faultkit::test::TestUuid(700 + static_cast<uint32_t>(index));
        ErrorMgrCreate(&handle, &uuid);
    }
    ~FaultkitThread() { ErrorMgrDelete(&handle, true); }
    bool RoundTrip() { return faultkit::bench::FaultkitRoundTrip(handle, &record); }
};

// Nanoseconds per round trip of `threads` threads running kRoundTrips
// each at once, from the common start to the last thread's end; negative
// when a round trip failed.
template <typename PerThread>
double TimeRoundTrips(int threads) {
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::atomic<bool> failed{false};
    std::vector<std::thread> workers;
    for (int index = 0; index < threads; ++index) {
        workers.emplace_back([&, index] {
            PerThread thread(index);
            for (long n = 0; n < kWarmUp; ++n) {
                thread.RoundTrip();
            }
            ready.fetch_add(1);
            while (!go.load()) {
                std::this_thread::yield();
            }
            for (long n = 0; n < kRoundTrips; ++n) {
                if (!thread.RoundTrip()) {
                    failed = true;
                    break;
                }
            }
        });
    }
    while (ready.load() < threads) {
        std::this_thread::yield();
    }
    const auto start = Clock::now();
    go = true;
    for (std::thread& worker : workers) {
        worker.join();
    }
    const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    return failed ? -1 : elapsed / kRoundTrips;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    int status = 0;
    for (int threads : {1, 2}) {
        std::vector<double> anchor, library;
        for (int run = 0; run < kRuns; ++run) {
            anchor.push_back(TimeRoundTrips<MutexAndMapThread>(threads));
            library.push_back(TimeRoundTrips<FaultkitThread>(threads));
        }
        const double anchor_ns = Median(anchor), library_ns = Median(library);
        if (library_ns < 0) {
            std::printf("threads %d: a round trip of the library failed\n", threads);
            status = 1;
            continue;
        }
        std::printf("threads %d: mutex+map %.1f ns, faultkit %.1f ns, ratio %.2f (median of %d)\n",
                    threads, anchor_ns, library_ns, library_ns / anchor_ns, kRuns);
    }
    return status;
}
