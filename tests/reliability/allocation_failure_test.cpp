// Every allocation of an operation fails in turn. Each scenario runs on a
// thread of its own, first to count the allocations its operations make,
// then once for each of them with that allocation refused. Every run checks
// the results the operations must give when memory runs out and that what
// was stored before is intact; after the thread has ended and
// ErrorMgrShutdown has removed the records, no block allocated during the
// run may be left (LeakSanitizer checks the rest of the process at exit).
// The program prints a table of the scenarios at the end.
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "allocation_hook.h"
#include "platform/platform.h"
#include "support/context_test_util.h"
#include "support/thread_errors.h"
#include "text/convert/encoding_conversion.h"
#include "text/format/utf8_format.h"
#include "threads/thread_starter.h"
#include "threads/thread_test_support.h"

namespace faultkit::test {
namespace {

// One run of a scenario; only the operations inside Act are counted. The
// run refuses one allocation, two in a row (a shortage that passes), or
// one and every later one (memory that has run out).
struct SweepRun {
    uint64_t fail_at = 0, refusals = 0;
    AllocationTally tally;

    template <typename Operations>
    void Act(Operations&& operations) {
        ArmAllocations(fail_at, refusals);
        operations();
        tally = DisarmAllocations();
    }
    // True when an allocation inside Act was refused.
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
constexpr uint64_t kRefusalModes[] = {1, 2, kRefuseAllLater};

struct ReportRow {
    std::string name;
    uint64_t allocations, runs;  // runs: those that reached their refusal
    bool handled;
    size_t leaked;
};
std::vector<ReportRow> report;

_qel_error_manager* Handle();

// Makes what the library keeps for the whole process before anything is
// counted, and prints the table at the end.
class SweepEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Handle();
        // The first record of the process also makes the shutdown event.
        // When that cannot be made, the operation fails and leaves nothing.
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

    // Runs: one per allocation and way of refusing (one, two in a row, all
    // from it on).
    void TearDown() override {
        std::printf("\n%-36s %11s %6s %11s %6s\n", "scenario", "allocations", "runs", "all handled",
                    "leaked");
        for (const ReportRow& row : report) {
            std::printf("%-36s %11llu %6llu %11s %6zu\n", row.name.c_str(),
                        static_cast<unsigned long long>(row.allocations),
                        static_cast<unsigned long long>(row.runs), row.handled ? "yes" : "NO",
                        row.leaked);
        }
    }
};

const auto* const kSweepEnvironment = ::testing::AddGlobalTestEnvironment(new SweepEnvironment);

// Runs the scenario on a new thread, then removes every record; returns
// the blocks of the run that are still held.
size_t RunOnThread(const Scenario& scenario, SweepRun& run) {
    const size_t held_before = OutstandingBlocks();
    std::thread([&] {
        scenario(run);
        ClearThreadErrors();
    }).join();
    EXPECT_TRUE(ErrorMgrShutdown());
    return OutstandingBlocks() - held_before;
}

void Sweep(const char* name, const Scenario& scenario) {
    SweepRun counting;
    ReportRow row{name, 0, 0, true, RunOnThread(scenario, counting)};
    row.allocations = counting.tally.made;
    for (const uint64_t refusals : kRefusalModes) {
        for (uint64_t fail_at = 1; fail_at <= row.allocations; ++fail_at) {
            SweepRun run{fail_at, refusals, {}};
            const size_t leaked = RunOnThread(scenario, run);
            EXPECT_TRUE(run.Failed()) << name << ": allocation " << fail_at << " not reached";
            EXPECT_EQ(leaked, 0u) << name << ": blocks left, refusing "
                                  << (refusals == kRefuseAllLater ? "all"
                                                                  : std::to_string(refusals))
                                  << " from " << fail_at;
            row.runs += run.Failed() ? 1 : 0;
            row.leaked += leaked;
        }
    }
    EXPECT_EQ(row.leaked, 0u) << name;
    row.handled = !::testing::Test::HasFailure();
    report.push_back(row);
}

// Shared by the scenarios; made on the main thread, which never gets a
// record of its own.
_qel_error_manager* Handle() {
    static Component component(TestUuid(0x7100));
    return component.handle;
}

std::vector<uint8_t> ExportedImage() {
    std::vector<uint8_t> image(ErrorMgrExport(nullptr, 0));
    EXPECT_EQ(ErrorMgrExport(image.data(), image.size()), image.size());
    return image;
}

// The rendered values of a record's context, one string per value.
std::vector<std::string> RenderedValues(const char* text, size_t size) {
    std::vector<std::string> values;
    size_t at = 0;
    while (at < size && text[at] != '\0') {
        values.emplace_back(text + at);
        at += values.back().size() + 1;
    }
    return values;
}

char kText1[] = "first text", kText2[] = "second text", kOwnText[] = "own";
const uint8_t kMemory[4] = {1, 2, 3, 4};

TEST(AllocationFailure, CreateAndDeleteHandles) {
    Sweep("create and delete handles", [](SweepRun& run) {
        _qel_bos_uuid placed_uuid = TestUuid(0x7101);
        _qel_error_manager placed;
        ErrorMgrInitialise(&placed, &placed_uuid);  // the thread's id, before counting
        _qel_bos_uuid uuids[2] = {TestUuid(0x7102), kLibraryUuidForTests};
        _qel_error_manager* handles[2] = {&placed, &placed};
        bool created[2] = {}, deleted[2] = {};
        bool made[2] = {};
        uint32_t facility[2] = {};
        run.Act([&] {
            for (int i = 0; i < 2; ++i) {
                created[i] = ErrorMgrCreate(&handles[i], &uuids[i]);
                made[i] = handles[i] != nullptr;
                facility[i] = made[i] ? handles[i]->facility : 0;
            }
            for (int i = 0; i < 2; ++i) {
                deleted[i] = ErrorMgrDelete(&handles[i], true);
            }
        });
        for (int i = 0; i < 2; ++i) {
            const bool refused = run.Refused(i + 1);
            EXPECT_EQ(created[i], !refused);
            EXPECT_EQ(made[i], !refused) << "a refused Create leaves its handle null";
            if (!refused) {
                EXPECT_EQ(facility[i], ErrorMgrGetFacility(&uuids[i]));
            }
            EXPECT_TRUE(deleted[i]);
            EXPECT_EQ(handles[i], nullptr);
        }
    });
}

TEST(AllocationFailure, BuildContext) {
    // The values recorded before the memory ran out make a valid list.
    static const char* const kPrefixes[] = {"",         "%i",           "%i%s",          "%i%s%m",
                                            "%i%s%m%c", "%i%s%m%c%llu", "%i%s%m%c%llu%f"};
    Sweep("build a context", [](SweepRun& run) {
        _qel_error_context* list = nullptr;
        run.Act([&] {
            list = ErrorMgrBuildContext(Format(kPrefixes[6]), 7, "text", 4ULL, kMemory, 'x',
                                        1ULL << 40, 2.5);
        });
        const size_t recorded = run.Failed() ? run.fail_at - 1 : 6;
        _qel_error_context* expected = ErrorMgrBuildContext(Format(kPrefixes[recorded]), 7, "text",
                                                            4ULL, kMemory, 'x', 1ULL << 40, 2.5);
        EXPECT_EQ(Items(list).size(), recorded);
        ASSERT_EQ(ContextChainSize(list, false), ContextChainSize(expected, false));
        if (list != nullptr) {
            EXPECT_EQ(std::memcmp(list, expected, ContextChainSize(list, false)), 0);
        }
        std::free(list);
        std::free(expected);
    });
}

TEST(AllocationFailure, StoreErrorsWithTextsAndContexts) {
    Sweep("store errors with texts and contexts", [](SweepRun& run) {
        _qel_error_manager* h = Handle();
        ErrorMgrSetErrorFull(h, 1, ErrorMgrBuildContext(Format("%s"), "root"), kOwnText, nullptr,
                             1);
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
        EXPECT_FALSE(stored[0]);
        EXPECT_FALSE(stored[1]);
        EXPECT_EQ(codes[0], 2u);
        EXPECT_EQ(codes[1], 3u);
        EXPECT_EQ(values[0], run.Refused(1) ? 0u : run.Refused(2) ? 1u : 2u);
        // The second context's allocation follows one or two of the first's.
        EXPECT_EQ(values[1], run.Refused(run.Refused(1) ? 2 : 3) ? 0u : 1u);
        const std::vector<std::string> after = DescribeThreadErrors();
        ASSERT_EQ(after.size(), 2u);
        EXPECT_EQ(after[0], before.at(0));
    });
}

TEST(AllocationFailure, FirstOperationOfAThread) {
    // Nothing before the counted part: the thread's id, its record and the
    // record's watcher are all made inside it.
    Sweep("first operation of a thread", [](SweepRun& run) {
        _qel_error_manager* h = Handle();
        _qel_error_enumerate e;
        std::memset(&e, 0x5A, sizeof e);
        const _qel_error_enumerate untouched = e;
        bool stored = true;
        uint32_t code = 0;
        run.Act([&] {
            stored = ErrorMgrSetErrorFull(h, 7, ErrorMgrBuildContext(Format("%i"), 1), nullptr,
                                          nullptr, 7);
            code = ErrorMgrGetLastError(h, &e);
        });
        EXPECT_FALSE(stored);
        // 1 is the context; after it come the thread's end notification and
        // the record's watcher. A thread whose end notification could not be
        // made is watched from outside instead, so a refusal there may or
        // may not keep the error out; one of the context cannot.
        if (code == 0) {
            EXPECT_TRUE(run.RefusedFrom(2));
            EXPECT_EQ(std::memcmp(&e, &untouched, sizeof e), 0) << "nothing read, nothing written";
        } else {
            EXPECT_EQ(code, 7u);
            EXPECT_EQ(Items(e.context).size(), run.Refused(1) ? 0u : 1u);
        }
    });
}

TEST(AllocationFailure, RedirectToAThreadWithoutRecord) {
    Sweep("redirect to a thread without record", [](SweepRun& run) {
        _qel_error_manager* h = Handle();
        // The target thread made a handle, which gives it an id, but it
        // has no record yet: the first redirected error makes it.
        _qel_error_manager* target = nullptr;
        Gate made, done;
        std::thread target_thread([&] {
            _qel_bos_uuid uuid = TestUuid(0x7103);
            ErrorMgrCreate(&target, &uuid);
            made.Open();
            done.Wait();
            ErrorMgrDelete(&target, true);
        });
        made.Wait();
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
        done.Open();
        target_thread.join();
        EXPECT_TRUE(redirected);
        EXPECT_FALSE(stored);
        // 2 to 4 make the target's record and watcher; when one fails the
        // error is not stored, and the read makes the record afresh.
        EXPECT_EQ(code, run.RefusedFrom(2) ? 0u : 5u);
        EXPECT_TRUE(back);
        EXPECT_EQ(DescribeThreadErrors(), before);
    });
}

TEST(AllocationFailure, EnumerateAndRead) {
    Sweep("enumerate and read", [](SweepRun& run) {
        _qel_error_manager* h = Handle();
        ErrorMgrSetErrorFull(h, 1, ErrorMgrBuildContext(Format("%i"), 1), kText1, nullptr, 1);
        ErrorMgrSetErrorFull(h, 2, ErrorMgrBuildContext(Format("%s"), "x"), nullptr, kText2, 2);
        int walked = 0;
        uint32_t last = 0, root = 0, after = 1;
        run.Act([&] {
            _qel_error_enumerate e{};
            while (ErrorMgrEnumErrors(h, &e)) {
                ++walked;
            }
            last = ErrorMgrGetLastError(h, nullptr);
            root = ErrorMgrGetRootError(h, nullptr);
            after = ErrorMgrGetLastError(h, nullptr);
        });
        EXPECT_EQ(walked, 2);
        EXPECT_EQ(last, 2u);
        EXPECT_EQ(root, 1u);
        EXPECT_EQ(after, 0u);
    });
}

// Renders a context with a value of every type. With `write_counted`
// false only the measuring call is counted: memory that was short while
// measuring is back for the writing call, which must still stay inside the
// measured size.
void RenderScenario(SweepRun& run, bool write_counted) {
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
        if (write_counted) {
            written = ErrorMgrGetContextString(&e, buffer.data(), measured);
        }
    });
    if (!write_counted) {
        written = ErrorMgrGetContextString(&e, buffer.data(), measured);
    }
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
    Sweep("render a context", [](SweepRun& run) { RenderScenario(run, true); });
}

TEST(AllocationFailure, RenderWithMemoryBackForWriting) {
    Sweep("render, memory back for writing", [](SweepRun& run) { RenderScenario(run, false); });
}

// Memory is short for exactly the measuring pass of a writing call and
// back for its writing pass: a value that could not be measured must not
// be written past what was measured.
TEST(AllocationFailure, MemoryBackBetweenMeasuringAndWriting) {
    std::thread([] {
        _qel_error_manager* h = Handle();
        // The longest number there is: 317 bytes.
        ErrorMgrSetErrorFull(h, 1, ErrorMgrBuildContext(Format("%i%Lf%i"), 4, -DBL_MAX, 5), nullptr,
                             nullptr, 1);
        _qel_error_enumerate e{};
        ASSERT_EQ(ErrorMgrGetLastError(h, &e), 1u);
        ArmAllocations(1, kRefuseAllLater);
        const int measured = ErrorMgrGetContextString(&e, nullptr, 0);
        // Where the formatter needs the heap for the number, the measuring
        // pass fails and counts the longest number instead; the writing
        // pass, with the memory back, must still stay within that count.
        const uint64_t measuring = DisarmAllocations().made;
        std::vector<char> buffer(4096, '\x7F');
        ArmAllocations(1, measuring);
        const int written = ErrorMgrGetContextString(&e, buffer.data(), measured);
        DisarmAllocations();
        EXPECT_EQ(written, measured);
        EXPECT_EQ(std::string(buffer.data()), "4");
        EXPECT_EQ(std::strlen(buffer.data() + 2), 317u);
        for (size_t i = static_cast<size_t>(measured); i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], '\x7F') << "written past the measured size at " << i;
        }
        ClearThreadErrors();
    }).join();
    EXPECT_TRUE(ErrorMgrShutdown());
}

// Waits (5 s at most) until no more than `held` tracked blocks remain:
// threads that the library started free their blocks themselves.
bool BlocksBackTo(size_t held) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (OutstandingBlocks() > held) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct StartedThread {
    std::atomic<int> entered{0};
    Gate exit_callback_ran;

    static uint32_t Entry(void* raw) {
        ++static_cast<StartedThread*>(raw)->entered;
        return 0;
    }
    static uint32_t ExitCallback(void* raw) {
        static_cast<StartedThread*>(raw)->exit_callback_ran.Open();
        return 0;
    }
};

// Starting a thread with an exit callback takes blocks for the thread, the
// callback and the wait for the thread's end. When one cannot be had,
// nothing is started: the entry never runs.
TEST(AllocationFailure, StartAThreadWithAnExitCallback) {
    Sweep("start a thread with an exit callback", [](SweepRun& run) {
        StartedThread started;
        const size_t held = OutstandingBlocks();
        platform::Handle thread = nullptr;
        run.Act([&] {
            thread =
                ThreadStart(0, StartedThread::Entry, &started, false, StartedThread::ExitCallback);
        });
        EXPECT_EQ(thread == nullptr, run.Failed());
        if (thread != nullptr) {
            started.exit_callback_ran.Wait();
            platform::ReleaseHandle(thread);
        }
        EXPECT_TRUE(BlocksBackTo(held));
        EXPECT_EQ(started.entered.load(), thread != nullptr ? 1 : 0);
    });
}

TEST(AllocationFailure, ExportAllocatesNothing) {
    Sweep("export", [](SweepRun& run) {
        _qel_error_manager* h = Handle();
        ErrorMgrSetErrorFull(h, 1, ErrorMgrBuildContext(Format("%i%s"), 1, "a"), kText1, kText2, 1);
        ErrorMgrSetErrorFull(h, 2, ErrorMgrBuildContext(Format("%m"), 4ULL, kMemory), nullptr,
                             kText2, 2);
        std::vector<uint8_t> image(4096);
        uint64_t measured = 0, written = 0;
        run.Act([&] {
            measured = ErrorMgrExport(nullptr, 0);
            written = ErrorMgrExport(image.data(), image.size());
        });
        EXPECT_EQ(run.tally.made, 0u);
        EXPECT_GT(measured, 12u);
        EXPECT_EQ(written, measured);
    });
}

TEST(AllocationFailure, Import) {
    Sweep("import", [](SweepRun& run) {
        _qel_error_manager* h = Handle();
        ErrorMgrSetErrorFull(h, 1, ErrorMgrBuildContext(Format("%i%s"), 1, "a"), kText1, kText2, 1);
        ErrorMgrSetErrorFull(h, 2, ErrorMgrBuildContext(Format("%m"), 4ULL, kMemory), nullptr,
                             kText2, 2);
        const std::string imported_root = DescribeThreadErrors().at(0);
        const std::vector<uint8_t> image = ExportedImage();
        ClearThreadErrors();
        ErrorMgrSetErrorFull(h, 3, ErrorMgrBuildContext(Format("%s"), "r"), kOwnText, nullptr, 3);
        ErrorMgrSetErrorFull(h, 4, ErrorMgrBuildContext(Format("%u"), 4u), nullptr, nullptr, 4);
        const std::string own_last = DescribeThreadErrors().at(1);
        const std::vector<uint8_t> before = ExportedImage();
        bool imported = false;
        run.Act([&] { imported = ErrorMgrImport(const_cast<uint8_t*>(image.data())); });
        if (run.Failed()) {
            EXPECT_FALSE(imported);
            EXPECT_EQ(ExportedImage(), before) << "a failed import changes nothing";
        } else {
            EXPECT_TRUE(imported);
            EXPECT_EQ(DescribeThreadErrors(), (std::vector<std::string>{imported_root, own_last}));
        }
    });
}

TEST(AllocationFailure, ConvertAllocatesNothing) {
    Sweep("convert", [](SweepRun& run) {
        const char16_t wide[] = u"caf\u00E9 \U0001F600";
        const char utf8[] = "caf\xC3\xA9 \xE2\x82\xAC";
        char narrow[32] = {}, code_page[16] = {};
        char16_t back[16] = {};
        uint64_t counted = 0, converted = 0, to_code_page = 0;
        void* to_utf16 = nullptr;
        run.Act([&] {
            counted =
                ConvertToUtf8(kEncodingUtf16, wide, kNulTerminated, nullptr, 0, nullptr, nullptr);
            converted = ConvertToUtf8(kEncodingUtf16, wide, kNulTerminated, narrow, sizeof narrow,
                                      nullptr, nullptr);
            to_code_page = ConvertFromUtf8(17, utf8, kNulTerminated, code_page, sizeof code_page,
                                           nullptr, nullptr, 0);
            to_utf16 = ConvertUtf8Utf16(true, utf8, back, sizeof back);
        });
        EXPECT_EQ(run.tally.made, 0u);
        EXPECT_EQ(counted, 11u);
        EXPECT_EQ(converted, 11u);
        EXPECT_STREQ(narrow, "caf\xC3\xA9 \xF0\x9F\x98\x80");
        EXPECT_EQ(to_code_page, 7u);
        EXPECT_STREQ(code_page, "caf\xE9 \x80");
        EXPECT_EQ(to_utf16, back);
        EXPECT_EQ(std::u16string(back), u"caf\u00E9 \u20AC");
    });
}

// Each text comes out whole, or the result is negative and nothing is
// written; a count is exact or negative.
TEST(AllocationFailure, FormatText) {
    Sweep("format (FormatUtf8)", [](SweepRun& run) {
        const std::string long_text(700, 'y');
        const std::string many = std::string(300, '.') + "%*i%*i%*i%*i%*i%*i%*i%*i%*i%*i%*i%s";
        const std::function<int32_t(char*)> formats[] = {
            [&](char* buffer) {
                return FormatUtf8(buffer, "%2$s|%1$lld|%3$zu|%4$c|%5$s", 1LL << 40, "two",
                                  size_t{5}, 'c', long_text.c_str());
            },
            [](char* buffer) {
                return FormatUtf8(buffer, "%lld|%zu|%ti|%c", -(1LL << 40), size_t{6}, ptrdiff_t{-7},
                                  'd');
            },
            [&](char* buffer) {
                return FormatUtf8(buffer, many.c_str(), 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8,
                                  8, 9, 9, 10, 10, 11, 11, "z");
            }};
        constexpr int kFormats = 3;
        std::string texts[kFormats];
        std::vector<char> buffers[kFormats];
        int32_t counted[kFormats] = {}, written[kFormats] = {};
        for (int i = 0; i < kFormats; ++i) {
            buffers[i].assign(2048, '\0');
            ASSERT_GT(formats[i](buffers[i].data()), 0) << "format " << i;
            texts[i] = buffers[i].data();
            buffers[i].assign(2048, '\x7F');
        }
        run.Act([&] {
            for (int i = 0; i < kFormats; ++i) {
                counted[i] = formats[i](nullptr);
                written[i] = formats[i](buffers[i].data());
            }
        });
        for (int i = 0; i < kFormats; ++i) {
            const auto length = static_cast<int32_t>(texts[i].size());
            EXPECT_TRUE(counted[i] < 0 || counted[i] == length + 1) << i << ": " << counted[i];
            if (written[i] < 0) {
                EXPECT_EQ(buffers[i], std::vector<char>(2048, '\x7F')) << "format " << i;
            } else {
                EXPECT_EQ(written[i], length) << "format " << i;
                EXPECT_EQ(std::string(buffers[i].data()), texts[i]) << "format " << i;
            }
        }
    });
}

}  // namespace
}  // namespace faultkit::test
