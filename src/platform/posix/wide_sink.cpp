#include "platform/posix/wide_sink.h"

#include <climits>
#include <cstring>

namespace faultkit::platform {
namespace {

// Units that may still be stored, leaving room for the terminator.
size_t Room(const WideSink& sink) {
    if (sink.buffer == nullptr || sink.length + 1 >= sink.capacity) {
        return 0;
    }
    return sink.capacity - 1 - sink.length;
}

}  // namespace

void PutUnit(WideSink& sink, char16_t unit) {
    if (Room(sink) > 0) {
        sink.buffer[sink.length] = unit;
    }
    ++sink.length;
}

void PutRepeated(WideSink& sink, char16_t unit, size_t count) {
    const size_t stored = count < Room(sink) ? count : Room(sink);
    for (size_t i = 0; i < stored; ++i) {
        sink.buffer[sink.length + i] = unit;
    }
    // Saturates, so that huge widths cannot wrap the count around.
    sink.length = count > SIZE_MAX - sink.length ? SIZE_MAX : sink.length + count;
}

void PutAscii(WideSink& sink, const char* text, size_t length) {
    const size_t stored = length < Room(sink) ? length : Room(sink);
    for (size_t i = 0; i < stored; ++i) {
        sink.buffer[sink.length + i] = static_cast<unsigned char>(text[i]);
    }
    sink.length += length;
}

void PutUnits(WideSink& sink, const char16_t* units, size_t length) {
    const size_t stored = length < Room(sink) ? length : Room(sink);
    if (stored > 0) {
        std::memcpy(sink.buffer + sink.length, units, stored * sizeof(char16_t));
    }
    sink.length += length;
}

int FinishSink(WideSink& sink) {
    const bool fits = sink.buffer == nullptr || sink.length < sink.capacity;
    if (sink.buffer != nullptr && sink.capacity > 0) {
        const size_t end = sink.length < sink.capacity ? sink.length : sink.capacity - 1;
        sink.buffer[end] = 0;
    }
    if (sink.refused || !fits || sink.length > INT_MAX) {
        return -1;
    }
    return static_cast<int>(sink.length);
}

}  // namespace faultkit::platform
