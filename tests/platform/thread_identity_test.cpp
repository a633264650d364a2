// Thread ids and the ends of threads opened by id (OpenThreadEnd), for
// threads that have used the library and threads that never have: the
// thread table opens the end of every thread it makes a record for, the
// target of a redirect included, named by an id from a handle.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <vector>

#include "support/platform_test_support.h"

namespace platform = faultkit::platform;
using faultkit::test::Gate;
using faultkit::test::NativeThreadId;
using faultkit::test::OwnedHandle;
using faultkit::test::ParkedThread;
using faultkit::test::SignalledInTime;

namespace {

// What a parked thread does first: ask for its id, so that it has used the
// library, or nothing.
void AskForId() {
    platform::CurrentThreadId();
}
void Nothing() {}
constexpr void (*kFirstSteps[])() = {AskForId, Nothing};

// A handle's thread_id is its creator's CurrentThreadId, and a user who
// fills one in by hand writes the id the operating system reports: the two
// must be the same number.
TEST(ThreadIds, AreTheSystemsIdsNonZeroStableAndDistinct) {
    constexpr int kThreads = 8;
    struct Asked {
        uint32_t id = 0, again = 0;
    };
    std::vector<Asked> asked(kThreads);
    std::vector<std::unique_ptr<ParkedThread>> threads;
    std::set<uint32_t> ids;
    for (int i = 0; i < kThreads; ++i) {
        Asked& mine = asked[i];
        threads.push_back(std::make_unique<ParkedThread>([&mine] {
            mine.id = platform::CurrentThreadId();
            mine.again = platform::CurrentThreadId();
        }));
        EXPECT_NE(mine.id, 0u);
        EXPECT_EQ(mine.again, mine.id);
        EXPECT_EQ(threads.back()->id(), mine.id);
        ids.insert(mine.id);
    }
    ids.insert(platform::CurrentThreadId());
    EXPECT_EQ(ids.size(), static_cast<size_t>(kThreads + 1));
}

// The end of a live thread opened by id, whether the thread used the
// library or never did, is not signalled while it runs, is signalled once
// it ends, and stays so; every handle opened sees it.
TEST(OpenThreadEnd, LiveThreads) {
    for (const auto step : kFirstSteps) {
        ParkedThread thread(step);
        OwnedHandle first(platform::OpenThreadEnd(thread.id()));
        OwnedHandle second(platform::OpenThreadEnd(thread.id()));
        ASSERT_NE(first.get(), nullptr);
        ASSERT_NE(second.get(), nullptr);
        EXPECT_FALSE(platform::IsSignalled(first.get()));
        thread.Finish();
        EXPECT_TRUE(SignalledInTime(first.get())) << (step == AskForId);
        EXPECT_TRUE(SignalledInTime(second.get())) << (step == AskForId);
        EXPECT_TRUE(platform::IsSignalled(first.get()));
    }
}

// The ids agree both ways: a thread opened by its system id before it ever
// asked for its id is the thread CurrentThreadId later names.
TEST(OpenThreadEnd, ThreadOpenedBeforeItAsksForItsId) {
    Gate started, opened, asked, finish;
    uint32_t native = 0, asked_id = 0;
    std::thread thread([&] {
        native = NativeThreadId();
        started.Open();
        opened.Wait();
        asked_id = platform::CurrentThreadId();
        asked.Open();
        finish.Wait();
    });
    started.Wait();
    OwnedHandle end(platform::OpenThreadEnd(native));
    opened.Open();
    asked.Wait();
    EXPECT_EQ(asked_id, native);
    ASSERT_NE(end.get(), nullptr);
    EXPECT_FALSE(platform::IsSignalled(end.get()));
    finish.Open();
    thread.join();
    EXPECT_TRUE(SignalledInTime(end.get()));
}

TEST(OpenThreadEnd, CallingThread) {
    OwnedHandle end(platform::OpenThreadEnd(platform::CurrentThreadId()));
    ASSERT_NE(end.get(), nullptr);
    EXPECT_FALSE(platform::IsSignalled(end.get()));
}

// Once a thread has ended and no handle to it is left, its id names no
// thread (until the system gives it to another); 0 never names one.
TEST(OpenThreadEnd, RefusesIdsThatNameNoThread) {
    for (const auto first : kFirstSteps) {
        uint32_t ended = 0;
        {
            ParkedThread thread(first);
            ended = thread.id();
        }
        EXPECT_EQ(platform::OpenThreadEnd(ended), nullptr);
    }
    EXPECT_EQ(platform::OpenThreadEnd(0), nullptr);
}

// Where threads have flags: a thread's flag is the flag of the end it
// reports, so whoever holds that end reads what the thread wrote, also after
// the thread has ended (AddressSanitizer reports a read of freed memory).
TEST(ThreadFlags, LiveInTheEndOfTheirThreadAndOutliveIt) {
    if (!platform::FlushOtherThreads()) {
        GTEST_SKIP() << "no thread flags on this platform";
    }
    std::atomic<uint32_t>* flag = nullptr;
    ParkedThread thread([&flag] {
        platform::CurrentThreadId();
        flag = platform::OwnThreadFlag();
        flag->store(1);
    });
    OwnedHandle end(platform::OpenThreadEnd(thread.id()));
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(platform::ThreadFlagOf(end.get()), flag);
    thread.Finish();
    EXPECT_TRUE(SignalledInTime(end.get()));
    EXPECT_EQ(platform::ThreadFlagOf(end.get())->load(), 1u);
}

}  // namespace
