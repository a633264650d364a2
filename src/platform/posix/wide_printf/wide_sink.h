// Output of the wide formatter: counts every unit produced and stores those
// that fit into the caller's buffer, keeping one unit for the terminator.
// The stores are inline: the formatter makes several per directive, most
// of them of a unit or two, or of none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace faultkit::platform {

struct WideSink {
    char16_t* buffer;  // null when only counting; the capacity is 0 then
    size_t capacity;   // units the buffer holds, terminator included
    size_t length;     // units produced so far
    bool refused;      // the format was refused
};

// Units that may still be stored, leaving room for the terminator.
inline size_t Room(const WideSink& sink) {
    return sink.length < sink.capacity ? sink.capacity - sink.length - 1 : 0;
}

inline void PutUnit(WideSink& sink, char16_t unit) {
    if (Room(sink) > 0) {
        sink.buffer[sink.length] = unit;
    }
    ++sink.length;
}

// Widens ASCII bytes to units, a block at a time.
void WidenAsciiRun(const char* text, size_t length, char16_t* out);

// Short runs (digits, signs, a few characters of text) are stored unit by
// unit, longer ones a block at a time.
inline void PutAscii(WideSink& sink, const char* text, size_t length) {
    constexpr size_t kShortRun = 16;
    const size_t stored = length < Room(sink) ? length : Room(sink);
    if (stored >= kShortRun) {
        WidenAsciiRun(text, stored, sink.buffer + sink.length);
    } else {
        for (size_t i = 0; i < stored; ++i) {
            sink.buffer[sink.length + i] = static_cast<unsigned char>(text[i]);
        }
    }
    sink.length += length;
}

// Short runs (a literal character or two between directives) are stored
// unit by unit, longer ones copied in one go.
inline void PutUnits(WideSink& sink, const char16_t* units, size_t length) {
    constexpr size_t kShortRun = 8;
    const size_t stored = length < Room(sink) ? length : Room(sink);
    if (stored > kShortRun) {
        std::memcpy(sink.buffer + sink.length, units, stored * sizeof(char16_t));
    } else {
        for (size_t i = 0; i < stored; ++i) {
            sink.buffer[sink.length + i] = units[i];
        }
    }
    sink.length += length;
}

// Saturates, so that huge widths cannot wrap the count around.
void PutRepeatedUnits(WideSink& sink, char16_t unit, size_t count);

// Most fields have no padding: nothing to put, no call.
inline void PutRepeated(WideSink& sink, char16_t unit, size_t count) {
    if (count != 0) {
        PutRepeatedUnits(sink, unit, count);
    }
}

// Terminates the text and gives the formatter's result: the units written,
// or -1 when the format was refused, the text did not fit or is longer
// than an int can count.
int FinishSink(WideSink& sink);

}  // namespace faultkit::platform
