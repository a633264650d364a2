// Allocation failure on demand, for tests. The test program is linked with
// --wrap=malloc, --wrap=realloc and --wrap=free, so every call to them, the
// library's static layers' among them, comes here first. A thread that arms
// the hook has its allocations counted, and the chosen ones fail; blocks
// allocated while armed are tracked until they are freed, on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit::test {

struct AllocationTally {
    uint64_t made = 0;    // allocation calls while armed, refused ones included
    bool failed = false;  // the chosen allocation was reached and refused
};

// Refusals that last until the thread is disarmed: memory has run out.
inline constexpr uint64_t kRefuseAllLater = UINT64_MAX;

// Starts counting the calling thread's allocations; `refusals` of them in
// a row, from the `fail_at`-th (1-based) on, return null. fail_at 0: none.
void ArmAllocations(uint64_t fail_at, uint64_t refusals);
// Stops counting and returns what happened since ArmAllocations.
AllocationTally DisarmAllocations();
// Blocks allocated while some thread was armed and not freed since.
size_t OutstandingBlocks();

}  // namespace faultkit::test
