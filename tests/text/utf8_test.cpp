#include "text/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace faultkit {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

struct EncodeCase {
    int32_t cp;
    std::string bytes;
};

TEST(Utf8, EncodesEveryRangeBoundaryAndDecodesItBack) {
    const std::vector<EncodeCase> cases = {
        {0, Bytes({0x00})},
        {127, Bytes({0x7F})},
        {128, Bytes({0xC2, 0x80})},
        {2047, Bytes({0xDF, 0xBF})},
        {2048, Bytes({0xE0, 0xA0, 0x80})},
        {0x20AC, Bytes({0xE2, 0x82, 0xAC})},
        {65535, Bytes({0xEF, 0xBF, 0xBF})},
        {65536, Bytes({0xF0, 0x90, 0x80, 0x80})},
        {1114111, Bytes({0xF4, 0x8F, 0xBF, 0xBF})},
        {1114112, Bytes({0xF8, 0x84, 0x90, 0x80, 0x80})},
        {2097151, Bytes({0xF8, 0x87, 0xBF, 0xBF, 0xBF})},
        {67108863, Bytes({0xFB, 0xBF, 0xBF, 0xBF, 0xBF})},
        {67108864, Bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80})},
        {2147483647, Bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})},
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
    } cases[] = {{Bytes({0xC0, 0x80}), 0, 0},
                 {Bytes({0xED, 0xA0, 0x80}), 0, 0xD800},
                 {Bytes({0x41}), 1, 0x41},
                 {Bytes({0x41}), -3, 0x41}};
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
        {Bytes({0x80}), 0, true},
        {Bytes({0xFE}), 0, true},
        {Bytes({0xFF}), 5, true},
        {Bytes({0xC3, 0x28}), 0, true},
        {Bytes({0xC3}), 1, false},       // cut short by the limit
        {Bytes({0xC3, 0x00}), 0, true},  // the terminator is not a continuation byte
        {Bytes({0xE2, 0x82}), 2, false},
        {Bytes({0xE2, 0x82, 0x41}), -1, false},
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
    const std::string s = Bytes({0xE2, 0x82, 0xAC, 0xC2, 0xAC, 0x41});
    EXPECT_EQ(Utf8FindChar(s.c_str(), 0xAC), s.c_str() + 3);
    EXPECT_EQ(Utf8FindChar(s.c_str(), 0x20AC), s.c_str());
    EXPECT_EQ(Utf8FindChar(s.c_str(), 'A'), s.c_str() + 5);
    EXPECT_EQ(Utf8FindChar(s.c_str(), 0), s.c_str() + s.size());
    const char* empty = "";
    EXPECT_EQ(Utf8FindChar(empty, 0), empty);
    EXPECT_EQ(Utf8FindChar(empty, 0xE9), nullptr);
    // 0x82 0xAC occurs, but only inside U+20AC; U+00AC's bytes end it.
    const std::string only_inside = Bytes({0xE2, 0x82, 0xAC});
    EXPECT_EQ(Utf8FindChar(only_inside.c_str(), 0xAC), nullptr);
    EXPECT_EQ(Utf8FindChar(only_inside.c_str(), 0x2AC), nullptr);
}

TEST(Utf8, FindCharStepsOverBrokenTextWithoutPassingTheTerminator) {
    // Stray continuation bytes, FE/FF, and lead bytes cut short by another
    // lead byte or by the terminator itself (the heap copy is exactly as
    // long as the string, so a read past it is caught by ASan).
    const std::string broken = Bytes({0x80, 0xFE, 0xFF, 0xE2, 0xC2, 0xAC, 0xF4, 0x90});
    std::vector<char> exact(broken.begin(), broken.end());
    exact.push_back('\0');
    EXPECT_EQ(Utf8FindChar(exact.data(), 0xAC), exact.data() + 4);
    EXPECT_EQ(Utf8FindChar(exact.data(), 0x10000), nullptr);
    EXPECT_EQ(Utf8FindChar(exact.data(), 0x7FFFFFFF), nullptr);
}

TEST(Utf8, CopyAndLengthAreTheStringRoutines) {
    const std::string s = Bytes({0xC3, 0xA9, 0x41});
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
