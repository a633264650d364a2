// The names people use for the encodings the conversion engine knows.
#pragma once

#include <cstdint>
#include <cstdio>

namespace faultkit::cli {

// Looks a name up, ignoring case; false when it names no encoding.
bool EncodingByName(const char* name, int32_t* id);

// The canonical name of an encoding id ("utf-8", "iso-8859-1", ...).
const char* EncodingName(int32_t id);

// Prints every encoding with its aliases, one per line.
void ListEncodings(FILE* out);

}  // namespace faultkit::cli
