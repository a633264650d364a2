// Helpers for the tests of the platform's thread and wait services, with the
// platform layer and standard threads only: one contract for Windows and POSIX.
#pragma once

#include <chrono>
#include <future>
#include <thread>

#include "platform/platform.h"
#include "support/parked_thread.h"

namespace faultkit::test {

// The longest a test waits for something that must happen, even loaded.
inline constexpr std::chrono::seconds kPatience{10};

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
