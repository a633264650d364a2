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

int Expected(const FormatCase& c) {
    return static_cast<int>(c.expected.size());
}

// Formats into a buffer of `count` units followed by canaries; checks the
// canaries and returns the result, with the text written in `text`.
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

TEST(WideFormatTableTest, CountsWithoutBuffer) {
    for (const FormatCase& c : Cases()) {
        const std::vector<uint64_t> slots = ArgumentSlots(c);
        const int result = WideFormat(nullptr, 0, c.format.c_str(), slots.data());
        if (c.refused) {
            EXPECT_LT(result, 0) << Describe(c);
        } else {
            EXPECT_EQ(result, Expected(c)) << Describe(c);
        }
    }
}

TEST(WideFormatTableTest, WritesIntoExactBuffer) {
    for (const FormatCase& c : Cases()) {
        std::u16string text;
        const size_t count = c.refused ? 256 : c.expected.size() + 1;
        const int result = FormatGuarded(c, count, text);
        if (c.refused) {
            EXPECT_LT(result, 0) << Describe(c);
            continue;
        }
        EXPECT_EQ(result, Expected(c)) << Describe(c);
        EXPECT_EQ(Escape(text), Escape(c.expected)) << Describe(c);
    }
}

TEST(WideFormatTableTest, RefusesBufferWithoutRoomForTerminator) {
    for (const FormatCase& c : Cases()) {
        if (c.refused || c.expected.empty()) {
            continue;
        }
        std::u16string text;
        EXPECT_LT(FormatGuarded(c, c.expected.size(), text), 0) << Describe(c);
        if (c.expected.size() > 2) {
            EXPECT_LT(FormatGuarded(c, c.expected.size() / 2, text), 0) << Describe(c);
        }
    }
}

// Texts longer than any stack buffer a formatter might count in.
TEST(WideFormatTest, LongTextsCountAndWrite) {
    const uint64_t slots[] = {7, 0};
    EXPECT_EQ(WideFormat(nullptr, 0, u"%3000d", slots), 3000);
    std::vector<char16_t> buffer(3001 + kCanaryUnits, kCanary);
    ASSERT_EQ(WideFormat(buffer.data(), 3001, u"%3000d", slots), 3000);
    EXPECT_EQ(std::u16string(buffer.data(), 3000), std::u16string(2999, u' ') + u"7");
    EXPECT_EQ(buffer[3000], u'\0');
    EXPECT_EQ(buffer[3001], kCanary);
    EXPECT_LT(WideFormat(buffer.data(), 3000, u"%3000d", slots), 0);
}

TEST(WideFormatTest, LongTextWithRefusedDirectiveIsRefused) {
    const uint64_t slots[] = {7, 0, 0};
    EXPECT_LT(WideFormat(nullptr, 0, u"%3000d%y", slots), 0);
    char16_t buffer[64];
    EXPECT_LT(WideFormat(buffer, 64, u"%3000d%y", slots), 0);
}

TEST(WideFormatTest, LongFloatingTextsKeepTheirDigits) {
    double half = 0.5;
    uint64_t slots[2] = {};
    std::memcpy(&slots[0], &half, sizeof half);
    const std::u16string expected = u"0.5" + std::u16string(1199, u'0');
    EXPECT_EQ(WideFormat(nullptr, 0, u"%.1200f", slots), 1202);
    std::vector<char16_t> buffer(1203);
    ASSERT_EQ(WideFormat(buffer.data(), buffer.size(), u"%.1200f", slots), 1202);
    EXPECT_EQ(std::u16string(buffer.data(), 1202), expected);
}

TEST(WideFormatTest, BufferWithCountZeroIsRefusedUntouched) {
    const uint64_t slots[] = {0};
    char16_t buffer[2] = {kCanary, kCanary};
    EXPECT_LT(WideFormat(buffer, 0, u"abc", slots), 0);
    EXPECT_EQ(buffer[0], kCanary);
}

}  // namespace
