// Where a conversion's output goes: nowhere (counting), a caller's buffer,
// or a FILE stream through a 4096-byte staging buffer. Holds the rules for
// when the stream is written and what the result is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace faultkit {

inline constexpr size_t kStreamStageSize = 4096;

enum class OutputMode { kCounting, kBuffer, kStream };

struct ConversionOutput {
    OutputMode mode;
    uint8_t* start;     // the buffer, or the staging buffer in stream mode
    uint8_t* write;     // where the next byte goes
    size_t capacity;    // bytes start can take; unused when counting
    size_t pending;     // bytes counted, written to the buffer, or staged
    uint64_t flushed;   // stream mode: bytes handed to the stream
    FILE* stream;
    // Stream mode: source position of the first character staged since the
    // last successful write.
    const uint8_t* last_flushed;
};

// Output for dst and dst_size (dst_size 0: counting when dst is null, else
// dst is a FILE*). `stage` is the caller's staging buffer of
// kStreamStageSize bytes; `source` the conversion's start.
ConversionOutput OutputOpen(void* dst, size_t dst_size, uint8_t* stage, const uint8_t* source);

// Bytes that fit before the output has to stop or be written out.
inline size_t OutputRoom(const ConversionOutput& out) {
    return out.capacity - out.pending;
}

// Called (not when counting) when `size` bytes of the character at
// `position` are to be written and may not fit: true when they now fit. In
// stream mode a full stage is written with one fwrite first; false when
// that write fails, and in buffer mode when the buffer is full.
bool OutputMakeRoom(ConversionOutput& out, size_t size, const uint8_t* position);

// Appends `size` bytes that fit.
inline void OutputAdvance(ConversionOutput& out, size_t size) {
    out.write += size;
    out.pending += size;
}

// Ends the conversion and returns its result. In stream mode the staged
// bytes get one more write; if it fails they are dropped and *position
// goes back to the first of their characters.
uint64_t OutputFinish(ConversionOutput& out, const uint8_t** position);

}  // namespace faultkit
