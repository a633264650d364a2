// Context building and the transfer image.
//   BuildContext/five_values: the builder on a five-value format.
//   BuildByHand/five_values: the anchor, the same five records appended by
//     hand to a std::vector<std::byte>.
//   TransferImage/write_and_read: sizing and writing the image of a root and
//     a last error with contexts and strings, then reading it back (what
//     Export and Import do apart from their locking).
//   ErrorMgrExport/two_errors, ErrorMgrImport/two_errors: the exported
//     functions on the calling thread's record holding such a root and last
//     error. Export sizes and writes the image; Import adds the image of
//     those two errors, which leaves the thread with two errors again (the
//     imported root, its own last) and frees the two it drops.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "components/facility_registry.h"
#include "context/context_list.h"
#include "faultkit.h"
#include "support/test_uuids.h"
#include "transfer/transfer_image.h"

using namespace faultkit;

namespace {

char kFormat[] = "%i%s%llu%f%p";
const char kFile[] = "settings/user.json";
const int kLine = 42;
const unsigned long long kBytes = 123456789ULL;
const double kSeconds = 2.5;
const void* const kPointer = &kLine;

void BuildContext(benchmark::State& state) {
    for (auto _ : state) {
        _qel_error_context* list =
            ErrorMgrBuildContext(kFormat, kLine, kFile, kBytes, kSeconds, kPointer);
        benchmark::DoNotOptimize(list);
        std::free(list);
    }
}
BENCHMARK(BuildContext)->Name("BuildContext/five_values");

void AppendByHand(std::vector<std::byte>* out, uint16_t type, const void* payload, uint32_t size) {
    const size_t at = out->size();
    const uint32_t record = static_cast<uint32_t>(ContextRecordSize(size));
    out->resize(at + record);
    std::byte* header = out->data() + at;
    std::memcpy(header, &type, sizeof type);
    std::memcpy(header + 4, &size, sizeof size);
    std::memcpy(header + 8, &record, sizeof record);
    std::memcpy(header + 12, payload, size);
}

void BuildByHand(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::byte> out;
        const uint64_t pointer = reinterpret_cast<uintptr_t>(kPointer);
        AppendByHand(&out, CtxInt32, &kLine, sizeof kLine);
        AppendByHand(&out, CtxString, kFile, static_cast<uint32_t>(std::strlen(kFile) + 1));
        AppendByHand(&out, CtxUInt64, &kBytes, sizeof kBytes);
        AppendByHand(&out, CtxDouble, &kSeconds, sizeof kSeconds);
        const size_t last = out.size();
        AppendByHand(&out, CtxPointer, &pointer, sizeof pointer);
        std::memset(out.data() + last + 8, 0, 4);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BuildByHand)->Name("BuildByHand/five_values");

char kText1[] = "opening settings";
char kText2[] = "settings/user.json";

_qel_error_context* RootContext() {
    return ErrorMgrBuildContext(kFormat, kLine, kFile, kBytes, kSeconds, kPointer);
}

_qel_error_context* LastContext() {
    return ErrorMgrBuildContext(kFormat + 2, kFile, kBytes);
}

void TransferImage(benchmark::State& state) {
    uint32_t facility = 0;
    const _qel_bos_uuid uuid = test::TestUuid(0xBE);
    FacilityOfUuid(&uuid, nullptr, &facility);
    const ErrorSlot slots[2] = {{facility | 1, kText1, kText2, 1, RootContext(), nullptr},
                                {facility | 2, kText1, nullptr, 2, LastContext(), nullptr}};
    std::vector<uint8_t> image(WriteImage(slots, 2, nullptr, 0));
    for (auto _ : state) {
        const uint64_t length = WriteImage(slots, 2, nullptr, 0);
        benchmark::DoNotOptimize(WriteImage(slots, 2, image.data(), length));
        ErrorSlot* list = nullptr;
        int32_t n = 0;
        benchmark::DoNotOptimize(ReadImage(nullptr, 0, image.data(), &list, &n));
        DiscardEntries(list, n);
    }
    state.counters["image_bytes"] = static_cast<double>(image.size());
    std::free(slots[0].context);
    std::free(slots[1].context);
}
BENCHMARK(TransferImage)->Name("TransferImage/write_and_read");

// Stores the root and last error on the calling thread through the exports.
void SetTwoErrors(_qel_error_manager* handle) {
    ErrorMgrSetErrorFull(handle, 1, RootContext(), kText1, kText2, 1);
    ErrorMgrSetErrorFull(handle, 2, LastContext(), kText1, nullptr, 2);
}

struct BenchComponent {
    _qel_error_manager* handle = nullptr;
    BenchComponent() {
        _qel_bos_uuid uuid = test::TestUuid(0xBF);
        ErrorMgrCreate(&handle, &uuid);
    }
    ~BenchComponent() {
        ErrorMgrGetRootError(handle, nullptr);
        ErrorMgrDelete(&handle, true);
    }
};

void Export(benchmark::State& state) {
    BenchComponent component;
    SetTwoErrors(component.handle);
    std::vector<uint8_t> image(ErrorMgrExport(nullptr, 0));
    for (auto _ : state) {
        const uint64_t length = ErrorMgrExport(nullptr, 0);
        benchmark::DoNotOptimize(ErrorMgrExport(image.data(), length));
    }
    state.counters["image_bytes"] = static_cast<double>(image.size());
}
BENCHMARK(Export)->Name("ErrorMgrExport/two_errors");

void Import(benchmark::State& state) {
    BenchComponent component;
    SetTwoErrors(component.handle);
    std::vector<uint8_t> image(ErrorMgrExport(nullptr, 0));
    ErrorMgrExport(image.data(), image.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(ErrorMgrImport(image.data()));
    }
    state.counters["image_bytes"] = static_cast<double>(image.size());
}
BENCHMARK(Import)->Name("ErrorMgrImport/two_errors");

}  // namespace

BENCHMARK_MAIN();
