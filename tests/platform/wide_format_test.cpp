// platform::WideFormat against the shared expectation table (counted,
// written into an exact buffer, refused in short ones), plus texts longer
// than any stack buffer a formatter might count in.
//
// Table lines (blank-separated tokens; '#' starts a comment line):
//   "format" argument... => "expected text"      or      ... => refused
// Arguments, one 8-byte slot each: a decimal or 0x-hexadecimal integer
// (negative ones as two's complement), d:<decimal> for a double, w"..." for
// the address of a UTF-16 string, n"..." for that of a single-byte one.
// Inside quotes: \\ \" \n \t \0, \xHH (a byte or unit), \uHHHH (a unit).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <deque>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace faultkit::test {
extern const char kWideFormatCases[];
}

namespace {

using faultkit::platform::WideFormat;

constexpr char kBlanks[] = " \t\r";

struct FormatCase {
    int line = 0;
    std::u16string format, expected;
    bool refused = false;
    std::vector<std::pair<char, uint64_t>> arguments;  // 'i' and a value, or 'w'/'n' and an index
    std::deque<std::u16string> wide;
    std::deque<std::string> narrow;

    // The argument slots, string ones pointing into the case, and spare zero
    // slots so that a format taking more arguments reads zeros.
    std::vector<uint64_t> Slots() const {
        std::vector<uint64_t> slots;
        for (const auto& [kind, value] : arguments) {
            slots.push_back(kind == 'w'   ? reinterpret_cast<uintptr_t>(wide[value].c_str())
                            : kind == 'n' ? reinterpret_cast<uintptr_t>(narrow[value].c_str())
                                          : value);
        }
        slots.resize(slots.size() + 8, 0);
        return slots;
    }
};

// A quoted text at `at` into units (bytes or UTF-16 units); moves past it.
bool Quoted(const std::string& s, size_t& at, std::u16string& units) {
    if (at >= s.size() || s[at] != '"') {
        return false;
    }
    for (++at; at < s.size() && s[at] != '"'; ++at) {
        char c = s[at];
        if (c == '\\' && ++at < s.size()) {
            c = s[at];
            if (c == 'x' || c == 'u') {
                const size_t digits = c == 'x' ? 2 : 4;
                const std::string hex = s.substr(at + 1, digits);
                if (hex.size() != digits ||
                    hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                    return false;
                }
                units.push_back(static_cast<char16_t>(std::stoul(hex, nullptr, 16)));
                at += digits;
                continue;
            }
            c = c == 'n' ? '\n' : c == 't' ? '\t' : c == '0' ? '\0' : c;
        }
        units.push_back(static_cast<unsigned char>(c));
    }
    return at++ < s.size();
}

bool Argument(const std::string& s, size_t& at, FormatCase& c) {
    const char kind = s[at];
    if ((kind == 'w' || kind == 'n') && s.compare(at + 1, 1, "\"") == 0) {
        std::u16string units;
        if (!Quoted(s, ++at, units)) {
            return false;
        }
        c.arguments.emplace_back(kind, kind == 'w' ? c.wide.size() : c.narrow.size());
        if (kind == 'w') {
            c.wide.push_back(units);
        } else {
            c.narrow.emplace_back(units.begin(), units.end());
        }
        return true;
    }
    const size_t word_end = std::min(s.find_first_of(kBlanks, at), s.size());
    const std::string word = s.substr(at, word_end - at);
    at = word_end;
    char* end = nullptr;
    uint64_t value = 0;
    if (word.compare(0, 2, "d:") == 0) {
        const double number = std::strtod(word.c_str() + 2, &end);
        std::memcpy(&value, &number, sizeof value);
    } else if (word[0] == '-') {
        value = static_cast<uint64_t>(std::strtoll(word.c_str(), &end, 0));
    } else {
        value = std::strtoull(word.c_str(), &end, 0);
    }
    c.arguments.emplace_back('i', value);
    return *end == '\0';
}

// One line; comment and blank lines leave the format empty.
bool ParseLine(const std::string& s, FormatCase& c) {
    size_t at = s.find_first_not_of(kBlanks);
    if (at == std::string::npos || s[at] == '#') {
        return true;
    }
    if (!Quoted(s, at, c.format)) {
        return false;
    }
    for (at = s.find_first_not_of(kBlanks, at); at != std::string::npos && s.compare(at, 2, "=>");
         at = s.find_first_not_of(kBlanks, at)) {
        if (!Argument(s, at, c)) {
            return false;
        }
    }
    at = at == std::string::npos ? at : s.find_first_not_of(kBlanks, at + 2);
    if (at != std::string::npos && s[at] == '"') {
        if (!Quoted(s, at, c.expected)) {
            return false;
        }
    } else if (at != std::string::npos && s.compare(at, 7, "refused") == 0) {
        c.refused = true;
        at += 7;
    } else {
        return false;
    }
    return s.find_first_not_of(kBlanks, at) == std::string::npos;
}

const std::vector<FormatCase>& Cases() {
    static const std::vector<FormatCase> cases = [] {
        std::vector<FormatCase> parsed;
        std::string text;
        std::istringstream lines(faultkit::test::kWideFormatCases);
        for (int line = 1; std::getline(lines, text); ++line) {
            FormatCase c;
            c.line = line;
            EXPECT_TRUE(ParseLine(text, c)) << "table line " << line << " is malformed";
            if (!c.format.empty()) {
                parsed.push_back(std::move(c));
            }
        }
        return parsed;
    }();
    return cases;
}

// Printable form of UTF-16 text with the table's escapes.
std::string Escape(const std::u16string& text) {
    std::string out = "\"";
    for (const char16_t unit : text) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, unit >= 0x20 && unit < 0x7F ? "%c" : "\\u%04X",
                      static_cast<unsigned>(unit));
        out += (unit == u'"' || unit == u'\\' ? "\\" : "") + std::string(escaped);
    }
    return out + "\"";
}

std::string Describe(const FormatCase& c) {
    return "table line " + std::to_string(c.line) + ": " + Escape(c.format);
}

// Formats into a buffer of `count` units followed by canaries; checks the
// canaries and the terminator, and returns the result with the text written.
int FormatGuarded(const FormatCase& c, size_t count, std::u16string& text) {
    constexpr char16_t kCanary = 0xCCCC;
    std::vector<char16_t> buffer(count + 8, kCanary);
    const std::vector<uint64_t> slots = c.Slots();
    const int result = WideFormat(buffer.data(), count, c.format.c_str(), slots.data());
    for (size_t i = count; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], kCanary) << Describe(c) << ": written past the count at " << i;
    }
    if (result >= 0 && static_cast<size_t>(result) < count) {
        EXPECT_EQ(buffer[result], u'\0') << Describe(c) << ": no terminator";
        text.assign(buffer.data(), buffer.data() + result);
    }
    return result;
}

// A case counted without a buffer, written into a buffer of exactly its
// size, and refused with a buffer one unit short, half its size or of
// count 0 (left untouched, as the canaries show).
void ExpectCase(const FormatCase& c) {
    const int counted = WideFormat(nullptr, 0, c.format.c_str(), c.Slots().data());
    std::u16string text;
    if (c.refused) {
        EXPECT_LT(counted, 0) << Describe(c);
        EXPECT_LT(FormatGuarded(c, 256, text), 0) << Describe(c);
        return;
    }
    const size_t size = c.expected.size();
    EXPECT_EQ(counted, static_cast<int>(size)) << Describe(c);
    EXPECT_EQ(FormatGuarded(c, size + 1, text), static_cast<int>(size)) << Describe(c);
    EXPECT_EQ(Escape(text), Escape(c.expected)) << Describe(c);
    for (const size_t short_count : {size, size / 2, size_t{0}}) {
        EXPECT_LT(FormatGuarded(c, short_count, text), 0) << Describe(c) << " in " << short_count;
    }
}

TEST(WideFormatTableTest, CountsWritesAndRefusesShortBuffers) {
    ASSERT_GE(Cases().size(), 200u);
    for (const char16_t conversion : std::u16string(u"diouxXpeEfgGaAcCsS")) {
        bool found = false;
        for (const FormatCase& c : Cases()) {
            found = found || (!c.refused && c.format.find(conversion) != std::u16string::npos);
        }
        EXPECT_TRUE(found) << "no case for conversion " << static_cast<char>(conversion);
    }
    for (const FormatCase& c : Cases()) {
        ExpectCase(c);
    }
}

TEST(WideFormatTest, LongTexts) {
    FormatCase c;
    c.arguments = {{'i', 7}};
    c.format = u"%3000d";
    c.expected = std::u16string(2999, u' ') + u"7";
    ExpectCase(c);
    c.format = u"%3000d%y";
    c.refused = true;
    ExpectCase(c);
    const double half = 0.5;
    std::memcpy(&c.arguments[0].second, &half, sizeof half);
    c.format = u"%.1200f";
    c.expected = u"0.5" + std::u16string(1199, u'0');
    c.refused = false;
    ExpectCase(c);
}

}  // namespace
