// Running a block converter over a BlockCursor (vector_blocks.h), and
// keeping the destination's bytes past a block's output where its stores
// reach past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/vector_blocks.h"

namespace faultkit {

// Keeps kSize bytes at `at` when `keep` and puts them back when it goes out
// of scope: around stores that may reach up to kSize bytes past an output
// ending at `at`.
template <size_t kSize>
class TailGuard {
public:
    TailGuard(uint8_t* at, bool keep) : at_(keep ? at : nullptr) {
        if (at_ != nullptr) {
            std::memcpy(saved_, at_, kSize);
        }
    }
    ~TailGuard() {
        if (at_ != nullptr) {
            std::memcpy(at_, saved_, kSize);
        }
    }
    TailGuard(const TailGuard&) = delete;
    TailGuard& operator=(const TailGuard&) = delete;

private:
    uint8_t* at_;
    uint8_t saved_[kSize];
};

// Runs `block` over the cursor while kSource bytes of source and kRoom
// bytes of room are left. block(src, &dst, keep_past_output) converts what
// it takes of the kSource bytes at src, writing at most kRoom bytes from
// dst, moves dst past its output and gives the source bytes it took; 0
// ends the run.
template <ptrdiff_t kSource, ptrdiff_t kRoom, class Block>
void RunBlocks(BlockCursor& cursor, Block block) {
    const uint8_t* src = cursor.src;
    uint8_t* dst = cursor.dst;
    const uint8_t* const src_end = cursor.src_end;
    const uint8_t* const dst_end = cursor.dst_end;
    const bool keep = cursor.keep_past_output;
    while (src_end - src >= kSource && dst_end - dst >= kRoom) {
        const int taken = block(src, &dst, keep);
        if (taken == 0) {
            break;
        }
        src += taken;
    }
    cursor.src = src;
    cursor.dst = dst;
}

}  // namespace faultkit
