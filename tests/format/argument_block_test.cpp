#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "text/argument_block.h"

namespace {

using faultkit::ArgumentSlots;

uint64_t Slot(const void* pointer) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

// Runs the front end over `format` and `slots`; keeps the block alive.
struct Prepared {
    explicit Prepared(const char16_t* format_text, std::vector<uint64_t> slot_values)
        : slots(std::move(slot_values)), format(format_text), arguments(slots.data()) {
        block = static_cast<char*>(faultkit::PrepareWideFormat(&format, &arguments));
    }
    ~Prepared() { faultkit::ReleaseWideFormat(block, 0); }

    std::vector<uint64_t> slots;
    const char16_t* format;
    ArgumentSlots arguments;
    char* block;
};

TEST(ArgumentBlock, DeclinesFormatsThatNeedNoRewrite) {
    for (const char16_t* format : {u"%d", u"%li", u"%lu", u"%lX", u"%f", u"%Lf", u"%p", u"%lc",
                                   u"%ls", u"100%%", u"", u"plain text", u"%I64u"}) {
        Prepared prepared(format, {1, 2, 3});
        EXPECT_EQ(prepared.block, nullptr);
        EXPECT_EQ(prepared.format, format);
        EXPECT_EQ(prepared.arguments, prepared.slots.data());
    }
}

TEST(ArgumentBlock, RefusesFormatsItCannotHandle) {
    for (const char16_t* format :
         {u"%1$d %d", u"%d %1$d", u"%2$d", u"%1$d %3$d %3$d", u"%1$d %1$*d",
          u"%99999999999$d", u"%s %hs", u"%lld %"}) {
        Prepared prepared(format, {1, 2, 3, 4});
        EXPECT_EQ(prepared.block, nullptr);
        EXPECT_EQ(prepared.format, format);
        EXPECT_EQ(prepared.arguments, prepared.slots.data());
    }
}

TEST(ArgumentBlock, RespellsSixtyFourBitIntegers) {
    Prepared prepared(u"%lld", {0x123456789ull});
    ASSERT_NE(prepared.block, nullptr);
    EXPECT_EQ(static_cast<const void*>(prepared.arguments), prepared.block);
    EXPECT_EQ(prepared.arguments[0], 0x123456789ull);
    EXPECT_EQ(reinterpret_cast<const char*>(prepared.format), prepared.block + 8);
    EXPECT_EQ(std::u16string(prepared.format), u"%I64d");
}

TEST(ArgumentBlock, ReordersPositionalGroupsAndCopiesStrings) {
    const char narrow[] = "ab";
    Prepared prepared(u"%2$s=%1$lld", {7, Slot(narrow)});
    ASSERT_NE(prepared.block, nullptr);
    // Slots in spec order: the string copy's address, then 7.
    const auto* copy = reinterpret_cast<const char16_t*>(prepared.block + 16 + 20);
    EXPECT_EQ(prepared.arguments[0], Slot(copy));
    EXPECT_EQ(prepared.arguments[1], 7u);
    EXPECT_EQ(reinterpret_cast<const char*>(prepared.format), prepared.block + 16);
    EXPECT_EQ(std::u16string(prepared.format), u"%ls=%I64d");
    EXPECT_EQ(std::u16string(copy), u"ab");
}

TEST(ArgumentBlock, RepeatedIndexSharesOneStringCopy) {
    const char narrow[] = "x\xC3\xA9";
    Prepared prepared(u"%1$s %1$s", {Slot(narrow)});
    ASSERT_NE(prepared.block, nullptr);
    EXPECT_EQ(prepared.arguments[0], prepared.arguments[1]);
    const auto* copy = reinterpret_cast<const char16_t*>(prepared.block + 16 + 16);
    EXPECT_EQ(prepared.arguments[0], Slot(copy));
    EXPECT_EQ(std::u16string(prepared.format), u"%ls %ls");
    EXPECT_EQ(std::u16string(copy), u"x\u00E9");
}

TEST(ArgumentBlock, StarGroupsKeepTheirSlotsTogether) {
    const char narrow[] = "ab";
    Prepared star(u"%*s", {5, Slot(narrow)});
    ASSERT_NE(star.block, nullptr);
    EXPECT_EQ(star.arguments[0], 5u);
    EXPECT_EQ(star.arguments[1], Slot(star.block + 16 + 10));
    EXPECT_EQ(std::u16string(star.format), u"%*ls");

    uint64_t value_bits = 0;
    const double value = 2.5;
    std::memcpy(&value_bits, &value, sizeof value);
    Prepared positional(u"%2$c%1$*.*f", {9, 3, value_bits, 'A'});
    ASSERT_NE(positional.block, nullptr);
    EXPECT_EQ(std::u16string(positional.format), u"%C%*.*f");
    const std::vector<uint64_t> expected{'A', 9, 3, value_bits};
    EXPECT_EQ(std::vector<uint64_t>(positional.arguments, positional.arguments + 4), expected);
}

TEST(ArgumentBlock, UnconvertibleNarrowStringBecomesEmpty) {
    const char broken[] = "\x80z";
    Prepared prepared(u"[%s]", {Slot(broken)});
    ASSERT_NE(prepared.block, nullptr);
    const auto* copy = reinterpret_cast<const char16_t*>(prepared.arguments[0]);
    EXPECT_EQ(std::u16string(copy), u"");
}

}  // namespace
