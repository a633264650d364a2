// Caller texts are bytes: they may hold control characters and bytes that
// are not UTF-8. These functions make them safe for a terminal and for JSON.
// Runs of text that need no escape are passed on whole, so a long text is
// written without being copied.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace faultkit::cli {

// Writes the text for a terminal: control characters (C0, DEL, C1) and
// bytes that are not UTF-8 become \xNN; everything else stays.
void WriteForTerminal(FILE* out, const char* text);

// The same as a string.
std::string EscapeForTerminal(const char* text);

// The text between single quotes, escaped for a terminal: how messages
// name a word or file the user gave.
std::string Quoted(const char* text);

// Writes the body of a JSON string: '"' and '\' escaped, control characters
// as \u00NN, and each byte that is not UTF-8 as \udcNN (0xDC00 plus the
// byte, as Python's surrogateescape reads it back).
void WriteJsonStringBody(FILE* out, const char* text);

}  // namespace faultkit::cli
