// The vector level: which block kernels (block_kernels.h) the conversions
// use. Levels are numbered from 0, the scalar code alone, up to
// VectorLevelCount() - 1, each faster than the one before where the CPU
// supports it. Conversions give the same results at every level, so the
// level only chooses the speed; the tests use UseVectorLevel to compare
// the levels.
#pragma once

#include "text/simd/block_kernels.h"

namespace faultkit {

// How many levels this build has, and the name of each ("Scalar", "Sse2",
// ...), made of letters and digits.
int VectorLevelCount();
const char* VectorLevelName(int level);

// The highest level this build and this CPU support.
int SupportedVectorLevel();

// Uses `level`, or the supported level if that is lower; returns the level
// now in use.
int UseVectorLevel(int level);

// The kernels of the level in use, the supported one unless lowered with
// UseVectorLevel; null at level 0. Every kernel of a table is set.
const BlockKernels* ActiveBlockKernels();

}  // namespace faultkit
