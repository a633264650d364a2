#include "text/format/format_directive_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using faultkit::DirectiveReading;
using faultkit::ReadFormatDirective;

// Every refusal code, with directives cut short at every point; each text
// sits in a heap buffer of exactly its length and terminator, so that the
// sanitizers see any read past it.
TEST(ReadFormatDirective, RefusalsWithoutReadingPastTheEnd) {
    const std::pair<std::u16string, int32_t> cases[] = {
        {u"%0$d", -1},   {u"%$d", -1}, {u"%-", -2},   {u"%1$-", -2}, {u"%", -3},
        {u"%5", -3},     {u"%12", -3}, {u"%1$", -3},  {u"%5.", -4},  {u"%.*", -4},
        {u"%1$5.5", -4}, {u"%Ld", -5}, {u"%jd", -5},  {u"%.d", -5},  {u"%hf", -6},
        {u"%hc", -7},    {u"%hs", -8}, {u"%-+d", -9}, {u"%S", -9},   {u"%C", -9},
        {u"%I64u", -9},  {u"%l", -9},  {u"%*l", -9},  {u"%ll", -9},  {u"%hh", -9}};
    for (const auto& [text, code] : cases) {
        std::vector<char16_t> exact(text.begin(), text.end());
        exact.push_back(0);
        DirectiveReading<char16_t> reading{};
        EXPECT_EQ(ReadFormatDirective(&exact[1], &reading), code)
            << std::string(text.begin(), text.end());
    }
}

// What the front end reads of the directives it accepts: the index, where
// the text to keep starts and where the conversion stands, the group's
// size, the string kind and the respelling.
TEST(ReadFormatDirective, ReadingsOfAcceptedDirectives) {
    using faultkit::Respelling;
    const struct {
        std::u16string text;
        int32_t index;
        size_t body;
        size_t conversion;
        uint64_t group;
        uint8_t kind;
        Respelling respelling;
    } cases[] = {
        {u"%d", 0, 1, 1, 8, 0, faultkit::kKeepSpelling},
        {u"%li", 0, 1, 2, 8, 0, faultkit::kKeepSpelling},
        {u"%lc", 0, 1, 2, 8, 0, faultkit::kKeepSpelling},
        {u"%ls", 0, 1, 2, 8, 1, faultkit::kKeepSpelling},
        {u"%Lf", 0, 1, 2, 8, 0, faultkit::kKeepSpelling},
        {u"%-5p", 0, 1, 3, 8, 0, faultkit::kKeepSpelling},
        {u"%lld!", 0, 1, 3, 8, 0, faultkit::kLongLong},
        {u"%hhx", 0, 1, 3, 8, 0, faultkit::kKeepSpelling},
        {u"%zu", 0, 1, 2, 8, 0, faultkit::kPointerSized},
        {u"%ti", 0, 1, 2, 8, 0, faultkit::kPointerSized},
        {u"%c", 0, 1, 1, 8, 0, faultkit::kByteCharacter},
        {u"%5s", 0, 1, 2, 8, 2, faultkit::kNarrowText},
        {u"%*d", 0, 1, 2, 16, 0, faultkit::kKeepSpelling},
        {u"%3$-*.*s.", 3, 3, 7, 24, 2, faultkit::kNarrowText},
        {u"%12$*.*f", 12, 4, 7, 24, 0, faultkit::kKeepSpelling},
        {u"%2$lld", 2, 3, 5, 8, 0, faultkit::kLongLong},
        {u"%99999999999$d", 2147483647, 13, 13, 8, 0, faultkit::kKeepSpelling},
        // A character that is no conversion ends a directive that has a "*".
        {u"%*I64d", 0, 1, 2, 8, 0, faultkit::kKeepSpelling},
    };
    for (const auto& c : cases) {
        DirectiveReading<char16_t> reading{};
        const std::string name(c.text.begin(), c.text.end());
        ASSERT_EQ(ReadFormatDirective(&c.text[1], &reading), c.index) << name;
        EXPECT_EQ(reading.body - c.text.data(), static_cast<ptrdiff_t>(c.body)) << name;
        EXPECT_EQ(reading.conversion - c.text.data(), static_cast<ptrdiff_t>(c.conversion)) << name;
        EXPECT_EQ(reading.group_bytes, c.group) << name;
        EXPECT_EQ(reading.kind, c.kind) << name;
        EXPECT_EQ(reading.respelling, c.respelling) << name;
    }
}

}  // namespace
