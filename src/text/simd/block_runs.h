// Running a block converter over a BlockCursor (block_kernels.h).
//
// Stretches of ASCII go straight through, with stores of exactly their
// output. Other blocks are split into Scan, which decides what a block
// takes and how many bytes of output that makes, and Emit, which writes
// the output with whole vector or word stores that may reach some bytes
// past it. Each block is scanned before the one before it is
// emitted: a block whose stores reach past its output is emitted in place
// only when what follows will overwrite those bytes (a block with as many
// bytes of output, or ASCII); the last block of a run is emitted
// into a scratch buffer and copied, so that in the end exactly the output
// has been written. Where the bytes past the output need not be kept (the
// staging buffer, the counting chunk) every block is emitted in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "text/simd/block_kernels.h"

namespace faultkit {

// What every Plan starts with (see below); src is the block's start.
struct PlanHead {
    int taken;
    int size;
    int spill;
    const uint8_t* src;
};

// A converter has
//   kSource  the most source bytes a block takes, all read by Scan
//   kRoom    the most bytes Emit writes, output and spill together
//   kSpill   the most bytes Emit may write past the output; no more than
//            one block of ASCII makes
//   Plan     what Scan found: a PlanHead with `taken` (source bytes, 0 for
//            none), `size` (output bytes) and `spill` (bytes past them Emit
//            may write), and what Emit needs besides
//   IsAscii(src)   whether the kSource bytes at src start with a block of
//                  ASCII that CopyAscii takes
//   CopyAscii(&src, &dst, src_end, dst_end)  converts blocks of ASCII, and
//                  any others it writes as cheaply, exactly
//   Scan(src, &plan) and Emit(plan, dst).
template <class Converter>
void RunBlocks(BlockCursor& cursor, const Converter& converter) {
    const uint8_t* src = cursor.src;
    uint8_t* dst = cursor.dst;
    auto fits = [&cursor](const uint8_t* s, const uint8_t* d) {
        return cursor.src_end - s >= Converter::kSource && cursor.dst_end - d >= Converter::kRoom;
    };
    const bool exact = Converter::kSpill != 0 && cursor.keep_past_output;
    typename Converter::Plan plans[2];
    bool ascii_next = true;
    while (ascii_next) {
        converter.CopyAscii(&src, &dst, cursor.src_end, cursor.dst_end);
        if (!fits(src, dst)) {
            break;
        }
        auto* plan = &plans[0];
        auto* next = &plans[1];
        converter.Scan(src, plan);
        ascii_next = false;
        while (plan->taken != 0) {
            const uint8_t* next_src = src + plan->taken;
            uint8_t* next_dst = dst + plan->size;
            next->taken = 0;
            bool covered = false;  // what follows overwrites the bytes past the output
            if (fits(next_src, next_dst)) {
                ascii_next = converter.IsAscii(next_src);
                if (!ascii_next) {
                    converter.Scan(next_src, next);
                }
                covered = ascii_next || (next->taken != 0 && next->size >= plan->spill);
            }
            if (!exact || covered) {
                converter.Emit(*plan, dst);
            } else {
                uint8_t scratch[Converter::kRoom];
                converter.Emit(*plan, scratch);
                std::memcpy(dst, scratch, static_cast<size_t>(plan->size));
            }
            src = next_src;
            dst = next_dst;
            std::swap(plan, next);
        }
    }
    cursor.src = src;
    cursor.dst = dst;
}

// RunBlocks with all it calls inlined into one function: the steps of a
// converter are small and run once a block, too often for calls.
template <class Converter>
__attribute__((flatten)) void RunBlocksInline(BlockCursor& cursor, const Converter& converter) {
    RunBlocks(cursor, converter);
}

}  // namespace faultkit
