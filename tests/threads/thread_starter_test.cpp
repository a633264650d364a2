// The ThreadStarter: plain and suspended starts, with and without an exit
// callback. The platform services it builds on are tested in
// tests/platform.
#include "threads/thread_starter.h"

#include <atomic>

#include "support/platform_test_support.h"
#include "thread_test_support.h"

namespace platform = faultkit::platform;
using faultkit::ThreadStart;
using faultkit::test::Event;
using faultkit::test::SignalledInTime;

namespace {

// One started run: the entry waits until the test lets it finish, so that
// the test knows what cannot have happened yet; the exit callback notes
// what it saw.
struct StartedRun {
    Event finish;
    Event never;  // the other handle of the entry's wait
    Event callback_ran;
    std::atomic<uint32_t> entry_thread{0};
    std::atomic<uint32_t> callback_thread{0};
    std::atomic<bool> entry_done{false};
    std::atomic<bool> callback_saw_entry_done{false};
};

uint32_t Entry(void* raw) {
    auto* run = static_cast<StartedRun*>(raw);
    run->entry_thread = platform::CurrentThreadId();
    platform::WaitForEither(run->finish.get(), run->never.get());
    run->entry_done = true;
    return 7;
}

uint32_t ExitCallback(void* raw) {
    auto* run = static_cast<StartedRun*>(raw);
    run->callback_thread = platform::CurrentThreadId();
    run->callback_saw_entry_done = run->entry_done.load();
    platform::SignalEvent(run->callback_ran.get());
    return 0;
}

// Every start: plain or suspended, with or without an exit callback. A
// suspended thread must not run before the resume: the test lets another
// thread run to its end first, time enough for a faulty starter to run the
// entry early. The exit callback runs on a thread of its own after the
// entry has returned, and needs no handle.
TEST(ThreadStarter, StartsRunTheEntryAndTheExitCallbackInOrder) {
    for (const bool suspended : {false, true}) {
        for (const bool with_callback : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << "suspended " << suspended << ", exit callback " << with_callback);
            StartedRun run;
            platform::Handle thread = ThreadStart(suspended ? 64 * 1024 : 0, Entry, &run, suspended,
                                                  with_callback ? ExitCallback : nullptr);
            ASSERT_NE(thread, nullptr);
            if (suspended) {
                std::thread([] {}).join();
                EXPECT_EQ(run.entry_thread.load(), 0u);
            }
            EXPECT_EQ(platform::ResumeSuspendedThread(thread), suspended);
            if (with_callback) {
                platform::ReleaseHandle(thread);
                EXPECT_FALSE(platform::IsSignalled(run.callback_ran.get()));  // the entry waits
            }
            platform::SignalEvent(run.finish.get());
            if (with_callback) {
                EXPECT_TRUE(SignalledInTime(run.callback_ran.get()));
                EXPECT_TRUE(run.callback_saw_entry_done);
                EXPECT_NE(run.callback_thread.load(), 0u);
                EXPECT_NE(run.callback_thread.load(), run.entry_thread.load());
            } else {
                EXPECT_TRUE(SignalledInTime(thread));
                EXPECT_TRUE(run.entry_done);
                platform::ReleaseHandle(thread);
            }
            EXPECT_NE(run.entry_thread.load(), platform::CurrentThreadId());
        }
    }
}

}  // namespace
