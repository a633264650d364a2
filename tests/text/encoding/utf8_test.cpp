#include "text/encoding/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace faultkit {
namespace {

using std::string_literals::operator""s;

// Every range boundary up to 31 bits encodes and decodes back; the exact
// length is enough as a limit, one byte less is incomplete.
TEST(Utf8, EncodesEveryRangeBoundaryAndDecodesItBack) {
    const std::pair<int32_t, std::string> cases[] = {
        {0, "\x00"s},
        {127, "\x7F"},
        {128, "\xC2\x80"},
        {2047, "\xDF\xBF"},
        {2048, "\xE0\xA0\x80"},
        {65535, "\xEF\xBF\xBF"},
        {65536, "\xF0\x90\x80\x80"},
        {1114111, "\xF4\x8F\xBF\xBF"},
        {1114112, "\xF8\x84\x90\x80\x80"},
        {2097151, "\xF8\x87\xBF\xBF\xBF"},
        {67108863, "\xFB\xBF\xBF\xBF\xBF"},
        {67108864, "\xFC\x84\x80\x80\x80\x80"},
        {2147483647, "\xFD\xBF\xBF\xBF\xBF\xBF"},
    };
    for (const auto& [code_point, bytes] : cases) {
        char out[8] = {};
        char* end = nullptr;
        const int n = Utf8EncodeChar(code_point, out, &end);
        EXPECT_EQ(std::string(out, static_cast<size_t>(n)), bytes) << code_point;
        EXPECT_EQ(end, out + n);
        const auto size = static_cast<int32_t>(bytes.size());
        for (const int32_t limit : {0, size, size - 1}) {
            uint32_t cp = 1;
            const char* next = nullptr;
            bool error = true;
            const bool whole = limit != size - 1 || size == 1;
            EXPECT_EQ(Utf8DecodeChar(bytes.data(), &cp, &next, &error, limit), whole) << code_point;
            EXPECT_EQ(cp, whole ? static_cast<uint32_t>(code_point) : 1u);
            EXPECT_EQ(next, whole ? bytes.data() + size : nullptr);
            EXPECT_FALSE(error);
        }
    }
}

// Overlong forms, surrogates and ASCII at any limit decode; invalid and
// incomplete sequences leave the outputs alone.
TEST(Utf8, DecodingAcceptsAndRefuses) {
    const struct {
        std::string bytes;
        int32_t limit;
        bool ok;
        bool error;
        uint32_t cp;
    } cases[] = {
        {"\xC0\x80", 0, true, false, 0},   {"\xED\xA0\x80", 0, true, false, 0xD800},
        {"\x41", 1, true, false, 0x41},    {"\x41", -3, true, false, 0x41},
        {"\x80", 0, false, true, 0},       {"\xFE", 0, false, true, 0},
        {"\xFF", 5, false, true, 0},       {"\xC3\x28", 0, false, true, 0},
        {"\xC3", 1, false, false, 0},      {"\xC3\x00"s, 0, false, true, 0},
        {"\xE2\x82", 2, false, false, 0},  {"\xE2\x82\x41", -1, false, false, 0},
    };
    for (const auto& c : cases) {
        uint32_t cp = 12345;
        const char* next = nullptr;
        bool error = !c.error;
        EXPECT_EQ(Utf8DecodeChar(c.bytes.c_str(), &cp, &next, &error, c.limit), c.ok) << c.bytes;
        EXPECT_EQ(error, c.error) << c.bytes;
        EXPECT_EQ(cp, c.ok ? c.cp : 12345u) << c.bytes;
        EXPECT_EQ(next, c.ok ? c.bytes.c_str() + c.bytes.size() : nullptr) << c.bytes;
    }
}

// A match only at a character start; broken text (stray continuation
// bytes, FE/FF, lead bytes cut short by another or by the terminator) is
// stepped over without reading past the terminator (an exact heap copy).
TEST(Utf8, FindCharMatchesOnlyAtCharacterStarts) {
    const std::string s = "\xE2\x82\xAC\xC2\xAC\x41";
    const std::string broken = "\x80\xFE\xFF\xE2\xC2\xAC\xF4\x90";
    const std::vector<char> exact(broken.c_str(), broken.c_str() + broken.size() + 1);
    const char* empty = "";
    const struct {
        const char* text;
        int32_t cp;
        ptrdiff_t at;  // -1: not found
    } cases[] = {{s.c_str(), 0xAC, 3},     {s.c_str(), 0x20AC, 0},   {s.c_str(), 'A', 5},
                 {s.c_str(), 0, 6},        {empty, 0, 0},            {empty, 0xE9, -1},
                 {"\xE2\x82\xAC", 0xAC, -1}, {"\xE2\x82\xAC", 0x2AC, -1},
                 {"A\xC2\x80", 0x80, 1}, {exact.data(), 0xAC, 4},  {exact.data(), 0x10000, -1},
                 {exact.data(), 0x7FFFFFFF, -1}};
    for (const auto& c : cases) {
        const char* found = Utf8FindChar(c.text, c.cp);
        EXPECT_EQ(found ? found - c.text : -1, c.at) << c.cp;
    }
}

}  // namespace
}  // namespace faultkit
