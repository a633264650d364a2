#include <atomic>
#include <chrono>
#include <deque>
#include <thread>
#include <vector>

#ifndef _WIN32
#include "support/forked_child.h"
#endif

#include "thread_test_support.h"

using faultkit::ThreadTableCount;
using faultkit::test::Component;
using faultkit::test::Gate;
using faultkit::test::NewContext;
using faultkit::test::ParkedThread;
using faultkit::test::TestUuid;
using faultkit::test::WaitForRecordCount;

namespace {

// Each test starts from an empty table.
class ThreadTable : public ::testing::Test {
protected:
    Component component{TestUuid(400)};

    void SetUp() override { ASSERT_TRUE(ErrorMgrShutdown()); }
};

// A concurrent Shutdown may clear the event while this one waits: here the
// test clears it, and the watcher of a record made after the clear, which
// waits on the cleared event, must be released all the same before
// Shutdown returns. A trial counts when the clear came before the return.
TEST_F(ThreadTable, ShutdownSignalsAgainAfterAConcurrentClear) {
#ifdef FAULTKIT_SLOW_BUILD
    GTEST_SKIP() << "an emulator may place the clear after the polling, not within it";
#endif
    bool cleared_in_time = false;
    for (int trial = 0; trial < 20 && !cleared_in_time; ++trial) {
        ParkedThread early([this] { ErrorMgrSetErrorBasic(component.handle, 1, nullptr); });
        std::atomic<int> result{-1};
        std::thread shutdown([&] { result = ErrorMgrShutdown(); });
        const faultkit::platform::Handle event = faultkit::ThreadTableShutdownEvent();
        while (!faultkit::platform::IsSignalled(event) && result < 0) {
            std::this_thread::yield();
        }
        faultkit::platform::ClearEvent(event);
        cleared_in_time = result < 0;
        ParkedThread late([this] { ErrorMgrSetErrorBasic(component.handle, 2, nullptr); });
        shutdown.join();
        EXPECT_TRUE(!cleared_in_time || result == 1);
    }
    EXPECT_TRUE(cleared_in_time);
}

// Operations on a record another thread keeps locked give up after the
// lock's 1000 attempts and fail; a context handed over is freed all the same.
TEST_F(ThreadTable, OperationsOnARecordKeptLockedFail) {
    _qel_error_manager target{};
    Gate locked, release;
    std::thread holder([&] {
        _qel_bos_uuid uuid = TestUuid(401);
        ErrorMgrInitialise(&target, &uuid);
        faultkit::ThreadRecord* record = faultkit::LockRecordOfCurrentThread(false);
        ASSERT_NE(record, nullptr);
        locked.Open();
        release.Wait();
        faultkit::SpinLockReleaseBlock(&record->lock, nullptr);
    });
    locked.Wait();
    std::thread redirected([&] {
        ASSERT_TRUE(ErrorMgrRedirect(&target));
        EXPECT_FALSE(ErrorMgrSetErrorBasic(component.handle, 7, NewContext()));
        EXPECT_EQ(ErrorMgrGetLastError(component.handle, nullptr), 0u);
        EXPECT_EQ(ErrorMgrExport(nullptr, 0), 0u);
        uint8_t empty_image[] = {0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 12};
        EXPECT_FALSE(ErrorMgrImport(empty_image));
    });
    redirected.join();
    release.Open();
    holder.join();
    EXPECT_TRUE(WaitForRecordCount(0));
}

// A thread ends while another, redirected to it, keeps its record locked:
// the record leaves the table at once, but its cell is released only when
// the lock is given back. A record made meanwhile must take another cell.
TEST_F(ThreadTable, RecordMadeWhileAnEndedOnesCellIsReleasedKeepsItsErrors) {
    _qel_error_manager target{};
    Gate stored, locked, end_target, release;
    std::thread owner([&] {
        _qel_bos_uuid uuid = TestUuid(402);
        ErrorMgrInitialise(&target, &uuid);
        ErrorMgrSetErrorBasic(&target, 1, NewContext());
        stored.Open();
        end_target.Wait();
    });
    stored.Wait();
    std::thread holder([&] {
        ASSERT_TRUE(ErrorMgrRedirect(&target));
        faultkit::ThreadRecord* record = faultkit::LockRecordOfCurrentThread(true);
        locked.Open();
        release.Wait();
        faultkit::SpinLockReleaseBlock(&record->lock, nullptr);
    });
    locked.Wait();
    end_target.Open();
    owner.join();
    ASSERT_TRUE(WaitForRecordCount(1));  // the holder's own record is left
    std::thread([&] {
        ErrorMgrSetErrorBasic(component.handle, 5, NewContext());
        release.Open();
        holder.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the cell's release ends
        EXPECT_EQ(ErrorMgrGetLastError(component.handle, nullptr), 5u);
    }).join();
}

// Owner's passes (where threads have flags). A thread redirected to another
// waits while that thread is inside its own record by its pass (its flag
// set, as during an operation), then ends the pass: the owner takes the
// lock from then on, and fails while the other thread keeps it.
TEST_F(ThreadTable, AnotherThreadWaitsOutTheOwnersPassAndEndsIt) {
    if (!faultkit::platform::FlushOtherThreads()) {
        GTEST_SKIP() << "no thread flags on this platform";
    }
    _qel_error_manager target{};
    Gate inside, leave, locked, release;
    std::atomic<bool> stored{false};
    std::thread owner([&] {
        _qel_bos_uuid uuid = TestUuid(402);
        ErrorMgrInitialise(&target, &uuid);
        ErrorMgrSetErrorBasic(component.handle, 3, nullptr);  // locks: the pass is granted
        EXPECT_EQ(ErrorMgrGetLastError(component.handle, nullptr), 3u);  // by the pass
        std::atomic<uint32_t>* flag = faultkit::platform::OwnThreadFlag();
        flag->store(1);
        inside.Open();
        leave.Wait();
        flag->store(0, std::memory_order_release);
        locked.Wait();
        EXPECT_EQ(ErrorMgrGetLastError(component.handle, nullptr), 0u);  // no pass, no lock
        release.Open();
        EXPECT_EQ(ErrorMgrGetLastError(component.handle, nullptr), 4u);
    });
    std::thread other([&] {
        inside.Wait();
        ASSERT_TRUE(ErrorMgrRedirect(&target));
        EXPECT_FALSE(ErrorMgrSetErrorBasic(component.handle, 4, nullptr));
        stored = true;
        faultkit::ThreadRecord* record = faultkit::LockRecordOfCurrentThread(true);
        ASSERT_NE(record, nullptr);
        locked.Open();
        release.Wait();
        faultkit::SpinLockReleaseBlock(&record->lock, nullptr);
    });
    inside.Wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(stored.load());
    leave.Open();
    other.join();
    owner.join();
    EXPECT_TRUE(WaitForRecordCount(0));
}

#if !defined(_WIN32) && !defined(__SANITIZE_THREAD__)
// A forked child leaves alone the storage of a record whose thread was
// inside by its pass at the fork, as it may be half written: here a slot
// names a block that is none, which the child would crash freeing.
TEST_F(ThreadTable, ForkedChildLeavesARecordHeldByAPassAlone) {
    if (!faultkit::platform::FlushOtherThreads()) {
        GTEST_SKIP() << "no thread flags on this platform";
    }
    Gate inside, leave;
    std::thread owner([&] {
        ErrorMgrSetErrorBasic(component.handle, 3, nullptr);  // locks: the pass is granted
        const faultkit::RecordHold pass = faultkit::EnterByPass();
        if (pass.record == nullptr) {
            ADD_FAILURE() << "no pass";
            inside.Open();
            return;
        }
        pass.record->slots[0].strings = reinterpret_cast<char*>(16);
        inside.Open();
        leave.Wait();
        pass.record->slots[0].strings = nullptr;
        faultkit::LeavePass(pass);
    });
    inside.Wait();
    EXPECT_EQ(faultkit::test::ExitOfForkedChild([] { return 0; }), 0);
    leave.Open();
    owner.join();
}

// A child forked while a Shutdown calls the watchers off starts with the call withdrawn.
TEST_F(ThreadTable, ForkedChildStartsWithTheShutdownCallWithdrawn) {
    std::thread([this] { ErrorMgrSetErrorBasic(component.handle, 1, nullptr); }).join();
    ASSERT_TRUE(ErrorMgrShutdown());  // its watcher has ended: the child forks alone
    ASSERT_TRUE(faultkit::platform::SignalEvent(faultkit::ThreadTableShutdownEvent()));
    EXPECT_EQ(faultkit::test::ExitOfForkedChild([this] {
                  ErrorMgrSetErrorBasic(component.handle, 5, nullptr);
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // for its watcher
                  return ErrorMgrGetLastError(component.handle, nullptr) == 5u ? 0 : 1;
              }),
              0);
    faultkit::platform::ClearEvent(faultkit::ThreadTableShutdownEvent());
}
#endif

// 32 threads fill the table: a 33rd gets no record and every operation
// fails for it. When one of the 32 ends, the others' records survive it.
TEST_F(ThreadTable, ThirtyThirdThreadGetsNoRecordAndOthersSurviveAnEnd) {
    // Each stores an error, and reads it back once let finish.
    std::vector<uint32_t> read_back(faultkit::kThreadTableCapacity, 0);
    std::deque<ParkedThread> parked;
    for (uint32_t i = 0; i < faultkit::kThreadTableCapacity; ++i) {
        parked.emplace_back(
            [this, i] { ErrorMgrSetErrorBasic(component.handle, 100 + i, NewContext()); },
            [this, i, &read_back] {
                read_back[i] = ErrorMgrGetLastError(component.handle, nullptr);
            });
    }
    EXPECT_EQ(ThreadTableCount(), 32u);
    std::thread([this] {
        EXPECT_FALSE(ErrorMgrSetErrorBasic(component.handle, 9, NewContext()));
        EXPECT_FALSE(ErrorMgrSetErrorBasic(component.handle, 0, NewContext()));
        EXPECT_EQ(ErrorMgrGetLastError(component.handle, nullptr), 0u);
        EXPECT_EQ(ErrorMgrGetRootError(component.handle, nullptr), 0u);
        _qel_error_enumerate e{};
        EXPECT_FALSE(ErrorMgrEnumErrors(component.handle, &e));
        EXPECT_FALSE(ErrorMgrRedirect(nullptr));
        // Export and Import without a record: OperationsOnARecordKeptLockedFail.
    }).join();
    EXPECT_EQ(ThreadTableCount(), 32u);
    parked[1].Finish();
    EXPECT_TRUE(WaitForRecordCount(31));
    for (uint32_t i = 0; i < 32; ++i) {
        parked[i].Finish();
        EXPECT_EQ(read_back[i], 100u + i);
    }
    EXPECT_TRUE(WaitForRecordCount(0));
}

}  // namespace
