#include "text/simd/dispatch.h"

#include <atomic>

namespace faultkit {
namespace {

VectorLevel DetectVectorLevel() {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    // LCOV_EXCL_START: the machine decides; tests choose each level it has
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
        __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt")) {
        return VectorLevel::kAvx2;
    }
    // LCOV_EXCL_STOP
#endif
#if defined(__SSE2__) || defined(_M_X64)
    return VectorLevel::kSse2;  // LCOV_EXCL_LINE: on a machine without AVX2
#else
    return VectorLevel::kNone;
#endif
}

// The level chosen with UseVectorLevel, -1 for none. Read by every block
// run and written only by UseVectorLevel: one atomic value, no lock.
std::atomic<int> g_chosen_level{-1};

// The detected level, -1 until first asked. Threads that race to detect
// it store the same value; a guarded static would instead take the C++
// runtime's guard lock, which under mingw-w64 allocates thread records
// that a DLL unload never gives back.
std::atomic<int> g_supported_level{-1};

}  // namespace

VectorLevel SupportedVectorLevel() {
    int level = g_supported_level.load(std::memory_order_relaxed);
    if (level < 0) {
        level = static_cast<int>(DetectVectorLevel());
        g_supported_level.store(level, std::memory_order_relaxed);
    }
    return static_cast<VectorLevel>(level);
}

VectorLevel ActiveVectorLevel() {
    const int chosen = g_chosen_level.load(std::memory_order_relaxed);
    return chosen < 0 ? SupportedVectorLevel() : static_cast<VectorLevel>(chosen);
}

VectorLevel UseVectorLevel(VectorLevel level) {
    const VectorLevel used = level < SupportedVectorLevel() ? level : SupportedVectorLevel();
    g_chosen_level.store(static_cast<int>(used), std::memory_order_relaxed);
    return used;
}

}  // namespace faultkit
