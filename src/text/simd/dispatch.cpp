// The one place that knows the vector levels this build has: in order, the
// instruction set of each, whether the CPU supports it, and its kernels.
// Where an instruction set has no kernel of its own for a pair, that of the
// level below serves. The supported level is detected once.
#include "text/simd/dispatch.h"

#include <atomic>

#include "text/simd/avx2/avx2_kernels.h"
#include "text/simd/sse2/sse2_kernels.h"

namespace faultkit {
namespace {

// LCOV_EXCL_START: evaluated by the compiler, never at run time
template <typename Kernel>
constexpr Kernel Either(Kernel own, Kernel below) {
    return own != nullptr ? own : below;
}

// `own` with its gaps filled from `below`.
constexpr BlockKernels Over(const BlockKernels& own, const BlockKernels& below) {
    return {Either(own.utf8_to_utf16, below.utf8_to_utf16),
            Either(own.utf8_to_utf32, below.utf8_to_utf32),
            Either(own.utf8_to_code_page, below.utf8_to_code_page),
            Either(own.utf16_to_utf8, below.utf16_to_utf8),
            Either(own.utf32_to_utf8, below.utf32_to_utf8),
            Either(own.code_page_to_utf8, below.code_page_to_utf8)};
}

constexpr bool Complete(const BlockKernels& kernels) {
    return kernels.utf8_to_utf16 != nullptr && kernels.utf8_to_utf32 != nullptr &&
           kernels.utf8_to_code_page != nullptr && kernels.utf16_to_utf8 != nullptr &&
           kernels.utf32_to_utf8 != nullptr && kernels.code_page_to_utf8 != nullptr;
}

struct Level {
    const char* name;
    bool (*supported)();          // null where every CPU the build runs on has it
    const BlockKernels* kernels;  // null for the scalar code
};

#if defined(__SSE2__) || defined(_M_X64)
constexpr BlockKernels kAvx2Level = Over(avx2::kKernels, sse2::kKernels);
#endif

constexpr Level kLevels[] = {
    {"Scalar", nullptr, nullptr},
#if defined(__SSE2__) || defined(_M_X64)
    {"Sse2", nullptr, &sse2::kKernels},
    {"Avx2", avx2::Supported, &kAvx2Level},
#endif
};
constexpr int kLevelCount = sizeof kLevels / sizeof kLevels[0];

constexpr bool EveryLevelComplete() {
    for (int level = 1; level < kLevelCount; ++level) {
        if (!Complete(*kLevels[level].kernels)) {
            return false;
        }
    }
    return true;
}
static_assert(EveryLevelComplete(), "a vector level lacks a kernel for a pair of encodings");
// LCOV_EXCL_STOP

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
    // LCOV_EXCL_START: the machine decides how far down the loop goes
    while (kLevels[level].supported != nullptr && !kLevels[level].supported()) {
        --level;
    }
    // LCOV_EXCL_STOP
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
