// The library's conversions against the plain reference loop, around the
// 16-, 32- and 64-byte blocks of the vector paths: runs at every offset and of
// every length, an unusual character at every position. Random text in
// every encoding and mode, destination sizes cutting it and streams included,
// is the text_conversion fuzz corpus's part; failing writes are the stream
// test's in text/convert. Each test runs at every vector level the machine
// has.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/reference_conversion.h"
#include "text/encoding/code_page_tables.h"
#include "text/encoding/page_byte_lookup.h"
#include "text/encoding/reverse_tables.h"
#include "text/simd/avx2/avx2_kernels.h"
#include "text/simd/avx512/avx512_kernels.h"
#include "text/simd/dispatch.h"

namespace faultkit {
namespace {

using std::string_literals::operator""s;
using Bytes = std::vector<uint8_t>;
using test::LibraryConvert;
using test::ReferenceConvert;

struct Result {
    uint64_t count = 0;
    ptrdiff_t src_end = -1;
    ptrdiff_t dst_end = -1;
    Bytes dst;
    auto Fields() const { return std::tie(count, src_end, dst_end, dst); }
};

// dst_size 0: counting.
Result Run(decltype(&ReferenceConvert) convert, bool to_utf8, EncodingId id, const Bytes& src,
           size_t len, size_t dst_size) {
    Result r;
    r.dst.assign(dst_size, 0x5A);
    const void* src_end = nullptr;
    void* dst_end = nullptr;
    r.count = convert(to_utf8, id, src.data(), len, dst_size != 0 ? r.dst.data() : nullptr,
                      dst_size, &src_end, &dst_end, 0x1A5);
    r.src_end = src_end ? static_cast<const uint8_t*>(src_end) - src.data() : -1;
    r.dst_end = dst_end ? static_cast<uint8_t*>(dst_end) - r.dst.data() : -1;
    return r;
}

struct Pair {
    bool to_utf8;
    EncodingId id;
};

void ExpectSame(const Pair& pair, const Bytes& src, size_t len, size_t dst_size) {
    ASSERT_EQ(Run(LibraryConvert, pair.to_utf8, pair.id, src, len, dst_size).Fields(),
              Run(ReferenceConvert, pair.to_utf8, pair.id, src, len, dst_size).Fields())
        << "len " << len << " size " << dst_size;
}

class ConversionEquivalence : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (UseVectorLevel(GetParam()) != GetParam()) {
            GTEST_SKIP() << "this machine lacks the vector level";
        }
    }
    void TearDown() override { UseVectorLevel(SupportedVectorLevel()); }
};

INSTANTIATE_TEST_SUITE_P(Levels, ConversionEquivalence, ::testing::Range(0, VectorLevelCount()),
                         [](const auto& info) { return std::string(VectorLevelName(info.param)); });

// The best level is the highest this machine has; each level has kernels of
// its own, so the tests below run each level's, not the best level's again.
TEST(VectorLevels, EachLevelHasKernelsOfItsOwn) {
#if defined(__SSE2__) || defined(_M_X64)
    EXPECT_EQ(SupportedVectorLevel(), avx512::Supported() ? 3 : avx2::Supported() ? 2 : 1);
#endif
    std::set<const BlockKernels*> seen;
    for (int level = 0; level <= SupportedVectorLevel(); ++level) {
        UseVectorLevel(level);
        EXPECT_TRUE(seen.insert(ActiveBlockKernels()).second) << VectorLevelName(level);
    }
    UseVectorLevel(SupportedVectorLevel());
}

// The longest block of any vector level: 64 source bytes with AVX-512.
constexpr int kLongestBlock = 64;

// The pairs with vector paths, both ways: UTF-16, UTF-32, pages 3 (ISO/IEC
// 8859-2), 12 (TIS-620: 3-byte UTF-8) and 17 (Windows-1252: 2 and 3 bytes).
const Pair kVectorPairs[] = {
    {false, kEncodingUtf16}, {false, kEncodingUtf32}, {false, 3}, {false, 12}, {false, 17},
    {true, kEncodingUtf16},  {true, kEncodingUtf32},  {true, 3},  {true, 12},  {true, 17}};

// ASCII, 2-, 3- and 4-byte UTF-8, characters of the page in play, a mix.
enum class Kind { kAscii, kTwo, kThree, kFour, kPage, kMix };

// Calls check(pair, kind, random) for every vector pair and kind.
template <typename Check>
void ForEachPairAndKind(unsigned seed, Check check) {
    std::mt19937 random(seed);
    for (const Pair& pair : kVectorPairs) {
        SCOPED_TRACE(std::to_string(pair.to_utf8) + " " + std::to_string(pair.id));
        for (int kind = 0; kind <= static_cast<int>(Kind::kMix); ++kind) {
            check(pair, static_cast<Kind>(kind), random);
        }
    }
}

// A code point of the kind; for a code-page source, a byte.
uint32_t Pick(std::mt19937& random, Kind kind, const Pair& pair) {
    auto in = [&](uint32_t low, uint32_t high) {
        return low + static_cast<uint32_t>(random() % (high - low + 1));
    };
    kind = kind == Kind::kMix ? static_cast<Kind>(random() % 5) : kind;
    if (IsCodePage(pair.id) && (pair.to_utf8 || kind == Kind::kPage)) {
        for (;;) {  // a byte, or for a page target the code point of a byte the page maps
            const uint32_t byte = kind == Kind::kAscii ? in(0x20, 0x7E) : in(0x80, 0xFF);
            const uint32_t cp = CodePageTableOf(pair.id)[byte];
            if (pair.to_utf8 || cp != kUnmappedCodePoint) {
                return pair.to_utf8 ? byte : cp;
            }
        }
    }
    switch (kind) {
        case Kind::kAscii: return in(0x20, 0x7E);
        case Kind::kTwo: return in(0x80, 0x7FF);
        case Kind::kThree: {
            const uint32_t cp = in(0x800, 0xFFFD);
            return cp >= 0xD800 && cp < 0xE000 ? cp - 0x800 : cp;
        }
        default: return in(0x10000, 0x10FFFF);
    }
}

// Runs of characters of the given kinds, in the source encoding of the pair.
Bytes Text(std::mt19937& random, const Pair& pair,
           std::initializer_list<std::pair<Kind, int>> runs) {
    const EncodingId source = pair.to_utf8 ? pair.id : kEncodingUtf8;
    Bytes text;
    for (const auto& [kind, count] : runs) {
        for (int i = 0; i < count; ++i) {
            const uint32_t cp = Pick(random, kind, pair);
            uint8_t encoded[8] = {static_cast<uint8_t>(cp)};
            void* end = encoded + 1;
            if (!IsCodePage(source)) {
                EncodeChar(source, cp, encoded, &end, 0);
            }
            text.insert(text.end(), encoded, static_cast<uint8_t*>(end));
        }
    }
    return text;
}

// Counting, a buffer with room for everything, and the NUL-terminated text
// (in whole 4-byte units and a zero unit).
void ExpectSameInTheUsualModes(const Pair& pair, Bytes text) {
    ExpectSame(pair, text, text.size(), 0);
    ExpectSame(pair, text, text.size(), 4 * text.size() + 8);
    const size_t size = text.size();
    text.resize((size + 3) / 4 * 4 + 4, 0);
    ExpectSame(pair, text, kNulTerminated, 4 * size + 12);
}

// Sequences the vector paths leave to the scalar code, in the pair's source
// encoding: invalid or cut, overlong, 5- and 6-byte, surrogate, beyond
// U+10FFFF, units without a short UTF-8 form or mapping, part of a unit.
// Each is written as words separated by spaces, a byte none holds.
std::vector<Bytes> UnusualSequences(const Pair& pair) {
    const EncodingId source = pair.to_utf8 ? pair.id : kEncodingUtf8;
    const std::string words =
        source == kEncodingUtf8
            ? "\x80 \xBF \xFE \xFF \xC0\x80 \xC1\xBF \xE0\x80\x80 \xED\xA0\x80 \xED\xBF\xBF "
              "\xEF\xBF\xBF \xF0\x80\x80\x80 \xF0\x8F\xBF\xBF \xF4\x8F\xBF\xBF \xF4\x90\x80\x80 "
              "\xF7\xBF\xBF\xBF \xF8\x88\x80\x80\x80 \xFC\x84\x80\x80\x80\x80 \xC3 \xE2\x82 "
              "\xF0\x9F\x98 \xC3\xC3 \x7F \0"s
        : IsCodePage(source) ? "\x7F \x80 \x81 \x9F \xA0 \xFF \0"s
        : source == kEncodingUtf16
            ? "\0\xD8 \xFF\xDB"
              "A\0 \0\xDC \xFF\xDF\0\xD8 \x3D\xD8\0\xDE \0\0 \x7F\0 \xFF\xFF A"s
            : "\0\0\1\0 \xFF\xFF\x10\0 \0\0\x11\0 \xFF\xFF\xFF\x7F \0\0\0\x80 "
              "\xFF\xFF\xFF\xFF \0\xD8\0\0 \0\0\0\0 A\0"s;
    std::vector<Bytes> out;
    std::istringstream stream(words);
    for (std::string word; stream >> word;) {
        out.emplace_back(word.begin(), word.end());
    }
    return out;
}

// Runs of a kind after ASCII characters reaching across the longest block
// and of up to 70 characters, within one block and across several; then all of them in
// one long text (long conversions take a code page's direct table), and
// that text with each unusual sequence past its first 4 KiB.
TEST_P(ConversionEquivalence, RunsAtEveryOffsetAndOfEveryLengthAcrossBlocks) {
    ForEachPairAndKind(7, [](const Pair& pair, Kind kind, std::mt19937& random) {
        Bytes all;
        const int ascii_bytes = MinCharBytes(pair.to_utf8 ? pair.id : kEncodingUtf8);
        for (int offset = 0; offset < kLongestBlock / ascii_bytes; ++offset) {
            for (int count = 1; count <= 70;
                 count += count > 20 ? (kind == Kind::kAscii ? 2 : 4) : 1) {
                const Bytes text =
                    Text(random, pair,
                         {{Kind::kAscii, offset}, {kind, count}, {Kind::kAscii, 17}, {kind, 3}});
                ExpectSameInTheUsualModes(pair, text);
                if (count <= 40 && count % 3 == 1) {
                    all.insert(all.end(), text.begin(), text.end());
                }
            }
        }
        ExpectSameInTheUsualModes(pair, all);
        for (const Bytes& unusual : UnusualSequences(pair)) {
            Bytes changed(all);
            const auto at = static_cast<ptrdiff_t>(4096 + random() % 64 * 4);
            changed.insert(changed.begin() + at, unusual.begin(), unusual.end());
            ExpectSameInTheUsualModes(pair, changed);
        }
    });
}

TEST_P(ConversionEquivalence, AnUnusualSequenceAtEveryPositionOfABlock) {
    ForEachPairAndKind(11, [](const Pair& pair, Kind kind, std::mt19937& random) {
        const Bytes text = Text(random, pair, {{kind, 40}});
        const size_t unit = MinCharBytes(pair.to_utf8 ? pair.id : kEncodingUtf8);
        for (const Bytes& unusual : UnusualSequences(pair)) {
            for (size_t at = 0; at <= std::min<size_t>(text.size(), kLongestBlock + 8);
                 at += unit) {
                Bytes changed(text);
                changed.insert(changed.begin() + static_cast<ptrdiff_t>(at), unusual.begin(),
                               unusual.end());
                ExpectSameInTheUsualModes(pair, changed);
                ExpectSame(pair, changed, at + unusual.size(), 0);  // the source ends after it
            }
        }
    });
}

// Each kernel takes a long text of characters it converts to within a block
// of its end. One that took nothing would pass the tests above: the scalar
// code converts the same bytes, only slower.
TEST_P(ConversionEquivalence, KernelsTakeLongTextsToWithinABlockOfTheEnd) {
    const BlockKernels* kernels = ActiveBlockKernels();
    if (kernels == nullptr) {
        GTEST_SKIP() << "the scalar level has no kernels";
    }
    std::string utf8;
    while (utf8.size() < 1000) {
        utf8 += "Příliš žluťoučký kůň. ";
    }
    for (const Pair& pair : kVectorPairs) {
        Bytes src(utf8.begin(), utf8.end()), dst(16 * utf8.size());
        void* end = src.data() + src.size();
        if (pair.to_utf8) {  // the source in the pair's encoding
            src.resize(4 * utf8.size());
            LibraryConvert(false, pair.id, utf8.data(), utf8.size(), src.data(), src.size(),
                           nullptr, &end, 0);
        }
        BlockCursor cursor{src.data(), static_cast<uint8_t*>(end), dst.data(),
                           dst.data() + dst.size(), false};
        const bool wide = pair.id == kEncodingUtf16;
        if (IsCodePage(pair.id)) {
            const PageByteLookup lookup(ProcessReverseTables().expanded[pair.id], '?', true);
            pair.to_utf8 ? kernels->code_page_to_utf8(cursor, CodePageTableOf(pair.id))
                         : kernels->utf8_to_code_page(cursor, lookup);
        } else {
            (pair.to_utf8 ? (wide ? kernels->utf16_to_utf8 : kernels->utf32_to_utf8)
                          : (wide ? kernels->utf8_to_utf16 : kernels->utf8_to_utf32))(cursor);
        }
        EXPECT_LT(cursor.src_end - cursor.src, kLongestBlock) << pair.to_utf8 << " " << pair.id;
    }
}

}  // namespace
}  // namespace faultkit
