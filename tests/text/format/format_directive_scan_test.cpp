#include "text/format/format_directive_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using faultkit::ScanFormatDirective;
using faultkit::ScanSummary;

// Scans the directive after the leading '%' of `format` in summary mode.
int32_t Summarise(std::u16string format, ScanSummary* summary = nullptr) {
    ScanSummary local{0, 0};
    char16_t* end = nullptr;
    return ScanFormatDirective(&format[1], &end, nullptr, summary ? summary : &local, nullptr);
}

struct Rewritten {
    int32_t result;
    std::u16string text;  // the whole buffer after rewriting, up to its NUL
    size_t conversion;    // offset of the conversion character
    uint64_t group;
    uint32_t kind;
};

Rewritten Rewrite(const std::u16string& format) {
    std::u16string buffer = format + std::u16string(4, u'\0');  // room to grow
    char16_t* end = nullptr;
    uint64_t group = 0;
    uint32_t kind = 99;
    const int32_t result = ScanFormatDirective(&buffer[1], &end, &group, nullptr, &kind);
    return {result, buffer.c_str(), end ? static_cast<size_t>(end - buffer.data()) : 0, group,
            kind};
}

// Every refusal code, in both modes, with directives cut short at every
// point; each text sits in a heap buffer of exactly its length and
// terminator, so that the sanitizers see any read past it.
TEST(ScanFormatDirective, RefusalsInBothModesWithoutReadingPastTheEnd) {
    const std::pair<std::u16string, int32_t> cases[] = {
        {u"%0$d", -1},   {u"%$d", -1}, {u"%-", -2},   {u"%1$-", -2}, {u"%", -3},
        {u"%5", -3},     {u"%12", -3}, {u"%1$", -3},  {u"%5.", -4},  {u"%.*", -4},
        {u"%1$5.5", -4}, {u"%Ld", -5}, {u"%jd", -5},  {u"%.d", -5},  {u"%hf", -6},
        {u"%hc", -7},    {u"%hs", -8}, {u"%-+d", -9}, {u"%S", -9},   {u"%C", -9},
        {u"%I64u", -9},  {u"%l", -9},  {u"%*l", -9},  {u"%ll", -9},  {u"%hh", -9}};
    for (const auto& [text, code] : cases) {
        for (const bool rewrite : {false, true}) {
            std::vector<char16_t> exact(text.begin(), text.end());
            exact.push_back(0);
            ScanSummary summary{0, 0};
            char16_t* end = nullptr;
            uint64_t group = 0;
            uint32_t kind = 0;
            const int32_t result = ScanFormatDirective(&exact[1], &end, rewrite ? &group : nullptr,
                                                       rewrite ? nullptr : &summary, &kind);
            EXPECT_EQ(result, code)
                << std::string(text.begin(), text.end()) << (rewrite ? " rewrite" : " summary");
        }
    }
}

TEST(ScanFormatDirective, SummaryCountsGrowthAndRewrites) {
    ScanSummary summary{0, 10};
    EXPECT_EQ(Summarise(u"%d", &summary), 0);
    EXPECT_EQ(summary.rewrite_needed, 0);
    EXPECT_EQ(Summarise(u"%li", &summary), 0);
    EXPECT_EQ(Summarise(u"%lc", &summary), 0);
    EXPECT_EQ(Summarise(u"%ls", &summary), 0);
    EXPECT_EQ(summary.rewrite_needed, 0);
    EXPECT_EQ(summary.length, 10u);

    EXPECT_EQ(Summarise(u"%lld", &summary), 0);
    EXPECT_EQ(summary.length, 11u);
    EXPECT_EQ(summary.rewrite_needed, 1);
    EXPECT_EQ(Summarise(u"%s", &summary), 0);
    EXPECT_EQ(summary.length, 12u);
    EXPECT_EQ(Summarise(u"%zu", &summary), 0);  // same length
    EXPECT_EQ(Summarise(u"%12$*.*f", &summary), 12);
    EXPECT_EQ(summary.length, 12u);
    EXPECT_EQ(Summarise(u"%99999999999$d"), 2147483647);
}

TEST(ScanFormatDirective, RewritesInPlace) {
    Rewritten r = Rewrite(u"%lld!");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.text, u"%I64d!");
    EXPECT_EQ(r.conversion, 4u);
    EXPECT_EQ(r.group, 8u);
    EXPECT_EQ(r.kind, 0u);

    EXPECT_EQ(Rewrite(u"%zu").text, u"%Iu");
    EXPECT_EQ(Rewrite(u"%ti").text, u"%Ii");
    EXPECT_EQ(Rewrite(u"%c").text, u"%C");
    EXPECT_EQ(Rewrite(u"%lc").text, u"%lc");

    r = Rewrite(u"%3$-*.*s.");
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.text, u"%-*.*ls.");
    EXPECT_EQ(r.conversion, 6u);
    EXPECT_EQ(r.group, 24u);
    EXPECT_EQ(r.kind, 2u);

    r = Rewrite(u"%ls");
    EXPECT_EQ(r.kind, 1u);
    EXPECT_EQ(r.group, 8u);
    EXPECT_EQ(Rewrite(u"%*d").group, 16u);
    EXPECT_EQ(Rewrite(u"%5s").text, u"%5ls");
}

}  // namespace
