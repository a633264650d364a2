// Which vector code the block converters (block_kernels.h) use: none (the
// scalar code converts everything), SSE2, or AVX2 where the CPU and the
// system support it.
#pragma once

namespace faultkit {

// kNone converts as a build without vector code does.
enum class VectorLevel { kNone, kSse2, kAvx2 };

// The highest level this build and this CPU support.
VectorLevel SupportedVectorLevel();

// The level in use: the supported one unless lowered with UseVectorLevel.
VectorLevel ActiveVectorLevel();

// Uses `level`, or the supported level if that is lower; returns the level
// now in use. Conversions give the same results at every level, so this
// only chooses the speed; the tests use it to compare the levels.
VectorLevel UseVectorLevel(VectorLevel level);

}  // namespace faultkit
