// Test threads synchronised with standard primitives only, so that a thread
// can stay unknown to the library yet be named by its system id.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace faultkit::test {

// Threads wait at a gate until the test opens it.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;

    void Wait() {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        opened.notify_all();
    }
};

// The longest a test waits for something that must happen, even loaded.
inline constexpr std::chrono::seconds kPatience{10};

// Polls `done` until it holds or kPatience has passed.
template <typename Condition>
bool Eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// The calling thread's system id, read without the library.
inline uint32_t NativeThreadId() {
#ifdef _WIN32
    return GetCurrentThreadId();
#else
    return static_cast<uint32_t>(syscall(SYS_gettid));
#endif
}

// A live thread that runs `first`, waits until Finish, then runs `last`.
class ParkedThread {
public:
    explicit ParkedThread(
        std::function<void()> first = [] {}, std::function<void()> last = [] {})
        : thread_([this, first, last] {
              id_ = NativeThreadId();
              first();
              started_.Open();
              finish_.Wait();
              last();
          }) {
        started_.Wait();
    }
    ~ParkedThread() { Finish(); }
    ParkedThread(const ParkedThread&) = delete;
    ParkedThread& operator=(const ParkedThread&) = delete;

    uint32_t id() const { return id_; }

    // Lets the thread end and waits until it has.
    void Finish() {
        finish_.Open();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    Gate started_;
    Gate finish_;
    uint32_t id_ = 0;
    std::thread thread_;  // last: it starts once the gates exist
};

}  // namespace faultkit::test
