// Threads started by the platform, their end signals and end callbacks, as
// the ThreadStarter uses them (tests/threads checks the starts themselves).
#include <gtest/gtest.h>

#include <atomic>

#ifndef _WIN32
#include <pthread.h>
#endif

#include "support/platform_test_support.h"

namespace platform = faultkit::platform;
using faultkit::test::NativeThreadId;
using faultkit::test::OwnedHandle;
using faultkit::test::SignalledInTime;
using faultkit::test::WaitingRun;
using faultkit::test::WaitUntilFinished;

namespace {

// Cancels its own registration, as the callback contract asks.
void OnEnd(platform::EndCallback* registration, void* raw) {
    auto* run = static_cast<WaitingRun*>(raw);
    platform::UnregisterEndCallback(registration);
    run->callback_thread = NativeThreadId();
    run->thread_had_ended = platform::IsSignalled(run->thread);
    run->calls.fetch_add(1);
    platform::SignalEvent(run->called.get());
}

// A suspended thread runs only once resumed (the test lets another thread
// run to its end first, time enough for a faulty platform to start it
// early); its end is signalled once the routine has returned, and stays so.
// The end callback runs once, after the end, on a thread of its own.
TEST(Threads, SuspendedThreadRunsOnceResumedAndItsEndIsSignalledAndCalledBack) {
    WaitingRun run;
    OwnedHandle thread(platform::BeginThread(0, WaitUntilFinished, &run, true));
    ASSERT_NE(run.thread = thread.get(), nullptr);
    ASSERT_NE(platform::RegisterEndCallback(thread.get(), OnEnd, &run), nullptr);
    std::thread([] {}).join();
    EXPECT_EQ(run.entries.load(), 0);
    EXPECT_TRUE(platform::ResumeSuspendedThread(thread.get()));
    EXPECT_FALSE(platform::ResumeSuspendedThread(thread.get()));  // no longer suspended
    std::thread([] {}).join();
    EXPECT_FALSE(platform::IsSignalled(thread.get()));  // the routine waits for `finish`
    EXPECT_FALSE(platform::IsSignalled(run.called.get()));
    platform::SignalEvent(run.finish.get());
    EXPECT_TRUE(SignalledInTime(thread.get()));
    EXPECT_TRUE(SignalledInTime(run.called.get()));
    EXPECT_TRUE(platform::IsSignalled(thread.get()));
    EXPECT_TRUE(run.thread_had_ended.load());
    EXPECT_NE(run.callback_thread.load(), run.entry_thread.load());
    EXPECT_NE(run.callback_thread.load(), NativeThreadId());
    EXPECT_EQ(run.entries.load(), 1);
    EXPECT_EQ(run.calls.load(), 1);
}

// A thread never resumed is terminated without running. A registration
// cancelled before that never calls, though its waiting thread, when slower
// to start than the termination, finds the end and the cancel both set.
TEST(Threads, UnstartedThreadIsTerminatedWithoutRunning) {
    WaitingRun runs[20];
    for (WaitingRun& run : runs) {
        OwnedHandle thread(platform::BeginThread(0, WaitUntilFinished, &run, true));
        ASSERT_NE(run.thread = thread.get(), nullptr);
        platform::UnregisterEndCallback(platform::RegisterEndCallback(thread.get(), OnEnd, &run));
        EXPECT_TRUE(platform::TerminateUnstartedThread(thread.get()));
        EXPECT_TRUE(SignalledInTime(thread.get()));
    }
    platform::SleepMs(50);  // time for the waiting threads to look
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(runs[i].entries.load() + runs[i].calls.load(), 0) << i;
    }
}

// A thread that waits for its own end is refused at once.
TEST(Threads, AwaitingItselfFailsAtOnce) {
    static platform::Handle self;
    static std::atomic<int> result{-1};
    auto await_itself = [](void*) -> uint32_t {
        result = platform::AwaitThreadExit(self) ? 1 : 0;
        return 0;
    };
    OwnedHandle thread(platform::BeginThread(0, await_itself, nullptr, true));
    ASSERT_NE(self = thread.get(), nullptr);
    ASSERT_TRUE(platform::ResumeSuspendedThread(self));
    while (result.load() < 0) {  // its own wait first
        platform::SleepMs(1);
    }
    ASSERT_TRUE(platform::AwaitThreadExit(self));
    EXPECT_EQ(result.load(), 0);
}

#ifndef _WIN32
uint32_t NoteStackSize(void* size) {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstacksize(&attributes, static_cast<size_t*>(size));
        pthread_attr_destroy(&attributes);
    }
    return 0;
}

// A thread gets the stack size it was started with; one that asks for less
// than the system's least gets more than that, not the default (sanitizers
// may raise it further).
TEST(Threads, GetTheStackSizeAskedFor) {
    const size_t asked[] = {size_t{1} << 20, 0, 1};
    size_t sizes[3] = {};
    for (int i = 0; i < 3; ++i) {
        OwnedHandle thread(platform::BeginThread(asked[i], NoteStackSize, &sizes[i], false));
        ASSERT_NE(thread.get(), nullptr);
        ASSERT_TRUE(platform::AwaitThreadExit(thread.get()));
        EXPECT_FALSE(platform::AwaitThreadExit(thread.get()));  // joined once only
    }
    EXPECT_EQ(sizes[0], asked[0]);
    EXPECT_GE(sizes[2], static_cast<size_t>(PTHREAD_STACK_MIN));
    EXPECT_LT(sizes[2], sizes[1]);
    EXPECT_FALSE(platform::AwaitThreadExit(nullptr));
}
#endif

}  // namespace
