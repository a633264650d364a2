// The probes that watch the ends of threads that never used the library,
// each way of probing in turn: a thread pidfd where the kernel has them,
// and the /proc entry that older kernels fall back to.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>

#include "platform/posix/thread_end_probe.h"
#include "support/platform_test_support.h"

namespace platform = faultkit::platform;
using faultkit::test::OwnedHandle;
using faultkit::test::ParkedThread;
using faultkit::test::SignalledInTime;
using platform::EndProbe;

namespace {

size_t EntriesIn(const char* folder) {
    size_t count = 0;
    DIR* directory = opendir(folder);
    while (const dirent* entry = directory != nullptr ? readdir(directory) : nullptr) {
        count += entry->d_name[0] != '.';
    }
    if (directory != nullptr) {
        closedir(directory);
    }
    return count;
}

// Threads and descriptors of the process.
struct Usage {
    size_t threads = EntriesIn("/proc/self/task"), descriptors = EntriesIn("/proc/self/fd");
};

// True once threads and descriptors are back to `before` at most: a probe
// that stops leaves nothing behind, though it may take a moment to go.
bool BackTo(const Usage& before) {
    const auto deadline = std::chrono::steady_clock::now() + faultkit::test::kPatience;
    for (Usage now; now.threads > before.threads || now.descriptors > before.descriptors;
         now = Usage()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        platform::SleepMs(1);
    }
    return true;
}

class ThreadEndProbe : public ::testing::TestWithParam<EndProbe> {
protected:
    platform::Handle Open(uint32_t id) { return platform::OpenProbedThreadEnd(id, GetParam()); }
};

// The usage is taken once the process has threads: a sanitizer may start
// a thread of its own with the first.
TEST_P(ThreadEndProbe, SignalsWhenTheThreadEndsAndStopsWhenGivenBack) {
    ParkedThread thread;
    const Usage before;
    {
        OwnedHandle end(Open(thread.id()));
        ASSERT_NE(end.get(), nullptr);
        platform::SleepMs(30);  // a few rounds of the /proc probe's polling
        EXPECT_FALSE(platform::IsSignalled(end.get())) << "signalled while the thread lives";
        // A third holder that comes and goes leaves the probe running.
        platform::UnregisterEndCallback(platform::RegisterEndCallback(
            end.get(), [](platform::EndCallback*, void*) {}, nullptr));
        thread.Finish();
        EXPECT_TRUE(SignalledInTime(end.get()));
    }
    EXPECT_TRUE(BackTo(before));
    ParkedThread other;
    const Usage with_other;
    platform::ReleaseHandle(Open(other.id()));  // given back while the thread lives
    EXPECT_TRUE(BackTo(with_other));
}

// The main thread is a live thread like any other; the parent's id names a
// thread of another process.
TEST_P(ThreadEndProbe, AcceptsOnlyLiveThreadsOfTheProcess) {
    OwnedHandle main_thread(Open(static_cast<uint32_t>(getpid())));
    EXPECT_NE(main_thread.get(), nullptr);
    EXPECT_EQ(Open(static_cast<uint32_t>(getppid())), nullptr);
    EXPECT_EQ(Open(0), nullptr);
    EXPECT_EQ(Open(static_cast<uint32_t>(INT_MAX) + 1u), nullptr);
    uint32_t ended = 0;
    {
        ParkedThread thread;
        ended = thread.id();
    }
    // The kernel may list an ended thread for a moment after its join (under
    // an emulator, for longer).
    bool refused = false;
    for (int poll = 0; poll < 1000 && !refused; ++poll) {
        OwnedHandle late(Open(ended));
        refused = late.get() == nullptr;
        platform::SleepMs(refused ? 0 : 1);
    }
    EXPECT_TRUE(refused);
}

INSTANTIATE_TEST_SUITE_P(EachProbe, ThreadEndProbe,
                         ::testing::Values(EndProbe::kPidfdFirst, EndProbe::kProcEntryOnly),
                         [](const ::testing::TestParamInfo<EndProbe>& info) {
                             return info.param == EndProbe::kPidfdFirst ? "PidfdFirst"
                                                                        : "ProcEntryOnly";
                         });

}  // namespace
