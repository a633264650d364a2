#include "text/format/ascii_fast_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/convert/encoding_conversion.h"

namespace {

using faultkit::IsPlainAscii;
using faultkit::WidenUtf8Text;

// Texts of every length across the 8- and 16-unit blocks, plain or with an
// odd character at every position: the widening must agree with the
// general conversion in result and units (the terminator too), whatever the
// split.
TEST(AsciiFastPath, WideningAgreesWithTheConversionAtEverySplit) {
    const char* const odd[] = {"",         "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                               "\x80",     "\xE2\x82", "\xFD\xBF\xBF\xBF\xBF\xBF"};
    for (size_t length = 0; length <= 40; ++length) {
        for (const char* piece : odd) {
            for (size_t at = 0; at <= length; ++at) {
                std::string text(length, 'a');
                text.insert(at, piece);
                const size_t bytes = text.size() + 1;
                std::vector<char16_t> ours(bytes, 0xCCCC);
                std::vector<char16_t> theirs(bytes, 0xCCCC);
                const uint64_t result = WidenUtf8Text(text.c_str(), bytes, ours.data());
                ASSERT_EQ(result,
                          faultkit::ConvertUtf8TextToUtf16(text.c_str(), bytes, theirs.data()))
                    << length << " " << at;
                EXPECT_EQ(std::u16string(ours.data(), result / 2),
                          std::u16string(theirs.data(), result / 2));
            }
        }
    }
}

TEST(AsciiFastPath, PlainAsciiRefusesZeroAndEverythingFrom0x80AtEveryPosition) {
    for (size_t units = 1; units <= 40; ++units) {
        const std::u16string text(units, u'a');
        EXPECT_TRUE(IsPlainAscii(text.data(), units));
        for (size_t at = 0; at < units; ++at) {
            for (const char16_t odd : {u'\0', u'\x80', u'\x100', u'\xFFFF', u'\xD800'}) {
                std::u16string changed = text;
                changed[at] = odd;
                EXPECT_FALSE(IsPlainAscii(changed.data(), units)) << units << " " << at;
            }
            std::u16string edge = text;
            edge[at] = u'\x7F';
            edge[units - 1 - at] = u'\x01';
            EXPECT_TRUE(IsPlainAscii(edge.data(), units));
        }
    }
    EXPECT_TRUE(IsPlainAscii(u"", 0));
}

// A byte from 0x80 up at any position of texts across the 8- and 16-byte
// blocks, or just behind the text, decides alone.
TEST(AsciiFastPath, AsciiTextRefusesAnyByteFrom0x80AtEveryPosition) {
    for (size_t bytes = 0; bytes <= 40; ++bytes) {
        std::string text(bytes, '\x7F');
        text += '\x80';
        EXPECT_TRUE(faultkit::IsAsciiText(text.data(), bytes)) << bytes;
        for (size_t at = 0; at < bytes; ++at) {
            for (const char odd : {'\x80', '\xC3', '\xFF'}) {
                std::string changed(bytes, at % 2 == 0 ? '\0' : 'a');
                changed[at] = odd;
                EXPECT_FALSE(faultkit::IsAsciiText(changed.data(), bytes)) << bytes << " " << at;
            }
        }
    }
}

}  // namespace
