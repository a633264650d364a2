#include "text/convert/conversion_output.h"

#include <cstdint>

namespace faultkit {

ConversionOutput OutputOpen(void* dst, size_t dst_size, uint8_t* stage, const uint8_t* source) {
    ConversionOutput out{};
    out.last_flushed = source;
    if (dst_size != 0) {
        out.mode = OutputMode::kBuffer;
        out.start = static_cast<uint8_t*>(dst);
        // A size that would reach past the end of the address space (a
        // caller's "unbounded") is cut where the buffer must end anyway, so
        // that the end pointer can be formed.
        const uintptr_t room = UINTPTR_MAX - reinterpret_cast<uintptr_t>(dst);
        out.capacity = dst_size < room ? dst_size : room;
    } else if (dst != nullptr) {
        out.mode = OutputMode::kStream;
        out.start = stage;
        out.capacity = kStreamStageSize;
        out.stream = static_cast<FILE*>(dst);
    } else {
        out.mode = OutputMode::kCounting;
    }
    out.write = out.start;
    return out;
}

bool OutputMakeRoom(ConversionOutput& out, size_t size, const uint8_t* position) {
    if (size <= OutputRoom(out)) {
        return true;
    }
    if (out.mode != OutputMode::kStream || std::fwrite(out.start, out.pending, 1, out.stream) == 0) {
        return false;
    }
    out.last_flushed = position;
    out.flushed += out.pending;
    out.pending = 0;
    out.write = out.start;
    return true;
}

uint64_t OutputFinish(ConversionOutput& out, const uint8_t** position) {
    if (out.mode != OutputMode::kStream) {
        return out.pending;
    }
    if (out.pending != 0 && std::fwrite(out.start, out.pending, 1, out.stream) == 0) {
        out.pending = 0;
        *position = out.last_flushed;
    }
    return out.pending + out.flushed;
}

}  // namespace faultkit
