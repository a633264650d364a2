// Conversion throughput against glibc iconv and ICU doing the same
// conversion on the same text, in the same binary: UTF-8 <-> UTF-16,
// UTF-8 <-> UTF-32, UTF-8 -> ISO 8859-2 and Windows-1252 -> UTF-8, on
// 1 MiB of ASCII-heavy, of mixed-script and of randomly mixed text; the
// library at each vector level the machine has. Every output is checked
// to be identical to the library's before timing. After the runs a table
// gives the ratios: an anchor's time over the library's, from the median
// CPU time of each benchmark's repetitions
// (--benchmark_repetitions=N; --benchmark_enable_random_interleaving=true
// spreads the noise of a busy machine evenly).
//
// ICU is optional: built without it (FAULTKIT_BENCH_ICU undefined), its
// columns are left out.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if defined(FAULTKIT_BENCH_ICU)
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#endif

#include "text/convert/encoding_conversion.h"
#include "text/encoding/code_page_tables.h"
#include "text/encoding/utf8.h"
#include "text/simd/dispatch.h"

namespace faultkit {
namespace {

constexpr size_t kTextSize = 1 << 20;

// About 1 MiB of the words of `sample` (UTF-8) in random order, ending on a
// character boundary. Not the sample repeated: a branch predictor learns a
// text that repeats every hundred characters or so, as no real text does.
std::string ShuffledWords(const std::string& sample) {
    std::vector<std::string> words;
    for (size_t start = 0; start < sample.size();) {
        const size_t space = sample.find(' ', start);
        const size_t end = space == std::string::npos ? sample.size() : space + 1;
        words.push_back(sample.substr(start, end - start));
        start = end;
    }
    std::mt19937 random(20261208);
    std::string text;
    while (text.size() < kTextSize) {
        text += words[random() % words.size()];
    }
    size_t cut = kTextSize;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    text.resize(cut);
    return text;
}

// Samples are UTF-8 (the source file's encoding).
const std::string kEnglish =
    "The quick brown fox jumps over the lazy dog while the committee reviews the "
    "quarterly report on error handling, thread records and context rendering. "
    "Nobody expected the café to close before Müller's résumé arrived; it was a "
    "long day for everyone involved in the release.\n";
const std::string kMultilingual =
    "Unicode text: Αθήνα και Москва, 東京と北京の天気, Příliš žluťoučký kůň 😀 "
    "العربية ภาษาไทย 한국어 🌍\n";
const std::string kCentralEuropean =
    "Příliš žluťoučký kůň úpěl ďábelské ódy. Zażółć gęślą jaźń. "
    "Árvíztűrő tükörfúrógép. Ščřžý áíé ĎŇŤŮ. Öffentliche Straße.\n";
const std::string kWestern =
    "“À la crème brûlée” coûte 5 € – ça était à l’hôtel. München, Köln, "
    "Düsseldorf: Größe Übung. ¿Qué año? År øl æble … ™ †.\n";

// Randomly mixed text, so that no run of one kind of character lasts: each
// character drawn at random from ASCII, Latin-1, Greek, Cyrillic and CJK
// alike, and 1 % of them astral (emoji). For a code page, from ASCII and
// the page's own characters alike, since iconv refuses the others.
std::string RandomMix(EncodingId page) {
    std::mt19937 random(20240611);
    auto in = [&random](uint32_t low, uint32_t high) {
        return low + static_cast<uint32_t>(random() % (high - low + 1));
    };
    std::vector<uint32_t> own;
    if (IsCodePage(page)) {
        for (int b = 0x80; b < 0x100; ++b) {
            if (CodePageTableOf(page)[b] != kUnmappedCodePoint) {
                own.push_back(CodePageTableOf(page)[b]);
            }
        }
    }
    std::string text;
    while (text.size() < kTextSize) {
        uint32_t cp = 0;
        if (!own.empty()) {
            cp = random() % 2 == 0 ? in(0x20, 0x7E) : own[random() % own.size()];
        } else if (random() % 100 == 0) {
            cp = in(0x1F300, 0x1F64F);
        } else {
            const uint32_t ranges[5][2] = {
                {0x20, 0x7E}, {0xA0, 0xFF}, {0x391, 0x3C9}, {0x410, 0x44F}, {0x4E00, 0x9FFF}};
            const auto& range = ranges[random() % 5];
            cp = in(range[0], range[1]);
        }
        char encoded[8];
        text.append(encoded, static_cast<size_t>(
                                 Utf8EncodeChar(static_cast<int32_t>(cp), encoded, nullptr)));
    }
    return text;
}

struct Pair {
    const char* name;
    const char* iconv_name;  // the side that is not UTF-8, as iconv and ICU name it
    bool to_utf8;            // faultkit: ConvertToUtf8 (else ConvertFromUtf8)
    EncodingId id;           // the side that is not UTF-8
};

const Pair kPairs[] = {
    {"utf8_to_utf16", "UTF-16LE", false, kEncodingUtf16},
    {"utf16_to_utf8", "UTF-16LE", true, kEncodingUtf16},
    {"utf8_to_utf32", "UTF-32LE", false, kEncodingUtf32},
    {"utf32_to_utf8", "UTF-32LE", true, kEncodingUtf32},
    {"utf8_to_iso8859_2", "ISO-8859-2", false, 3},
    {"cp1252_to_utf8", "WINDOWS-1252", true, 17},
};

// Converts a pair's source text into dst, which has room for all of it;
// the number of bytes written, 0 on failure. Buffers and converter state
// live from one call to the next.
using Converter = std::function<size_t(const std::string& src, std::vector<char>& dst)>;

// The source bytes of a pair for a UTF-8 text.
std::string SourceOf(const Pair& pair, const std::string& utf8) {
    if (!pair.to_utf8) {
        return utf8;
    }
    std::string out(utf8.size() * 4, '\0');
    const uint64_t n = ConvertFromUtf8(pair.id, utf8.data(), utf8.size(), &out[0], out.size(),
                                       nullptr, nullptr, 0);
    out.resize(n);
    return out;
}

Converter Faultkit(const Pair& pair) {
    return [pair](const std::string& src, std::vector<char>& dst) -> size_t {
        if (pair.to_utf8) {
            return ConvertToUtf8(pair.id, src.data(), src.size(), dst.data(), dst.size(), nullptr,
                                 nullptr);
        }
        return ConvertFromUtf8(pair.id, src.data(), src.size(), dst.data(), dst.size(), nullptr,
                               nullptr, 0);
    };
}

Converter Iconv(const Pair& pair) {
    const char* from = pair.to_utf8 ? pair.iconv_name : "UTF-8";
    const char* to = pair.to_utf8 ? "UTF-8" : pair.iconv_name;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "iconv cannot convert %s to %s\n", from, to);
        std::exit(1);
    }
    return [cd](const std::string& src, std::vector<char>& dst) -> size_t {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(src.data());
        size_t in_left = src.size();
        char* out = dst.data();
        size_t out_left = dst.size();
        if (iconv(cd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) {
            return 0;
        }
        return dst.size() - out_left;
    };
}

#if defined(FAULTKIT_BENCH_ICU)
UConverter* OpenIcu(const char* name) {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &error);
    if (U_FAILURE(error)) {
        std::fprintf(stderr, "ICU has no converter %s: %s\n", name, u_errorName(error));
        std::exit(1);
    }
    return converter;
}

// ICU's fastest way for each pair, as measured on these texts: between
// UTF-8 and UTF-16 its UTF-8 string functions (ucnv's UTF-8 converter
// takes twice as long), for UTF-32 the same through a UTF-16 buffer
// (ucnv_convertEx through its pivot takes three times as long), and
// between UTF-8 and a code page ucnv_convertEx, which converts those
// directly, without the pivot.
Converter Icu(const Pair& pair) {
    auto utf16 = std::make_shared<std::vector<UChar>>(kTextSize * 2);
    auto units = [](std::vector<char>& dst) { return reinterpret_cast<UChar*>(dst.data()); };
    auto cap = [](size_t bytes, size_t unit) { return static_cast<int32_t>(bytes / unit); };
    switch (pair.id) {
        case kEncodingUtf16:
            if (pair.to_utf8) {
                return [cap](const std::string& src, std::vector<char>& dst) -> size_t {
                    UErrorCode error = U_ZERO_ERROR;
                    int32_t n = 0;
                    u_strToUTF8(dst.data(), cap(dst.size(), 1), &n,
                                reinterpret_cast<const UChar*>(src.data()), cap(src.size(), 2),
                                &error);
                    return U_SUCCESS(error) ? static_cast<size_t>(n) : 0;
                };
            }
            return [cap, units](const std::string& src, std::vector<char>& dst) -> size_t {
                UErrorCode error = U_ZERO_ERROR;
                int32_t n = 0;
                u_strFromUTF8(units(dst), cap(dst.size(), 2), &n, src.data(), cap(src.size(), 1),
                              &error);
                return U_SUCCESS(error) ? 2 * static_cast<size_t>(n) : 0;
            };
        case kEncodingUtf32:
            if (pair.to_utf8) {
                return [utf16, cap](const std::string& src, std::vector<char>& dst) -> size_t {
                    UErrorCode error = U_ZERO_ERROR;
                    int32_t n = 0;
                    u_strFromUTF32(utf16->data(), cap(utf16->size(), 1), &n,
                                   reinterpret_cast<const UChar32*>(src.data()), cap(src.size(), 4),
                                   &error);
                    u_strToUTF8(dst.data(), cap(dst.size(), 1), &n, utf16->data(), n, &error);
                    return U_SUCCESS(error) ? static_cast<size_t>(n) : 0;
                };
            }
            return [utf16, cap](const std::string& src, std::vector<char>& dst) -> size_t {
                UErrorCode error = U_ZERO_ERROR;
                int32_t n = 0;
                u_strFromUTF8(utf16->data(), cap(utf16->size(), 1), &n, src.data(),
                              cap(src.size(), 1), &error);
                u_strToUTF32(reinterpret_cast<UChar32*>(dst.data()), cap(dst.size(), 4), &n,
                             utf16->data(), n, &error);
                return U_SUCCESS(error) ? 4 * static_cast<size_t>(n) : 0;
            };
        default: break;
    }
    UConverter* page = OpenIcu(pair.iconv_name);
    UConverter* utf8 = OpenIcu("UTF-8");
    UConverter* to = pair.to_utf8 ? utf8 : page;
    UConverter* from = pair.to_utf8 ? page : utf8;
    return [to, from, utf16](const std::string& src, std::vector<char>& dst) -> size_t {
        UErrorCode error = U_ZERO_ERROR;
        char* target = dst.data();
        const char* source = src.data();
        UChar* pivot = utf16->data();
        UChar* pivot_source = pivot;
        UChar* pivot_target = pivot;
        ucnv_convertEx(to, from, &target, dst.data() + dst.size(), &source, src.data() + src.size(),
                       pivot, &pivot_source, &pivot_target, pivot + utf16->size(), true, true,
                       &error);
        return U_SUCCESS(error) ? static_cast<size_t>(target - dst.data()) : 0;
    };
}
#endif

struct Anchor {
    const char* name;
    Converter (*open)(const Pair&);
};

const Anchor kAnchors[] = {
    {"iconv", Iconv},
#if defined(FAULTKIT_BENCH_ICU)
    {"icu", Icu},
#endif
};

// The library's benchmarks: "faultkit" at the level the machine supports,
// "faultkit_<Level>" at each level below it.
std::string FaultkitName(int level) {
    return level == SupportedVectorLevel() ? std::string("faultkit")
                                           : std::string("faultkit_") + VectorLevelName(level);
}

// Runs `convert` at vector level `level`, which only the library's own
// conversions heed.
void Register(const std::string& name, int level, const Converter& convert,
              const std::string& src) {
    benchmark::RegisterBenchmark(name.c_str(), [level, convert, src](benchmark::State& state) {
        std::vector<char> dst(src.size() * 4 + 16);
        UseVectorLevel(level);
        for (auto _ : state) {
            benchmark::DoNotOptimize(convert(src, dst));
        }
        UseVectorLevel(SupportedVectorLevel());
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
    });
}

void RegisterText(const Pair& pair, const char* text_name, const std::string& utf8) {
    const std::string src = SourceOf(pair, utf8);
    const std::string name = std::string(pair.name) + "/" + text_name + "/";
    const Converter ours = Faultkit(pair);
    std::vector<char> expected(src.size() * 4 + 16);
    const size_t n = ours(src, expected);
    for (const Anchor& anchor : kAnchors) {
        const Converter theirs = anchor.open(pair);
        std::vector<char> output(expected.size());
        if (n == 0 || theirs(src, output) != n ||
            std::memcmp(output.data(), expected.data(), n) != 0) {
            std::fprintf(stderr, "%s%s: faultkit and %s disagree\n", name.c_str(), anchor.name,
                         anchor.name);
            std::exit(1);
        }
        Register(name + anchor.name, SupportedVectorLevel(), theirs, src);
    }
    for (int level = SupportedVectorLevel(); level >= 0; --level) {
        Register(name + FaultkitName(level), level, ours, src);
    }
}

// The console's output, and at the end the table of ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times_[run.run_name.function_name].push_back(run.cpu_accumulated_time /
                                                             static_cast<double>(run.iterations));
            }
        }
    }

    // One row a pair and text: each anchor's time over the library's at
    // each level, then the milliseconds a conversion takes.
    void PrintRatios() const {
        std::printf("\nratios: anchor time / faultkit time (median CPU time of %zu run(s) each)\n",
                    times_.empty() ? size_t{0} : times_.begin()->second.size());
        std::printf("%-32s", "pair/text");
        for (int level = SupportedVectorLevel(); level >= 0; --level) {
            for (const Anchor& anchor : kAnchors) {
                std::printf(" %14s",
                            (std::string(VectorLevelName(level)) + " x " + anchor.name).c_str());
            }
        }
        std::printf(" %11s", "faultkit ms");
        for (const Anchor& anchor : kAnchors) {
            std::printf(" %8s", (std::string(anchor.name) + " ms").c_str());
        }
        std::printf("\n");
        for (const auto& entry : times_) {
            const std::string& row = entry.first;
            const size_t slash = row.rfind('/');
            if (row.compare(slash + 1, std::string::npos, "faultkit") != 0) {
                continue;
            }
            const std::string prefix = row.substr(0, slash + 1);
            std::printf("%-32s", row.substr(0, slash).c_str());
            for (int level = SupportedVectorLevel(); level >= 0; --level) {
                for (const Anchor& anchor : kAnchors) {
                    std::printf(" %14.2f", Median(prefix + anchor.name) /
                                               Median(prefix + FaultkitName(level)));
                }
            }
            std::printf(" %11.3f", Median(row) * 1e3);
            for (const Anchor& anchor : kAnchors) {
                std::printf(" %8.3f", Median(prefix + anchor.name) * 1e3);
            }
            std::printf("\n");
        }
    }

private:
    double Median(const std::string& name) const {
        const auto found = times_.find(name);
        if (found == times_.end()) {
            return 0;
        }
        std::vector<double> sorted = found->second;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }

    // CPU seconds a conversion, every run of each benchmark, by name.
    std::map<std::string, std::vector<double>> times_;
};

}  // namespace
}  // namespace faultkit

int main(int argc, char** argv) {
    using namespace faultkit;
    benchmark::Initialize(&argc, argv);
    for (const Pair& pair : kPairs) {
        const bool iso8859_2 = pair.id == 3;
        const bool cp1252 = pair.id == 17;
        const std::string ascii = ShuffledWords(cp1252 ? kEnglish + kEnglish + kWestern : kEnglish);
        const std::string mixed = ShuffledWords(iso8859_2 ? kCentralEuropean
                                                : cp1252  ? kWestern
                                                          : kMultilingual);
        RegisterText(pair, "ascii_heavy", ascii);
        RegisterText(pair, "mixed_script", mixed);
        RegisterText(pair, "random_mix", RandomMix(pair.id));
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
