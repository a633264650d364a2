#include "text/convert/encoding_conversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace faultkit {
namespace {

std::vector<uint8_t> Utf16(std::initializer_list<uint16_t> units) {
    std::vector<uint8_t> bytes(units.size() * 2);
    std::memcpy(bytes.data(), units.begin(), bytes.size());
    return bytes;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    return std::vector<uint8_t>(values.begin(), values.end());
}

// A buffer-mode conversion into a buffer of `size` bytes that starts out
// filled with 0xEE, so that bytes written beyond the result show.
struct BufferRun {
    uint64_t result = 0;
    std::vector<uint8_t> dst;
    ptrdiff_t src_end = -1;  // offsets; -1 when the pointer was not written
    ptrdiff_t dst_end = -1;
};

BufferRun ToUtf8(EncodingId id, const std::vector<uint8_t>& src, size_t len, size_t size) {
    BufferRun run;
    run.dst.assign(size, 0xEE);
    const void* src_end = nullptr;
    void* dst_end = nullptr;
    run.result = ConvertToUtf8(id, src.data(), len, run.dst.data(), size, &src_end, &dst_end);
    if (src_end != nullptr) {
        run.src_end = static_cast<const uint8_t*>(src_end) - src.data();
    }
    if (dst_end != nullptr) {
        run.dst_end = static_cast<uint8_t*>(dst_end) - run.dst.data();
    }
    return run;
}

BufferRun FromUtf8(EncodingId id, const std::vector<uint8_t>& src, size_t len, size_t size,
                   int32_t replacement = 0) {
    BufferRun run;
    run.dst.assign(size, 0xEE);
    const char* src_end = nullptr;
    void* dst_end = nullptr;
    const auto* text = reinterpret_cast<const char*>(src.data());
    run.result = ConvertFromUtf8(id, text, len, run.dst.data(), size, &src_end, &dst_end, replacement);
    if (src_end != nullptr) {
        run.src_end = src_end - text;
    }
    if (dst_end != nullptr) {
        run.dst_end = static_cast<uint8_t*>(dst_end) - run.dst.data();
    }
    return run;
}

std::vector<uint8_t> Prefix(const BufferRun& run) {
    return std::vector<uint8_t>(run.dst.begin(), run.dst.begin() + static_cast<ptrdiff_t>(run.result));
}

TEST(ConvertToUtf8, WorkedExampleInEveryBufferSize) {
    const std::vector<uint8_t> src = Utf16({0x0041, 0x00E9, 0x0000});
    EXPECT_EQ(ConvertToUtf8(kEncodingUtf16, src.data(), kNulTerminated, nullptr, 0, nullptr, nullptr), 4u);
    BufferRun run = ToUtf8(kEncodingUtf16, src, kNulTerminated, 4);
    EXPECT_EQ(run.result, 4u);
    EXPECT_EQ(run.dst, Bytes({0x41, 0xC3, 0xA9, 0x00}));
    EXPECT_EQ(run.src_end, 6);
    EXPECT_EQ(run.dst_end, 4);
    run = ToUtf8(kEncodingUtf16, src, kNulTerminated, 3);
    EXPECT_EQ(run.result, 3u);
    EXPECT_EQ(run.dst, Bytes({0x41, 0xC3, 0xA9}));
    EXPECT_EQ(run.src_end, 4);  // at the terminator
    run = ToUtf8(kEncodingUtf16, src, kNulTerminated, 2);
    EXPECT_EQ(run.result, 1u);
    EXPECT_EQ(run.dst, Bytes({0x41, 0xEE}));
    EXPECT_EQ(run.src_end, 2);  // at U+00E9, which did not fit
    EXPECT_EQ(run.dst_end, 1);
}

TEST(ConvertToUtf8, SurrogatesOddLengthsAndUnmappedBytes) {
    EXPECT_EQ(Prefix(ToUtf8(kEncodingUtf16, Utf16({0xD83D, 0xDE00}), 4, 16)),
              Bytes({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(Prefix(ToUtf8(kEncodingUtf16, Utf16({0xDC00}), 2, 16)), Bytes({0xED, 0xB0, 0x80}));
    const BufferRun unpaired = ToUtf8(kEncodingUtf16, Utf16({0x0042, 0xD83D, 0x0041}), 6, 16);
    EXPECT_EQ(unpaired.result, 0u);
    EXPECT_EQ(unpaired.src_end, -1);
    EXPECT_EQ(unpaired.dst[0], 0x42);  // what was written before stays

    // An odd length stops before the half unit; a cut pair likewise.
    BufferRun odd = ToUtf8(kEncodingUtf16, Utf16({0x0041, 0x0042}), 3, 16);
    EXPECT_EQ(Prefix(odd), Bytes({0x41}));
    EXPECT_EQ(odd.src_end, 2);
    odd = ToUtf8(kEncodingUtf16, Utf16({0x0041, 0xD83D, 0xDE00}), 4, 16);
    EXPECT_EQ(Prefix(odd), Bytes({0x41}));
    EXPECT_EQ(odd.src_end, 2);
    odd = ToUtf8(kEncodingUtf32, Bytes({0x41, 0, 0, 0, 0x42, 0}), 6, 16);
    EXPECT_EQ(Prefix(odd), Bytes({0x41}));
    EXPECT_EQ(odd.src_end, 4);

    EXPECT_EQ(Prefix(ToUtf8(1, Bytes({0x80}), 1, 8)), Bytes({0xEF, 0xBF, 0xBF}));
    EXPECT_EQ(Prefix(ToUtf8(16, Bytes({0x7F}), 1, 8)), Bytes({0x7F}));
    EXPECT_EQ(Prefix(ToUtf8(2, Bytes({0x7F}), 1, 8)), Bytes({0xEF, 0xBF, 0xBF}));
    // With an explicit length a NUL is an ordinary character.
    const BufferRun nul = ToUtf8(17, Bytes({0x80, 0x00, 0x41}), 3, 8);
    EXPECT_EQ(Prefix(nul), Bytes({0xE2, 0x82, 0xAC, 0x00, 0x41}));
    EXPECT_EQ(nul.src_end, 3);
    // A UTF-32 unit beyond 31 bits has no UTF-8 form.
    EXPECT_EQ(ToUtf8(kEncodingUtf32, Bytes({0, 0, 0, 0x80}), 4, 8).result, 0u);
}

TEST(ConvertFromUtf8, CountsTheTerminatorInEveryTarget) {
    const std::vector<uint8_t> src = Bytes({0x41, 0xC3, 0xA9, 0x00});
    const char* text = reinterpret_cast<const char*>(src.data());
    EXPECT_EQ(ConvertFromUtf8(kEncodingUtf16, text, kNulTerminated, nullptr, 0, nullptr, nullptr, 0), 6u);
    EXPECT_EQ(ConvertFromUtf8(kEncodingUtf32, text, kNulTerminated, nullptr, 0, nullptr, nullptr, 0), 12u);
    const BufferRun run = FromUtf8(2, src, kNulTerminated, 8);
    EXPECT_EQ(Prefix(run), Bytes({0x41, 0xE9, 0x00}));
    EXPECT_EQ(run.src_end, 4);  // one past the terminator
    EXPECT_EQ(run.dst_end, 3);
    EXPECT_EQ(run.dst[3], 0xEE);
}

TEST(ConvertFromUtf8, ReplacementBytesAndStops) {
    EXPECT_EQ(Prefix(FromUtf8(1, Bytes({0xC3, 0xA9}), 2, 4)), Bytes({'?'}));
    EXPECT_EQ(Prefix(FromUtf8(17, Bytes({0xE2, 0x82, 0xAC}), 3, 4)), Bytes({0x80}));
    EXPECT_EQ(Prefix(FromUtf8(2, Bytes({0xF0, 0x9F, 0x98, 0x80, 0x41}), 5, 4, '*')),
              Bytes({'*', 0x41}));
    EXPECT_EQ(Prefix(FromUtf8(12, Bytes({0xE0, 0xB8, 0x81}), 3, 4)), Bytes({0xA1}));

    const BufferRun stray = FromUtf8(kEncodingUtf16, Bytes({0x41, 0x80}), 2, 8);
    EXPECT_EQ(stray.result, 0u);
    EXPECT_EQ(stray.src_end, -1);
    EXPECT_EQ(stray.dst_end, -1);

    const BufferRun cut = FromUtf8(kEncodingUtf16, Bytes({0x41, 0xC3, 0xA9}), 2, 8);
    EXPECT_EQ(Prefix(cut), Utf16({0x41}));
    EXPECT_EQ(cut.src_end, 1);  // at the incomplete character

    // A code point that UTF-16 cannot carry fails the conversion.
    EXPECT_EQ(FromUtf8(kEncodingUtf16, Bytes({0xF8, 0x84, 0x90, 0x80, 0x80}), 5, 8).result, 0u);
    // ...while UTF-32 carries it.
    EXPECT_EQ(FromUtf8(kEncodingUtf32, Bytes({0xF8, 0x84, 0x90, 0x80, 0x80}), 5, 8).result, 4u);
}

TEST(ConvertFromUtf8, OverlongNulDoesNotEndATerminatedSource) {
    const std::vector<uint8_t> src = Bytes({0x41, 0xC0, 0x80, 0x42, 0x00});
    const BufferRun run = FromUtf8(kEncodingUtf16, src, kNulTerminated, 16);
    EXPECT_EQ(Prefix(run), Utf16({0x41, 0x00, 0x42, 0x00}));
    EXPECT_EQ(run.src_end, 5);
}

TEST(Conversion, RefusedArgumentsWriteNothing) {
    const std::vector<uint8_t> src = Bytes({0x41, 0x42, 0x00, 0x00});
    for (EncodingId id : {-3, -2, 18, 1000}) {
        EXPECT_EQ(ToUtf8(id, src, 2, 8).src_end, -1) << id;
        EXPECT_EQ(ToUtf8(id, src, kNulTerminated, 8).src_end, -1) << id;
        EXPECT_EQ(FromUtf8(id, src, 2, 8).src_end, -1) << id;
        EXPECT_EQ(FromUtf8(id, src, kNulTerminated, 8).src_end, -1) << id;
        EXPECT_EQ(ToUtf8(id, src, 2, 8).dst, std::vector<uint8_t>(8, 0xEE));
    }
    const void* src_end = nullptr;
    EXPECT_EQ(ConvertToUtf8(3, nullptr, 4, nullptr, 0, &src_end, nullptr), 0u);
    EXPECT_EQ(ConvertToUtf8(3, src.data(), 2, nullptr, 8, &src_end, nullptr), 0u);
    EXPECT_EQ(ConvertFromUtf8(3, nullptr, 4, nullptr, 0, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(src_end, nullptr);
    // An unknown id is noticed at the first character: an empty source
    // converts to nothing, without error.
    EXPECT_EQ(ToUtf8(18, src, 0, 8).src_end, 0);
}

TEST(ConvertUtf8Utf16, RoundTripAndEmptyResults) {
    const char text[] = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    char16_t wide[16];
    ASSERT_EQ(ConvertUtf8Utf16(true, text, wide, sizeof wide), wide);
    EXPECT_EQ(std::u16string(wide), u"A\u00E9\u20AC\U0001F600");
    char back[16];
    ASSERT_EQ(ConvertUtf8Utf16(false, wide, back, sizeof back), back);
    EXPECT_STREQ(back, text);

    char16_t unit[1] = {u'x'};
    EXPECT_EQ(ConvertUtf8Utf16(true, "", unit, sizeof unit), unit);
    EXPECT_EQ(unit[0], 0);

    char16_t four[2] = {u'x', u'y'};
    const auto* empty = static_cast<const char*>(ConvertUtf8Utf16(true, "\x80", four, sizeof four));
    EXPECT_NE(static_cast<const void*>(empty), four);
    EXPECT_EQ(empty[0], 0);
    EXPECT_EQ(empty[1], 0);
    EXPECT_EQ(four[0], u'x');

    // Cut short by the buffer: dst without terminator.
    char16_t two[2] = {u'x', u'y'};
    EXPECT_EQ(ConvertUtf8Utf16(true, "abc", two, sizeof two), two);
    EXPECT_EQ(two[0], u'a');
    EXPECT_EQ(two[1], u'b');
}

// The conversion stops without error at a sequence that the terminator
// cuts short, before writing a terminator; with room for the whole text
// that gives the empty string, never an unterminated one.
TEST(ConvertUtf8Utf16, SequenceCutShortByTheTerminatorGivesTheEmptyString) {
    for (const char* text : {"ab\xE2", "ab\xE2\x82", "4\t\xFD\x7F", "\xF0\x9F\x98"}) {
        char16_t wide[8] = {};
        const auto* result =
            static_cast<const char16_t*>(ConvertUtf8Utf16(true, text, wide, sizeof wide));
        EXPECT_NE(result, wide) << text;
        EXPECT_EQ(result[0], 0);
        char16_t exact[8];
        const size_t bytes = std::strlen(text) + 1;
        EXPECT_EQ(ConvertUtf8TextToUtf16(text, bytes, exact), 0u) << text;
    }
    char16_t exact[4];
    EXPECT_EQ(ConvertUtf8TextToUtf16("a\xC3\xA9", 4, exact), 6u);
    EXPECT_EQ(std::u16string(exact), u"a\u00E9");
}

}  // namespace
}  // namespace faultkit
