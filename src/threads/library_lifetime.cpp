#include "threads/library_lifetime.h"

#include <atomic>

#include "components/facility_registry.h"
#include "platform/platform.h"
#include "threads/shutdown.h"
#include "threads/thread_table.h"

namespace faultkit {
namespace {

void AfterForkInChild() {
    ThreadTableAfterForkInChild();
    FacilityLockAfterForkInChild();
}

// Set once the fork handlers are registered.
std::atomic<bool> g_watching{false};

// Destroyed when the library is unloaded or the process exits, which the
// library cannot tell apart on every platform and treats alike. Where the
// library can be unmapped from under its watchers they are stopped and
// waited for first: their records, and the errors in them, go as at
// ErrorMgrShutdown. A host thread still calling the library then gets no
// new record. (At namespace scope: in a mingw-w64 DLL a function's static
// object with a destructor made the heap grow with every load and unload.)
struct Teardown {
    ~Teardown() {
        CloseThreadTable();
        if (platform::kUnloadStopsThreads) {
            ShutdownWatchers();
        }
        ReleaseThreadTable();
    }
} g_teardown;

}  // namespace

void WatchLibraryLifetime() {
    if (!g_watching.exchange(true, std::memory_order_relaxed)) {
        platform::RegisterForkHandlers(ThreadTableBeforeFork, ThreadTableAfterForkInParent,
                                       AfterForkInChild);
    }
}

}  // namespace faultkit
