// Many short-lived threads store, read, redirect and end while others keep
// calling ErrorMgrShutdown, for a fixed time and at least a minimum number of
// thread lives, however slow the machine. Run under ThreadSanitizer (data races)
// and LeakSanitizer (every context of every ended thread freed).
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "thread_test_support.h"

using faultkit::test::Component;
using faultkit::test::Gate;
using faultkit::test::NewContext;
using faultkit::test::TestUuid;

namespace {

constexpr auto kBudget = std::chrono::milliseconds(400);
constexpr int kMinLifetimes = 200;
constexpr int kLanes = 8;
constexpr int kHubs = 2;

// A long-lived thread that other threads redirect their errors to. It reads
// and clears what arrives until told to stop.
struct Hub {
    _qel_error_manager* handle = nullptr;
    Gate ready;
    std::thread thread;
};

void RunHub(Hub* hub, _qel_error_manager* reader, const std::atomic<bool>* stop) {
    _qel_bos_uuid uuid = TestUuid(500);
    ErrorMgrCreate(&hub->handle, &uuid);
    hub->ready.Open();
    while (!stop->load()) {
        const uint32_t code = ErrorMgrGetRootError(reader, nullptr);
        EXPECT_TRUE(code == 0 || (code & 0xFFFFu) >= 1000) << code;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ErrorMgrDelete(&hub->handle, true);
}

// One short thread life. Operations may fail while a shutdown runs; what
// is read must still be something this thread (or one redirected to the
// same place) stored.
void RunWorker(int n, _qel_error_manager* component, Hub* hubs) {
    const uint32_t base = 1000 + static_cast<uint32_t>(n % 100) * 10;
    ErrorMgrSetErrorBasic(component, base + 1, NewContext());
    ErrorMgrSetErrorFull(component, base + 2, NewContext(), nullptr, nullptr, n);
    ErrorMgrSetErrorBasic(component, base + 3, NewContext());
    const uint32_t last = ErrorMgrGetLastError(component, nullptr);
    EXPECT_TRUE(last == 0 || (last & 0xFFFFu) >= 1000) << last;
    _qel_error_enumerate walk{};
    while (ErrorMgrEnumErrors(component, &walk)) {
        EXPECT_GE(walk.code & 0xFFFFu, 1000u);
    }
    if (n % 3 == 0) {
        ErrorMgrRedirect(hubs[n % kHubs].handle);
        ErrorMgrSetErrorBasic(component, base + 4, NewContext());
        ErrorMgrGetLastError(component, nullptr);
        if (n % 2 == 0) {
            ErrorMgrRedirect(nullptr);
        }
    }
    if (n % 5 == 0) {
        ErrorMgrGetRootError(component, nullptr);  // ends with nothing stored
    }
    // Otherwise the thread ends with errors and contexts: its watcher frees them.
}

TEST(ThreadStress, ThreadsComeAndGoWhileShutdownsRun) {
    Component component{TestUuid(501)};
    std::atomic<bool> stop{false};
    Hub hubs[kHubs];
    for (Hub& hub : hubs) {
        hub.thread = std::thread(RunHub, &hub, component.handle, &stop);
        hub.ready.Wait();
    }
    std::atomic<int> shutdowns{0};
    std::thread shutdown_caller([&] {
        while (!stop.load()) {
            ErrorMgrShutdown();
            shutdowns.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    // Lanes of workers, one after another in each lane: the lanes drift
    // apart, so thread starts and ends overlap in every possible way.
    const auto deadline = std::chrono::steady_clock::now() + kBudget;
    std::atomic<int> next{0};
    std::vector<std::thread> lanes;
    for (int lane = 0; lane < kLanes; ++lane) {
        lanes.emplace_back([&] {
            for (int n = next++; n < kMinLifetimes || std::chrono::steady_clock::now() < deadline;
                 n = next++) {
                std::thread(RunWorker, n, component.handle, hubs).join();
            }
        });
    }
    for (std::thread& lane : lanes) {
        lane.join();
    }
    stop = true;
    shutdown_caller.join();
    for (Hub& hub : hubs) {
        hub.thread.join();
    }
    EXPECT_GT(shutdowns.load(), 0);
    EXPECT_TRUE(ErrorMgrShutdown());
    EXPECT_EQ(faultkit::ThreadTableCount(), 0u);
}

}  // namespace
