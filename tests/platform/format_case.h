// One line of the wide formatting expectation table, parsed.
//
// Line syntax (tokens separated by blanks; '#' starts a comment line):
//   "format" argument... => "expected text"
//   "format" argument... => refused
// Arguments, one 8-byte slot each: a decimal or 0x-hexadecimal integer
// (negative values as two's complement), d:<decimal> for a double,
// w"..." for the address of a UTF-16 string, n"..." for the address of a
// single-byte string. Inside quotes: \\ \" \n \t \0, \xHH (one byte or
// unit) and \uHHHH (one UTF-16 unit).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace faultkit::test {

struct FormatArgument {
    enum Kind { kWord, kWideString, kNarrowString } kind;
    uint64_t word;  // kWord: the slot's value
    size_t text;    // the strings: index into the case's string store
};

struct FormatCase {
    int line = 0;
    std::u16string format;
    std::vector<FormatArgument> arguments;
    std::deque<std::u16string> wide_texts;
    std::deque<std::string> narrow_texts;
    bool refused = false;
    std::u16string expected;
};

// Parses a table; returns false, with `error` naming the line, at the
// first malformed line.
bool ParseFormatTable(const std::string& table, std::vector<FormatCase>& cases, std::string& error);

// The argument slots of a case; string slots point into the case.
std::vector<uint64_t> ArgumentSlots(const FormatCase& c);

// Printable form of UTF-16 text with the table's escapes.
std::string Escape(const std::u16string& text);

}  // namespace faultkit::test
