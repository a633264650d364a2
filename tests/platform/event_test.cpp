// Manual-reset events and waits on two handles, as the thread table uses
// them: the shutdown event set and cleared by ErrorMgrShutdown, watchers
// waiting on it and on their thread's end.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/platform_test_support.h"
#include "support/round_threads.h"

namespace platform = faultkit::platform;
using faultkit::test::Event;
using faultkit::test::OwnedHandle;
using faultkit::test::RoundThreads;

namespace {

// A set stays until a clear, whatever waits, sets or clears come between;
// a wait on two reports the first set one.
TEST(Events, ManualResetEventStaysSetUntilCleared) {
    Event first, second;
    ASSERT_NE(first.get(), nullptr);
    EXPECT_FALSE(platform::IsSignalled(first.get()));  // made clear
    for (int round = 0; round < 100; ++round) {
        EXPECT_TRUE(platform::SignalEvent(second.get()));
        EXPECT_TRUE(platform::ClearEvent(second.get()));
    }
    EXPECT_FALSE(platform::IsSignalled(second.get()));
    EXPECT_TRUE(platform::ClearEvent(second.get()));  // clearing a clear event
    EXPECT_TRUE(platform::SignalEvent(second.get()));
    EXPECT_TRUE(platform::SignalEvent(second.get()));  // sets do not add up
    EXPECT_EQ(platform::WaitForEither(first.get(), second.get()), 1);
    EXPECT_EQ(platform::WaitForEither(first.get(), second.get()), 1);  // a wait takes nothing
    EXPECT_TRUE(platform::IsSignalled(second.get()));
    platform::SignalEvent(first.get());
    EXPECT_EQ(platform::WaitForEither(first.get(), second.get()), 0);
    EXPECT_EQ(platform::WaitForEither(second.get(), first.get()), 0);
    EXPECT_TRUE(platform::ClearEvent(second.get()));
    EXPECT_FALSE(platform::IsSignalled(second.get()));
}

TEST(Events, NullHandlesAreRefused) {
    Event event;
    EXPECT_FALSE(platform::SignalEvent(nullptr));
    EXPECT_FALSE(platform::ClearEvent(nullptr));
    EXPECT_FALSE(platform::IsSignalled(nullptr));
    EXPECT_EQ(platform::WaitForEither(nullptr, event.get()), -1);
    EXPECT_EQ(platform::WaitForEither(event.get(), nullptr), -1);
}

// A wait on two returns when another thread sets either; the other one,
// set and cleared before the wait began, does not end it.
TEST(Events, WaitOnTwoReturnsWhenAnotherThreadSetsEither) {
    for (int which = 0; which < 2; ++which) {
        Event events[2];
        platform::SignalEvent(events[1 - which].get());
        platform::ClearEvent(events[1 - which].get());
        std::thread setter([&] { platform::SignalEvent(events[which].get()); });
        EXPECT_EQ(platform::WaitForEither(events[0].get(), events[1].get()), which);
        setter.join();
    }
}

TEST(Events, WaitOnAnEventAndAThreadEndReturnsAtTheEnd) {
    Event never;
    faultkit::test::ParkedThread thread;
    OwnedHandle end(platform::OpenThreadEnd(thread.id()));
    ASSERT_NE(end.get(), nullptr);
    std::thread finisher([&] { thread.Finish(); });
    EXPECT_EQ(platform::WaitForEither(never.get(), end.get()), 1);
    finisher.join();
}

// Threads that wait once in each round on the round's event, the odd ones
// with it as the second handle (as a watcher waits on the shutdown event and
// its thread's end), the other handle being the round's `release`. A round
// counts the waiters that the event released.
class WaiterPool {
public:
    explicit WaiterPool(int count)
        : threads_(count, [this](int index) {
              const bool event_first = index % 2 == 0;
              const int which = event_first ? platform::WaitForEither(event_, release_)
                                            : platform::WaitForEither(release_, event_);
              by_event_.fetch_add(which == (event_first ? 0 : 1));
          }) {}

    // Starts a round; returns once every waiter is about to wait.
    void Begin(platform::Handle event, platform::Handle release) {
        event_ = event;
        release_ = release;
        by_event_ = 0;
        threads_.Start();
    }

    // Waits until every waiter has returned; the number the event released.
    int End() {
        threads_.Finish();
        return by_event_.load();
    }

private:
    // Set between rounds only.
    platform::Handle event_ = nullptr;
    platform::Handle release_ = nullptr;
    std::atomic<int> by_event_{0};
    RoundThreads threads_;  // last: its threads start once the rest exists
};

constexpr int kWaiters = 24;

// One round: the waiters begin to wait, the test pauses, sets the event
// and clears it again at once (or another thread, clearing over and over,
// does), then releases the rest. True when the set released every waiter.
bool RoundReleasesAll(WaiterPool& waiters, uint32_t pause_ms, bool clear_from_another_thread) {
    Event event, release;
    waiters.Begin(event.get(), release.get());
    std::atomic<bool> set{false};
    std::thread clearer;
    if (clear_from_another_thread) {
        clearer = std::thread([&] {
            while (!set.load()) {
                platform::ClearEvent(event.get());
            }
            for (int more = 0; more < 100; ++more) {
                platform::ClearEvent(event.get());
            }
        });
    }
    platform::SleepMs(pause_ms);
    platform::SignalEvent(event.get());
    set = true;
    if (clearer.joinable()) {
        clearer.join();
    }
    platform::ClearEvent(event.get());
    platform::SignalEvent(release.get());
    return waiters.End() == kWaiters;
}

// A set releases every thread waiting at that moment, even when the event
// is cleared at once, before the woken threads have run. Nothing shows from
// outside that a thread has begun its wait, so each round pauses before the
// set; a waiter that had not begun by then waits for `release` and is not
// counted. A round that misses a waiter therefore proves nothing, and the
// next pauses four times longer, so that a loaded machine gets its waiters
// waiting too. On a faithful platform every round from then on releases all
// of them; where a clear can hold back woken waiters, some are lost in most
// rounds, and ten full rounds in a row do not happen.
bool RacingClearsLoseNoWaiter(bool clear_from_another_thread) {
    constexpr int kFullRounds = 10;
    constexpr uint32_t kLongestPauseMs = 1024;
    WaiterPool waiters(kWaiters);
    uint32_t pause_ms = 1;
    for (int full = 0; full < kFullRounds;) {
        if (RoundReleasesAll(waiters, pause_ms, clear_from_another_thread)) {
            ++full;
        } else if ((pause_ms *= 4) > kLongestPauseMs) {
            return false;
        } else {
            full = 0;
        }
    }
    return true;
}

TEST(Events, SetReleasesEveryWaiterEvenWhenClearedAtOnce) {
    EXPECT_TRUE(RacingClearsLoseNoWaiter(false)) << "cleared by the thread that set it";
    // As when several ErrorMgrShutdown calls meet: one sets, others clear.
    EXPECT_TRUE(RacingClearsLoseNoWaiter(true)) << "cleared by another thread";
}

}  // namespace
