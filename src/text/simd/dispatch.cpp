// The one place that knows the vector levels this build has: in order, the
// instruction set of each, whether the CPU supports it, and its table of
// kernels, in which a level below lends its kernels for the pairs an
// instruction set has none of its own for. The supported level is detected
// once.
#include "text/simd/dispatch.h"

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

// The detected level, -1 until first asked. Threads that race to detect
// it store the same value; a guarded static would instead take the C++
// runtime's guard lock, which under mingw-w64 allocates thread records
// that a DLL unload never gives back.
std::atomic<int> g_supported_level{-1};

// The level chosen with UseVectorLevel, -1 for none. Read by every
// conversion and written only by UseVectorLevel: one atomic value, no lock.
std::atomic<int> g_chosen_level{-1};

int DetectLevel() {
    int level = kLevelCount - 1;
    while (kLevels[level].supported != nullptr && !kLevels[level].supported()) {
        --level;
    }
    return level;
}

}  // namespace

int VectorLevelCount() {
    return kLevelCount;
}

const char* VectorLevelName(int level) {
    return kLevels[level].name;
}

int SupportedVectorLevel() {
    int level = g_supported_level.load(std::memory_order_relaxed);
    if (level < 0) {
        level = DetectLevel();
        g_supported_level.store(level, std::memory_order_relaxed);
    }
    return level;
}

int UseVectorLevel(int level) {
    const int used = level < SupportedVectorLevel() ? level : SupportedVectorLevel();
    g_chosen_level.store(used, std::memory_order_relaxed);
    return used;
}

const BlockKernels* ActiveBlockKernels() {
    const int chosen = g_chosen_level.load(std::memory_order_relaxed);
    return kLevels[chosen < 0 ? SupportedVectorLevel() : chosen].kernels;
}

}  // namespace faultkit
