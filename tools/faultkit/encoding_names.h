// The names of the encodings the tool converts: iconv's names and the
// common aliases, matched without regard to case and punctuation
// ("ISO_8859-1", "iso88591" and "Latin-1" name the same encoding).
#pragma once

#include <cstdio>
#include <string>

#include "stream_converter.h"

namespace faultkit::cli {

struct NamedEncoding {
    const char* name;     // as messages and the list show it
    const char* aliases;  // the other names, separated by spaces
    StreamEncoding encoding;
};

// The encoding a name stands for, or null.
const NamedEncoding* FindEncoding(const char* name);

// The known names closest to an unknown one, as "a, b" (at most three, all
// at the smallest number of edits); empty when none is close.
std::string ClosestEncodingNames(const char* name);

// Prints every encoding with its aliases, one per line.
void ListEncodings(FILE* out);

}  // namespace faultkit::cli
