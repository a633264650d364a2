// platform::WideFormat against the shared expectation table (its syntax is
// described at its head): counted, written into an exact buffer, refused in
// short ones; on Windows every heap checked after each call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace faultkit::test {
extern const char kWideFormatCases[];
}

namespace {

using faultkit::platform::WideFormat;

// Every heap of the process intact: the Windows runtime's own wide path
// overruns its digit buffer's heap block with long integer directives.
bool HeapsIntact() {
#ifdef _WIN32
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    bool intact = count != 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        intact = intact && HeapValidate(heaps[i], 0, nullptr);
    }
    return intact;
#else
    return true;
#endif
}

struct FormatCase {
    std::u16string format, expected;
    bool refused = false;
    std::vector<uint64_t> slots;  // spare zero slots behind: extra arguments read zeros
    std::deque<std::u16string> wide;
    std::deque<std::string> narrow;
};

// The quoted text next in `in`, escapes resolved; fails `in` when there is none.
std::u16string Quoted(std::istream& in) {
    std::string raw;
    if ((in >> std::ws).get() != '"' || !std::getline(in, raw, '"') || in.eof()) {
        in.setstate(std::ios::failbit);
    }
    std::u16string units;
    for (size_t at = 0; at < raw.size(); ++at) {
        char c = raw[at];
        if (c == '\\') {
            c = raw[++at];
            const size_t digits = c == 'x' ? 2 : c == 'u' ? 4 : 0;
            if (digits != 0) {
                units.push_back(
                    static_cast<char16_t>(std::stoul(raw.substr(at + 1, digits), nullptr, 16)));
                at += digits;
                continue;
            }
            c = c == 'n' ? '\n' : c == 't' ? '\t' : c == '0' ? '\0' : c;
        }
        units.push_back(static_cast<unsigned char>(c));
    }
    return units;
}

// A numeric argument's slot ("-n" wraps to two's complement); a malformed
// integer throws.
uint64_t Number(const std::string& word) {
    if (word.compare(0, 2, "d:") != 0) {
        return std::stoull(word, nullptr, 0);
    }
    const double number = std::strtod(word.c_str() + 2, nullptr);
    uint64_t value = 0;
    std::memcpy(&value, &number, sizeof value);
    return value;
}

// One line; comment and blank lines leave the format empty.
bool ParseLine(const std::string& line, FormatCase& c) {
    std::istringstream in(line);
    if ((in >> std::ws).peek() == '#' || in.eof()) {
        return true;
    }
    c.format = Quoted(in);
    for (std::string word; in && (in >> std::ws).peek() != '=';) {
        const char kind = static_cast<char>(in.peek());
        if (kind == 'w' || kind == 'n') {
            in.get();
            const std::u16string units = Quoted(in);
            c.slots.push_back(kind == 'w'
                                  ? reinterpret_cast<uintptr_t>(c.wide.emplace_back(units).c_str())
                                  : reinterpret_cast<uintptr_t>(
                                        c.narrow.emplace_back(units.begin(), units.end()).c_str()));
        } else if (in >> word) {
            c.slots.push_back(Number(word));
        }
    }
    c.slots.resize(c.slots.size() + 8, 0);
    std::string arrow, refused;
    in >> arrow;
    if ((in >> std::ws).peek() == '"') {
        c.expected = Quoted(in);
    } else {
        in >> refused;
        c.refused = refused == "refused";
    }
    return !in.fail() && arrow == "=>" && (c.refused || refused.empty()) && !(in >> arrow);
}

// Formats into a buffer of `count` units followed by canaries; checks the
// canaries and the terminator, and returns the result with the text written.
int FormatGuarded(const FormatCase& c, size_t count, std::u16string& text) {
    constexpr char16_t kCanary = 0xCCCC;
    std::vector<char16_t> buffer(count + 8, kCanary);
    const int result = WideFormat(buffer.data(), count, c.format.c_str(), c.slots.data());
    EXPECT_TRUE(HeapsIntact());
    for (size_t i = count; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], kCanary) << "written past the count at " << i;
    }
    if (result >= 0 && static_cast<size_t>(result) < count) {
        EXPECT_EQ(buffer[result], u'\0') << "no terminator";
        text.assign(buffer.data(), buffer.data() + result);
    }
    return result;
}

// A case counted without a buffer, written into a buffer of exactly its
// size, and refused with a buffer one unit short, half its size or of
// count 0 (left untouched, as the canaries show).
void ExpectCase(const FormatCase& c) {
    SCOPED_TRACE(testing::PrintToString(c.format));
    const int counted = WideFormat(nullptr, 0, c.format.c_str(), c.slots.data());
    std::u16string text;
    if (c.refused) {
        EXPECT_LT(counted, 0);
        EXPECT_LT(FormatGuarded(c, 256, text), 0);
        return;
    }
    const size_t size = c.expected.size();
    EXPECT_EQ(counted, static_cast<int>(size));
    EXPECT_EQ(FormatGuarded(c, size + 1, text), static_cast<int>(size));
    EXPECT_EQ(text, c.expected);
    for (const size_t short_count : {size, size / 2, size_t{0}}) {
        EXPECT_LT(FormatGuarded(c, short_count, text), 0) << "in " << short_count;
    }
}

TEST(WideFormatTableTest, CountsWritesAndRefusesShortBuffers) {
    std::istringstream lines(faultkit::test::kWideFormatCases);
    int cases = 0;
    std::string text;
    for (int line = 1; std::getline(lines, text); ++line) {
        SCOPED_TRACE("table line " + std::to_string(line));
        FormatCase c;
        ASSERT_TRUE(ParseLine(text, c)) << "malformed";
        if (!c.format.empty()) {
            ++cases;
            ExpectCase(c);
        }
    }
    EXPECT_GE(cases, 200);  // not all taken for comments
}

}  // namespace
