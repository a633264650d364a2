#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "context/context_list.h"
#include "faultkit.h"
#include "support/context_test_util.h"
#include "support/thread_errors.h"

namespace {

using faultkit::test::Format;
using faultkit::test::MakeList;
using faultkit::test::RawItem;

// Owns a context and a record that points at it.
struct Rendered {
    explicit Rendered(_qel_error_context* context) { record.context = context; }
    ~Rendered() { std::free(record.context); }

    int Measure() { return ErrorMgrGetContextString(&record, nullptr, 0); }

    // Renders into a buffer of `capacity` bytes followed by canaries; returns
    // the result and checks nothing past the measured size was touched.
    int Render(int capacity, std::vector<char>* out) {
        out->assign(static_cast<size_t>(capacity) + 16, '#');
        const int result = ErrorMgrGetContextString(&record, out->data(), capacity);
        const int measured = Measure();
        for (size_t i = static_cast<size_t>(measured); i < out->size(); ++i) {
            EXPECT_EQ((*out)[i], '#') << "byte " << i;
        }
        return result;
    }

    _qel_error_enumerate record{};
};

// Renders at exactly the measured size; the texts of `values` values,
// which the final NUL follows.
std::vector<std::string> RenderAll(Rendered& rendered, size_t values) {
    const int measured = rendered.Measure();
    std::vector<char> out;
    EXPECT_EQ(rendered.Render(measured, &out), measured);
    std::vector<std::string> texts;
    for (const char* p = out.data(); texts.size() <= values; p += texts.back().size() + 1) {
        texts.emplace_back(p);
    }
    EXPECT_EQ(texts.back(), "");
    texts.pop_back();
    return texts;
}

TEST(ContextRendering, CapacityDecidesBetweenSizeNothingAndText) {
    std::vector<char> out;
    Rendered none(nullptr);  // one NUL
    EXPECT_EQ(none.Measure(), 1);
    EXPECT_EQ(none.Render(1, &out), 1);
    EXPECT_EQ(out[0], '\0');

    Rendered rendered(ErrorMgrBuildContext(Format("%i"), 7));
    EXPECT_EQ(rendered.Measure(), 4);
    EXPECT_EQ(rendered.Render(4, &out), 4);
    EXPECT_EQ(std::string(out.data(), 4), std::string("7\0\0#", 4));  // counted one more
    EXPECT_EQ(rendered.Render(10, &out), 4);  // one byte short: the context_string corpus replay
    EXPECT_EQ(ErrorMgrGetContextString(&rendered.record, out.data(), -1), 0);
    EXPECT_EQ(ErrorMgrGetContextString(&rendered.record, nullptr, 5), 0);
    EXPECT_EQ(ErrorMgrGetContextString(nullptr, out.data(), 5), 0);
    EXPECT_EQ(QelErrorMgrType::GetContextString(&rendered.record, nullptr, 0), 4);
}

// Each list rendered at its measured size: the texts of its values and,
// where given, the measured size.
TEST(ContextRendering, ValuesRenderAsTheirTexts) {
    const unsigned char block[3] = {1, 2, 3};
    const std::string long_text(5000, 'q');
    const struct {
        _qel_error_context* context;
        int measured;  // 0: not checked
        std::vector<std::string> texts;
    } cases[] = {
        // Characters and strings are quoted.
        {ErrorMgrBuildContext(Format("%c%s"), 'A', "ab"), 10, {"'A'", "\"ab\""}},
        {ErrorMgrBuildContext(Format("%s"), nullptr), 8, {"<null>"}},
        {ErrorMgrBuildContext(Format("%i%s"), -5, "\xE2\x82\xAC"), 11, {"-5", "\"\xE2\x82\xAC\""}},
        {ErrorMgrBuildContext(Format("%s%i"), long_text.c_str(), 3),
         5007,
         {'"' + long_text + '"', "3"}},
        // Invalid UTF-8, also a sequence cut short at the end of the string,
        // renders as empty quotes.
        {ErrorMgrBuildContext(Format("%s"), "\x80"), 5, {"\"\""}},
        {ErrorMgrBuildContext(Format("%s%s"), "ab\xE2\x82", "x\xF8"), 13, {"\"\"", "\"\""}},
        // A surrogate encoded in UTF-8 fails the formatting: the value is
        // empty and the next one follows right behind it.
        {ErrorMgrBuildContext(Format("%s%i"), "ab\xED\xA0\x80", 5), 12, {"", "5"}},
        // Memory renders empty.
        {ErrorMgrBuildContext(Format("%i%m%i"), 1, uint64_t{sizeof block}, block, 2),
         8,
         {"1", "", "2"}},
        // Extreme values, one of each number type.
        {ErrorMgrBuildContext(Format("%llu%lli%r%u%zi%i%p%f%zu%Lf"), UINT64_MAX, INT64_MAX, 0xBEEFu,
                              4294967295u, static_cast<ptrdiff_t>(INT64_MIN), INT32_MIN,
                              reinterpret_cast<void*>(static_cast<uintptr_t>(0xAB)), 1.5, SIZE_MAX,
                              -0.25),
         0,
         {"18446744073709551615", "9223372036854775807", "BEEF", "4294967295",
          "-9223372036854775808", "-2147483648", "00000000000000AB", "1.500000",
          "18446744073709551615", "-0.250000"}},
    };
    for (const auto& c : cases) {
        Rendered rendered(c.context);
        const int measured = rendered.Measure();
        EXPECT_TRUE(c.measured == 0 || measured == c.measured) << measured << " " << c.texts[0];
        EXPECT_EQ(RenderAll(rendered, c.texts.size()), c.texts);
    }
}

// A writing call formats each counted value once and keeps its text for the
// writing pass; past the texts it can keep, it formats the values again.
// Strings between them are formatted only in the writing pass. With the
// first value's 16 bytes, the 48th maximum fills the kept room exactly.
TEST(ContextRendering, ManyCountedValuesRenderAsFew) {
    std::vector<RawItem> items{
        {faultkit::CtxUInt64, std::string("\x00\x40\x7A\x10\xF3\x5A\0\0", 8)}};
    std::vector<std::string> expected{"100000000000000"};
    const std::string max(8, '\xFF');
    for (int i = 0; i < 120; ++i) {
        items.push_back({faultkit::CtxUInt64, max});
        expected.push_back("18446744073709551615");
        if (i % 10 == 0) {
            items.push_back({faultkit::CtxString, std::string("s\0", 2)});
            expected.push_back("\"s\"");
            items.push_back({faultkit::CtxMemory, "m"});
            expected.push_back("");
        }
    }
    Rendered rendered(MakeList(items));
    EXPECT_EQ(rendered.Measure(), 1 + 17 + 120 * 22 + 12 * (4 + 1));
    EXPECT_EQ(RenderAll(rendered, expected.size()), expected);
}

TEST(ContextRendering, UnknownTypesAndMalformedPayloadsRenderEmpty) {
    const std::string seven("\x07\0\0\0", 4);
    Rendered rendered(MakeList({{faultkit::CtxInt32, seven},
                                {0x55, "xyz"},
                                {faultkit::CtxInt64, seven},  // too short for its type
                                {faultkit::CtxString, "no terminator"},
                                {faultkit::CtxDouble, ""},
                                {faultkit::CtxHex32, std::string("\x07\0", 2)},
                                {faultkit::CtxChar, ""},
                                {faultkit::CtxInt32, seven}}));
    EXPECT_EQ(rendered.Measure(), 1 + 3 + 1 + 1 + 3 + 1 + 1 + 1 + 3);
    EXPECT_EQ(RenderAll(rendered, 8),
              (std::vector<std::string>{"7", "", "", "\"\"", "", "", "", "7"}));
}

}  // namespace
