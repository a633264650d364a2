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

// An event that a timer thread sets once kPatience has passed, unless the
// Timeout is destroyed first.
class Timeout {
public:
    Timeout()
        : thread_([this, cancelled = cancelled_.get_future()] {
              if (cancelled.wait_for(kPatience) == std::future_status::timeout) {
                  platform::SignalEvent(event_.get());
              }
          }) {}
    ~Timeout() {
        cancelled_.set_value();
        thread_.join();
    }

    platform::Handle event() const { return event_.get(); }

private:
    Event event_;
    std::promise<void> cancelled_;
    std::thread thread_;  // last: it starts once the rest exists
};

// True when `object` is signalled before kPatience has passed.
inline bool SignalledInTime(platform::Handle object) {
    Timeout timeout;
    return platform::WaitForEither(object, timeout.event()) == 0;
}

}  // namespace faultkit::test
