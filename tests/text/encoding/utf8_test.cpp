#include "text/encoding/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace faultkit {
namespace {

using std::string_literals::operator""s;

struct EncodeCase {
    int32_t cp;
    std::string bytes;
};

TEST(Utf8, EncodesEveryRangeBoundaryAndDecodesItBack) {
    const std::vector<EncodeCase> cases = {
        {0, "\x00"s},
        {127, "\x7F"s},
        {128, "\xC2\x80"s},
        {2047, "\xDF\xBF"s},
        {2048, "\xE0\xA0\x80"s},
        {0x20AC, "\xE2\x82\xAC"s},
        {65535, "\xEF\xBF\xBF"s},
        {65536, "\xF0\x90\x80\x80"s},
        {1114111, "\xF4\x8F\xBF\xBF"s},
        {1114112, "\xF8\x84\x90\x80\x80"s},
        {2097151, "\xF8\x87\xBF\xBF\xBF"s},
        {67108863, "\xFB\xBF\xBF\xBF\xBF"s},
        {67108864, "\xFC\x84\x80\x80\x80\x80"s},
        {2147483647, "\xFD\xBF\xBF\xBF\xBF\xBF"s},
    };
    for (const EncodeCase& c : cases) {
        char out[8] = {};
        char* end = nullptr;
        const int n = Utf8EncodeChar(c.cp, out, &end);
        EXPECT_EQ(std::string(out, static_cast<size_t>(n)), c.bytes) << c.cp;
        EXPECT_EQ(end, out + n);

        uint32_t cp = 1;
        const char* next = nullptr;
        bool error = true;
        EXPECT_TRUE(Utf8DecodeChar(c.bytes.data(), &cp, &next, &error, 0)) << c.cp;
        EXPECT_EQ(cp, static_cast<uint32_t>(c.cp));
        EXPECT_EQ(next, c.bytes.data() + c.bytes.size());
        EXPECT_FALSE(error);
        // The exact length as limit is enough; one byte less is incomplete.
        EXPECT_TRUE(Utf8DecodeChar(c.bytes.data(), &cp, &next, &error,
                                   static_cast<int32_t>(c.bytes.size())));
        if (c.bytes.size() > 1) {
            EXPECT_FALSE(Utf8DecodeChar(c.bytes.data(), &cp, &next, &error,
                                        static_cast<int32_t>(c.bytes.size()) - 1));
            EXPECT_FALSE(error);
        }
    }
}

TEST(Utf8, AcceptsOverlongFormsSurrogatesAndAsciiAtAnyLimit) {
    const struct {
        std::string bytes;
        int32_t limit;
        uint32_t cp;
    } cases[] = {
        {"\xC0\x80"s, 0, 0}, {"\xED\xA0\x80"s, 0, 0xD800}, {"\x41"s, 1, 0x41}, {"\x41"s, -3, 0x41}};
    for (const auto& c : cases) {
        uint32_t cp = 7;
        bool error = true;
        EXPECT_TRUE(Utf8DecodeChar(c.bytes.c_str(), &cp, nullptr, &error, c.limit));
        EXPECT_EQ(cp, c.cp);
        EXPECT_FALSE(error);
    }
}

TEST(Utf8, InvalidAndIncompleteLeaveOutputsAlone) {
    struct Case {
        std::string bytes;
        int32_t limit;
        bool error;
    } cases[] = {
        {"\x80"s, 0, true},      {"\xFE"s, 0, true},           {"\xFF"s, 5, true},
        {"\xC3\x28"s, 0, true},  {"\xC3"s, 1, false},  // cut short by the limit
        {"\xC3\x00"s, 0, true},                        // the terminator is not a continuation byte
        {"\xE2\x82"s, 2, false}, {"\xE2\x82\x41"s, -1, false},
    };
    for (const Case& c : cases) {
        uint32_t cp = 12345;
        const char* next = nullptr;
        bool error = !c.error;
        EXPECT_FALSE(Utf8DecodeChar(c.bytes.c_str(), &cp, &next, &error, c.limit));
        EXPECT_EQ(error, c.error) << c.bytes.size();
        EXPECT_EQ(cp, 12345u);
        EXPECT_EQ(next, nullptr);
    }
}

TEST(Utf8, FindCharMatchesOnlyAtCharacterStarts) {
    const std::string s = "\xE2\x82\xAC\xC2\xAC\x41"s;
    EXPECT_EQ(Utf8FindChar(s.c_str(), 0xAC), s.c_str() + 3);
    EXPECT_EQ(Utf8FindChar(s.c_str(), 0x20AC), s.c_str());
    EXPECT_EQ(Utf8FindChar(s.c_str(), 'A'), s.c_str() + 5);
    EXPECT_EQ(Utf8FindChar(s.c_str(), 0), s.c_str() + s.size());
    const char* empty = "";
    EXPECT_EQ(Utf8FindChar(empty, 0), empty);
    EXPECT_EQ(Utf8FindChar(empty, 0xE9), nullptr);
    // 0x82 0xAC occurs, but only inside U+20AC; U+00AC's bytes end it.
    const std::string only_inside = "\xE2\x82\xAC"s;
    EXPECT_EQ(Utf8FindChar(only_inside.c_str(), 0xAC), nullptr);
    EXPECT_EQ(Utf8FindChar(only_inside.c_str(), 0x2AC), nullptr);
}

TEST(Utf8, FindCharStepsOverBrokenTextWithoutPassingTheTerminator) {
    // Stray continuation bytes, FE/FF, and lead bytes cut short by another
    // lead byte or by the terminator itself (the heap copy is exactly as
    // long as the string, so a read past it is caught by ASan).
    const std::string broken = "\x80\xFE\xFF\xE2\xC2\xAC\xF4\x90"s;
    std::vector<char> exact(broken.begin(), broken.end());
    exact.push_back('\0');
    EXPECT_EQ(Utf8FindChar(exact.data(), 0xAC), exact.data() + 4);
    EXPECT_EQ(Utf8FindChar(exact.data(), 0x10000), nullptr);
    EXPECT_EQ(Utf8FindChar(exact.data(), 0x7FFFFFFF), nullptr);
}

TEST(Utf8, CopyAndLengthAreTheStringRoutines) {
    const std::string s = "\xC3\xA9\x41"s;
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(Utf8Copy(buffer, s.c_str()), buffer);
    EXPECT_EQ(std::string(buffer, 4), s + std::string(1, '\0'));
    EXPECT_EQ(buffer[4], 'x');
    EXPECT_EQ(Utf8Length(s.c_str()), 3u);
    EXPECT_EQ(Utf8Length(""), 0u);
}

}  // namespace
}  // namespace faultkit
