#include "format_case.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace faultkit::test {
namespace {

struct Reader {
    const std::string& text;
    size_t pos;

    bool AtEnd() { return pos >= text.size(); }
    void SkipBlanks() {
        while (!AtEnd() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r')) {
            ++pos;
        }
    }
    std::string Word() {
        const size_t start = pos;
        while (!AtEnd() && text[pos] != ' ' && text[pos] != '\t' && text[pos] != '\r') {
            ++pos;
        }
        return text.substr(start, pos - start);
    }
};

bool HexValue(const std::string& text, size_t pos, size_t digits, uint32_t& value) {
    if (pos + digits > text.size()) {
        return false;
    }
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        const char* hex = "0123456789abcdef0123456789ABCDEF";
        const char* at = c != '\0' ? std::strchr(hex, c) : nullptr;
        if (at == nullptr) {
            return false;
        }
        value = value * 16 + static_cast<uint32_t>((at - hex) % 16);
    }
    return true;
}

// Reads a quoted text at the reader's position into units (each a byte or
// a UTF-16 unit).
bool Quoted(Reader& r, std::u16string& units, std::string& error) {
    if (r.AtEnd() || r.text[r.pos] != '"') {
        error = "expected '\"'";
        return false;
    }
    ++r.pos;
    while (!r.AtEnd() && r.text[r.pos] != '"') {
        char c = r.text[r.pos++];
        if (c != '\\') {
            units.push_back(static_cast<unsigned char>(c));
            continue;
        }
        if (r.AtEnd()) {
            break;
        }
        c = r.text[r.pos++];
        uint32_t value = 0;
        switch (c) {
            case 'n': units.push_back(u'\n'); break;
            case 't': units.push_back(u'\t'); break;
            case '0': units.push_back(0); break;
            case 'x':
            case 'u':
                if (!HexValue(r.text, r.pos, c == 'x' ? 2 : 4, value)) {
                    error = "bad escape";
                    return false;
                }
                r.pos += c == 'x' ? 2 : 4;
                units.push_back(static_cast<char16_t>(value));
                break;
            default: units.push_back(static_cast<unsigned char>(c)); break;
        }
    }
    if (r.AtEnd()) {
        error = "unterminated text";
        return false;
    }
    ++r.pos;
    return true;
}

bool Argument(Reader& r, FormatCase& out, std::string& error) {
    FormatArgument argument{FormatArgument::kWord, 0, 0};
    const char first = r.text[r.pos];
    if ((first == 'w' || first == 'n') && r.pos + 1 < r.text.size() && r.text[r.pos + 1] == '"') {
        ++r.pos;
        std::u16string units;
        if (!Quoted(r, units, error)) {
            return false;
        }
        if (first == 'w') {
            argument.kind = FormatArgument::kWideString;
            argument.text = out.wide_texts.size();
            out.wide_texts.push_back(units);
        } else {
            argument.kind = FormatArgument::kNarrowString;
            argument.text = out.narrow_texts.size();
            out.narrow_texts.emplace_back(units.begin(), units.end());
        }
        out.arguments.push_back(argument);
        return true;
    }
    const std::string word = r.Word();
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
        error = "bad argument '" + word + "'";
        return false;
    }
    out.arguments.push_back(argument);
    return true;
}

bool Expectation(Reader& r, FormatCase& out, std::string& error) {
    r.SkipBlanks();
    if (!r.AtEnd() && r.text[r.pos] == '"') {
        if (!Quoted(r, out.expected, error)) {
            return false;
        }
    } else if (r.Word() == "refused") {
        out.refused = true;
    } else {
        error = "expected a text or 'refused' after '=>'";
        return false;
    }
    r.SkipBlanks();
    if (!r.AtEnd()) {
        error = "unexpected text after the expectation";
        return false;
    }
    return true;
}

}  // namespace

bool ParseFormatCase(const std::string& text, FormatCase& out, std::string& error) {
    Reader r{text, 0};
    r.SkipBlanks();
    if (r.AtEnd() || text[r.pos] == '#') {
        return true;
    }
    if (!Quoted(r, out.format, error)) {
        return false;
    }
    for (;;) {
        r.SkipBlanks();
        if (r.AtEnd()) {
            error = "missing '=>'";
            return false;
        }
        if (text.compare(r.pos, 2, "=>") == 0) {
            r.pos += 2;
            return Expectation(r, out, error);
        }
        if (!Argument(r, out, error)) {
            return false;
        }
    }
}

bool ParseFormatTable(const std::string& table, std::vector<FormatCase>& cases, std::string& error) {
    size_t start = 0;
    int line = 0;
    while (start < table.size()) {
        size_t end = table.find('\n', start);
        if (end == std::string::npos) {
            end = table.size();
        }
        ++line;
        FormatCase c;
        c.line = line;
        if (!ParseFormatCase(table.substr(start, end - start), c, error)) {
            error = "line " + std::to_string(line) + ": " + error;
            return false;
        }
        if (!c.format.empty()) {
            cases.push_back(std::move(c));
        }
        start = end + 1;
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
        char escaped[8];
        if (unit == u'"' || unit == u'\\') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit == 0) {
            out += "\\0";
        } else if (unit == u'\n') {
            out += "\\n";
        } else if (unit == u'\t') {
            out += "\\t";
        } else if (unit < 0x20 || unit >= 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        } else {
            out += static_cast<char>(unit);
        }
    }
    return out + "\"";
}

}  // namespace faultkit::test
