// Threads started by the platform, their end signals and end callbacks, as
// the ThreadStarter uses them.
#include <gtest/gtest.h>

#include <atomic>

#include "support/platform_test_support.h"

namespace platform = faultkit::platform;
using faultkit::test::Event;
using faultkit::test::NativeThreadId;
using faultkit::test::OwnedHandle;
using faultkit::test::SignalledInTime;

namespace {

// What a started thread does: it notes its id and whether it was let run,
// then waits until the test lets it finish.
struct ThreadRun {
    Event proceed;
    Event never;  // the other handle of the routine's wait
    Event finished;
    std::atomic<bool> let_run{false};
    std::atomic<bool> ran_when_let{false};
    std::atomic<int> runs{0};
    std::atomic<uint32_t> thread_id{0};
};

uint32_t RunUntilLetFinish(void* raw) {
    auto* run = static_cast<ThreadRun*>(raw);
    run->thread_id = NativeThreadId();
    run->ran_when_let = run->let_run.load();
    run->runs.fetch_add(1);
    platform::WaitForEither(run->proceed.get(), run->never.get());
    platform::SignalEvent(run->finished.get());
    return 0;
}

TEST(Threads, EndIsSignalledOnceTheRoutineHasReturned) {
    ThreadRun run;
    run.let_run = true;
    OwnedHandle thread(platform::BeginThread(0, RunUntilLetFinish, &run, false));
    ASSERT_NE(thread.get(), nullptr);
    EXPECT_FALSE(platform::IsSignalled(thread.get()));            // the routine waits for `proceed`
    EXPECT_FALSE(platform::ResumeSuspendedThread(thread.get()));  // it was never suspended
    platform::SignalEvent(run.proceed.get());
    EXPECT_TRUE(SignalledInTime(thread.get()));
    EXPECT_TRUE(platform::IsSignalled(thread.get()));  // and stays so
    EXPECT_TRUE(platform::IsSignalled(run.finished.get()));
    EXPECT_EQ(run.runs.load(), 1);
    EXPECT_NE(run.thread_id.load(), NativeThreadId());
}

// A suspended thread runs only once resumed: the routine checks that the
// test had let it run when it started. The test lets another thread run to
// its end first, giving a faulty platform time to start the routine early.
TEST(Threads, SuspendedThreadRunsOnlyOnceResumed) {
    ThreadRun run;
    OwnedHandle thread(platform::BeginThread(0, RunUntilLetFinish, &run, true));
    ASSERT_NE(thread.get(), nullptr);
    std::thread([] {}).join();
    EXPECT_EQ(run.runs.load(), 0);
    EXPECT_FALSE(platform::IsSignalled(thread.get()));
    run.let_run = true;
    EXPECT_TRUE(platform::ResumeSuspendedThread(thread.get()));
    EXPECT_FALSE(platform::ResumeSuspendedThread(thread.get()));  // no longer suspended
    platform::SignalEvent(run.proceed.get());
    EXPECT_TRUE(SignalledInTime(thread.get()));
    EXPECT_EQ(run.runs.load(), 1);
    EXPECT_TRUE(run.ran_when_let.load());
}

TEST(Threads, UnstartedThreadIsTerminatedWithoutRunning) {
    ThreadRun run;
    OwnedHandle thread(platform::BeginThread(0, RunUntilLetFinish, &run, true));
    ASSERT_NE(thread.get(), nullptr);
    EXPECT_TRUE(platform::TerminateUnstartedThread(thread.get()));
    EXPECT_TRUE(SignalledInTime(thread.get()));
    EXPECT_EQ(run.runs.load(), 0);
}

// End callbacks ------------------------------------------------------------

struct Callback {
    platform::Handle watched = nullptr;  // the thread, while the test holds it
    Event called;
    std::atomic<int> calls{0};
    std::atomic<bool> watched_had_ended{false};
    std::atomic<uint32_t> thread_id{0};
};

// Cancels its own registration, as the callback contract asks.
void OnEnd(platform::EndCallback* registration, void* raw) {
    auto* callback = static_cast<Callback*>(raw);
    platform::UnregisterEndCallback(registration);
    callback->thread_id = NativeThreadId();
    callback->watched_had_ended =
        callback->watched == nullptr || platform::IsSignalled(callback->watched);
    callback->calls.fetch_add(1);
    platform::SignalEvent(callback->called.get());
}

// A registration cancelled before the end never calls; the other one runs
// once, after the end, on a thread of its own.
TEST(EndCallbacks, RunOnceAfterTheEndOnAnotherThread) {
    ThreadRun run;
    run.let_run = true;
    Callback callback, cancelled;
    OwnedHandle thread(platform::BeginThread(0, RunUntilLetFinish, &run, true));
    ASSERT_NE(thread.get(), nullptr);
    callback.watched = thread.get();
    ASSERT_NE(platform::RegisterEndCallback(thread.get(), OnEnd, &callback), nullptr);
    platform::EndCallback* registration =
        platform::RegisterEndCallback(thread.get(), OnEnd, &cancelled);
    ASSERT_NE(registration, nullptr);
    platform::UnregisterEndCallback(registration);
    EXPECT_TRUE(platform::ResumeSuspendedThread(thread.get()));
    EXPECT_FALSE(platform::IsSignalled(callback.called.get()));  // the thread waits
    platform::SignalEvent(run.proceed.get());
    EXPECT_TRUE(SignalledInTime(callback.called.get()));
    EXPECT_TRUE(callback.watched_had_ended.load());
    EXPECT_NE(callback.thread_id.load(), run.thread_id.load());
    EXPECT_NE(callback.thread_id.load(), NativeThreadId());
    EXPECT_EQ(callback.calls.load(), 1);
    EXPECT_EQ(cancelled.calls.load(), 0);
}

// Giving back the thread's handle at once stops neither the thread nor its
// end callback.
TEST(EndCallbacks, RunWhenTheThreadsHandleWasGivenBackAtOnce) {
    ThreadRun run;
    Callback callback;
    platform::Handle thread = platform::BeginThread(64 * 1024, RunUntilLetFinish, &run, true);
    ASSERT_NE(thread, nullptr);
    ASSERT_NE(platform::RegisterEndCallback(thread, OnEnd, &callback), nullptr);
    EXPECT_TRUE(platform::ResumeSuspendedThread(thread));
    platform::ReleaseHandle(thread);
    platform::SignalEvent(run.proceed.get());
    EXPECT_TRUE(SignalledInTime(callback.called.get()));
    EXPECT_TRUE(platform::IsSignalled(run.finished.get()));
    EXPECT_EQ(callback.calls.load(), 1);
}

}  // namespace
