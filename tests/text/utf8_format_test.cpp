#include "text/utf8_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using faultkit::FormatUtf8;

// Counts, then writes into a canary-filled buffer of exactly the counted
// size plus slack; checks nothing lands past the text and its NUL.
template <typename... Args>
std::string CountThenWrite(int32_t* counted, int32_t* written, const char* format, Args... args) {
    *counted = FormatUtf8(nullptr, format, args...);
    std::vector<char> buffer(static_cast<size_t>(*counted > 0 ? *counted : 0) + 8, '#');
    *written = FormatUtf8(buffer.data(), format, args...);
    const size_t used = *written > 0 ? static_cast<size_t>(*written) + 1 : 0;
    for (size_t i = used; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], '#') << "byte " << i << " of " << format;
    }
    return *written > 0 ? std::string(buffer.data()) : std::string();
}

TEST(FormatUtf8, CountsOneMoreThanItWrites) {
    int32_t counted = 0;
    int32_t written = 0;
    EXPECT_EQ(CountThenWrite(&counted, &written, "%li", 42), "42");
    EXPECT_EQ(counted, 3);
    EXPECT_EQ(written, 2);

    EXPECT_EQ(CountThenWrite(&counted, &written, "<null>", 1234), "<null>");
    EXPECT_EQ(counted, 7);
    EXPECT_EQ(written, 6);

    EXPECT_EQ(CountThenWrite(&counted, &written, "\"%s\"", "\xC3\xA9"), "\"\xC3\xA9\"");
    EXPECT_EQ(counted, 5);
    EXPECT_EQ(written, 4);

    EXPECT_EQ(CountThenWrite(&counted, &written, "'%c'", 65), "'A'");
    EXPECT_EQ(counted, 4);
    EXPECT_EQ(written, 3);
}

TEST(FormatUtf8, EmptyTextWritesNothing) {
    int32_t counted = -5;
    int32_t written = -5;
    CountThenWrite(&counted, &written, "%s", "");
    EXPECT_EQ(counted, 0);
    EXPECT_EQ(written, 0);
    CountThenWrite(&counted, &written, "");
    EXPECT_EQ(counted, 0);
    EXPECT_EQ(written, 0);
}

TEST(FormatUtf8, SixtyFourBitValuesSurviveTheRewrite) {
    int32_t counted = 0;
    int32_t written = 0;
    EXPECT_EQ(CountThenWrite(&counted, &written, "%zu", static_cast<size_t>(UINT64_MAX)),
              "18446744073709551615");
    EXPECT_EQ(CountThenWrite(&counted, &written, "%lld", static_cast<long long>(INT64_MIN)),
              "-9223372036854775808");
    EXPECT_EQ(CountThenWrite(&counted, &written, "%I64u", static_cast<uint64_t>(UINT64_MAX)),
              "18446744073709551615");
    EXPECT_EQ(counted, written + 1);
}

TEST(FormatUtf8, PositionalArgumentsAndStrings) {
    int32_t counted = 0;
    int32_t written = 0;
    EXPECT_EQ(CountThenWrite(&counted, &written, "%2$s=%1$lld", 7LL, "ab"), "ab=7");
    EXPECT_EQ(CountThenWrite(&counted, &written, "%1$s/%1$s %2$.1f", "\xE2\x82\xAC", 2.5),
              "\xE2\x82\xAC/\xE2\x82\xAC 2.5");
    EXPECT_EQ(CountThenWrite(&counted, &written, "%-4s|%*d", "x", 3, 5), "x   |  5");
}

// The front end refuses these formats, so their narrow strings would reach
// the wide formatter as they stand: nothing is formatted or written.
TEST(FormatUtf8, RefusedFormatWithNarrowStringWritesNothing) {
    int32_t counted = 0;
    int32_t written = 0;
    for (const char* format : {"%s %1$d", "100%% %s %1$d", "%hs", "%-5.3hs", "%jzts", "%ws"}) {
        CountThenWrite(&counted, &written, format, "text", 1);
        EXPECT_LT(counted, 0) << format;
        EXPECT_LT(written, 0) << format;
    }
}

TEST(FormatUtf8, FailuresWriteNothing) {
    int32_t counted = 0;
    int32_t written = 0;
    // A format the platform formatter refuses.
    CountThenWrite(&counted, &written, "abc%");
    EXPECT_LT(counted, 0);
    EXPECT_LT(written, 0);
    // A format that is not UTF-8 behaves as an empty one, also when it ends
    // in a sequence cut short.
    for (const char* format : {"%li \xC3(", "%li \xE2\x82", "%li \xFD"}) {
        CountThenWrite(&counted, &written, format, 5);
        EXPECT_EQ(counted, 0) << format;
        EXPECT_EQ(written, 0) << format;
    }
}

TEST(FormatUtf8, StringsThatAreNotUtf8ThroughoutPrintEmpty) {
    int32_t counted = 0;
    int32_t written = 0;
    for (const char* text : {"\x80z", "ab\xE2", "ab\xE2\x82", "4\t\xFD\x7F"}) {
        EXPECT_EQ(CountThenWrite(&counted, &written, "[%s]", text), "[]") << text;
        EXPECT_EQ(counted, 3);
    }
}

// The text converts to UTF-8 only up to the surrogate: the call fails and
// writes nothing, not even the part before it.
TEST(FormatUtf8, UnpairedSurrogateInTheTextFailsTheConversion) {
    const char16_t broken[] = u"a\xD800";
    int32_t counted = 0;
    int32_t written = 0;
    CountThenWrite(&counted, &written, "x%ls", broken);
    EXPECT_EQ(counted, 0);
    EXPECT_EQ(written, -1);
    // A surrogate encoded in UTF-8 passes the conversion to UTF-16 and
    // fails the one back.
    CountThenWrite(&counted, &written, "%s", "yz\xED\xA0\x80");
    EXPECT_EQ(counted, 0);
    EXPECT_EQ(written, -1);
}

TEST(FormatUtf8, TextEndsAtAnEmbeddedNul) {
    int32_t counted = 0;
    int32_t written = 0;
    EXPECT_EQ(CountThenWrite(&counted, &written, "a%cb", 0), "a");
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(written, 1);
    EXPECT_EQ(CountThenWrite(&counted, &written, "\xC3\xA9%cb", 0), "\xC3\xA9");
    EXPECT_EQ(counted, 3);
    EXPECT_EQ(written, 2);
}

TEST(FormatUtf8, LongTextsAndStrings) {
    int32_t counted = 0;
    int32_t written = 0;
    const std::string ascii(3000, 'x');
    EXPECT_EQ(CountThenWrite(&counted, &written, "[%s]", ascii.c_str()), "[" + ascii + "]");
    EXPECT_EQ(counted, 3003);
    std::string accented;
    for (int i = 0; i < 700; ++i) {
        accented += "\xC3\xA9";
    }
    EXPECT_EQ(CountThenWrite(&counted, &written, "%s!", accented.c_str()), accented + "!");
    EXPECT_EQ(counted, 1402);
    EXPECT_EQ(CountThenWrite(&counted, &written, "%1200d", 7), std::string(1199, ' ') + "7");
    EXPECT_EQ(written, 1200);
}

// The slots are gathered in format order on platforms whose variable
// arguments are not slots already: integers and doubles interleaved,
// stars, and positional groups in index order.
TEST(FormatUtf8, MixedArgumentKindsArriveInOrder) {
    int32_t counted = 0;
    int32_t written = 0;
    EXPECT_EQ(CountThenWrite(&counted, &written, "%d %f %d %.1f %s", 1, 2.5, 3, 4.5, "e"),
              "1 2.500000 3 4.5 e");
    EXPECT_EQ(CountThenWrite(&counted, &written, "%*.*f|%-*d|", 8, 2, 3.25, 3, 9), "    3.25|9  |");
    EXPECT_EQ(CountThenWrite(&counted, &written, "%3$s|%1$.2f|%2$*d", 0.5, 4, 7, "x"),
              "x|0.50|   7");
}

// Formats whose slots do not fit the stack (three per '%') and formats too
// long for the stack copy take the heap; the text is the same.
TEST(FormatUtf8, ManyDirectivesAndLongFormats) {
    int32_t counted = 0;
    int32_t written = 0;
    EXPECT_EQ(CountThenWrite(&counted, &written, "%d%d%d%d%d%d%d%d%d%d%d%s", 1, 2, 3, 4, 5, 6, 7, 8,
                             9, 10, 11, "z"),
              "1234567891011z");
    EXPECT_EQ(counted, written + 1);
    const std::string padding(300, '-');
    const std::string format = padding + "%s" + padding + "%lld";
    EXPECT_EQ(CountThenWrite(&counted, &written, format.c_str(), "\xC3\xA9", -5LL),
              padding + "\xC3\xA9" + padding + "-5");
    EXPECT_EQ(written, 604);
}

// One formatting gives both results: the count, and the text where it
// fits; where it does not, nothing is written.
TEST(FormatUtf8, BoundedFormattingGivesBothResults) {
    const std::string long_text(700, 'w');
    const struct {
        const char* format;
        uint64_t argument;
    } cases[] = {
        {"%li", 42},
        {"[%s]", reinterpret_cast<uintptr_t>("\xE2\x82\xAC")},
        {"[%s]", reinterpret_cast<uintptr_t>(long_text.c_str())},
        {"%s", reinterpret_cast<uintptr_t>("")},
        {"%s", reinterpret_cast<uintptr_t>("yz\xED\xA0\x80")},
        {"abc%", 0},
        {"a%cb", 0},
    };
    for (const auto& c : cases) {
        const uint64_t slots[1] = {c.argument};
        const int32_t counted = faultkit::FormatUtf8V(nullptr, c.format, slots);
        std::vector<char> expected(static_cast<size_t>(counted > 0 ? counted : 0) + 4, '#');
        const int32_t expected_written = faultkit::FormatUtf8V(expected.data(), c.format, slots);

        std::vector<char> out(expected.size(), '#');
        int32_t bounded_count = 12345;
        const int32_t written =
            faultkit::FormatUtf8Bounded(out.data(), out.size(), c.format, slots, &bounded_count);
        EXPECT_EQ(bounded_count, counted) << c.format;
        EXPECT_EQ(written, expected_written) << c.format;
        EXPECT_EQ(out, expected) << c.format;

        if (counted > 0) {
            std::vector<char> small(static_cast<size_t>(counted), '#');
            EXPECT_EQ(faultkit::FormatUtf8Bounded(small.data(), small.size() - 1, c.format, slots,
                                                  &bounded_count),
                      0);
            EXPECT_EQ(bounded_count, counted);
            EXPECT_EQ(small, std::vector<char>(small.size(), '#')) << c.format;
        }
    }
}

// A formatter that cannot count without a buffer and fails while the
// buffer is too small, as some platforms' formatters do.
std::vector<size_t> g_trial_counts;
int TrialOnlyFormatter(char16_t* buffer, size_t count, const char16_t*, const uint64_t*) {
    g_trial_counts.push_back(count);
    constexpr size_t kText = 3000;
    if (buffer == nullptr || count < kText + 1) {
        return -1;
    }
    std::fill(buffer, buffer + kText, u'x');
    buffer[kText] = 0;
    return static_cast<int>(kText);
}

// A formatter that counts texts too long for the byte count of an int.
int HugeCountFormatter(char16_t*, size_t, const char16_t* format, const uint64_t*) {
    return format[0] == u'a' ? 0x3FFFFFFE : 0x3FFFFFFF;
}

TEST(FormatUtf8, MeasurementsBeyondAnIntFail) {
    EXPECT_EQ(faultkit::MeasureWideFormatWith(HugeCountFormatter, u"a", nullptr), 0x7FFFFFFE);
    EXPECT_EQ(faultkit::MeasureWideFormatWith(HugeCountFormatter, u"b", nullptr), -1);
}

TEST(FormatUtf8, MeasuresByTrialWhenTheFormatterCannotCount) {
    g_trial_counts.clear();
    EXPECT_EQ(faultkit::MeasureWideFormatWith(TrialOnlyFormatter, u"x", nullptr), 6002);
    EXPECT_EQ(g_trial_counts, (std::vector<size_t>{0, 2048, 4096}));
}

}  // namespace
