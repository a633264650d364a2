// The one place that knows the vector levels this build has: in order, the
// instruction set of each, whether the CPU supports it, and its table of
// kernels, in which a level below lends its kernels for the pairs an
// instruction set has none of its own for. The level in use is chosen on
// the first conversion, unless a test chose one before.
#include "text/simd/dispatch.h"

#include <algorithm>
#include <atomic>

#include "text/simd/avx2/avx2_kernels.h"
#include "text/simd/avx512/avx512_kernels.h"
#include "text/simd/sse2/sse2_kernels.h"

namespace faultkit {
namespace {

struct Level {
    const char* name;
    bool (*supported)();          // null where every CPU the build runs on has it
    const BlockKernels* kernels;  // null for the scalar code
};

// Each table names a kernel for every pair of encodings; one that left a
// pair out would not compile with our warnings (-Wextra's
// -Wmissing-field-initializers, an error with FAULTKIT_WERROR).
#if defined(__SSE2__) || defined(_M_X64)
constexpr BlockKernels kSse2Kernels{&sse2::Utf8ToUtf16Blocks,    &sse2::Utf8ToUtf32Blocks,
                                    &sse2::Utf8ToCodePageBlocks, &sse2::Utf16ToUtf8Blocks,
                                    &sse2::Utf32ToUtf8Blocks,    &sse2::CodePageToUtf8Blocks};
constexpr BlockKernels kAvx2Kernels{&avx2::Utf8ToUtf16Blocks,    &avx2::Utf8ToUtf32Blocks,
                                    &avx2::Utf8ToCodePageBlocks, &avx2::Utf16ToUtf8Blocks,
                                    &avx2::Utf32ToUtf8Blocks,    &avx2::CodePageToUtf8Blocks};
constexpr BlockKernels kAvx512Kernels{&avx512::Utf8ToUtf16Blocks,    &avx512::Utf8ToUtf32Blocks,
                                      &avx512::Utf8ToCodePageBlocks, &avx512::Utf16ToUtf8Blocks,
                                      &avx512::Utf32ToUtf8Blocks,    &avx512::CodePageToUtf8Blocks};
#endif

constexpr Level kLevels[] = {
    {"Scalar", nullptr, nullptr},
#if defined(__SSE2__) || defined(_M_X64)
    {"Sse2", nullptr, &kSse2Kernels},
    {"Avx2", avx2::Supported, &kAvx2Kernels},
    {"Avx512", avx512::Supported, &kAvx512Kernels},
#endif
};
constexpr int kLevelCount = sizeof kLevels / sizeof kLevels[0];

// The level in use, -1 until the first conversion or UseVectorLevel sets
// it. Threads that race to set it on first use store the same value; a
// guarded static would instead take the C++ runtime's guard lock, which
// under mingw-w64 allocates thread records that a DLL unload never gives
// back. Written otherwise only by UseVectorLevel: one atomic value, no lock.
std::atomic<int> g_chosen_level{-1};

}  // namespace

int VectorLevelCount() {
    return kLevelCount;
}

const char* VectorLevelName(int level) {
    return kLevels[level].name;
}

// Reads the CPU model the compiler's runtime filled in at load: cheap
// enough not to be kept.
int SupportedVectorLevel() {
    int level = kLevelCount - 1;
    while (kLevels[level].supported != nullptr && !kLevels[level].supported()) {
        --level;
    }
    return level;
}

int UseVectorLevel(int level) {
    const int used = std::min(level, SupportedVectorLevel());
    g_chosen_level.store(used, std::memory_order_relaxed);
    return used;
}

const BlockKernels* ActiveBlockKernels() {
    int chosen = g_chosen_level.load(std::memory_order_relaxed);
    if (chosen < 0) {
        chosen = UseVectorLevel(kLevelCount - 1);
    }
    return kLevels[chosen].kernels;
}

}  // namespace faultkit
