#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "faultkit.h"

namespace {

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

std::string Bytes(const std::vector<char>& buffer, size_t count) {
    return std::string(buffer.data(), count);
}

TEST(ContextRendering, NullContextIsOneNul) {
    Rendered rendered(nullptr);
    EXPECT_EQ(rendered.Measure(), 1);
    std::vector<char> out;
    EXPECT_EQ(rendered.Render(1, &out), 1);
    EXPECT_EQ(out[0], '\0');
}

TEST(ContextRendering, CapacityDecidesBetweenSizeNothingAndText) {
    Rendered rendered(ErrorMgrBuildContext(const_cast<char*>("%i"), 7));
    EXPECT_EQ(rendered.Measure(), 4);
    std::vector<char> out;
    EXPECT_EQ(rendered.Render(4, &out), 4);
    EXPECT_EQ(Bytes(out, 3), std::string("7\0\0", 3));
    EXPECT_EQ(out[3], '#');  // counted one larger than written
    EXPECT_EQ(rendered.Render(3, &out), 0);
    EXPECT_EQ(out[0], '#');
    EXPECT_EQ(ErrorMgrGetContextString(&rendered.record, out.data(), -1), 0);
    EXPECT_EQ(ErrorMgrGetContextString(&rendered.record, nullptr, 5), 0);
    EXPECT_EQ(ErrorMgrGetContextString(nullptr, out.data(), 5), 0);
    EXPECT_EQ(QelErrorMgrType::GetContextString(&rendered.record, nullptr, 0), 4);
}

TEST(ContextRendering, CharactersAndStringsAreQuotedAndCountedExactly) {
    Rendered rendered(ErrorMgrBuildContext(const_cast<char*>("%c%s"), 'A', "ab"));
    ASSERT_EQ(rendered.Measure(), 10);
    std::vector<char> out;
    EXPECT_EQ(rendered.Render(10, &out), 10);
    EXPECT_EQ(Bytes(out, 10), std::string("'A'\0\"ab\"\0\0", 10));

    Rendered null_string(ErrorMgrBuildContext(const_cast<char*>("%s"), nullptr));
    EXPECT_EQ(null_string.Measure(), 8);
    EXPECT_EQ(null_string.Render(8, &out), 8);
    EXPECT_EQ(Bytes(out, 8), std::string("<null>\0\0", 8));
}

TEST(ContextRendering, InvalidUtf8StringRendersAsEmptyQuotes) {
    Rendered rendered(ErrorMgrBuildContext(const_cast<char*>("%s"), "\x80"));
    EXPECT_EQ(rendered.Measure(), 5);
    std::vector<char> out;
    EXPECT_EQ(rendered.Render(5, &out), 5);
    EXPECT_EQ(Bytes(out, 4), std::string("\"\"\0\0", 4));
}

TEST(ContextRendering, MemoryItemsRenderEmpty) {
    const unsigned char block[3] = {1, 2, 3};
    Rendered rendered(ErrorMgrBuildContext(const_cast<char*>("%i%m%i"), 1,
                                           static_cast<uint64_t>(sizeof block), block, 2));
    const int measured = rendered.Measure();
    EXPECT_EQ(measured, 1 + 3 + 1 + 3);
    std::vector<char> out;
    EXPECT_EQ(rendered.Render(measured, &out), measured);
    EXPECT_EQ(Bytes(out, 6), std::string("1\0\0" "2\0\0", 6));
}

TEST(ContextRendering, ExtremeValues) {
    Rendered rendered(ErrorMgrBuildContext(
        const_cast<char*>("%llu%lli%r%u%zi%hhi%p%f"), static_cast<unsigned long long>(UINT64_MAX),
        -1LL, 0xBEEFu, 4294967295u, static_cast<ptrdiff_t>(INT64_MIN), 255,
        reinterpret_cast<void*>(static_cast<uintptr_t>(0xAB)), 1.5));
    const int measured = rendered.Measure();
    std::vector<char> out;
    ASSERT_EQ(rendered.Render(measured, &out), measured);
    std::vector<std::string> texts;
    for (const char* p = out.data(); *p != '\0'; p += texts.back().size() + 1) {
        texts.emplace_back(p);
    }
    const std::vector<std::string> expected{"18446744073709551615",
                                            "-1",
                                            "BEEF",
                                            "4294967295",
                                            "-9223372036854775808",
                                            "-1",
                                            "00000000000000AB",
                                            "1.500000"};
    EXPECT_EQ(texts, expected);
}

}  // namespace
