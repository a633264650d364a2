#include "text/encoding/character_coders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace faultkit {
namespace {

using std::string_literals::operator""s;

// DecodeChar with a source end `available` bytes on (negative: before src;
// kNoEnd: *next null on entry, so no end).
constexpr ptrdiff_t kNoEnd = 1000;

TEST(DecodeChar, CompleteIncompleteAndInvalid) {
    const std::string pair = "\x3D\xD8\x00\xDE"s;
    const struct {
        EncodingId id;
        std::string src;
        ptrdiff_t available;
        bool ok;
        bool error;
        uint32_t cp;     // 0x12345: left alone
        ptrdiff_t next;  // after the call
    } cases[] = {
        {kEncodingUtf16, pair, 4, true, false, 0x1F600, 4},
        {kEncodingUtf16, pair, 3, false, false, 0x12345, 3},  // the pair is cut
        {kEncodingUtf16, pair, 1, false, false, 0x12345, 1},  // below one unit
        {kEncodingUtf32, pair, 3, false, false, 0x12345, 3},
        {3, pair, 0, false, false, 0x12345, 0},
        {3, "AB", -1, false, true, kErrorCodePoint, -1},  // an end before the source
        {kEncodingUtf32, "A\0\0\0"s, kNoEnd, true, false, 0x41, 4},
        {kEncodingUtf16, "\x00\xDC"s, 2, true, false, 0xDC00, 2},  // a lone low surrogate
        {kEncodingUtf16, "\x3D\xD8\x41\0"s, 4, false, true, kErrorCodePoint, 4},
        {kEncodingUtf32, "\xFF\xFF\xFF\x7F"s, 4, true, false, 0x7FFFFFFF, 4},  // the last valid unit
        {kEncodingUtf32, "\0\0\0\x80"s, 4, false, true, kErrorCodePoint, 4},
        {kEncodingUtf8, "\x80\0\0\0"s, 4, false, true, kErrorCodePoint, 4},
        {18, "\x80\0\0\0"s, 4, false, true, kErrorCodePoint, 4},
        {-3, "\x80\0\0\0"s, 4, false, true, kErrorCodePoint, 4},
    };
    for (const auto& c : cases) {
        const char* src = c.src.c_str();
        const void* next = c.available == kNoEnd ? nullptr : src + c.available;
        uint32_t cp = 0x12345;
        bool error = !c.error;
        EXPECT_EQ(DecodeChar(c.id, src, &cp, &next, &error), c.ok) << c.id << " " << c.available;
        EXPECT_EQ(error, c.error) << c.id << " " << c.available;
        EXPECT_EQ(cp, c.cp) << c.id << " " << c.available;
        EXPECT_EQ(static_cast<const char*>(next) - src, c.next) << c.id << " " << c.available;
    }
    uint32_t cp = 0;
    const void* next = nullptr;  // the error flag may be omitted
    EXPECT_TRUE(DecodeChar(kEncodingUtf32, "\x41\0\0\0", &cp, &next, nullptr));
}

// The end pointers are optional: without them a character is decoded and
// encoded all the same, and with them they land after it.
TEST(DecodeAndEncodeChar, WithAndWithoutTheEndPointers) {
    const struct {
        EncodingId id;
        std::string bytes;
    } cases[] = {{kEncodingUtf8, "\xC3\xA9"}, {kEncodingUtf16, "\xE9\0"s},  //
                 {kEncodingUtf32, "\xE9\0\0\0"s}, {17, "\x80"}};
    for (const auto& c : cases) {
        for (const bool ends : {false, true}) {
            const void* next = nullptr;
            uint32_t cp = 0;
            EXPECT_TRUE(DecodeChar(c.id, c.bytes.data(), &cp, ends ? &next : nullptr, nullptr));
            char out[8];
            void* end = nullptr;
            EXPECT_TRUE(EncodeChar(c.id, cp, out, ends ? &end : nullptr, 0));
            EXPECT_EQ(std::string(out, c.bytes.size()), c.bytes) << c.id;
            EXPECT_EQ(next, ends ? c.bytes.data() + c.bytes.size() : nullptr) << c.id;
            EXPECT_EQ(end, ends ? out + c.bytes.size() : nullptr) << c.id;
        }
    }
}

// The bytes EncodeChar gives; empty when it refuses.
std::string Encode(EncodingId id, uint32_t cp, int32_t replacement = 0) {
    char out[8];
    void* end = nullptr;
    return EncodeChar(id, cp, out, &end, replacement) ? std::string(out, static_cast<char*>(end))
                                                      : "";
}

TEST(EncodeChar, EveryEncodingReplacementsAndRefusals) {
    EXPECT_EQ(Encode(kEncodingUtf8, 0xE9), "\xC3\xA9");
    EXPECT_EQ(Encode(kEncodingUtf16, 0x1F600), "\x3D\xD8\x00\xDE"s);
    EXPECT_EQ(Encode(kEncodingUtf16, 0x10FFFF), "\xFF\xDB\xFF\xDF");
    EXPECT_EQ(Encode(kEncodingUtf16, 0xD800), "\x00\xD8"s);  // surrogates pass
    EXPECT_EQ(Encode(kEncodingUtf16, 0xFFFF), "\xFF\xFF");
    EXPECT_EQ(Encode(kEncodingUtf32, 0x7FFFFFFF), "\xFF\xFF\xFF\x7F");
    EXPECT_EQ(Encode(17, 0x20AC), "\x80");
    EXPECT_EQ(Encode(3, 0), "\0"s);  // U+0000 is byte 0
    EXPECT_EQ(Encode(1, 0xE9), "?");
    EXPECT_EQ(Encode(1, 0xE9, 0x1A7), "\xA7");  // the low 8 bits
    EXPECT_EQ(Encode(2, 0x1F600, '#'), "#");
    EXPECT_EQ(Encode(2, 0x100E9, '#'), "#");  // not E9
    EXPECT_EQ(Encode(2, 0x7F, '#'), "#");
    EXPECT_EQ(Encode(kEncodingUtf16, 0x110000), "");
    EXPECT_EQ(Encode(18, 0x41), "");
    EXPECT_EQ(Encode(-3, 0x41), "");
    EXPECT_FALSE(EncodeChar(kEncodingUtf32, 0x41, nullptr, nullptr, 0));
    uint8_t byte = 0;
    CodePageEncodeChar(0xE9, &byte, nullptr, 0x2A, 1);
    EXPECT_EQ(byte, 0x2A);
}

}  // namespace
}  // namespace faultkit
