// The ThreadStarter: plain and suspended starts, with and without an exit
// callback. The platform services it builds on are tested in
// tests/platform.
#include "threads/thread_starter.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/platform_test_support.h"
#include "thread_test_support.h"

namespace platform = faultkit::platform;
using faultkit::ThreadStart;
using faultkit::test::SignalledInTime;
using faultkit::test::WaitingRun;
using faultkit::test::WaitUntilFinished;

namespace {

uint32_t ExitCallback(void* raw) {
    auto* run = static_cast<WaitingRun*>(raw);
    run->callback_thread = faultkit::test::NativeThreadId();
    run->callback_saw_entry_done = run->entry_done.load();
    platform::SignalEvent(run->called.get());
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
            WaitingRun run;
            platform::Handle thread =
                ThreadStart(suspended ? 64 * 1024 : 0, WaitUntilFinished, &run, suspended,
                            with_callback ? ExitCallback : nullptr);
            ASSERT_NE(thread, nullptr);
            if (suspended) {
                std::thread([] {}).join();
                EXPECT_EQ(run.entry_thread.load(), 0u);
            }
            EXPECT_EQ(platform::ResumeSuspendedThread(thread), suspended);
            if (with_callback) {
                platform::ReleaseHandle(thread);
                EXPECT_FALSE(platform::IsSignalled(run.called.get()));  // the entry waits
            }
            platform::SignalEvent(run.finish.get());
            if (with_callback) {
                EXPECT_TRUE(SignalledInTime(run.called.get()));
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

#ifndef _WIN32
// The size of the address space in kB, from /proc/self/status.
size_t AddressSpace() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && line.rfind("VmSize:", 0) != 0) {
    }
    return std::strtoul(line.c_str() + 7, nullptr, 10);
}

// The threads that end unjoined are given back (detached), so that their
// stacks return to the process: 64 exit callbacks leave the address space
// within 256 MiB (a few heap arenas) of what the first 8 left it at.
TEST(ThreadStarter, ExitCallbackThreadsKeepNoStack) {
#ifdef FAULTKIT_SLOW_BUILD
    GTEST_SKIP() << "under an emulator, whose own memory for each thread adds to the count";
#endif
    size_t before = 0;
    for (int i = 0; i < 72; ++i) {
        before = i == 8 ? AddressSpace() : before;
        WaitingRun run;
        platform::SignalEvent(run.finish.get());
        platform::ReleaseHandle(ThreadStart(0, WaitUntilFinished, &run, false, ExitCallback));
        ASSERT_TRUE(SignalledInTime(run.called.get()));
    }
    EXPECT_LT(AddressSpace(), before + (256u << 10));
}
#endif

}  // namespace
