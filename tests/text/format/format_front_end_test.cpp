#include "text/format/format_front_end.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using faultkit::ArgumentSlots;

uint64_t Slot(const void* pointer) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

// The front end over `format` and `slots`; keeps the block alive.
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

// No block: format and arguments left alone.
void ExpectDeclined(std::initializer_list<const char16_t*> formats) {
    const char narrow[] = "ab";
    for (const char16_t* format : formats) {
        Prepared prepared(format, {Slot(narrow), 1, 2, 3});
        EXPECT_EQ(prepared.block, nullptr) << std::u16string(format).size();
        EXPECT_EQ(prepared.format, format);
        EXPECT_EQ(prepared.arguments, prepared.slots.data());
    }
}

TEST(ArgumentBlock, DeclinesAndRefusalsLeaveFormatAndArguments) {
    // Formats that need no rewrite; the second group has a character that a
    // rewrite could start from and is declined after its directives were
    // looked at.
    ExpectDeclined({u"%d", u"%li", u"%lu", u"%lX", u"%f", u"%Lf", u"%p", u"%lc", u"%ls", u"100%%",
                    u"", u"plain text", u"%I64u"});
    ExpectDeclined(
        {u"%d items", u"all %lu", u"%ls at %lc", u"cost: %f", u"100%% sure", u"%I64d is $5"});
    // Formats the front end cannot handle.
    ExpectDeclined({u"%1$d %d", u"%d %1$d", u"%2$d", u"%1$d %3$d %3$d", u"%1$d %1$*d",
                    u"%99999999999$d", u"%s %hs", u"%lld %", u"%5$d %1$d", u"%1$s %4$s"});
    // Formats that need a rewrite ("%s") but hold a directive the scanner
    // refuses, one for each negative code.
    ExpectDeclined({u"%s %0$d", u"%s %-", u"%s %5", u"%s %5.", u"%s %Ld", u"%s %hf", u"%s %hc",
                    u"%s %hs", u"%s %S", u"%s %l"});
}

// Blocks without strings: the slots in the order the rewritten format
// reads them (a repeated index gets a copy of its whole group each time),
// then the format.
TEST(ArgumentBlock, SlotsAndFormatsOfBlocksWithoutStrings) {
    uint64_t half = 0;
    const double value = 2.5;
    std::memcpy(&half, &value, sizeof value);
    const struct {
        const char16_t* format;
        std::vector<uint64_t> slots;
        const char16_t* rewritten;
        std::vector<uint64_t> block_slots;
    } cases[] = {
        {u"%lld", {0x123456789ull}, u"%I64d", {0x123456789ull}},
        {u"%p%lld", {0x1234, 5}, u"%p%I64d", {0x1234, 5}},
        {u"%2$c%1$*.*f", {9, 3, half, 'A'}, u"%C%*.*f", {'A', 9, 3, half}},
        {u"%1$*d|%2$lld|%1$*d", {5, 7, 1ull << 32}, u"%*d|%I64d|%*d", {5, 7, 1ull << 32, 5, 7}},
    };
    for (const auto& c : cases) {
        Prepared prepared(c.format, c.slots);
        ASSERT_NE(prepared.block, nullptr);
        EXPECT_EQ(static_cast<const void*>(prepared.arguments), prepared.block);
        EXPECT_EQ(reinterpret_cast<const char*>(prepared.format),
                  prepared.block + 8 * c.block_slots.size());
        EXPECT_EQ(std::u16string(prepared.format), c.rewritten);
        EXPECT_EQ(std::vector<uint64_t>(prepared.arguments,
                                        prepared.arguments + c.block_slots.size()),
                  c.block_slots);
    }
}

// Narrow strings in plain ASCII are passed on as they are ("hs"); others
// are converted to UTF-16 ("ls"), a repeated index sharing one copy, in the
// order the format first names them. A string that a directive also reads
// as UTF-16 is copied whatever it holds.
TEST(ArgumentBlock, AsciiStringsPassOnOthersAreCopiedOnce) {
    const char one[] = "x\xC3\xA9";
    const char two[] = "2";
    Prepared prepared(u"%2$s %1$s %2$s", {Slot(one), Slot(two)});
    ASSERT_NE(prepared.block, nullptr);
    // Three slots (24 bytes), "%hs %ls %hs" (24 bytes), then "x\u00E9" (6
    // bytes).
    EXPECT_EQ(reinterpret_cast<const char*>(prepared.format), prepared.block + 24);
    EXPECT_EQ(std::u16string(prepared.format), u"%hs %ls %hs");
    const char* copy = prepared.block + 48;
    EXPECT_EQ(prepared.arguments[0], Slot(two));
    EXPECT_EQ(prepared.arguments[1], Slot(copy));
    EXPECT_EQ(prepared.arguments[2], Slot(two));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(copy)), u"x\u00E9");

    Prepared both(u"%1$ls|%1$s|%2$s", {Slot(two), Slot(two)});
    ASSERT_NE(both.block, nullptr);
    EXPECT_EQ(std::u16string(both.format), u"%ls|%ls|%hs");
    EXPECT_EQ(both.arguments[0], both.arguments[1]);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(both.arguments[0])), u"2");
    EXPECT_EQ(both.arguments[2], Slot(two));

    Prepared star(u"%*s", {5, Slot(one)});
    ASSERT_NE(star.block, nullptr);
    EXPECT_EQ(star.arguments[0], 5u);
    EXPECT_EQ(star.arguments[1], Slot(star.block + 16 + 10));
    EXPECT_EQ(std::u16string(star.format), u"%*ls");
}

}  // namespace
