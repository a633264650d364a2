// Output of the wide formatter: counts every unit produced and stores those
// that fit into the caller's buffer, keeping one unit for the terminator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit::platform {

struct WideSink {
    char16_t* buffer;  // null when only counting
    size_t capacity;   // units the buffer holds, terminator included
    size_t length;     // units produced so far
    bool refused;      // the format was refused
};

void PutUnit(WideSink& sink, char16_t unit);
void PutRepeated(WideSink& sink, char16_t unit, size_t count);
void PutAscii(WideSink& sink, const char* text, size_t length);
void PutUnits(WideSink& sink, const char16_t* units, size_t length);

// Terminates the text and gives the formatter's result: the units written,
// or -1 when the format was refused, the text did not fit or is longer
// than an int can count.
int FinishSink(WideSink& sink);

}  // namespace faultkit::platform
