// Helpers for the tests of the platform's thread and wait services, with the
// platform layer and standard threads only: one contract for Windows and POSIX.
#pragma once

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/platform.h"
#include "support/parked_thread.h"

namespace faultkit::test {

// A handle for the life of a test.
class OwnedHandle {
public:
    explicit OwnedHandle(platform::Handle handle) : handle_(handle) {}
    ~OwnedHandle() { platform::ReleaseHandle(handle_); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    platform::Handle get() const { return handle_; }

private:
    platform::Handle handle_;
};

// A manual-reset event for the life of a test.
struct Event : OwnedHandle {
    Event() : OwnedHandle(platform::CreateManualResetEvent()) {}
};

// A started thread's run: the entry notes its thread and that it ran, then
// waits until `finish` is set, so that the test knows what cannot have
// happened yet. A callback at the thread's end notes what it saw and sets
// `called`.
struct WaitingRun {
    Event finish, never;  // never: the other handle of the entry's wait
    Event called;
    platform::Handle thread = nullptr;
    std::atomic<int> entries{0}, calls{0};
    std::atomic<bool> entry_done{false}, thread_had_ended{false}, callback_saw_entry_done{false};
    std::atomic<uint32_t> entry_thread{0}, callback_thread{0};
};

inline uint32_t WaitUntilFinished(void* raw) {
    auto* run = static_cast<WaitingRun*>(raw);
    run->entry_thread = NativeThreadId();
    run->entries.fetch_add(1);
    platform::WaitForEither(run->finish.get(), run->never.get());
    run->entry_done = true;
    return 7;
}

// True when `object` is signalled before kPatience has passed: the wait's
// other event is set by a timer thread unless the object came first.
inline bool SignalledInTime(platform::Handle object) {
    Event timeout;
    std::promise<void> done;
    std::thread timer([&timeout, finished = done.get_future()] {
        if (finished.wait_for(kPatience) == std::future_status::timeout) {
            platform::SignalEvent(timeout.get());
        }
    });
    const bool signalled = platform::WaitForEither(object, timeout.get()) == 0;
    done.set_value();
    timer.join();
    return signalled;
}

}  // namespace faultkit::test
