// 32 threads at once register components and store, read, enumerate and
// clear errors for a fixed time and a minimum of rounds, however slow the
// machine, while a group of them registers one new UUID at the same instant.
// No operation may fail for want of a lock, every thread must read back its
// own errors, and every UUID gets one facility. Runs alone in its process
// (it spends 33 FacilityTable entries); CTest runs it ten times.
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "thread_test_support.h"

using faultkit::test::NewContext;
using faultkit::test::TestUuid;

namespace {

constexpr int kThreads = 32;
constexpr int kSharedGroup = 8;
constexpr auto kBudget = std::chrono::milliseconds(300);
constexpr int kMinRounds = 20;
constexpr uint32_t kSharedUuid = 600;
constexpr uint32_t kOwnUuids = 601;

struct Outcome {
    uint32_t shared_facility[kSharedGroup] = {};
    uint32_t own_facility[kThreads] = {};
};

// One round on a fresh handle: clear, store two errors, read them back in
// every way, clear again by reading the root.
void Round(int thread, int round, _qel_bos_uuid* uuid, Outcome* outcome) {
    _qel_error_manager* handle = nullptr;
    ASSERT_TRUE(ErrorMgrCreate(&handle, uuid));
    const uint32_t first = 1 + static_cast<uint32_t>(round % 1000);
    const uint32_t second = first + 1000;
    EXPECT_TRUE(ErrorMgrSetErrorBasic(handle, 0, NewContext()));
    ErrorMgrSetErrorFull(handle, first, NewContext(), nullptr, nullptr, thread);
    ErrorMgrSetErrorFull(handle, second, NewContext(), nullptr, nullptr, thread);
    _qel_error_enumerate e{};
    EXPECT_TRUE(ErrorMgrGetLastError(handle, &e) == second && e.aux_int == thread && e.count == 2);
    _qel_error_enumerate walk{};
    EXPECT_TRUE(ErrorMgrEnumErrors(handle, &walk) && walk.code == first && walk.aux_int == thread);
    EXPECT_TRUE(ErrorMgrEnumErrors(handle, &walk) && walk.code == second);
    EXPECT_TRUE(ErrorMgrGetRootError(handle, nullptr) == first);
    EXPECT_TRUE(ErrorMgrGetLastError(handle, nullptr) == 0);
    outcome->own_facility[thread] = handle->facility;
    EXPECT_TRUE(ErrorMgrDelete(&handle, true));
}

void RunThread(int thread, std::atomic<int>* arrived, Outcome* outcome) {
    arrived->fetch_add(1);
    while (arrived->load() < kThreads) {
        std::this_thread::yield();
    }
    const auto deadline = std::chrono::steady_clock::now() + kBudget;
    if (thread < kSharedGroup) {
        _qel_bos_uuid shared = TestUuid(kSharedUuid);
        _qel_error_manager* handle = nullptr;
        EXPECT_TRUE(ErrorMgrCreate(&handle, &shared));
        outcome->shared_facility[thread] = handle != nullptr ? handle->facility : 0;
        ErrorMgrDelete(&handle, true);
    }
    _qel_bos_uuid own = TestUuid(kOwnUuids + static_cast<uint32_t>(thread));
    for (int round = 0; round < kMinRounds || std::chrono::steady_clock::now() < deadline;
         ++round) {
        Round(thread, round, &own, outcome);
    }
}

TEST(LockStress, NoOperationFailsUnderContention) {
    Outcome outcome;
    std::atomic<int> arrived{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back(RunThread, thread, &arrived, &outcome);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    // One entry per UUID: the shared one once, each thread's once, and the
    // next new UUID takes the 34th facility.
    std::set<uint32_t> facilities(outcome.own_facility, outcome.own_facility + kThreads);
    EXPECT_EQ(facilities.size(), static_cast<size_t>(kThreads));
    for (uint32_t facility : outcome.shared_facility) {
        EXPECT_EQ(facility, outcome.shared_facility[0]);
        EXPECT_EQ(facilities.count(facility), 0u);
    }
    _qel_bos_uuid shared = TestUuid(kSharedUuid);
    EXPECT_EQ(ErrorMgrGetFacility(&shared), outcome.shared_facility[0]);
    _qel_bos_uuid probe = TestUuid(kOwnUuids + kThreads);
    _qel_error_manager* handle = nullptr;
    ASSERT_TRUE(ErrorMgrCreate(&handle, &probe));
    EXPECT_EQ(handle->facility, static_cast<uint32_t>(kThreads + 2) << 16);
    ErrorMgrDelete(&handle, true);
}

}  // namespace
