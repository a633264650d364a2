// Conversion throughput against glibc iconv doing the same conversion on
// the same text, in the same binary: UTF-8 <-> UTF-16, UTF-8 -> ISO 8859-2
// and Windows-1252 -> UTF-8, on 1 MiB of ASCII-heavy, of mixed-script and
// of randomly mixed text; the library as it runs and with its vector paths
// turned off. Every pair's output is checked to be identical
// before timing.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/convert/encoding_conversion.h"
#include "text/encoding/code_page_tables.h"
#include "text/encoding/utf8.h"
#include "text/simd/dispatch.h"

namespace faultkit {
namespace {

constexpr size_t kTextSize = 1 << 20;

// Repeats `sample` (UTF-8) to about 1 MiB, ending on a character boundary.
std::string Repeat(const std::string& sample) {
    std::string text;
    while (text.size() < kTextSize) {
        text += sample;
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
    const char* iconv_from;
    const char* iconv_to;
    bool to_utf8;   // faultkit: ConvertToUtf8 (else ConvertFromUtf8)
    EncodingId id;  // the side that is not UTF-8
};

const Pair kPairs[] = {
    {"utf8_to_utf16", "UTF-8", "UTF-16LE", false, kEncodingUtf16},
    {"utf16_to_utf8", "UTF-16LE", "UTF-8", true, kEncodingUtf16},
    {"utf8_to_iso8859_2", "UTF-8", "ISO-8859-2", false, 3},
    {"cp1252_to_utf8", "WINDOWS-1252", "UTF-8", true, 17},
};

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

size_t RunFaultkit(const Pair& pair, const std::string& src, std::vector<char>& dst) {
    if (pair.to_utf8) {
        return ConvertToUtf8(pair.id, src.data(), src.size(), dst.data(), dst.size(), nullptr,
                             nullptr);
    }
    return ConvertFromUtf8(pair.id, src.data(), src.size(), dst.data(), dst.size(), nullptr,
                           nullptr, 0);
}

size_t RunIconv(iconv_t cd, const std::string& src, std::vector<char>& dst) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(src.data());
    size_t in_left = src.size();
    char* out = dst.data();
    size_t out_left = dst.size();
    if (iconv(cd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) {
        return 0;
    }
    return dst.size() - out_left;
}

void Register(const Pair& pair, const char* text_name, const std::string& utf8) {
    const std::string src = SourceOf(pair, utf8);
    iconv_t cd = iconv_open(pair.iconv_to, pair.iconv_from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "iconv cannot convert %s to %s\n", pair.iconv_from, pair.iconv_to);
        std::exit(1);
    }
    std::vector<char> ours(src.size() * 4 + 16);
    std::vector<char> theirs(ours.size());
    const size_t n = RunFaultkit(pair, src, ours);
    if (n == 0 || n != RunIconv(cd, src, theirs) ||
        std::memcmp(ours.data(), theirs.data(), n) != 0) {
        std::fprintf(stderr, "%s/%s: faultkit and iconv disagree\n", pair.name, text_name);
        std::exit(1);
    }
    const std::string name = std::string(pair.name) + "/" + text_name;
    // The library as it runs, and with its vector paths turned off.
    for (const bool scalar : {false, true}) {
        benchmark::RegisterBenchmark(
            (name + (scalar ? "/faultkit_scalar" : "/faultkit")).c_str(),
            [pair, src, scalar](benchmark::State& state) {
                std::vector<char> dst(src.size() * 4 + 16);
                UseVectorLevel(scalar ? 0 : SupportedVectorLevel());
                for (auto _ : state) {
                    benchmark::DoNotOptimize(RunFaultkit(pair, src, dst));
                }
                UseVectorLevel(SupportedVectorLevel());
                state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
            });
    }
    benchmark::RegisterBenchmark((name + "/iconv").c_str(), [cd, src](benchmark::State& state) {
        std::vector<char> dst(src.size() * 4 + 16);
        for (auto _ : state) {
            benchmark::DoNotOptimize(RunIconv(cd, src, dst));
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
    });
}

}  // namespace
}  // namespace faultkit

int main(int argc, char** argv) {
    using namespace faultkit;
    for (const Pair& pair : kPairs) {
        const bool iso8859_2 = pair.id == 3;
        const bool cp1252 = pair.id == 17;
        const std::string ascii = Repeat(cp1252 ? kEnglish + kEnglish + kWestern : kEnglish);
        const std::string mixed = Repeat(iso8859_2 ? kCentralEuropean
                                         : cp1252  ? kWestern
                                                   : kMultilingual);
        Register(pair, "ascii_heavy", ascii);
        Register(pair, "mixed_script", mixed);
        Register(pair, "random_mix", RandomMix(pair.id));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
