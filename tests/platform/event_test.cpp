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

namespace {

// A set stays until a clear, whatever waits, sets or clears come between;
// a wait on two reports the first set one. Null handles are refused.
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
    platform::SignalEvent(first.get());
    EXPECT_EQ(platform::WaitForEither(first.get(), second.get()), 0);
    EXPECT_EQ(platform::WaitForEither(second.get(), first.get()), 0);
    EXPECT_TRUE(platform::ClearEvent(second.get()));
    EXPECT_FALSE(platform::IsSignalled(second.get()));

    EXPECT_FALSE(platform::SignalEvent(nullptr) || platform::ClearEvent(nullptr) ||
                 platform::IsSignalled(nullptr));
    EXPECT_EQ(platform::WaitForEither(nullptr, first.get()), -1);
    EXPECT_EQ(platform::WaitForEither(first.get(), nullptr), -1);
}

// A wait on two returns when another thread sets either, or when a thread
// whose end it waits on ends; an event set and cleared before the wait
// began does not end it.
TEST(Events, WaitOnTwoReturnsWhenAnotherThreadSetsEitherOrAThreadEnds) {
    for (int which = 0; which < 2; ++which) {
        Event events[2];
        platform::SignalEvent(events[1 - which].get());
        platform::ClearEvent(events[1 - which].get());
        std::thread setter([&] { platform::SignalEvent(events[which].get()); });
        EXPECT_EQ(platform::WaitForEither(events[0].get(), events[1].get()), which);
        setter.join();
    }
    Event never;
    faultkit::test::ParkedThread thread;
    OwnedHandle end(platform::OpenThreadEnd(thread.id()));
    ASSERT_NE(end.get(), nullptr);
    std::thread finisher([&] { thread.Finish(); });
    EXPECT_EQ(platform::WaitForEither(never.get(), end.get()), 1);
    finisher.join();
}

// A set releases every thread waiting at that moment, even when the event
// is cleared at once (by the setter, or by another thread clearing over and
// over, as when several ErrorMgrShutdown calls meet), before the woken
// threads have run. 24 waiters wait once a round on the round's event and
// a `release` event, half with the event second (as a watcher waits on the
// shutdown event and its thread's end). Nothing shows from outside that a
// thread has begun its wait, so each round pauses before the set; a waiter
// that had not begun by then is released by `release` and not counted, and
// the next round pauses four times longer. On a faithful platform ten full
// rounds in a row come soon; where a clear can hold back woken waiters,
// some are lost in most rounds.
bool RacingClearsLoseNoWaiter(bool clear_from_another_thread) {
    constexpr int kWaiters = 24;
    platform::Handle event = nullptr, release = nullptr;  // set between rounds only
    std::atomic<int> by_event{0};
    faultkit::test::RoundThreads waiters(kWaiters, [&](int index) {
        const int which = index % 2 == 0 ? platform::WaitForEither(event, release)
                                         : 1 - platform::WaitForEither(release, event);
        by_event.fetch_add(which == 0);
    });
    uint32_t pause_ms = 1;
    for (int full = 0; full < 10;) {
        Event round_event, round_release;
        event = round_event.get();
        release = round_release.get();
        by_event = 0;
        waiters.Start();
        std::atomic<bool> set{false};
        std::thread clearer([&] {
            while (clear_from_another_thread && !set.load()) {
                platform::ClearEvent(event);
            }
            for (int more = 0; clear_from_another_thread && more < 100; ++more) {
                platform::ClearEvent(event);
            }
        });
        platform::SleepMs(pause_ms);
        platform::SignalEvent(event);
        set = true;
        clearer.join();
        platform::ClearEvent(event);
        platform::SignalEvent(release);
        waiters.Finish();
        if (by_event.load() == kWaiters) {
            ++full;
        } else if ((pause_ms *= 4) > 1024) {
            return false;
        } else {
            full = 0;
        }
    }
    return true;
}

TEST(Events, SetReleasesEveryWaiterEvenWhenClearedAtOnce) {
    EXPECT_TRUE(RacingClearsLoseNoWaiter(false)) << "cleared by the thread that set it";
    EXPECT_TRUE(RacingClearsLoseNoWaiter(true)) << "cleared by another thread";
}

}  // namespace
