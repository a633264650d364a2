#include "format_case.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace faultkit::test {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Reads one table line from left to right; `error` names the first fault.
struct Reader {
    const std::string& text;
    size_t pos = 0;
    std::string error;

    bool AtEnd() const { return pos >= text.size(); }
    char Peek() const { return AtEnd() ? '\0' : text[pos]; }
    bool Fail(const char* what) {
        error = what;
        return false;
    }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(text[pos])) {
            ++pos;
        }
    }
    std::string Word() {
        const size_t start = pos;
        while (!AtEnd() && !IsBlank(text[pos])) {
            ++pos;
        }
        return text.substr(start, pos - start);
    }

    // A quoted text, into units (each a byte or a UTF-16 unit).
    bool Quoted(std::u16string& units) {
        if (Peek() != '"') {
            return Fail("expected '\"'");
        }
        for (++pos; !AtEnd() && text[pos] != '"';) {
            char c = text[pos++];
            if (c == '\\' && !AtEnd()) {
                c = text[pos++];
                if (c == 'x' || c == 'u') {
                    const size_t digits = c == 'x' ? 2 : 4;
                    const std::string hex = text.substr(pos, digits);
                    if (hex.size() != digits ||
                        hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                        return Fail("bad escape");
                    }
                    units.push_back(static_cast<char16_t>(std::strtoul(hex.c_str(), nullptr, 16)));
                    pos += digits;
                    continue;
                }
                c = c == 'n' ? '\n' : c == 't' ? '\t' : c == '0' ? '\0' : c;
            }
            units.push_back(static_cast<unsigned char>(c));
        }
        if (AtEnd()) {
            return Fail("unterminated text");
        }
        ++pos;
        return true;
    }

    bool Argument(FormatCase& out) {
        const char kind = Peek();
        if ((kind == 'w' || kind == 'n') && text.compare(pos + 1, 1, "\"") == 0) {
            ++pos;
            std::u16string units;
            if (!Quoted(units)) {
                return false;
            }
            if (kind == 'w') {
                out.arguments.push_back({FormatArgument::kWideString, 0, out.wide_texts.size()});
                out.wide_texts.push_back(units);
            } else {
                out.arguments.push_back(
                    {FormatArgument::kNarrowString, 0, out.narrow_texts.size()});
                out.narrow_texts.emplace_back(units.begin(), units.end());
            }
            return true;
        }
        const std::string word = Word();
        FormatArgument argument{FormatArgument::kWord, 0, 0};
        char* end = nullptr;
        if (word.compare(0, 2, "d:") == 0) {
            const double value = std::strtod(word.c_str() + 2, &end);
            std::memcpy(&argument.word, &value, sizeof value);
        } else if (word[0] == '-') {
            argument.word = static_cast<uint64_t>(std::strtoll(word.c_str(), &end, 0));
        } else {
            argument.word = std::strtoull(word.c_str(), &end, 0);
        }
        if (end == nullptr || *end != '\0') {
            return Fail("bad argument");
        }
        out.arguments.push_back(argument);
        return true;
    }

    // The part after "=>": a quoted text or "refused", and nothing behind it.
    bool Expectation(FormatCase& out) {
        SkipBlanks();
        if (Peek() == '"') {
            if (!Quoted(out.expected)) {
                return false;
            }
        } else if (Word() == "refused") {
            out.refused = true;
        } else {
            return Fail("expected a text or 'refused' after '=>'");
        }
        SkipBlanks();
        return AtEnd() || Fail("unexpected text after the expectation");
    }

    // A whole line; comment and blank lines leave the case's format empty.
    bool Line(FormatCase& out) {
        SkipBlanks();
        if (AtEnd() || Peek() == '#') {
            return true;
        }
        if (!Quoted(out.format)) {
            return false;
        }
        for (SkipBlanks(); !AtEnd(); SkipBlanks()) {
            if (text.compare(pos, 2, "=>") == 0) {
                pos += 2;
                return Expectation(out);
            }
            if (!Argument(out)) {
                return false;
            }
        }
        return Fail("missing '=>'");
    }
};

}  // namespace

bool ParseFormatTable(const std::string& table, std::vector<FormatCase>& cases,
                      std::string& error) {
    std::istringstream lines(table);
    std::string text;
    for (int line = 1; std::getline(lines, text); ++line) {
        FormatCase c;
        c.line = line;
        Reader reader{text, 0, {}};
        if (!reader.Line(c)) {
            error = "line " + std::to_string(line) + ": " + reader.error;
            return false;
        }
        if (!c.format.empty()) {
            cases.push_back(std::move(c));
        }
    }
    return true;
}

std::vector<uint64_t> ArgumentSlots(const FormatCase& c) {
    std::vector<uint64_t> slots;
    for (const FormatArgument& a : c.arguments) {
        switch (a.kind) {
            case FormatArgument::kWord: slots.push_back(a.word); break;
            case FormatArgument::kWideString:
                slots.push_back(reinterpret_cast<uintptr_t>(c.wide_texts[a.text].c_str()));
                break;
            case FormatArgument::kNarrowString:
                slots.push_back(reinterpret_cast<uintptr_t>(c.narrow_texts[a.text].c_str()));
                break;
        }
    }
    // Spare zero slots, so that a case whose format takes more arguments
    // than the line gives reads zeros rather than past the list.
    slots.resize(slots.size() + 8, 0);
    return slots;
}

std::string Escape(const std::u16string& text) {
    std::string out = "\"";
    for (const char16_t unit : text) {
        if (unit == u'"' || unit == u'\\') {
            out += '\\';
        }
        if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        }
    }
    return out + "\"";
}

}  // namespace faultkit::test
