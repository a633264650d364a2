// Our own wide formatter where no Windows runtime can be the judge and the
// table (wide_printf_cases.txt) cannot say it: "%n", counts beyond any
// buffer, the locale's single-byte conversion and decimal point (formats cut
// short are the wide_format fuzz target's).
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

using faultkit::platform::WideFormat;

std::u16string Format(const char16_t* format, const std::vector<uint64_t>& slots) {
    const int needed = WideFormat(nullptr, 0, format, slots.data());
    if (needed < 0) {
        return u"<refused>";
    }
    std::vector<char16_t> buffer(static_cast<size_t>(needed) + 1);
    EXPECT_EQ(WideFormat(buffer.data(), buffer.size(), format, slots.data()), needed);
    return std::u16string(buffer.data(), static_cast<size_t>(needed));
}

uint64_t Address(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}

uint64_t Bits(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Sets LC_ALL for one test and restores "C" afterwards.
struct ScopedLocale {
    explicit ScopedLocale(const char* name) : ok(std::setlocale(LC_ALL, name) != nullptr) {}
    ~ScopedLocale() { std::setlocale(LC_ALL, "C"); }
    bool ok;
};

TEST(PosixWideFormatTest, RefusesStoringTheCount) {
    int target = 12345;
    EXPECT_EQ(Format(u"ab%n", {Address(&target)}), u"<refused>");
    char16_t buffer[16];
    EXPECT_LT(WideFormat(buffer, 16, u"ab%n", std::vector<uint64_t>{Address(&target)}.data()), 0);
    EXPECT_EQ(target, 12345);
}

// An integer given a precision is not padded with zeros, as on Windows;
// Wine pads it, so the shared table leaves these out.
TEST(PosixWideFormatTest, PrecisionTurnsZeroPaddingOff) {
    EXPECT_EQ(Format(u"%05.3d|%05.0d|%05.x", {42, 42, 0}), u"  042|   42|     ");
}

// Counts beyond any buffer a test could hold (refused ones are in the table).
TEST(PosixWideFormatTest, HugeWidthsAndPrecisions) {
    EXPECT_EQ(WideFormat(nullptr, 0, u"%2147483647d", std::vector<uint64_t>{1}.data()), 2147483647);
    EXPECT_EQ(WideFormat(nullptr, 0, u"%.2000000000f", std::vector<uint64_t>{Bits(1.0)}.data()),
              2000000002);
    EXPECT_EQ(WideFormat(nullptr, 0, u"%.2000000000e", std::vector<uint64_t>{Bits(0.1)}.data()),
              2000000007);
    char16_t buffer[8];
    EXPECT_LT(WideFormat(buffer, 8, u"%.2000000000f", std::vector<uint64_t>{Bits(1.0)}.data()), 0);
}

TEST(PosixWideFormatTest, SingleByteTextFollowsTheUtf8Locale) {
    ScopedLocale locale("C.UTF-8");
    ASSERT_TRUE(locale.ok);
    EXPECT_EQ(Format(u"%hs|%S", {Address("\xC3\xA9x"), Address("\xF0\x9F\x98\x80")}),
              u"\u00E9x|\U0001F600");
    EXPECT_EQ(Format(u"%5hs|", {Address("\xC3\xA9")}), u"    \u00E9|");
    EXPECT_EQ(Format(u"%hs", {Address("\xFF")}), u"<refused>");
    EXPECT_EQ(Format(u"%hs", {Address("a\x80")}), u"<refused>");
    EXPECT_EQ(Format(u"%hs", {Address("\xF0\x90\x80\x80\xF4\x8F\xBF\xBF")}),
              u"\U00010000\U0010FFFF");
    EXPECT_EQ(Format(u"%.1hs", {Address("\xC3\xA9")}), u"<refused>");
    EXPECT_EQ(Format(u"%C", {0xC3}), u"<refused>");
    EXPECT_EQ(Format(u"%C|%hs", {0x41, Address("ab")}), u"A|ab");
}

TEST(PosixWideFormatTest, DecimalPointFollowsTheLocale) {
#ifdef FAULTKIT_TEST_LOCALE_PATH
    setenv("LOCPATH", FAULTKIT_TEST_LOCALE_PATH, 1);
#endif
    ScopedLocale locale("de_DE.UTF-8");
    unsetenv("LOCPATH");
    if (!locale.ok) {
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine";
    }
    EXPECT_EQ(Format(u"%.2f|%.1e|%g|%a|%.1f",
                     {Bits(1.5), Bits(2.5), Bits(0.25), Bits(1.0), 0x7FF0000000000000}),
              u"1,50|2,5e+000|0,25|0x1,0000000000000p+0|1,$");
}

}  // namespace
