// The platform's thread and wait services and the ThreadStarter built on them.
#include <atomic>
#include <thread>

#include "platform/platform.h"
#include "thread_test_support.h"
#include "threads/thread_starter.h"

namespace platform = faultkit::platform;
using faultkit::ThreadStart;
using faultkit::test::Gate;

namespace {

// Waits for `object` with an event that is never set as the other half.
bool WaitFor(platform::Handle object) {
    platform::Handle never = platform::CreateManualResetEvent();
    const int which = platform::WaitForEither(never, object);
    platform::ReleaseHandle(never);
    return which == 1;
}

TEST(Platform, ManualResetEventStaysSetUntilCleared) {
    platform::Handle first = platform::CreateManualResetEvent();
    platform::Handle second = platform::CreateManualResetEvent();
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(platform::IsSignalled(first));
    EXPECT_TRUE(platform::SignalEvent(second));
    EXPECT_EQ(platform::WaitForEither(first, second), 1);
    EXPECT_EQ(platform::WaitForEither(first, second), 1);  // still set
    EXPECT_TRUE(platform::SignalEvent(first));
    EXPECT_EQ(platform::WaitForEither(first, second), 0);
    EXPECT_TRUE(platform::ClearEvent(first));
    EXPECT_FALSE(platform::IsSignalled(first));
    EXPECT_TRUE(platform::IsSignalled(second));
    platform::ReleaseHandle(first);
    platform::ReleaseHandle(second);
}

TEST(Platform, WaitWakesWhenTheOtherThreadSignals) {
    platform::Handle first = platform::CreateManualResetEvent();
    platform::Handle second = platform::CreateManualResetEvent();
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        platform::SignalEvent(second);
    });
    EXPECT_EQ(platform::WaitForEither(first, second), 1);
    signaller.join();
    platform::ReleaseHandle(first);
    platform::ReleaseHandle(second);
}

TEST(Platform, ThreadEndIsWaitableAndEndedThreadsCannotBeOpened) {
    Gate started, finish;
    uint32_t id = 0;
    std::thread worker([&] {
        id = platform::CurrentThreadId();
        started.Open();
        finish.Wait();
    });
    started.Wait();
    platform::Handle end = platform::OpenThreadEnd(id);
    ASSERT_NE(end, nullptr);
    EXPECT_FALSE(platform::IsSignalled(end));
    finish.Open();
    EXPECT_TRUE(WaitFor(end));
    worker.join();
    platform::ReleaseHandle(end);
    EXPECT_EQ(platform::OpenThreadEnd(id), nullptr);
}

std::atomic<int> g_runs{0};

uint32_t CountRun(void* /*argument*/) {
    g_runs.fetch_add(1);
    return 0;
}

TEST(Platform, UnstartedThreadCanBeTerminated) {
    g_runs = 0;
    platform::Handle thread = platform::BeginThread(0, CountRun, nullptr, true);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(platform::TerminateUnstartedThread(thread));
    EXPECT_TRUE(WaitFor(thread));
    platform::ReleaseHandle(thread);
    EXPECT_EQ(g_runs.load(), 0);
}

// ThreadStarter ----------------------------------------------------------

struct StartedRun {
    std::atomic<uint32_t> entry_thread{0};
    std::atomic<uint32_t> callback_thread{0};
    std::atomic<bool> entry_done{false};
    std::atomic<bool> callback_saw_entry_done{false};
    platform::Handle callback_ran = platform::CreateManualResetEvent();
    ~StartedRun() { platform::ReleaseHandle(callback_ran); }
};

uint32_t Entry(void* raw) {
    auto* run = static_cast<StartedRun*>(raw);
    run->entry_thread = platform::CurrentThreadId();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    run->entry_done = true;
    return 7;
}

uint32_t ExitCallback(void* raw) {
    auto* run = static_cast<StartedRun*>(raw);
    run->callback_thread = platform::CurrentThreadId();
    run->callback_saw_entry_done = run->entry_done.load();
    platform::SignalEvent(run->callback_ran);
    return 0;
}

TEST(ThreadStarter, PlainStartRunsAtOnce) {
    StartedRun run;
    platform::Handle thread = ThreadStart(0, Entry, &run, false, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(WaitFor(thread));
    EXPECT_TRUE(run.entry_done);
    EXPECT_NE(run.entry_thread.load(), platform::CurrentThreadId());
    EXPECT_FALSE(platform::ResumeSuspendedThread(thread));  // it was never suspended
    platform::ReleaseHandle(thread);
}

TEST(ThreadStarter, SuspendedStartWaitsForResume) {
    StartedRun run;
    platform::Handle thread = ThreadStart(64 * 1024, Entry, &run, true, nullptr);
    ASSERT_NE(thread, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(run.entry_thread.load(), 0u);
    EXPECT_FALSE(platform::IsSignalled(thread));
    EXPECT_TRUE(platform::ResumeSuspendedThread(thread));
    EXPECT_TRUE(WaitFor(thread));
    EXPECT_TRUE(run.entry_done);
    platform::ReleaseHandle(thread);
}

TEST(ThreadStarter, ExitCallbackRunsOnAnotherThreadAfterTheEnd) {
    StartedRun run;
    platform::Handle thread = ThreadStart(0, Entry, &run, false, ExitCallback);
    ASSERT_NE(thread, nullptr);
    platform::ReleaseHandle(thread);  // the callback does not need the handle
    EXPECT_TRUE(WaitFor(run.callback_ran));
    EXPECT_TRUE(run.callback_saw_entry_done);
    EXPECT_NE(run.callback_thread.load(), 0u);
    EXPECT_NE(run.callback_thread.load(), run.entry_thread.load());
}

TEST(ThreadStarter, SuspendedStartWithExitCallback) {
    StartedRun run;
    platform::Handle thread = ThreadStart(0, Entry, &run, true, ExitCallback);
    ASSERT_NE(thread, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(run.entry_thread.load(), 0u);
    EXPECT_FALSE(platform::IsSignalled(run.callback_ran));
    EXPECT_TRUE(platform::ResumeSuspendedThread(thread));
    EXPECT_TRUE(WaitFor(run.callback_ran));
    EXPECT_TRUE(run.callback_saw_entry_done);
    platform::ReleaseHandle(thread);
}

}  // namespace
