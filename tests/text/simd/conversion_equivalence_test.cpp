// The library's conversions against the plain one-character-at-a-time
// reference loop, systematically around the 16-byte blocks of the vector
// paths (every offset of a run from a block start, run lengths across one to
// three blocks, an unusual character at every position, destination sizes
// that cut at every position, long runs through the stream's stages, with
// failing writes). Random text in every encoding and mode is the
// text_conversion fuzz corpus's part. Each test runs at every vector level
// the machine has: scalar only, SSE2, AVX2, AVX-512.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/recording_stream.h"
#include "support/reference_conversion.h"
#include "text/convert/encoding_conversion.h"
#include "text/encoding/character_coders.h"
#include "text/encoding/code_page_tables.h"
#include "text/simd/dispatch.h"

namespace faultkit {
namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
    uint64_t count = 0;
    ptrdiff_t src_end = -1;
    ptrdiff_t dst_end = -1;
    Bytes dst;
    test::RecordingStream stream;
};

using ConvertFn = uint64_t (*)(bool, EncodingId, const void*, size_t, void*, size_t, const void**,
                               void**, int32_t);

uint64_t Library(bool to_utf8, EncodingId id, const void* src, size_t len, void* dst, size_t size,
                 const void** src_end, void** dst_end, int32_t replacement) {
    if (to_utf8) {
        return ConvertToUtf8(id, src, len, dst, size, src_end, dst_end);
    }
    const char* end = nullptr;
    const uint64_t count =
        ConvertFromUtf8(id, static_cast<const char*>(src), len, dst, size,
                        src_end != nullptr ? &end : nullptr, dst_end, replacement);
    if (end != nullptr) {
        *src_end = end;
    }
    return count;
}

// dst_size 0: counting, or stream when `stream` is set (failing the given
// writes where writes can be observed; then into a temporary file).
Result Run(ConvertFn convert, bool to_utf8, EncodingId id, const Bytes& src, size_t len,
           size_t dst_size, bool stream, const std::set<size_t>& failing) {
    Result r;
    r.dst.assign(dst_size, 0x5A);
    r.stream.failing = failing;
    FILE* file = nullptr;
    if (stream) {
        file = test::OpenRecordingStream(&r.stream);
        if (file == nullptr) {
            file = test::OpenScratchFile();
        }
    }
    void* dst = stream ? static_cast<void*>(file) : dst_size != 0 ? r.dst.data() : nullptr;
    const void* src_end = nullptr;
    void* dst_end = nullptr;
    r.count = convert(to_utf8, id, src.data(), len, dst, dst_size, &src_end, &dst_end, 0x1A5);
    if (src_end != nullptr) {
        r.src_end = static_cast<const uint8_t*>(src_end) - src.data();
    }
    if (dst_end != nullptr) {
        r.dst_end = static_cast<uint8_t*>(dst_end) - r.dst.data();
    }
    if (file != nullptr) {
        std::rewind(file);
        int c = 0;
        while ((c = std::fgetc(file)) != EOF) {
            r.stream.data.push_back(static_cast<char>(c));
        }
        std::fclose(file);
    }
    return r;
}

void ExpectSame(bool to_utf8, EncodingId id, const Bytes& src, size_t len, size_t dst_size,
                bool stream, const std::set<size_t>& failing) {
    const Result expected =
        Run(test::ReferenceConvert, to_utf8, id, src, len, dst_size, stream, failing);
    const Result actual = Run(Library, to_utf8, id, src, len, dst_size, stream, failing);
    const std::string where = "to_utf8 " + std::to_string(to_utf8) + " id " + std::to_string(id) +
                              " len " + std::to_string(len) + " size " + std::to_string(dst_size) +
                              " stream " + std::to_string(stream);
    ASSERT_EQ(actual.count, expected.count) << where;
    ASSERT_EQ(actual.src_end, expected.src_end) << where;
    ASSERT_EQ(actual.dst_end, expected.dst_end) << where;
    ASSERT_EQ(actual.dst, expected.dst) << where;
    ASSERT_EQ(actual.stream.writes, expected.stream.writes) << where;
    ASSERT_EQ(actual.stream.data, expected.stream.data) << where;
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

std::string LevelName(const ::testing::TestParamInfo<int>& info) {
    return VectorLevelName(info.param);
}

INSTANTIATE_TEST_SUITE_P(Levels, ConversionEquivalence, ::testing::Range(0, VectorLevelCount()),
                         LevelName);

// The longest block of any vector level: 64 source bytes with AVX-512.
constexpr int kLongestBlock = 64;

// The pairs that have vector paths: from UTF-8 to the id, or to UTF-8
// from it. Pages 3 (ISO/IEC 8859-2) and 12 (TIS-620: 3-byte UTF-8) and
// 17 (Windows-1252: 2- and 3-byte UTF-8).
struct Pair {
    bool to_utf8;
    EncodingId id;
};
const Pair kVectorPairs[] = {
    {false, kEncodingUtf16}, {false, kEncodingUtf32}, {false, 3}, {false, 12}, {false, 17},
    {true, kEncodingUtf16},  {true, kEncodingUtf32},  {true, 3},  {true, 12},  {true, 17}};

// Kinds of characters: ASCII, 2-, 3- and 4-byte UTF-8, characters of the
// code page in play, and a random mix of all.
enum class Kind { kAscii, kTwo, kThree, kFour, kPage, kMix };
const Kind kKinds[] = {Kind::kAscii, Kind::kTwo,  Kind::kThree,
                       Kind::kFour,  Kind::kPage, Kind::kMix};

// Calls check(pair, kind, random) for every vector pair and kind of
// character, with a generator seeded with `seed`.
template <typename Check>
void ForEachPairAndKind(unsigned seed, Check check) {
    std::mt19937 random(seed);
    for (const Pair& pair : kVectorPairs) {
        SCOPED_TRACE(std::string(pair.to_utf8 ? "to UTF-8 from " : "from UTF-8 to ") +
                     std::to_string(pair.id));
        for (const Kind kind : kKinds) {
            check(pair, kind, random);
        }
    }
}

// A code point of the kind; for a code-page source, a byte.
uint32_t Pick(std::mt19937& random, Kind kind, const Pair& pair) {
    auto in = [&](uint32_t low, uint32_t high) {
        return low + static_cast<uint32_t>(random() % (high - low + 1));
    };
    if (kind == Kind::kMix) {
        kind = kKinds[random() % 5];
    }
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

// Appends cp in the source encoding of the pair.
void Append(Bytes& text, const Pair& pair, uint32_t cp) {
    const EncodingId source = pair.to_utf8 ? pair.id : kEncodingUtf8;
    if (IsCodePage(source)) {
        text.push_back(static_cast<uint8_t>(cp));
        return;
    }
    uint8_t encoded[8];
    void* end = nullptr;
    EncodeChar(source, cp, encoded, &end, 0);
    text.insert(text.end(), encoded, static_cast<uint8_t*>(end));
}

Bytes Text(std::mt19937& random, const Pair& pair,
           std::initializer_list<std::pair<Kind, int>> runs) {
    Bytes text;
    for (const auto& [kind, count] : runs) {
        for (int i = 0; i < count; ++i) {
            Append(text, pair, Pick(random, kind, pair));
        }
    }
    return text;
}

// The text in whole 4-byte units with a zero unit after it, for the
// NUL-terminated variant.
Bytes Terminated(Bytes text) {
    text.resize((text.size() + 3) / 4 * 4 + 4, 0);
    return text;
}

// Counting, a buffer with room for everything, and the NUL-terminated text.
void ExpectSameInTheUsualModes(const Pair& pair, const Bytes& text) {
    ExpectSame(pair.to_utf8, pair.id, text, text.size(), 0, false, {});
    ExpectSame(pair.to_utf8, pair.id, text, text.size(), 4 * text.size() + 8, false, {});
    ExpectSame(pair.to_utf8, pair.id, Terminated(text), kNulTerminated, 4 * text.size() + 12, false,
               {});
}

TEST_P(ConversionEquivalence, RunsAtEveryOffsetAndOfEveryLengthAcrossBlocks) {
    ForEachPairAndKind(7, [](const Pair& pair, Kind kind, std::mt19937& random) {
        // Blocks are 16 bytes with SSE2, 32 with AVX2, 64 with AVX-512 (UTF-8
        // sources); the offsets of ASCII characters of the source that
        // reach across the longest.
        const int ascii_bytes = MinCharBytes(pair.to_utf8 ? pair.id : kEncodingUtf8);
        for (int offset = 0; offset < kLongestBlock / ascii_bytes; ++offset) {
            // Up to 70 characters of the kind: within one block, across
            // one, two and more block boundaries.
            for (int count = 1; count <= 70; ++count) {
                ExpectSameInTheUsualModes(
                    pair,
                    Text(random, pair,
                         {{Kind::kAscii, offset}, {kind, count}, {Kind::kAscii, 17}, {kind, 3}}));
                if (count > 20) {
                    count += kind == Kind::kAscii ? 1 : 3;  // the longer runs more sparsely
                }
            }
        }
    });
}

// Sequences that the vector paths leave to the scalar code, in the source
// encoding of the pair: invalid or cut, overlong, 5- and 6-byte, surrogate,
// beyond U+10FFFF, and units without a short UTF-8 form or mapping.
std::vector<Bytes> UnusualSequences(const Pair& pair) {
    const EncodingId source = pair.to_utf8 ? pair.id : kEncodingUtf8;
    if (source == kEncodingUtf8) {
        // Separated by spaces, a byte that none of them holds.
        std::istringstream words(
            "\x80 \xBF \xFE \xFF \xC0\x80 \xC1\xBF \xE0\x80\x80 \xED\xA0\x80 \xED\xBF\xBF "
            "\xEF\xBF\xBF \xF0\x80\x80\x80 \xF0\x8F\xBF\xBF \xF4\x8F\xBF\xBF \xF4\x90\x80\x80 "
            "\xF7\xBF\xBF\xBF \xF8\x88\x80\x80\x80 \xFC\x84\x80\x80\x80\x80 \xC3 \xE2\x82 "
            "\xF0\x9F\x98 \xC3\xC3 \x7F");
        std::vector<Bytes> out{{0x00}};
        for (std::string word; words >> word;) {
            out.emplace_back(word.begin(), word.end());
        }
        return out;
    }
    auto units = [&](std::initializer_list<uint32_t> values) {
        Bytes out;
        for (const uint32_t value : values) {
            uint8_t unit[4];
            std::memcpy(unit, &value, 4);
            out.insert(out.end(), unit, unit + (source == kEncodingUtf16 ? 2 : 4));
        }
        return out;
    };
    if (source == kEncodingUtf16) {
        return {units({0xD800}),         units({0xDBFF, 0x41}),   units({0xDC00}),
                units({0xDFFF, 0xD800}), units({0xD83D, 0xDE00}), units({0}),
                units({0x7F}),           units({0xFFFF}),         {0x41}};
    }
    if (source == kEncodingUtf32) {
        return {units({0x10000}),    units({0x10FFFF}),   units({0x110000}),
                units({0x7FFFFFFF}), units({0x80000000}), units({0xFFFFFFFF}),
                units({0xD800}),     units({0}),          {0x41, 0}};
    }
    return {{0x7F}, {0x80}, {0x81}, {0x9F}, {0xA0}, {0xFF}, {0x00}};
}

TEST_P(ConversionEquivalence, AnUnusualSequenceAtEveryPositionOfABlock) {
    ForEachPairAndKind(11, [](const Pair& pair, Kind kind, std::mt19937& random) {
        const Bytes text = Text(random, pair, {{kind, 40}});
        for (const Bytes& unusual : UnusualSequences(pair)) {
            const size_t unit = MinCharBytes(pair.to_utf8 ? pair.id : kEncodingUtf8);
            for (size_t at = 0; at <= std::min<size_t>(text.size(), kLongestBlock + 8);
                 at += unit) {
                Bytes changed(text.begin(), text.begin() + static_cast<ptrdiff_t>(at));
                changed.insert(changed.end(), unusual.begin(), unusual.end());
                changed.insert(changed.end(), text.begin() + static_cast<ptrdiff_t>(at),
                               text.end());
                ExpectSameInTheUsualModes(pair, changed);
                // Cut short by the source end just after it.
                ExpectSame(pair.to_utf8, pair.id, changed, at + unusual.size(), 0, false, {});
            }
        }
    });
}

// Texts long enough for the ways taken only by long conversions (a code
// page's direct table): all the runs of a kind at every offset in one text,
// and that text with each unusual sequence somewhere past its first 4 KiB.
TEST_P(ConversionEquivalence, LongTextsOfAllRuns) {
    ForEachPairAndKind(19, [](const Pair& pair, Kind kind, std::mt19937& random) {
        Bytes text;
        for (int offset = 0; offset < 32; ++offset) {
            for (int count = 1; count <= 40; count += 3) {
                const Bytes run = Text(random, pair, {{Kind::kAscii, offset}, {kind, count}});
                text.insert(text.end(), run.begin(), run.end());
            }
        }
        ExpectSameInTheUsualModes(pair, text);
        for (const Bytes& unusual : UnusualSequences(pair)) {
            Bytes changed(text);
            const auto at = static_cast<ptrdiff_t>(4096 + random() % 64 * 4);
            changed.insert(changed.begin() + at, unusual.begin(), unusual.end());
            ExpectSameInTheUsualModes(pair, changed);
        }
    });
}

TEST_P(ConversionEquivalence, DestinationSizesThatCutAtEveryPosition) {
    ForEachPairAndKind(13, [](const Pair& pair, Kind kind, std::mt19937& random) {
        for (int offset = 0; offset < 4; ++offset) {
            const Bytes text =
                Text(random, pair, {{Kind::kAscii, offset}, {kind, 30}, {Kind::kMix, 20}});
            for (size_t size = 1; size <= 4 * text.size() + 8; ++size) {
                ExpectSame(pair.to_utf8, pair.id, text, text.size(), size, false, {});
            }
        }
    });
}

TEST_P(ConversionEquivalence, LongRunsThroughTheStreamStages) {
    ForEachPairAndKind(17, [](const Pair& pair, Kind kind, std::mt19937& random) {
        const Bytes text = Text(random, pair, {{kind, 2000}, {Kind::kMix, 1500}, {kind, 2500}});
        for (const std::set<size_t>& failing : {std::set<size_t>{}, {0}, {1, 2}}) {
            ExpectSame(pair.to_utf8, pair.id, text, text.size(), 0, true, failing);
            ExpectSame(pair.to_utf8, pair.id, Terminated(text), kNulTerminated, 0, true, failing);
        }
        ExpectSame(pair.to_utf8, pair.id, text, text.size(), 0, false, {});
    });
}

}  // namespace
}  // namespace faultkit
