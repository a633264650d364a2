// Threads that run one step each per round the test starts: a race repeated
// many times starts its threads once (costly under Wine and TSan).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace faultkit::test {

class RoundThreads {
public:
    // `step(index)` runs on thread `index` once per round.
    RoundThreads(int count, std::function<void(int)> step) : count_(count), step_(std::move(step)) {
        for (int index = 0; index < count; ++index) {
            threads_.emplace_back([this, index] { Serve(index); });
        }
    }
    ~RoundThreads() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    RoundThreads(const RoundThreads&) = delete;
    RoundThreads& operator=(const RoundThreads&) = delete;

    // Starts a round; returns once every thread is about to run its step.
    void Start() {
        std::unique_lock<std::mutex> lock(mutex_);
        started_ = finished_ = 0;
        ++round_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return started_ == count_; });
    }

    // Waits until every thread has finished the round's step.
    void Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return finished_ == count_; });
    }

private:
    void Serve(int index) {
        for (int seen = 0;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || round_ != seen; });
                if (stop_) {
                    return;
                }
                seen = round_;
                ++started_;
            }
            changed_.notify_all();
            step_(index);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++finished_;
            }
            changed_.notify_all();
        }
    }

    const int count_;
    const std::function<void(int)> step_;
    std::mutex mutex_;  // guards the fields below
    std::condition_variable changed_;
    int round_ = 0;
    int started_ = 0;
    int finished_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;  // last: they start once the rest exists
};

}  // namespace faultkit::test
