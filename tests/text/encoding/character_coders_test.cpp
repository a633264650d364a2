#include "text/encoding/character_coders.h"

#include <gtest/gtest.h>

#include <cstring>

namespace faultkit {
namespace {

struct Decoded {
    bool ok;
    bool error;
    uint32_t cp;
    ptrdiff_t next;  // offset of *next after the call, from src
};

// DecodeChar with a source end `available` bytes on (negative: before src).
Decoded DecodeWithEnd(EncodingId id, const void* src, ptrdiff_t available) {
    const auto* bytes = static_cast<const uint8_t*>(src);
    const void* next = bytes + available;
    Decoded d{};
    d.cp = 0x12345;
    d.error = !d.error;
    d.ok = DecodeChar(id, src, &d.cp, &next, &d.error);
    d.next = static_cast<const uint8_t*>(next) - bytes;
    return d;
}

TEST(DecodeChar, SourceEndGivesIncompleteOrError) {
    const uint16_t pair[] = {0xD83D, 0xDE00};
    Decoded d = DecodeWithEnd(kEncodingUtf16, pair, 4);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.cp, 0x1F600u);
    EXPECT_EQ(d.next, 4);
    d = DecodeWithEnd(kEncodingUtf16, pair, 3);  // the pair is cut
    EXPECT_FALSE(d.ok);
    EXPECT_FALSE(d.error);
    EXPECT_EQ(d.cp, 0x12345u);
    EXPECT_EQ(d.next, 3);
    d = DecodeWithEnd(kEncodingUtf16, pair, 1);  // below one unit
    EXPECT_FALSE(d.ok || d.error);
    d = DecodeWithEnd(kEncodingUtf32, pair, 3);
    EXPECT_FALSE(d.ok || d.error);
    d = DecodeWithEnd(3, pair, 0);
    EXPECT_FALSE(d.ok || d.error);
    const uint8_t text[] = {0x41, 0x42};
    d = DecodeWithEnd(3, text + 1, -1);  // an end before the source is an error
    EXPECT_FALSE(d.ok);
    EXPECT_TRUE(d.error);
    EXPECT_EQ(d.cp, kErrorCodePoint);

    // No end: *next holds null on entry, and the flag may be omitted.
    const void* next = nullptr;
    uint32_t cp = 0;
    EXPECT_TRUE(DecodeChar(kEncodingUtf32, "\x41\0\0\0", &cp, &next, nullptr));
    EXPECT_EQ(cp, 0x41u);
}

TEST(DecodeChar, InvalidInputsStoreTheErrorCodePoint) {
    const uint16_t unpaired[] = {0xD83D, 0x0041};
    const uint16_t lone_low[] = {0xDC00};
    const uint32_t too_big[] = {0x80000000u};
    const char bad_utf8[] = "\x80";
    struct Case {
        EncodingId id;
        const void* src;
    } invalid[] = {{kEncodingUtf16, unpaired},
                   {kEncodingUtf32, too_big},
                   {kEncodingUtf8, bad_utf8},
                   {18, bad_utf8},
                   {-3, bad_utf8}};
    for (const Case& c : invalid) {
        Decoded d = DecodeWithEnd(c.id, c.src, 4);
        EXPECT_FALSE(d.ok) << c.id;
        EXPECT_TRUE(d.error) << c.id;
        EXPECT_EQ(d.cp, kErrorCodePoint) << c.id;
        EXPECT_EQ(d.next, 4);
    }
    Decoded d = DecodeWithEnd(kEncodingUtf16, lone_low, 2);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.cp, 0xDC00u);
}

std::vector<uint8_t> Encode(EncodingId id, uint32_t cp, int32_t replacement = 0) {
    uint8_t out[8];
    void* end = nullptr;
    if (!EncodeChar(id, cp, out, &end, replacement)) {
        return {};
    }
    return std::vector<uint8_t>(out, static_cast<uint8_t*>(end));
}

std::vector<uint8_t> Units16(std::initializer_list<uint16_t> units) {
    std::vector<uint8_t> bytes(units.size() * 2);
    std::memcpy(bytes.data(), units.begin(), bytes.size());
    return bytes;
}

TEST(EncodeChar, EveryEncoding) {
    EXPECT_EQ(Encode(kEncodingUtf8, 0xE9), (std::vector<uint8_t>{0xC3, 0xA9}));
    EXPECT_EQ(Encode(kEncodingUtf16, 0x1F600), Units16({0xD83D, 0xDE00}));
    EXPECT_EQ(Encode(kEncodingUtf16, 0x10FFFF), Units16({0xDBFF, 0xDFFF}));
    EXPECT_EQ(Encode(kEncodingUtf16, 0xD800), Units16({0xD800}));  // surrogates pass
    EXPECT_EQ(Encode(kEncodingUtf16, 0xFFFF), Units16({0xFFFF}));
    const uint32_t big = 0x7FFFFFFF;
    std::vector<uint8_t> utf32(4);
    std::memcpy(utf32.data(), &big, 4);
    EXPECT_EQ(Encode(kEncodingUtf32, big), utf32);
    EXPECT_EQ(Encode(17, 0x20AC), std::vector<uint8_t>{0x80});
    EXPECT_EQ(Encode(3, 0), std::vector<uint8_t>{0x00});  // U+0000 is byte 0
}

TEST(EncodeChar, ReplacementBytesAndRefusals) {
    EXPECT_EQ(Encode(1, 0xE9), std::vector<uint8_t>{'?'});
    EXPECT_EQ(Encode(1, 0xE9, 0x1A7), std::vector<uint8_t>{0xA7});  // low 8 bits
    EXPECT_EQ(Encode(2, 0x1F600, '#'), std::vector<uint8_t>{'#'});
    EXPECT_EQ(Encode(2, 0x100E9, '#'), std::vector<uint8_t>{'#'});  // not E9
    EXPECT_EQ(Encode(2, 0x7F, '#'), std::vector<uint8_t>{'#'});
    EXPECT_TRUE(Encode(kEncodingUtf16, 0x110000).empty());
    EXPECT_TRUE(Encode(18, 0x41).empty());
    EXPECT_TRUE(Encode(-3, 0x41).empty());
    EXPECT_FALSE(EncodeChar(kEncodingUtf32, 0x41, nullptr, nullptr, 0));

    uint8_t byte = 0;
    CodePageEncodeChar(0xE9, &byte, nullptr, 0x2A, 1);
    EXPECT_EQ(byte, 0x2A);
}

}  // namespace
}  // namespace faultkit
