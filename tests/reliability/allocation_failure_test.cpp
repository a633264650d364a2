// Every allocation of an operation fails in turn: alone, two in a row, or
// with every later one (memory that has run out). Each scenario runs on a
// thread of its own; each run checks the operations' results and what was
// stored before, and once the records are removed no block of it may be left.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "allocation_hook.h"
#include "platform/platform.h"
#include "support/context_test_util.h"
#include "support/forked_child.h"
#include "support/thread_errors.h"
#include "text/convert/encoding_conversion.h"
#include "text/encoding/reverse_tables.h"
#include "text/format/utf8_format.h"
#include "threads/thread_starter.h"
#include "threads/thread_test_support.h"

namespace faultkit::test {
namespace {

// One run of a scenario; only the operations inside Act are counted.
struct SweepRun {
    uint64_t fail_at = 0, refusals = 0;
    AllocationTally tally;

    void Act(const std::function<void()>& operations) {
        ArmAllocations(fail_at, refusals);
        operations();
        tally = DisarmAllocations();
    }
    bool Failed() const { return tally.failed; }
    // True when the allocation with this number was refused.
    bool Refused(uint64_t number) const {
        return Failed() && number >= fail_at && number - fail_at < refusals;
    }
    // True when an allocation with this number or a later one was refused.
    bool RefusedFrom(uint64_t number) const {
        return Failed() && (fail_at >= number || number - fail_at < refusals);
    }
};

using Scenario = std::function<void(SweepRun&)>;

// Shared by the scenarios; made on the main thread, which never gets a record.
_qel_error_manager* Handle() {
    static Component component(TestUuid(0x7100));
    return component.handle;
}

// Makes what the library keeps for the process before anything is counted.
// The first record also makes the shutdown event; without it, the operation
// fails and leaves nothing.
class SweepEnvironment : public ::testing::Environment {
    void SetUp() override {
        Handle();
        std::thread([] {
            platform::CurrentThreadId();  // the thread's end notification, made first
            ArmAllocations(1, 1);
            EXPECT_EQ(ErrorMgrGetLastError(Handle(), nullptr), 0u);
            EXPECT_TRUE(DisarmAllocations().failed);
            EXPECT_EQ(OutstandingBlocks(), 0u);
            EXPECT_EQ(ThreadTableCount(), 0u);
        }).join();
        std::thread([] { ErrorMgrGetLastError(Handle(), nullptr); }).join();
        ASSERT_TRUE(ErrorMgrShutdown());
    }
};
const auto* const kSweepEnvironment = ::testing::AddGlobalTestEnvironment(new SweepEnvironment);

// Runs the scenario on a new thread, removes every record and returns the
// blocks of the run still held. The thread's errors go as its root is read
// into a record, the reading that frees their blocks on its own.
size_t RunOnThread(const Scenario& scenario, SweepRun& run) {
    const size_t held_before = OutstandingBlocks();
    std::thread([&] {
        scenario(run);
        _qel_error_enumerate root{};
        ErrorMgrGetRootError(Observer(), &root);
    }).join();
    EXPECT_TRUE(ErrorMgrShutdown());
    return OutstandingBlocks() - held_before;
}

void Sweep(const Scenario& scenario) {
    SweepRun counting;
    EXPECT_EQ(RunOnThread(scenario, counting), 0u);
    EXPECT_GT(counting.tally.made, 0u) << "nothing to refuse";
    for (const uint64_t refusals : {uint64_t{1}, uint64_t{2}, kRefuseAllLater}) {
        for (uint64_t fail_at = 1; fail_at <= counting.tally.made; ++fail_at) {
            SweepRun run{fail_at, refusals, {}};
            EXPECT_EQ(RunOnThread(scenario, run), 0u)
                << "blocks left, refusing " << refusals << " from " << fail_at;
            EXPECT_TRUE(run.Failed()) << "allocation " << fail_at << " not reached";
        }
    }
}

char kText1[] = "first text", kText2[] = "second text", kOwnText[] = "own";
const uint8_t kMemory[4] = {1, 2, 3, 4};

// Stores two errors with texts and contexts of several values.
void StoreTwo(_qel_error_manager* h) {
    ErrorMgrSetErrorFull(h, 1, ErrorMgrBuildContext(Format("%i%s"), 1, "a"), kText1, kText2, 1);
    ErrorMgrSetErrorFull(h, 2, ErrorMgrBuildContext(Format("%m"), 4ULL, kMemory), nullptr, kText2,
                         2);
}

TEST(AllocationFailure, CreateAndDeleteHandles) {
    Sweep([](SweepRun& run) {
        _qel_bos_uuid placed_uuid = TestUuid(0x7101);
        _qel_error_manager placed;
        ErrorMgrInitialise(&placed, &placed_uuid);  // the thread's id, before counting
        _qel_bos_uuid uuids[2] = {TestUuid(0x7102), kLibraryUuidForTests};
        _qel_error_manager* handles[2] = {&placed, &placed};
        bool created[2] = {}, deleted[2] = {};
        uint32_t facility[2] = {};
        run.Act([&] {
            for (int i = 0; i < 2; ++i) {
                created[i] = ErrorMgrCreate(&handles[i], &uuids[i]);
                facility[i] = handles[i] != nullptr ? handles[i]->facility : 0xDEAD;
                deleted[i] = ErrorMgrDelete(&handles[i], true);
            }
        });
        for (int i = 0; i < 2; ++i) {
            const bool refused = run.Refused(i + 1);
            EXPECT_EQ(created[i], !refused);
            // A refused Create leaves its handle null.
            EXPECT_EQ(facility[i], refused ? 0xDEADu : ErrorMgrGetFacility(&uuids[i]));
            EXPECT_TRUE(deleted[i] && handles[i] == nullptr);
        }
    });
}

// A context whose building ran out of memory keeps the values recorded
// before, as a valid list.
TEST(AllocationFailure, StoreErrorsWithTextsAndContexts) {
    Sweep([](SweepRun& run) {
        _qel_error_manager* h = Handle();
        ErrorMgrSetErrorBasic(h, 1, nullptr);  // a root of no blocks before a last of some
        const std::vector<std::string> before = DescribeThreadErrors();
        bool stored[2] = {true, true};
        uint32_t codes[2] = {};
        size_t values[2] = {};
        run.Act([&] {
            _qel_error_enumerate e{};
            stored[0] = ErrorMgrSetErrorFull(h, 2, ErrorMgrBuildContext(Format("%i%s"), 7, "seven"),
                                             kText1, kText2, 2);
            codes[0] = ErrorMgrGetLastError(h, &e);
            values[0] = Items(e.context).size();
            stored[1] = ErrorMgrSetErrorFull(
                h, 3, ErrorMgrBuildContext(Format("%m"), 4ULL, kMemory), nullptr, kText2, 3);
            codes[1] = ErrorMgrGetLastError(h, &e);
            values[1] = Items(e.context).size();
        });
        // A stored error gives false, whether or not its context is whole.
        EXPECT_FALSE(stored[0] || stored[1]);
        EXPECT_TRUE(codes[0] == 2 && codes[1] == 3);
        EXPECT_EQ(values[0], run.Refused(1) ? 0u : run.Refused(2) ? 1u : 2u);
        // The second context's allocation follows one or two of the first's.
        EXPECT_EQ(values[1], run.Refused(run.Refused(1) ? 2 : 3) ? 0u : 1u);
        const std::vector<std::string> after = DescribeThreadErrors();
        ASSERT_EQ(after.size(), 2u);
        EXPECT_EQ(after[0], before.at(0));
    });
    // A payload of just what an empty list has room for is tried (refused here: 4 GiB).
    ArmAllocations(1, kRefuseAllLater);
    EXPECT_EQ(ErrorMgrBuildContext(Format("%m"), 0xFFFFFFE7ULL, kMemory), nullptr);
    EXPECT_EQ(DisarmAllocations().made, 1u);
}

// Nothing before the counted part: the thread's id, its record and the
// record's watcher are all made inside it.
TEST(AllocationFailure, FirstOperationOfAThread) {
    Sweep([](SweepRun& run) {
        _qel_error_enumerate e;
        std::memset(&e, 0x5A, sizeof e);
        const _qel_error_enumerate untouched = e;
        bool stored = true;
        uint32_t code = 0;
        run.Act([&] {
            stored = ErrorMgrSetErrorFull(Handle(), 7, ErrorMgrBuildContext(Format("%i"), 1),
                                          nullptr, nullptr, 7);
            code = ErrorMgrGetLastError(Handle(), &e);
        });
        EXPECT_FALSE(stored);
        // 1 is the context, then the thread's end notification and the watcher.
        // A thread without its end notification is watched from outside, so a
        // refusal there may keep the error out; one of the context cannot.
        if (code == 0) {
            EXPECT_TRUE(run.RefusedFrom(2));
            EXPECT_EQ(std::memcmp(&e, &untouched, sizeof e), 0) << "nothing read, nothing written";
        } else {
            EXPECT_EQ(code, 7u);
            EXPECT_EQ(Items(e.context).size(), run.Refused(1) ? 0u : 1u);
        }
    });
}

// A thread's first operation is a redirect to a thread that never used the
// library, whose end is opened first: when the caller's own record cannot
// be made, that end is given back, and so it is when the redirect ends.
TEST(AllocationFailure, FirstOperationARedirect) {
    Sweep([](SweepRun& run) {
        ParkedThread never_used;
        _qel_error_manager target{};
        target.thread_id = never_used.id();
        bool redirected = false;
        run.Act([&] {
            redirected = ErrorMgrRedirect(&target);
            ErrorMgrRedirect(nullptr);
        });
        EXPECT_TRUE(redirected || run.Failed());
    });
}

TEST(AllocationFailure, RedirectToAThreadWithoutRecord) {
    Sweep([](SweepRun& run) {
        _qel_error_manager* h = Handle();
        // The target made a handle, which gives it an id, but no record yet:
        // the first redirected error makes it.
        _qel_error_manager* target = nullptr;
        ParkedThread target_thread([&] {
            _qel_bos_uuid uuid = TestUuid(0x7103);
            ErrorMgrCreate(&target, &uuid);
        });
        ErrorMgrSetErrorFull(h, 1, nullptr, kOwnText, nullptr, 1);
        const std::vector<std::string> before = DescribeThreadErrors();
        bool redirected = false, stored = true, back = false;
        uint32_t code = 0;
        run.Act([&] {
            redirected = ErrorMgrRedirect(target);
            stored = ErrorMgrSetErrorFull(h, 5, ErrorMgrBuildContext(Format("%i"), 5), nullptr,
                                          nullptr, 5);
            code = ErrorMgrGetLastError(h, nullptr);
            back = ErrorMgrRedirect(nullptr);
        });
        target_thread.Finish();
        ErrorMgrDelete(&target, true);
        EXPECT_TRUE(redirected && back);
        EXPECT_FALSE(stored);
        // 2 to 4 make the target's record and watcher; when one fails the
        // error is not stored, and the read makes the record afresh.
        EXPECT_EQ(code, run.RefusedFrom(2) ? 0u : 5u);
        EXPECT_EQ(DescribeThreadErrors(), before);
    });
}

// The rendered values of a context, one string per value.
std::vector<std::string> RenderedValues(const char* text, size_t size) {
    std::vector<std::string> values;
    for (size_t at = 0; at < size && text[at] != '\0'; at += values.back().size() + 1) {
        values.emplace_back(text + at);
    }
    return values;
}

// Renders a context with a value of every type (measuring allocates
// nothing; writing a long number does).
void RenderScenario(SweepRun& run) {
    _qel_error_manager* h = Handle();
    const std::string long_text(1500, 'x');
    ErrorMgrSetErrorFull(
        h, 1,
        ErrorMgrBuildContext(Format("%i%lli%ti%r%f%Lf%c%s%p%u%llu%zu%s%s"), -7, -(1LL << 40), -3LL,
                             0xBEEFu, 2.5, -1e300, 'q', "caf\xC3\xA9",
                             reinterpret_cast<void*>(0x1234), 4000000000u, 1ULL << 63, size_t{99},
                             long_text.c_str(), ""),
        kText1, nullptr, 1);
    _qel_error_enumerate e{};
    ASSERT_EQ(ErrorMgrGetLastError(h, &e), 1u);
    std::vector<char> reference(static_cast<size_t>(ErrorMgrGetContextString(&e, nullptr, 0)));
    ErrorMgrGetContextString(&e, reference.data(), static_cast<int>(reference.size()));
    const std::vector<std::string> expected = RenderedValues(reference.data(), reference.size());
    ASSERT_EQ(expected.size(), 14u);
    const std::vector<std::string> before = DescribeThreadErrors();

    std::vector<char> buffer(2 * reference.size() + 4096, '\x7F');
    int measured = 0, written = 0;
    run.Act([&] {
        measured = ErrorMgrGetContextString(&e, nullptr, 0);
        written = ErrorMgrGetContextString(&e, buffer.data(), measured);
    });
    // The writing call measures again; when that comes out larger than the
    // capacity (memory short while measuring before), it writes nothing.
    ASSERT_GT(measured, 0);
    EXPECT_TRUE(written == measured || (run.Failed() && written >= 0 && written <= measured))
        << "written " << written << ", measured " << measured;
    const auto size = static_cast<size_t>(written);
    for (size_t i = size; i < buffer.size(); ++i) {
        ASSERT_EQ(buffer[i], '\x7F') << "written past the size returned, " << size << ", at " << i;
    }
    if (written == 0) {
        return;
    }
    // A value whose formatting ran out of memory is empty (a character
    // shows as '?'); every other value is whole.
    size_t at = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string value = buffer.data() + at;
        EXPECT_TRUE(value == expected[i] || (run.Failed() && (value.empty() || value == "'?'")))
            << "value " << i << " is \"" << value << "\"";
        at += value.size() + 1;
        ASSERT_LT(at, size);
    }
    EXPECT_EQ(buffer[at], '\0');
    EXPECT_EQ(DescribeThreadErrors(), before);
}

TEST(AllocationFailure, RenderAContext) {
    Sweep(RenderScenario);
}

// Memory short for exactly the measuring pass of a writing call, back for
// its writing pass: a number the formatter needs the heap for is counted as
// the longest (317 bytes), and the writing pass must stay within that count.
TEST(AllocationFailure, MemoryBackBetweenMeasuringAndWriting) {
    std::thread([] {
        ErrorMgrSetErrorFull(Handle(), 1, ErrorMgrBuildContext(Format("%i%Lf%i"), 4, -DBL_MAX, 5),
                             nullptr, nullptr, 1);
        _qel_error_enumerate e{};
        ASSERT_EQ(ErrorMgrGetLastError(Handle(), &e), 1u);
        ArmAllocations(1, kRefuseAllLater);
        const int measured = ErrorMgrGetContextString(&e, nullptr, 0);
        const uint64_t measuring = DisarmAllocations().made;
        std::vector<char> buffer(4096, '\x7F');
        ArmAllocations(1, measuring);
        EXPECT_EQ(ErrorMgrGetContextString(&e, buffer.data(), measured), measured);
        DisarmAllocations();
        EXPECT_EQ(std::string(buffer.data()), "4");
        EXPECT_EQ(std::strlen(buffer.data() + 2), 317u);
        for (size_t i = static_cast<size_t>(measured); i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], '\x7F') << "written past the measured size at " << i;
        }
        ClearThreadErrors();
    }).join();
    EXPECT_TRUE(ErrorMgrShutdown());
}

// Starting a thread with an exit callback takes blocks for the thread, the
// callback and the wait for its end; without one nothing starts. Threads the
// library started free their blocks themselves, soon after.
TEST(AllocationFailure, StartAThreadWithAnExitCallback) {
    struct Started {
        std::atomic<int> entered{0};
        Gate exit_callback_ran;
    };
    Sweep([](SweepRun& run) {
        Started started;
        const size_t held = OutstandingBlocks();
        platform::Handle thread = nullptr;
        run.Act([&] {
            thread = ThreadStart(
                0, [](void* raw) -> uint32_t { return ++static_cast<Started*>(raw)->entered; },
                &started, false,
                [](void* raw) -> uint32_t {
                    static_cast<Started*>(raw)->exit_callback_ran.Open();
                    return 0;
                });
        });
        EXPECT_EQ(thread == nullptr, run.Failed());  // and then the entry never runs
        if (thread != nullptr) {
            started.exit_callback_ran.Wait();
            platform::ReleaseHandle(thread);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (OutstandingBlocks() > held && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(OutstandingBlocks(), held);
        EXPECT_EQ(started.entered.load(), thread != nullptr ? 1 : 0);
    });
}

TEST(AllocationFailure, Import) {
    Sweep([](SweepRun& run) {
        _qel_error_manager* h = Handle();
        StoreTwo(h);
        const std::string imported_root = DescribeThreadErrors().at(0);
        const std::vector<uint8_t> image = ExportImage();
        ClearThreadErrors();
        ErrorMgrSetErrorFull(h, 3, ErrorMgrBuildContext(Format("%s"), "r"), kOwnText, nullptr, 3);
        ErrorMgrSetErrorFull(h, 4, ErrorMgrBuildContext(Format("%u"), 4u), nullptr, nullptr, 4);
        const std::string own_last = DescribeThreadErrors().at(1);
        const std::vector<uint8_t> before = ExportImage();
        bool imported = false;
        run.Act([&] { imported = ErrorMgrImport(const_cast<uint8_t*>(image.data())); });
        EXPECT_EQ(imported, !run.Failed());
        if (run.Failed()) {
            EXPECT_EQ(ExportImage(), before) << "a failed import changes nothing";
        } else {
            EXPECT_EQ(DescribeThreadErrors(), (std::vector<std::string>{imported_root, own_last}));
        }
    });
}

// Imported texts without a context are a block of their own, which the
// root's reading frees as it frees a context.
TEST(AllocationFailure, ImportTextsWithoutContext) {
    Sweep([](SweepRun& run) {
        ErrorMgrSetErrorFull(Handle(), 5, nullptr, kText1, nullptr, 5);
        const std::vector<uint8_t> image = ExportImage();
        ClearThreadErrors();
        run.Act([&] { ErrorMgrImport(const_cast<uint8_t*>(image.data())); });
    });
}

// Reading, measuring a rendering, exporting and converting text take no
// heap at all.
TEST(AllocationFailure, ReadMeasureExportAndConvertAllocateNothing) {
    std::thread([] {
        _qel_error_manager* h = Handle();
        StoreTwo(h);
        const std::string long_text(1500, 'x');
        ErrorMgrSetErrorFull(h, 3, ErrorMgrBuildContext(Format("%Lf%s"), -1e300, long_text.c_str()),
                             kText1, nullptr, 3);
        char narrow[32] = {}, code_page[16] = {};
        char16_t back[16] = {};
        std::vector<uint8_t> image(4096);
        _qel_error_enumerate e{}, walk{};
        int walked = 0;
        ArmAllocations(1, kRefuseAllLater);
        while (ErrorMgrEnumErrors(h, &walk)) {
            ++walked;
        }
        const uint32_t last = ErrorMgrGetLastError(h, &e);
        const bool measured = ErrorMgrGetContextString(&e, nullptr, 0) > 1500;
        const uint64_t image_size = ErrorMgrExport(nullptr, 0);
        const bool exported = image_size > 1500 && ErrorMgrExport(image.data(), 4096) == image_size;
        // Sizes with the terminator where the input has one.
        const uint64_t converted[] = {ConvertToUtf8(kEncodingUtf16, u"caf\u00E9", kNulTerminated,
                                                    narrow, sizeof narrow, nullptr, nullptr),
                                      ConvertFromUtf8(17, "caf\xC3\xA9", kNulTerminated, code_page,
                                                      sizeof code_page, nullptr, nullptr, 0)};
        const void* to_utf16 = ConvertUtf8Utf16(true, "caf\xC3\xA9", back, sizeof back);
        const uint32_t root = ErrorMgrGetRootError(h, nullptr);
        EXPECT_EQ(DisarmAllocations().made, 0u);
        EXPECT_TRUE(walked == 2 && last == 3 && measured && exported && to_utf16 == back);
        EXPECT_EQ(std::make_tuple(converted[0], converted[1], root), std::make_tuple(6u, 5u, 1u));
        EXPECT_EQ(ErrorMgrGetLastError(h, nullptr), 0u);
    }).join();
    EXPECT_TRUE(ErrorMgrShutdown());
}

// Loading the code pages' reverse tables falls back to the compressed
// tables, or to none, and gives back what it built on the way.
TEST(AllocationFailure, LoadReverseTables) {
    Sweep([](SweepRun& run) {
        ReverseTableSet set{};
        run.Act([&] { ReverseTablesLoad(&set); });
        EXPECT_EQ(set.expanded == nullptr, run.Failed());
        ReverseTablesUnload(&set);
    });
}

// A child forked while a live thread holds an error and a redirect to an
// ended thread (whose watcher has returned, not yet waited for) gives back
// the error's blocks, the ends the live record holds and the watchers'
// handles. One counted block stays: the live thread's watcher, gone in the
// child, keeps its hold on its own thread object.
TEST(AllocationFailure, ForkedChildKeepsNoBlockOfTheParentsThreads) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators may be locked in a forked child";
#endif
    ParkedThread target([] {
        ArmAllocations(0, 0);
        ErrorMgrSetErrorBasic(Handle(), 1, nullptr);
        DisarmAllocations();
    });
    _qel_error_manager redirect{target.id(), {}, 0};
    ParkedThread live([&redirect] {
        ArmAllocations(0, 0);
        ErrorMgrSetErrorFull(Handle(), 2, ErrorMgrBuildContext(Format("%s"), "x"), kText1, nullptr,
                             2);
        EXPECT_TRUE(ErrorMgrRedirect(&redirect));
        DisarmAllocations();
    });
    target.Finish();
    int blocks_left = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (blocks_left != 1 && std::chrono::steady_clock::now() < deadline) {
        blocks_left = ExitOfForkedChild(
            [] { return static_cast<int>(std::min<size_t>(OutstandingBlocks(), 100)); });
    }
    EXPECT_EQ(blocks_left, 1);
    live.Finish();
    EXPECT_TRUE(ErrorMgrShutdown());
    EXPECT_EQ(OutstandingBlocks(), 0u);
}

// Each text comes out whole, or the result is negative and nothing is
// written; a count is exact or negative.
TEST(AllocationFailure, FormatText) {
    Sweep([](SweepRun& run) {
        const std::string long_text(700, 'y'),
            positional = long_text + "%2$s|%1$lld|%3$zu|%4$c|%5$s";
        const std::string many = std::string(300, '.') + "%*i%*i%*i%*i%*i%*i%*i%*i%*i%*i%*i%s";
        const std::function<int32_t(char*)> formats[] = {
            [&](char* out) {
                return FormatUtf8(out, positional.c_str(), 1LL << 40, "two", size_t{5}, 'c',
                                  long_text.c_str());
            },
            [](char* out) {
                return FormatUtf8(out, "%lld|%zu|%ti|%c", -(1LL << 40), size_t{6}, ptrdiff_t{-7},
                                  'd');
            },
            [&](char* out) {
                return FormatUtf8(out, many.c_str(), 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8,
                                  9, 9, 10, 10, 11, 11, "z");
            }};
        const std::vector<char> untouched(2048, '\x7F');
        std::string texts[3];
        std::vector<char> buffers[3] = {untouched, untouched, untouched};
        int32_t counted[3] = {}, written[3] = {};
        for (int i = 0; i < 3; ++i) {
            ASSERT_GT(formats[i](buffers[i].data()), 0);
            texts[i].assign(buffers[i].data());
            buffers[i] = untouched;
        }
        run.Act([&] {
            for (int i = 0; i < 3; ++i) {
                counted[i] = formats[i](nullptr);
                written[i] = formats[i](buffers[i].data());
            }
        });
        for (int i = 0; i < 3; ++i) {
            const auto length = static_cast<int32_t>(texts[i].size());
            EXPECT_TRUE(counted[i] < 0 || counted[i] == length + 1) << i << ": " << counted[i];
            EXPECT_TRUE(written[i] < 0 ? buffers[i] == untouched
                                       : written[i] == length && texts[i] == buffers[i].data())
                << "format " << i << " gave " << written[i];
        }
    });
}

}  // namespace
}  // namespace faultkit::test
