#include <cstring>
#include <thread>
#include <tuple>

#include "thread_test_support.h"

using faultkit::test::Component;
using faultkit::test::Gate;
using faultkit::test::kLibraryUuidForTests;
using faultkit::test::NewContext;
using faultkit::test::TestUuid;

namespace {

class ErrorSlots : public ::testing::Test {
protected:
    Component a{TestUuid(300)};
    Component b{TestUuid(301)};

    // Records of earlier tests' threads are gone, and this thread's is empty.
    void SetUp() override {
        ASSERT_TRUE(ErrorMgrShutdown());
        ErrorMgrSetErrorBasic(a.handle, 0, nullptr);
    }
    void TearDown() override { ErrorMgrSetErrorBasic(a.handle, 0, nullptr); }
};

// Every field of a read error but its UUID.
auto Fields(const _qel_error_enumerate& e) {
    return std::make_tuple(e.index, e.count, e.code, e.context, e.aux_text1, e.aux_text2, e.aux_int,
                           e.reserved);
}

TEST_F(ErrorSlots, RootStaysLastIsReplacedAndRootReadClears) {
    char text1[] = "first", text2[] = "second";
    _qel_error_context* c1 = NewContext();
    _qel_error_context* c3 = NewContext();
    EXPECT_FALSE(ErrorMgrSetErrorFull(a.handle, 1, c1, text1, text2, 11));
    EXPECT_FALSE(ErrorMgrSetErrorBasic(a.handle, 2, NewContext()));  // replaced: freed
    EXPECT_FALSE(ErrorMgrSetErrorFull(a.handle, 0x80000003u, c3, text2, nullptr, 33));
    const auto root_fields = std::make_tuple(1, 2u, 1u, c1, text1, text2, 11, nullptr);

    _qel_error_enumerate e{};
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, &e), 0x80000003u);
    EXPECT_EQ(Fields(e), std::make_tuple(2, 2u, 0x80000003u, c3, text2, nullptr, 33, nullptr));
    const _qel_bos_uuid uuid_a = TestUuid(300);
    EXPECT_EQ(std::memcmp(&e.uuid, &uuid_a, sizeof uuid_a), 0);

    _qel_error_enumerate walk{};
    ASSERT_TRUE(ErrorMgrEnumErrors(a.handle, &walk));
    EXPECT_EQ(Fields(walk), root_fields);
    ASSERT_TRUE(ErrorMgrEnumErrors(a.handle, &walk));
    EXPECT_EQ(Fields(walk), Fields(e));
    EXPECT_FALSE(ErrorMgrEnumErrors(a.handle, &walk));  // beyond the count: nothing written
    EXPECT_EQ(Fields(walk), Fields(e));

    _qel_error_enumerate root{};
    EXPECT_EQ(ErrorMgrGetRootError(a.handle, &root), 1u);
    EXPECT_EQ(Fields(root), root_fields);
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), 0u);
}

// Refused: a negative index, a null record, a null handle. Reads without a
// record give the code all the same.
TEST_F(ErrorSlots, NullsAndNegativeIndexes) {
    ErrorMgrSetErrorBasic(a.handle, 4, nullptr);
    _qel_error_enumerate e{};
    e.index = -1;
    EXPECT_FALSE(ErrorMgrEnumErrors(a.handle, &e) || ErrorMgrEnumErrors(a.handle, nullptr));
    e.index = 0;
    EXPECT_FALSE(ErrorMgrEnumErrors(nullptr, &e));
    EXPECT_TRUE(ErrorMgrEnumErrors(a.handle, &e));
    EXPECT_EQ(e.count, 1u);
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), 4u);
    EXPECT_EQ(ErrorMgrGetRootError(a.handle, nullptr), 4u);
    EXPECT_EQ(ErrorMgrGetLastError(nullptr, nullptr) + ErrorMgrGetRootError(nullptr, nullptr), 0u);
}

// A handle of facility 0 stores only codes that carry a facility, and
// strips nothing. (The own facility is stripped only for the storing
// component: RootStaysLast... and RedirectToAThreadWithoutRecordMakesOne.)
TEST_F(ErrorSlots, FacilityZero) {
    _qel_error_enumerate e{};
    Component library{kLibraryUuidForTests};
    ASSERT_EQ(library.handle->facility, 0u);
    EXPECT_FALSE(ErrorMgrSetErrorBasic(library.handle, 5, NewContext()));
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), 0u);  // nothing stored

    EXPECT_FALSE(ErrorMgrSetErrorBasic(library.handle, 0x30005u, NewContext()));
    EXPECT_EQ(ErrorMgrGetLastError(library.handle, &e), 0x30005u);  // nothing to strip
    EXPECT_EQ(e.count, 1u);
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), 0x30005u);
    EXPECT_TRUE(ErrorMgrSetErrorBasic(library.handle, 0, nullptr));  // number 0 clears
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), 0u);
}

TEST_F(ErrorSlots, ClearingCodesReturnTrueAndFreeEverything) {
    ErrorMgrSetErrorBasic(a.handle, 1, NewContext());
    ErrorMgrSetErrorBasic(a.handle, 2, NewContext());
    EXPECT_TRUE(ErrorMgrSetErrorBasic(a.handle, 0, NewContext()));
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), 0u);

    ErrorMgrSetErrorBasic(a.handle, 1, NewContext());
    EXPECT_TRUE(ErrorMgrSetErrorBasic(a.handle, 0xF0000000u, nullptr));  // flags only
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), 0u);

    // A handle that fails the check consumes the context; only code 0 is true.
    EXPECT_TRUE(ErrorMgrSetErrorFull(nullptr, 0, NewContext(), nullptr, nullptr, 0));
    EXPECT_FALSE(ErrorMgrSetErrorFull(nullptr, 5, NewContext(), nullptr, nullptr, 0));
    EXPECT_FALSE(ErrorMgrSetErrorBasic(nullptr, 0xF0000000u, NewContext()));
}

TEST_F(ErrorSlots, PlacedHandleIsResolvedOnFirstStore) {
    _qel_bos_uuid uuid = TestUuid(302);
    _qel_error_manager placed;
    ErrorMgrInitialise(&placed, &uuid);
    EXPECT_FALSE(ErrorMgrSetErrorBasic(&placed, 6, nullptr));
    ASSERT_NE(placed.facility, 0xFFFFFFFFu);
    EXPECT_EQ(placed.facility, ErrorMgrGetFacility(&uuid));
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), placed.facility | 6u);
}

// The C++ members, static ones included, forward to the exports.
TEST_F(ErrorSlots, CppMembersForward) {
    using Manager = QelComponent::_qel_error_manager;
    _qel_bos_uuid uuid = TestUuid(305);
    Manager* component = nullptr;
    ASSERT_TRUE(Manager::Create(&component, &uuid));
    EXPECT_EQ(Manager::GetFacility(&uuid), component->facility);
    EXPECT_EQ(Manager::Initialise(nullptr, nullptr), reinterpret_cast<Manager*>(24));
    char text[] = "aux";
    EXPECT_FALSE(component->SetError(1, NewContext(), text, nullptr, 7));
    EXPECT_FALSE(component->SetError(2, nullptr));
    _qel_error_enumerate e{};
    EXPECT_EQ(component->GetLastError(&e), 2u);
    EXPECT_EQ(e.aux_int, -1);
    e.index = 0;
    EXPECT_TRUE(component->EnumErrors(&e));
    EXPECT_EQ(e.aux_text1, text);
    EXPECT_FALSE(component->Merge(b.handle) ||
                 ErrorMgrMerge(nullptr, b.handle));  // changes nothing
    EXPECT_EQ(component->GetRootError(nullptr), 1u);
    EXPECT_TRUE(component->SetError(0, NewContext()));
    // Redirect works on the calling thread whatever object it is called on.
    EXPECT_TRUE(b.handle->Redirect(nullptr));
    EXPECT_TRUE(Manager::Delete(&component, true));
    EXPECT_TRUE(Manager::Shutdown());
}

// A redirect target without a record: one that made a handle (which makes
// no record) or one that never called the library, named by a handle filled
// by hand with the system's id. The first redirected store makes its record
// (with an end opened for the redirect: the target gets no pass to it),
// which holds the error for every thread redirected to it, the target's own
// reads included, and goes when the target ends.
TEST_F(ErrorSlots, RedirectToAThreadWithoutRecordMakesOne) {
    for (const bool made_handle : {true, false}) {
        SCOPED_TRACE(made_handle ? "target made a handle" : "target never used the library");
        const uint32_t before = faultkit::ThreadTableCount();
        _qel_error_manager by_hand{};
        _qel_error_manager* target = &by_hand;
        Gate read, done;
        uint32_t read_by_target = 0;
        std::thread target_thread([&] {
            _qel_bos_uuid uuid = TestUuid(303);
            if (made_handle) {
                ErrorMgrCreate(&target, &uuid);
            }
            by_hand.thread_id = faultkit::test::NativeThreadId();
            read.Open();
            done.Wait();
            read_by_target = ErrorMgrGetLastError(made_handle ? target : b.handle, nullptr);
            if (made_handle) {
                ErrorMgrDelete(&target, true);
            }
        });
        read.Wait();
        EXPECT_EQ(faultkit::ThreadTableCount(), before);
        for (const uint32_t stored : {5u, 0u}) {  // a redirected sender, then a reader
            std::thread([&] {
                EXPECT_TRUE(ErrorMgrRedirect(target));
                if (stored != 0) {
                    EXPECT_FALSE(ErrorMgrSetErrorBasic(b.handle, stored, nullptr));
                    EXPECT_EQ(ErrorMgrExport(nullptr, 0), 37u);  // the image of that one error
                    EXPECT_EQ(faultkit::ThreadTableCount(), before + 2);  // sender's and target's
                }
                EXPECT_EQ(ErrorMgrGetLastError(b.handle, nullptr), 5u);
            }).join();
            EXPECT_TRUE(faultkit::test::WaitForRecordCount(before + 1));  // theirs is gone
        }
        done.Open();
        target_thread.join();
        EXPECT_EQ(read_by_target, made_handle ? b.handle->facility | 5u : 5u);
        EXPECT_TRUE(faultkit::test::WaitForRecordCount(before));
    }
}

TEST_F(ErrorSlots, RedirectToAnEndedThreadLosesTheErrors) {
    _qel_error_manager* orphan = nullptr;
    std::thread creator([&] {
        _qel_bos_uuid uuid = TestUuid(304);
        ErrorMgrCreate(&orphan, &uuid);
    });
    creator.join();
    EXPECT_TRUE(ErrorMgrRedirect(orphan));
    EXPECT_FALSE(ErrorMgrSetErrorBasic(a.handle, 0, NewContext()));  // no record to clear
    EXPECT_EQ(ErrorMgrGetLastError(a.handle, nullptr), 0u);
    EXPECT_TRUE(ErrorMgrRedirect(nullptr));
    ErrorMgrDelete(&orphan, true);
}

}  // namespace
