#include "platform/posix/wide_printf/wide_sink.h"

#include <climits>

namespace faultkit::platform {

void PutRepeatedUnits(WideSink& sink, char16_t unit, size_t count) {
    const size_t stored = count < Room(sink) ? count : Room(sink);
    for (size_t i = 0; i < stored; ++i) {
        sink.buffer[sink.length + i] = unit;
    }
    sink.length = count > SIZE_MAX - sink.length ? SIZE_MAX : sink.length + count;
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
