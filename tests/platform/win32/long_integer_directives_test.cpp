// The Windows formatter with integer directives wide or precise enough to
// send the runtime's digit buffer to the heap: the right text, the slots
// behind them still read in order, and every heap of the process intact
// after each call (the runtime's own wide path overruns its block there).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

using faultkit::platform::WideFormat;

bool HeapsIntact() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapValidate(heaps[i], 0, nullptr)) {
            return false;
        }
    }
    return count != 0;
}

uint64_t Address(const char16_t* text) {
    return reinterpret_cast<uintptr_t>(text);
}

// Counts, then writes into an exact buffer; both must give `expected`.
void ExpectText(const char16_t* format, const std::vector<uint64_t>& slots,
                const std::u16string& expected) {
    const std::string what(format, format + std::char_traits<char16_t>::length(format));
    EXPECT_EQ(WideFormat(nullptr, 0, format, slots.data()), static_cast<int>(expected.size()))
        << what;
    ASSERT_TRUE(HeapsIntact()) << what << " (counting)";
    std::u16string text(expected.size() + 1, u'#');
    EXPECT_EQ(WideFormat(text.data(), text.size(), format, slots.data()),
              static_cast<int>(expected.size()))
        << what;
    ASSERT_TRUE(HeapsIntact()) << what << " (writing)";
    text.pop_back();
    EXPECT_EQ(text, expected) << what;
}

// `text` with `fill` in front up to `size` units.
std::u16string Padded(const std::u16string& text, size_t size, char16_t fill) {
    return std::u16string(size > text.size() ? size - text.size() : 0, fill) + text;
}

TEST(LongIntegerDirectives, PrecisionsAndWidthsAroundTheRuntimeBuffer) {
    for (uint64_t size = 18; size <= 40; ++size) {
        ExpectText(u"%.*I64d", {size, uint64_t{1} << 63},
                   u"-" + Padded(u"9223372036854775808", size, u'0'));
        ExpectText(u"%#*I64o", {size, UINT64_MAX}, Padded(u"01777777777777777777777", size, u' '));
    }
}

TEST(LongIntegerDirectives, ArgumentsAroundThemKeepTheirPlaces) {
    ExpectText(u"%ls|%+.30d|%-30X|%d", {Address(u"ab"), 7, 0xBEEF, 9},
               u"ab|+" + std::u16string(29, u'0') + u"7|BEEF" + std::u16string(26, u' ') + u"|9");
    ExpectText(u"%*.*hd|%.25i|%lc", {static_cast<uint64_t>(-30), 25, 0x10002A, 5, u'z'},
               std::u16string(23, u'0') + u"42" + std::u16string(5, u' ') + u"|" +
                   std::u16string(24, u'0') + u"5|z");
    ExpectText(u"100%% %.40llu%%", {UINT64_MAX},
               u"100% " + std::u16string(20, u'0') + u"18446744073709551615%");
}

TEST(LongIntegerDirectives, RefusedDirectiveBehindOneRefusesTheFormat) {
    const uint64_t slots[] = {1, 2, 0, 0};
    EXPECT_LT(WideFormat(nullptr, 0, u"%.30d%y", slots), 0);
    EXPECT_LT(WideFormat(nullptr, 0, u"%y%.30d", slots), 0);
    EXPECT_TRUE(HeapsIntact());
}

}  // namespace
