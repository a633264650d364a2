// Worked examples of the conversions, and stream mode's stages (4096
// bytes handed to fwrite) with failing writes. The reference loop checks
// every mode in bulk (text/simd tests, text_conversion fuzz corpus).
#include "text/convert/encoding_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/recording_stream.h"
#include "support/reference_conversion.h"

namespace faultkit {
namespace {

using std::string_literals::operator""s;

TEST(Conversion, WorkedExamples) {
    const struct {
        bool to_utf8;
        EncodingId id;
        std::string src;
        size_t len;  // or kNulTerminated
        size_t size;  // 0: counting
        std::string written;  // what lands in dst, also before a failure
        uint64_t result;
        ptrdiff_t src_end;  // -1: not set (a failure)
        int32_t replacement = 0;
    } cases[] = {
        {true, kEncodingUtf16, "A\0\xE9\0\0\0"s, kNulTerminated, 0, "", 4, 6},
        {true, kEncodingUtf16, "A\0\xE9\0\0\0"s, kNulTerminated, 4, "A\xC3\xA9\0"s, 4, 6},
        {true, kEncodingUtf16, "A\0\xE9\0\0\0"s, kNulTerminated, 3, "A\xC3\xA9", 3, 4},
        {true, kEncodingUtf16, "A\0\xE9\0\0\0"s, kNulTerminated, 2, "A", 1, 2},
        {true, kEncodingUtf16, "\x3D\xD8\x00\xDE"s, 4, 16, "\xF0\x9F\x98\x80", 4, 4},
        {true, kEncodingUtf16, "\x00\xDC"s, 2, 16, "\xED\xB0\x80", 3, 2},
        {true, kEncodingUtf16, "B\0\x3D\xD8\x41\0"s, 6, 16, "B", 0, -1},  // unpaired
        {true, kEncodingUtf16, "A\0B\0"s, 3, 16, "A", 1, 2},  // half a unit
        {true, kEncodingUtf16, "A\0\x3D\xD8\x00\xDE"s, 4, 16, "A", 1, 2},  // a cut pair
        {true, kEncodingUtf32, "A\0\0\0B\0"s, 6, 16, "A", 1, 4},
        {true, kEncodingUtf32, "\0\0\0\x80"s, 4, 8, "", 0, -1},  // beyond 31 bits
        {true, 1, "\x80", 1, 8, "\xEF\xBF\xBF", 3, 1},  // unmapped
        {true, 16, "\x7F", 1, 8, "\x7F", 1, 1},
        {true, 2, "\x7F", 1, 8, "\xEF\xBF\xBF", 3, 1},
        {true, 17, "\x80\0A"s, 3, 8, "\xE2\x82\xAC\0A"s, 5, 3},  // NUL within a length
        {true, 18, "AB", 0, 8, "", 0, 0},  // an empty source: the id is not looked at
        {false, kEncodingUtf16, "A\xC3\xA9", kNulTerminated, 0, "", 6, 4},
        {false, kEncodingUtf32, "A\xC3\xA9", kNulTerminated, 0, "", 12, 4},
        {false, 2, "A\xC3\xA9", kNulTerminated, 8, "A\xE9\0"s, 3, 4},
        {false, kEncodingUtf16, "A\xC0\x80" "B", kNulTerminated, 16, "A\0\0\0B\0\0\0"s, 8, 5},
        {false, 1, "\xC3\xA9", 2, 4, "?", 1, 2},
        {false, 17, "\xE2\x82\xAC", 3, 4, "\x80", 1, 3},
        {false, 2, "\xF0\x9F\x98\x80" "A", 5, 4, "*A", 2, 5, '*'},
        {false, 12, "\xE0\xB8\x81", 3, 4, "\xA1", 1, 3},
        {false, kEncodingUtf16, "A\x80", 2, 8, "A\0"s, 0, -1},  // a stray byte
        {false, kEncodingUtf16, "A\xC3\xA9", 2, 8, "A\0"s, 2, 1},  // cut by the length
        {false, kEncodingUtf16, "\xF8\x84\x90\x80\x80", 5, 8, "", 0, -1},
        {false, kEncodingUtf32, "\xF8\x84\x90\x80\x80", 5, 8, "\0\0\x11\0"s, 4, 5},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> dst(c.size, 0xEE);
        const void* src_end = nullptr;
        void* dst_end = nullptr;
        const uint64_t result = test::LibraryConvert(c.to_utf8, c.id, c.src.c_str(), c.len,
                                                     c.size ? dst.data() : nullptr, c.size,
                                                     &src_end, &dst_end, c.replacement);
        const std::string where = c.src + " " + std::to_string(c.size);
        EXPECT_EQ(result, c.result) << where;
        EXPECT_EQ(src_end ? static_cast<const char*>(src_end) - c.src.c_str() : -1, c.src_end)
            << where;
        if (c.size != 0) {
            EXPECT_EQ(dst_end ? static_cast<uint8_t*>(dst_end) - dst.data() : -1,
                      c.src_end < 0 ? -1 : static_cast<ptrdiff_t>(result))
                << where;
            dst.resize(std::find(dst.begin(), dst.end(), 0xEE) - dst.begin());
            EXPECT_EQ(std::string(dst.begin(), dst.end()), c.written) << where;
        }
    }
}

TEST(Conversion, RefusedArgumentsWriteNothing) {
    const char src[] = "ABCDEFGHIJKLMNOP\0";  // long enough for runs of ASCII
    for (const EncodingId id : {-3, -2, 18, 1000}) {
        for (const bool to_utf8 : {false, true}) {
            for (const size_t len : {size_t{16}, kNulTerminated}) {
                std::vector<uint8_t> dst(64, 0xEE);
                const void* src_end = nullptr;
                EXPECT_EQ(test::LibraryConvert(to_utf8, id, src, len, dst.data(), 64, &src_end,
                                               nullptr, 0), 0u);
                EXPECT_EQ(src_end, nullptr) << id;
                EXPECT_EQ(dst, std::vector<uint8_t>(64, 0xEE)) << id;
            }
        }
    }
    const void* src_end = nullptr;
    EXPECT_EQ(ConvertToUtf8(3, nullptr, 4, nullptr, 0, &src_end, nullptr), 0u);
    EXPECT_EQ(ConvertToUtf8(3, src, 2, nullptr, 8, &src_end, nullptr), 0u);
    EXPECT_EQ(ConvertFromUtf8(3, nullptr, 4, nullptr, 0, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(src_end, nullptr);
}

TEST(ConvertUtf8Utf16, RoundTripCutsAndEmptyResults) {
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
    char16_t two[2] = {u'x', u'y'};  // cut short by the buffer: no terminator
    EXPECT_EQ(ConvertUtf8Utf16(true, "abc", two, sizeof two), two);
    EXPECT_EQ(std::u16string(two, 2), u"ab");
    // Invalid text, or a sequence the terminator cuts short, gives an empty
    // string elsewhere; invalid from the start, dst is left alone.
    for (const char* bad : {"\x80", "ab\xE2", "ab\xE2\x82", "4\t\xFD\x7F", "\xF0\x9F\x98"}) {
        char16_t out[8] = {u'x'};
        const auto* result = static_cast<const char16_t*>(ConvertUtf8Utf16(true, bad, out, sizeof out));
        EXPECT_NE(result, out) << bad;
        EXPECT_EQ(result[0], 0);
        EXPECT_TRUE(bad[0] != '\x80' || out[0] == u'x');
        EXPECT_EQ(ConvertUtf8TextToUtf16(bad, std::strlen(bad) + 1, out), 0u) << bad;
    }
    EXPECT_EQ(ConvertUtf8TextToUtf16("a\xC3\xA9", 4, wide), 6u);
    EXPECT_EQ(std::u16string(wide), u"a\u00E9");
}

// `count` copies of 'A' in UTF-16, a terminator, and a high surrogate
// without its low one at `invalid_at` unless 0, streamed as UTF-8.
uint64_t StreamUtf16(size_t count, size_t invalid_at, FILE* file, ptrdiff_t* src_end_units) {
    std::vector<char16_t> src(count, u'A');
    src.push_back(0);
    src[invalid_at] = invalid_at != 0 ? 0xD800 : src[0];
    const void* src_end = nullptr;
    const uint64_t result =
        ConvertToUtf8(kEncodingUtf16, src.data(), kNulTerminated, file, 0, &src_end, nullptr);
    *src_end_units = src_end ? static_cast<const char16_t*>(src_end) - src.data() : -1;
    return result;
}

// Full stages, then the rest without the terminator. A failed write is
// retried once after the loop, then its characters are dropped; an invalid
// character fails the conversion and drops what is staged.
TEST(ConversionStream, StagesRetriesAndDrops) {
    const struct {
        size_t characters;
        size_t invalid_at;
        std::set<size_t> failing;
        std::vector<size_t> writes;
        uint64_t result;
        ptrdiff_t src_end_units;
    } cases[] = {
        {5000, 0, {}, {4096, 904}, 5000, 5000},
        {5000, 0, {0}, {4096, 4096}, 4096, 4096},  // the retry succeeds
        {5000, 0, {0, 1}, {4096, 4096}, 0, 0},     // nothing counts, back to the start
        {5000, 0, {1}, {4096, 904}, 4096, 4096},
        {10000, 0, {1, 2}, {4096, 4096, 4096}, 4096, 4096},
        {10000, 0, {1}, {4096, 4096, 4096}, 8192, 8192},
        {5000, 4500, {}, {4096}, 0, -1},
        {0, 0, {}, {}, 0, 0},  // nothing to write: no fwrite at all
    };
    for (const auto& c : cases) {
        test::RecordingStream recording;
        recording.failing = c.failing;
        FILE* file = test::OpenRecordingStream(&recording);
        if (file == nullptr) {
            GTEST_SKIP() << "fwrite calls are observed through fopencookie";
        }
        ptrdiff_t src_end = 0;
        EXPECT_EQ(StreamUtf16(c.characters, c.invalid_at, file, &src_end), c.result);
        std::fclose(file);
        EXPECT_EQ(recording.writes, c.writes) << c.characters;
        EXPECT_EQ(src_end, c.src_end_units) << c.characters;
        if (c.invalid_at == 0) {  // the result counts the bytes delivered
            EXPECT_EQ(recording.data, std::string(c.result, 'A')) << c.characters;
        }
    }
}

// A file opened for reading takes nothing: the failing writes of a real
// file, where fwrite calls cannot be observed.
TEST(ConversionStream, ReadOnlyFileTakesNothing) {
    const char* path = "encoding_conversion_test.tmp";
    std::fclose(std::fopen(path, "wb"));
    FILE* file = std::fopen(path, "rb");
    ASSERT_NE(file, nullptr);
    ptrdiff_t src_end = 0;
    EXPECT_EQ(StreamUtf16(5000, 0, file, &src_end), 0u);
    std::fclose(file);
    std::remove(path);
    EXPECT_EQ(src_end, 0);
}

}  // namespace
}  // namespace faultkit
