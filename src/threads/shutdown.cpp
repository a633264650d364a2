#include "threads/shutdown.h"

#include "platform/platform.h"
#include "threads/thread_table.h"

namespace faultkit {
namespace {

// Polls of the table's count, 5 ms apart: about 5 seconds in all.
constexpr int kShutdownPolls = 1000;
constexpr uint32_t kShutdownPollMs = 5;

}  // namespace

// The event is cleared in every case so that watchers of later records wait
// normally; the library stays usable.
bool ShutdownWatchers() {
    platform::Handle event = ThreadTableShutdownEvent();
    if (event == nullptr) {
        return ThreadTableCount() == 0;
    }
    if (!platform::IsSignalled(event)) {
        platform::SignalEvent(event);
        for (int poll = 0; poll < kShutdownPolls && ThreadTableCount() != 0; ++poll) {
            platform::SleepMs(kShutdownPollMs);
            // A concurrent call may have cleared the event before the
            // watcher of a record made just before began to wait.
            if (!platform::IsSignalled(event)) {
                platform::SignalEvent(event);
            }
        }
    }
    platform::ClearEvent(event);
    // A watcher that has removed its record is still returning through
    // library code; the host may unload the library once this returns true.
    AwaitRetiredWatchers();
    return ThreadTableCount() == 0;
}

}  // namespace faultkit
