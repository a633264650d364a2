// platform::WideFormat against the shared expectation table, in its three
// modes, plus the contract around the table: long texts, canaries, bad
// buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "format_case.h"
#include "platform/platform.h"

namespace faultkit::test {
extern const char kWideFormatCases[];
}

namespace {

using faultkit::platform::WideFormat;
using faultkit::test::ArgumentSlots;
using faultkit::test::Escape;
using faultkit::test::FormatArgument;
using faultkit::test::FormatCase;

constexpr char16_t kCanary = 0xCCCC;
constexpr size_t kCanaryUnits = 8;

const std::vector<FormatCase>& Cases() {
    static const std::vector<FormatCase> cases = [] {
        std::vector<FormatCase> parsed;
        std::string error;
        EXPECT_TRUE(
            faultkit::test::ParseFormatTable(faultkit::test::kWideFormatCases, parsed, error))
            << error;
        return parsed;
    }();
    return cases;
}

std::string Describe(const FormatCase& c) {
    return "table line " + std::to_string(c.line) + ": " + Escape(c.format);
}

// Formats into a buffer of `count` units followed by canaries; checks the
// canaries and the terminator, and returns the result with the text written.
int FormatGuarded(const FormatCase& c, size_t count, std::u16string& text) {
    std::vector<char16_t> buffer(count + kCanaryUnits, kCanary);
    const std::vector<uint64_t> slots = ArgumentSlots(c);
    const int result = WideFormat(buffer.data(), count, c.format.c_str(), slots.data());
    for (size_t i = count; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], kCanary) << Describe(c) << ": written past the count at " << i;
    }
    if (result >= 0 && static_cast<size_t>(result) < count) {
        EXPECT_EQ(buffer[result], u'\0') << Describe(c) << ": no terminator";
        text.assign(buffer.data(), buffer.data() + result);
    }
    return result;
}

TEST(WideFormatTableTest, TableCoversEveryConversion) {
    ASSERT_GE(Cases().size(), 200u);
    for (const char16_t conversion : std::u16string(u"diouxXpeEfgGaAcCsS")) {
        bool found = false;
        for (const FormatCase& c : Cases()) {
            found = found || (!c.refused && c.format.find(conversion) != std::u16string::npos);
        }
        EXPECT_TRUE(found) << "no case for conversion " << static_cast<char>(conversion);
    }
}

// A case counted without a buffer, written into a buffer of exactly its
// size, and refused with a buffer one unit short, half its size or of
// count 0 (left untouched, as the canaries show).
void ExpectCase(const FormatCase& c) {
    const std::vector<uint64_t> slots = ArgumentSlots(c);
    const int counted = WideFormat(nullptr, 0, c.format.c_str(), slots.data());
    std::u16string text;
    if (c.refused) {
        EXPECT_LT(counted, 0) << Describe(c);
        EXPECT_LT(FormatGuarded(c, 256, text), 0) << Describe(c);
        return;
    }
    const size_t size = c.expected.size();
    EXPECT_EQ(counted, static_cast<int>(size)) << Describe(c);
    EXPECT_EQ(FormatGuarded(c, size + 1, text), static_cast<int>(size)) << Describe(c);
    EXPECT_EQ(Escape(text), Escape(c.expected)) << Describe(c);
    for (const size_t short_count : {size, size / 2, size_t{0}}) {
        EXPECT_LT(FormatGuarded(c, short_count, text), 0) << Describe(c) << " in " << short_count;
    }
}

TEST(WideFormatTableTest, CountsWritesAndRefusesShortBuffers) {
    for (const FormatCase& c : Cases()) {
        ExpectCase(c);
    }
}

// Texts longer than any stack buffer a formatter might count in.
TEST(WideFormatTest, LongTexts) {
    FormatCase c;
    c.arguments.push_back({FormatArgument::kWord, 7, 0});
    c.format = u"%3000d";
    c.expected = std::u16string(2999, u' ') + u"7";
    ExpectCase(c);
    c.format = u"%3000d%y";
    c.refused = true;
    ExpectCase(c);
    const double half = 0.5;
    std::memcpy(&c.arguments[0].word, &half, sizeof half);
    c.format = u"%.1200f";
    c.expected = u"0.5" + std::u16string(1199, u'0');
    c.refused = false;
    ExpectCase(c);
}

}  // namespace
