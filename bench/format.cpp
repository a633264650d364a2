// Formatted output: FormatUtf8 against the C library's snprintf doing the
// same conversion in the same binary, apart and in pairs, and rendering a
// five-value context (measure, then write). Each pair's output is checked
// to be identical before timing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "faultkit.h"
#include "text/format/utf8_format.h"

namespace faultkit {
namespace {

constexpr size_t kBufferSize = 256;
constexpr long kInteger = -1234567;
constexpr double kDouble = 3.14159265358979;
constexpr int kTries = 3;
const char kText[] = "connection reset by peer";
// A string, an integer and a float, as an everyday message has them; once
// with positional directives (glibc's snprintf reads these too).
const char kPositional[] = "%1$s: failed %2$d times in %3$.2f s";
const char kMixed[] = "%s: failed %d times in %.2f s";

// The conversions: FormatUtf8 and snprintf each write into `out`.
enum Case { kLong, kFloating, kQuoted, kPositionalCase, kMixedCase };

int WithFaultkit(Case which, char* out) {
    switch (which) {
        case kLong: return FormatUtf8(out, "%li", kInteger);
        case kFloating: return FormatUtf8(out, "%f", kDouble);
        case kQuoted: return FormatUtf8(out, "\"%s\"", kText);
        case kPositionalCase: return FormatUtf8(out, kPositional, kText, kTries, kDouble);
        case kMixedCase: return FormatUtf8(out, kMixed, kText, kTries, kDouble);
    }
    return -1;
}

int WithSnprintf(Case which, char* out) {
    switch (which) {
        case kLong: return std::snprintf(out, kBufferSize, "%li", kInteger);
        case kFloating: return std::snprintf(out, kBufferSize, "%f", kDouble);
        case kQuoted: return std::snprintf(out, kBufferSize, "\"%s\"", kText);
        case kPositionalCase:
            return std::snprintf(out, kBufferSize, kPositional, kText, kTries, kDouble);
        case kMixedCase: return std::snprintf(out, kBufferSize, kMixed, kText, kTries, kDouble);
    }
    return -1;
}

void CheckSameText(Case which) {
    char ours[kBufferSize];
    char theirs[kBufferSize];
    const int ours_length = WithFaultkit(which, ours);
    const int theirs_length = WithSnprintf(which, theirs);
    if (ours_length != theirs_length || std::strcmp(ours, theirs) != 0) {
        std::fprintf(stderr, "case %d differs: \"%s\" against \"%s\"\n", which, ours, theirs);
        std::abort();
    }
}

void BM_FormatUtf8(benchmark::State& state) {
    const auto which = static_cast<Case>(state.range(0));
    CheckSameText(which);
    char out[kBufferSize];
    for (auto _ : state) {
        benchmark::DoNotOptimize(WithFaultkit(which, out));
        benchmark::ClobberMemory();
    }
}

void BM_Snprintf(benchmark::State& state) {
    const auto which = static_cast<Case>(state.range(0));
    CheckSameText(which);
    char out[kBufferSize];
    for (auto _ : state) {
        benchmark::DoNotOptimize(WithSnprintf(which, out));
        benchmark::ClobberMemory();
    }
}

// Arguments: 0 "%li", 1 "%f", 2 "\"%s\"", 3 positional, 4 mixed.
BENCHMARK(BM_FormatUtf8)->DenseRange(kLong, kMixedCase);
BENCHMARK(BM_Snprintf)->DenseRange(kLong, kMixedCase);

// The ratio FormatUtf8 / snprintf measured in pairs: each iteration times
// a batch of each, one right after the other, so that both see the same
// machine; the counter "ratio" is the median of the pairs' ratios. On a
// busy machine this holds where two separate benchmarks drift apart.
template <class Call>
double BatchSeconds(Case which, char* out, Call call) {
    constexpr int kBatch = 200;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) {
        benchmark::DoNotOptimize(call(which, out));
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_Paired(benchmark::State& state) {
    const auto which = static_cast<Case>(state.range(0));
    CheckSameText(which);
    char out[kBufferSize];
    std::vector<double> ratios;
    for (auto _ : state) {
        const double ours = BatchSeconds(which, out, WithFaultkit);
        ratios.push_back(ours / BatchSeconds(which, out, WithSnprintf));
    }
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    state.counters["ratio"] = ratios[ratios.size() / 2];
}
BENCHMARK(BM_Paired)->DenseRange(kLong, kMixedCase);

// Asks for the size of a five-value context, then writes it.
void BM_ContextString(benchmark::State& state) {
    _qel_error_enumerate record{};
    record.context = ErrorMgrBuildContext(const_cast<char*>("%i%s%f%llu%c"), 42, kText, kDouble,
                                          18446744073709551615ull, 'x');
    std::vector<char> out(kBufferSize);
    for (auto _ : state) {
        const int size = ErrorMgrGetContextString(&record, nullptr, 0);
        if (size <= 0 || static_cast<size_t>(size) > out.size()) {
            state.SkipWithError("unexpected size");
            break;
        }
        benchmark::DoNotOptimize(ErrorMgrGetContextString(&record, out.data(), size));
        benchmark::ClobberMemory();
    }
    std::free(record.context);
}
BENCHMARK(BM_ContextString);

}  // namespace
}  // namespace faultkit

BENCHMARK_MAIN();
