// Helpers for the tests of the platform's thread and wait services. They
// use only the platform layer and standard threads, so that the same tests
// hold the Windows services (under Wine) and our POSIX layer to one
// contract.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/parked_thread.h"
#include "platform/platform.h"

namespace faultkit::test {

// The longest a test waits for something that must happen: far beyond what
// it takes even on a loaded machine, so reaching it means it never came.
inline constexpr std::chrono::seconds kPatience{10};

// An event that a timer thread sets once kPatience has passed, unless the
// Timeout is destroyed first.
class Timeout {
public:
    Timeout()
        : event_(platform::CreateManualResetEvent()), thread_([this] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!cancelled_changed_.wait_for(lock, kPatience, [this] { return cancelled_; })) {
                  platform::SignalEvent(event_);
              }
          }) {}
    ~Timeout() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancelled_ = true;
        }
        cancelled_changed_.notify_all();
        thread_.join();
        platform::ReleaseHandle(event_);
    }
    Timeout(const Timeout&) = delete;
    Timeout& operator=(const Timeout&) = delete;

    platform::Handle event() const { return event_; }

private:
    platform::Handle event_;
    std::mutex mutex_;
    std::condition_variable cancelled_changed_;
    bool cancelled_ = false;
    std::thread thread_;  // last: it starts once the rest exists
};

// True when `object` is signalled before kPatience has passed.
inline bool SignalledInTime(platform::Handle object) {
    Timeout timeout;
    return platform::WaitForEither(object, timeout.event()) == 0;
}

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

}  // namespace faultkit::test
