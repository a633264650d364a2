// The tool's streaming converter against the library's one-shot conversion:
// whatever the blocks the input arrives in, the output is the one-shot
// conversion of the valid prefix, and the reported offset is that of the
// first character that cannot be converted.
#include "stream_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "text/convert/encoding_conversion.h"
#include "text/encoding/utf8.h"

namespace faultkit::cli {
namespace {

using Bytes = std::vector<uint8_t>;

// The library's one-shot conversion of a whole text, through UTF-8 where
// neither side is UTF-8, as the tool composes it. `ok` is false when the
// engine refused a character; `consumed` is where it stopped otherwise.
struct OneShot {
    bool ok = false;
    size_t consumed = 0;
    Bytes output;
};

OneShot Step(EncodingId from, EncodingId to, const Bytes& src, int32_t replacement) {
    OneShot result;
    if (src.empty()) {
        result.ok = true;  // the engine refuses a null source, which data() may be
        return result;
    }
    result.output.resize(src.size() * 4 + 16);
    const void* end = nullptr;
    const char* utf8_end = nullptr;
    void* written = result.output.data();
    const char* text = reinterpret_cast<const char*>(src.data());
    if (from == kEncodingUtf8) {
        ConvertFromUtf8(to, text, src.size(), result.output.data(), result.output.size(), &utf8_end,
                        &written, replacement);
        end = utf8_end;
    } else {
        ConvertToUtf8(from, src.data(), src.size(), result.output.data(), result.output.size(),
                      &end, &written);
    }
    result.ok = end != nullptr;
    if (result.ok) {
        result.consumed = static_cast<size_t>(static_cast<const uint8_t*>(end) - src.data());
        result.output.resize(
            static_cast<size_t>(static_cast<uint8_t*>(written) - result.output.data()));
    }
    return result;
}

OneShot Library(const ConversionSettings& s, const Bytes& src) {
    if ((s.from == kEncodingUtf8) != (s.to == kEncodingUtf8)) {
        return Step(s.from, s.to, src, s.replacement);
    }
    const EncodingId middle = s.from == kEncodingUtf8 ? kEncodingUtf32 : kEncodingUtf8;
    OneShot first = s.from == kEncodingUtf8 ? Step(s.from, middle, src, 0)
                                            : Step(s.from, kEncodingUtf8, src, 0);
    if (!first.ok) {
        return first;
    }
    OneShot second = Step(middle, s.to, first.output, s.replacement);
    second.consumed = first.consumed;
    return second;
}

Bytes Prefix(const Bytes& src, size_t length) {
    return Bytes(src.begin(), src.begin() + static_cast<ptrdiff_t>(length));
}

// True when a code page lacks cp: converting it with two replacement bytes
// gives two different bytes.
bool CodePageLacks(EncodingId page, uint32_t cp) {
    char utf8[8];
    const int n = Utf8EncodeChar(static_cast<int32_t>(cp), utf8, nullptr);
    uint8_t a = 0;
    uint8_t b = 0;
    ConvertFromUtf8(page, utf8, static_cast<size_t>(n), &a, 1, nullptr, nullptr, 1);
    ConvertFromUtf8(page, utf8, static_cast<size_t>(n), &b, 1, nullptr, nullptr, 2);
    return a != b;
}

struct Streamed {
    Bytes output;
    bool finished = false;
    Stop stop;
};

// Feeds `src` in blocks whose sizes `next_size` picks.
template <typename NextSize>
Streamed Stream(const ConversionSettings& settings, size_t block, const Bytes& src,
                NextSize&& next_size) {
    StreamConverter converter;
    EXPECT_TRUE(converter.Open(settings, block));
    Streamed result;
    size_t at = 0;
    bool going = true;
    while (going) {
        const size_t size = std::min({next_size(), converter.InputRoom(), src.size() - at});
        if (size == 0) {
            going = converter.Finish();
            result.finished = going;
        } else {
            std::copy_n(src.begin() + static_cast<ptrdiff_t>(at), size, converter.InputSpace());
            at += size;
            going = converter.Convert(size);
        }
        result.output.insert(result.output.end(), converter.Output(),
                             converter.Output() + converter.OutputSize());
        if (size == 0) {
            break;
        }
    }
    result.stop = converter.stop();
    return result;
}

Streamed StreamInBlocksOf(const ConversionSettings& settings, const Bytes& src, size_t size) {
    return Stream(settings, 64 * 1024, src, [size] { return size; });
}

// Random text: mostly valid characters of every width in `id`, with now
// and then a random byte, a surrogate, a value above U+10FFFF or a cut.
Bytes RandomText(std::mt19937& random, EncodingId id, size_t characters) {
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    std::string utf8;
    for (size_t i = 0; i < characters; ++i) {
        uint32_t cp = 0x20 + pick(0x5F);
        switch (pick(10)) {
            case 0: cp = 0x80 + pick(0x180); break;
            case 1: cp = 0x370 + pick(0x100); break;
            case 2: cp = 0x800 + pick(0xF7FF); break;
            case 3: cp = 0x10000 + pick(0x100000); break;
            default: break;
        }
        if (pick(150) == 0) {
            cp = pick(2) == 0 ? 0xD800 + pick(0x800) : 0x110000 + pick(0x1000000);
        }
        char encoded[8];
        utf8.append(encoded, static_cast<size_t>(
                                 Utf8EncodeChar(static_cast<int32_t>(cp), encoded, nullptr)));
    }
    Bytes text(utf8.begin(), utf8.end());
    if (id != kEncodingUtf8) {
        ConversionSettings settings;
        settings.to = id;
        text = Library(settings, text).output;  // a failed step leaves it empty
    }
    if (!text.empty() && pick(3) == 0) {
        text[pick(static_cast<uint32_t>(text.size()))] = static_cast<uint8_t>(random());
    }
    if (!text.empty() && pick(4) == 0) {
        text.resize(text.size() - pick(std::min<uint32_t>(4, static_cast<uint32_t>(text.size()))));
    }
    return text;
}

// The checks that make the converter's stop right, from the engine alone.
void ExpectStopIsFirstBadCharacter(const ConversionSettings& settings, const Bytes& src,
                                   const Stop& stop) {
    const size_t offset = static_cast<size_t>(stop.offset);
    ASSERT_LE(offset, src.size());
    const OneShot before = Library(settings, Prefix(src, offset));
    ASSERT_TRUE(before.ok);
    EXPECT_EQ(before.consumed, offset) << "the text before the stop converts whole";
    if (stop.reason == StopReason::kIncomplete) {
        const OneShot all = Library(settings, src);
        EXPECT_TRUE(all.ok);
        EXPECT_EQ(all.consumed, offset) << "the engine stops at the same cut character";
        return;
    }
    const bool strict_only = stop.reason == StopReason::kUnmapped ||
                             stop.reason == StopReason::kUnmappedByte ||
                             stop.reason == StopReason::kRefusedCodePoint;
    EXPECT_TRUE(settings.strict || !strict_only);
    // Unless only --strict refuses it, no prefix that ends inside or after
    // the stopped character gets past it, and one is refused.
    bool refused = false;
    for (size_t end = offset + 1; !strict_only && end <= std::min(src.size(), offset + 6); ++end) {
        const OneShot longer = Library(settings, Prefix(src, end));
        EXPECT_TRUE(!longer.ok || longer.consumed == offset) << "end " << end;
        refused = refused || !longer.ok;
    }
    EXPECT_EQ(refused, !strict_only);
    if (stop.reason == StopReason::kUnmapped) {
        EXPECT_TRUE(CodePageLacks(settings.to, stop.code_point));
    }
    if (stop.reason == StopReason::kRefusedCodePoint) {
        EXPECT_TRUE((stop.code_point >= 0xD800 && stop.code_point <= 0xDFFF) ||
                    stop.code_point > 0x10FFFF);
    }
}

TEST(StreamConverter, MatchesTheOneShotConversionOfTheValidPrefixForEveryBlocking) {
    const EncodingId kIds[] = {kEncodingUtf8, kEncodingUtf16, kEncodingUtf32, 1, 2, 3, 8, 17};
    std::mt19937 random(20261206);
    int seen[static_cast<int>(StopReason::kIncomplete) + 1] = {};
    for (int trial = 0; trial < 3000; ++trial) {
        ConversionSettings settings;
        settings.from = kIds[random() % 8];
        settings.to = kIds[random() % 8];
        settings.strict = random() % 3 == 0;
        settings.replacement = random() % 2 == 0 ? 0 : '*';
        const Bytes src = RandomText(random, settings.from, 1 + random() % 300);
        const size_t block = 1 + random() % 64;
        const size_t largest = 1 + random() % (random() % 2 == 0 ? 8 : 200);
        const Streamed streamed =
            Stream(settings, block, src, [&] { return 1 + random() % largest; });
        SCOPED_TRACE(testing::Message()
                     << "trial " << trial << " from " << settings.from << " to " << settings.to
                     << " strict " << settings.strict << " block " << block);
        const size_t valid = streamed.finished ? src.size() : streamed.stop.offset;
        const OneShot expected = Library(settings, Prefix(src, valid));
        ASSERT_TRUE(expected.ok) << "valid " << valid << " reason "
                                 << static_cast<int>(streamed.stop.reason) << " of "
                                 << testing::PrintToString(src);
        EXPECT_EQ(streamed.output, expected.output);
        ++seen[static_cast<int>(streamed.stop.reason)];
        if (!streamed.finished) {
            ExpectStopIsFirstBadCharacter(settings, src, streamed.stop);
        } else if (!settings.strict) {
            const OneShot whole = Library(settings, src);
            EXPECT_TRUE(whole.ok && whole.consumed == src.size());
        }
    }
    for (const int count : seen) {
        EXPECT_GT(count, 10) << "every way of stopping, and finishing, is tried";
    }
}

TEST(StreamConverter, WritesEverythingBeforeAnInvalidByteWhateverTheBlocks) {
    ConversionSettings settings;
    settings.to = kEncodingUtf16;
    Bytes src(100000, 'a');
    src.push_back(0xFF);
    for (const size_t size : {size_t{1}, size_t{7}, size_t{4096}, size_t{65536}}) {
        const Streamed streamed = StreamInBlocksOf(settings, src, size);
        EXPECT_EQ(streamed.output.size(), 200000u) << "blocks of " << size;
        EXPECT_EQ(streamed.stop.reason, StopReason::kInvalid);
        EXPECT_EQ(streamed.stop.offset, 100000u);
    }
}

// Short texts fed in blocks of 1, 2 and 64 bytes: the output, and where and
// why the conversion stops (kNone: it finishes). What only strict mode
// refuses is substituted without it.
TEST(StreamConverter, KnownTextsStopAtTheirFirstBadCharacter) {
    struct Case {
        EncodingId from, to;
        bool strict;
        Bytes src, output;
        StopReason reason;
        uint64_t offset;
        uint32_t code_point;  // 0: not checked
    };
    constexpr EncodingId U8 = kEncodingUtf8, U16 = kEncodingUtf16, U32 = kEncodingUtf32;
    using R = StopReason;
    const Case cases[] = {
        // A character cut between blocks is carried; one cut at the end is reported.
        {U8, U32, false, {0xE2, 0x82, 0xAC}, {0xAC, 0x20, 0, 0}, R::kNone, 0, 0},
        {U8, U32, false, {'x', 0xE2, 0x82}, {'x', 0, 0, 0}, R::kIncomplete, 1, 0},
        {U8, U16, false, {'a', 'b', 0xFF, 'c'}, {'a', 0, 'b', 0}, R::kInvalid, 2, 0},
        {U8, U16, false, {'a', 0xF4, 0x90, 0x80, 0x80}, {'a', 0}, R::kNoForm, 1, 0x110000},
        {U8, 2, true, {'a', 0xE2, 0x82, 0xAC}, {'a'}, R::kUnmapped, 1, 0x20AC},
        {U8, 1, true, {'a', 0xC3, 0xA9}, {'a'}, R::kUnmapped, 1, 0xE9},
        {U8, U16, true, {'a', 0xED, 0xA0, 0x80}, {'a', 0}, R::kRefusedCodePoint, 1, 0xD800},
        {U8, U8, true, {'a', 0xF4, 0x90, 0x80, 0x80}, {'a'}, R::kRefusedCodePoint, 1, 0x110000},
        {1, U8, true, {'a', 0x80}, {'a'}, R::kUnmappedByte, 1, 0xFFFF},
    };
    for (const Case& c : cases) {
        ConversionSettings settings;
        settings.from = c.from;
        settings.to = c.to;
        settings.strict = c.strict;
        for (const size_t block : {size_t{1}, size_t{2}, size_t{64}}) {
            const Streamed streamed = StreamInBlocksOf(settings, c.src, block);
            SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << ", blocks of " << block);
            EXPECT_EQ(streamed.output, c.output);
            EXPECT_EQ(streamed.finished, c.reason == StopReason::kNone);
            if (!streamed.finished) {
                EXPECT_EQ(streamed.stop.reason, c.reason);
                EXPECT_EQ(streamed.stop.offset, c.offset);
                EXPECT_TRUE(c.code_point == 0 || streamed.stop.code_point == c.code_point);
            }
        }
        settings.strict = false;
        EXPECT_TRUE(!c.strict || StreamInBlocksOf(settings, c.src, 1).finished);
    }
}

}  // namespace
}  // namespace faultkit::cli
