// The ends of threads opened by id (OpenThreadEnd), for threads that have
// used the library and threads that never have: the thread table opens the
// end of every thread it makes a record for, the target of a redirect
// included, named by an id from a handle. (That the ids are the system's:
// ErrorSlots.RedirectToAThreadWithoutRecordMakesOne.)
#include <gtest/gtest.h>

#include <atomic>

#ifdef __linux__
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "support/platform_test_support.h"

namespace platform = faultkit::platform;
using faultkit::test::OwnedHandle;
using faultkit::test::ParkedThread;
using faultkit::test::SignalledInTime;

namespace {

// The end of a live thread opened by id, whether the thread used the
// library first or never did, is not signalled while it runs, is signalled
// once it ends, and stays so; every handle opened sees it. Once it has
// ended and no handle is left, its id names no thread (until the system
// gives it to another); 0 never names one; the calling thread's does.
TEST(OpenThreadEnd, LiveThreadsEndedThreadsAndTheCallingThread) {
    for (const bool asks_for_id : {true, false}) {
        SCOPED_TRACE(asks_for_id ? "asked for its id" : "never used the library");
        uint32_t ended = 0;
        {
            ParkedThread thread([asks_for_id] {
                if (asks_for_id) {
                    platform::CurrentThreadId();
                }
            });
            ended = thread.id();
            OwnedHandle first(platform::OpenThreadEnd(thread.id()));
            OwnedHandle second(platform::OpenThreadEnd(thread.id()));
            ASSERT_TRUE(first.get() != nullptr && second.get() != nullptr);
            EXPECT_FALSE(platform::IsSignalled(first.get()));
            thread.Finish();
            EXPECT_TRUE(SignalledInTime(first.get()));
            EXPECT_TRUE(SignalledInTime(second.get()));
            EXPECT_TRUE(platform::IsSignalled(first.get()));
        }
        EXPECT_EQ(platform::OpenThreadEnd(ended), nullptr);
    }
    EXPECT_EQ(platform::OpenThreadEnd(0), nullptr);
    OwnedHandle own(platform::OpenThreadEnd(platform::CurrentThreadId()));
    ASSERT_NE(own.get(), nullptr);
    EXPECT_FALSE(platform::IsSignalled(own.get()));
}

// Threads have flags where the kernel offers private expedited memory
// barriers (Linux 4.14 on), and nowhere else.
bool KernelOffersExpeditedBarriers() {
#ifdef SYS_membarrier
    const long commands = syscall(SYS_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
    return commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0;
#else
    return false;
#endif
}

// A thread's flag is the flag of the end it reports, so whoever holds that
// end reads what the thread wrote, also after the thread has ended
// (AddressSanitizer reports a read of freed memory).
TEST(ThreadFlags, LiveInTheEndOfTheirThreadAndOutliveIt) {
    ASSERT_EQ(platform::FlushOtherThreads(), KernelOffersExpeditedBarriers());
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
