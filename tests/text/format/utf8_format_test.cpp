#include "text/format/utf8_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace {

using faultkit::FormatUtf8;

// What FormatUtf8 gives: the text written, the counting result and the
// writing result.
using Formatted = std::tuple<std::string, int32_t, int32_t>;

// A formatting that succeeds: the count includes the terminator, the
// written bytes do not; an empty text gives 0 both ways.
Formatted Ok(const std::string& text) {
    const auto size = static_cast<int32_t>(text.size());
    return {text, size == 0 ? 0 : size + 1, size};
}

// An argument as the slot it takes: integers widened, pointers as
// addresses, doubles as their bits.
template <typename T>
uint64_t Slot(T value) {
    uint64_t slot = 0;
    if constexpr (std::is_pointer_v<T>) {
        slot = reinterpret_cast<uintptr_t>(value);
    } else if constexpr (std::is_floating_point_v<T>) {
        std::memcpy(&slot, &value, sizeof slot);
    } else {
        slot = static_cast<uint64_t>(value);
    }
    return slot;
}

// Counts, then writes into a canary-filled buffer of exactly the counted
// size plus slack; checks nothing lands past the text and its NUL.
template <typename... Args>
Formatted Format(const char* format, Args... args) {
    const int32_t counted = FormatUtf8(nullptr, format, args...);
    std::vector<char> buffer(static_cast<size_t>(counted > 0 ? counted : 0) + 8, '#');
    const int32_t written = FormatUtf8(buffer.data(), format, args...);
    for (size_t i = written > 0 ? static_cast<size_t>(written) + 1 : 0; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], '#') << "byte " << i << " of " << format;
    }
    // One bounded formatting of the arguments as slots gives both results:
    // with that room the same bytes, with a byte less than counted nothing.
    const uint64_t slots[] = {Slot(args)..., 0};
    const std::vector<char> untouched(buffer.size(), '#');
    for (const size_t room : {buffer.size(), static_cast<size_t>(counted > 0 ? counted - 1 : 0)}) {
        const bool fits = room == buffer.size();
        std::vector<char> out = untouched;
        int32_t bounded_count = 12345;
        const int32_t bounded =
            faultkit::FormatUtf8Bounded(out.data(), room, format, slots, &bounded_count);
        EXPECT_EQ(std::tie(bounded, bounded_count, out),
                  std::make_tuple(fits || counted <= 0 ? written : 0, counted,
                                  fits ? buffer : untouched))
            << format << " in " << room << " bytes";
    }
    return {written > 0 ? buffer.data() : "", counted, written};
}

TEST(FormatUtf8, CountsOneMoreThanItWrites) {
    EXPECT_EQ(Format("%li", 42), Ok("42"));
    EXPECT_EQ(Format("<null>", 1234), Ok("<null>"));
    EXPECT_EQ(Format("\"%s\"", "\xC3\xA9"), Ok("\"\xC3\xA9\""));
    EXPECT_EQ(Format("'%c'", 65), Ok("'A'"));
    EXPECT_EQ(Format("%s", ""), Ok(""));
    // Text of a whole block and more, with the directive in the part after it.
    EXPECT_EQ(Format("Could not open the file %s", "x"), Ok("Could not open the file x"));
    EXPECT_EQ(Format(""), Ok(""));
    // The text ends at an embedded NUL.
    EXPECT_EQ(Format("a%cb", 0), Ok("a"));
    EXPECT_EQ(Format("\xC3\xA9%cb", 0), Ok("\xC3\xA9"));
}

// The arguments reach the formatter through the rewrite: 64-bit values,
// positional groups in index order, stars, integers and doubles
// interleaved (gathered in format order on platforms whose variable
// arguments are not slots already), more directives than the stack holds
// slots for (three per '%'), and long texts, strings and formats.
TEST(FormatUtf8, ArgumentsSurviveTheRewrite) {
    EXPECT_EQ(Format("%zu", static_cast<size_t>(UINT64_MAX)), Ok("18446744073709551615"));
    EXPECT_EQ(Format("%lld", static_cast<long long>(INT64_MIN)), Ok("-9223372036854775808"));
    EXPECT_EQ(Format("%I64u", static_cast<uint64_t>(UINT64_MAX)), Ok("18446744073709551615"));
    EXPECT_EQ(Format("%2$s=%1$lld", 7LL, "ab"), Ok("ab=7"));
    // A string that goes into the format as text: its '%' stays text, and
    // the arguments behind it are read on.
    EXPECT_EQ(Format("sixteen bytes or more: %s, %d%%", "of a string, 100% done", 7),
              Ok("sixteen bytes or more: of a string, 100% done, 7%"));
    EXPECT_EQ(Format("%s%%", "50%"), Ok("50%%"));
    EXPECT_EQ(Format("%1$s/%1$s %2$.1f", "\xE2\x82\xAC", 2.5), Ok("\xE2\x82\xAC/\xE2\x82\xAC 2.5"));
    EXPECT_EQ(Format("%-4s|%*d", "x", 3, 5), Ok("x   |  5"));
    EXPECT_EQ(Format("%d %f %d %.1f %s", 1, 2.5, 3, 4.5, "e"), Ok("1 2.500000 3 4.5 e"));
    // A string beyond ASCII, met after the other arguments have been read.
    EXPECT_EQ(Format("%d %.1f %s", 1, 2.5, "\xC3\xA9"), Ok("1 2.5 \xC3\xA9"));
    // Behind a directive the front end refuses, in a format beyond ASCII,
    // the arguments are still read.
    EXPECT_EQ(Format("\xC3\xA9%hc %d", 'A', 6), Ok("\xC3\xA9" "A 6"));
    EXPECT_EQ(Format("%*.*f|%-*d|", 8, 2, 3.25, 3, 9), Ok("    3.25|9  |"));
    EXPECT_EQ(Format("%3$s|%1$.2f|%2$*d", 0.5, 4, 7, "x"), Ok("x|0.50|   7"));
    EXPECT_EQ(Format("%1$.2f|%2$*d|%3$s", 0.5, 4, 7, "x"), Ok("0.50|   7|x"));
    EXPECT_EQ(Format("%d%d%d%d%d%d%d%d%d%d%d%s", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, "z"),
              Ok("1234567891011z"));
    const std::string padding(300, '-');
    EXPECT_EQ(Format((padding + "%s" + padding + "%lld").c_str(), "\xC3\xA9", -5LL),
              Ok(padding + "\xC3\xA9" + padding + "-5"));
    const std::string ascii(3000, 'x');
    EXPECT_EQ(Format("[%s]", ascii.c_str()), Ok("[" + ascii + "]"));
    // Strings that each fit the room the format leaves, but not all three.
    const std::string third(100, 't');
    EXPECT_EQ(Format("%s|%s|%s", third.c_str(), third.c_str(), third.c_str()),
              Ok(third + "|" + third + "|" + third));
    std::string accented;
    for (int i = 0; i < 700; ++i) {
        accented += "\xC3\xA9";
    }
    EXPECT_EQ(Format("%s!", accented.c_str()), Ok(accented + "!"));
    EXPECT_EQ(Format("%1200d", 7), Ok(std::string(1199, ' ') + "7"));
}

TEST(FormatUtf8, FailuresWriteNothing) {
    // Formats the front end refuses, whose narrow strings would reach the
    // wide formatter as they stand, and one the platform formatter refuses.
    for (const char* format :
         {"%s %1$d", "100%% %s %1$d", "%hs", "%-5.3hs", "%jzts", "%ws", "abc%",
          "%%%%%%%%%%%%%%%%%%%%%y"}) {  // the last: as many slots as fit
        const auto [text, counted, written] = Format(format, "text", 1);
        EXPECT_TRUE(counted < 0 && written < 0) << format;
    }
    EXPECT_EQ(Format("%d %-5.3hs", 1, "text"), Formatted("", -1, -1));  // behind another directive
    EXPECT_EQ(Format("%s%S", "text", "text"), Formatted("", -1, -1));  // "%s" before "%S"
    // A format that is not UTF-8 behaves as an empty one, also when it ends
    // in a sequence cut short.
    for (const char* format : {"%li \xC3(", "%li \xE2\x82", "%li \xFD"}) {
        EXPECT_EQ(Format(format, 5), Ok("")) << format;
    }
    // Strings that are not UTF-8 throughout print empty.
    for (const char* text : {"\x80z", "ab\xE2", "ab\xE2\x82", "4\t\xFD\x7F"}) {
        EXPECT_EQ(Format("[%s]", text), Ok("[]")) << text;
    }
    // A text that converts to UTF-8 only up to a surrogate fails and writes
    // nothing, not even the part before it; a surrogate encoded in UTF-8
    // passes the conversion to UTF-16 and fails the one back.
    EXPECT_EQ(Format("x%ls", u"a\xD800"), Formatted("", 0, -1));
    EXPECT_EQ(Format("%s", "yz\xED\xA0\x80"), Formatted("", 0, -1));
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
