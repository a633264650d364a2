// Library-wide shutdown of the watcher threads.
#pragma once

namespace faultkit {

// Sets the shutdown event, which makes every watcher remove its record, and
// waits (about 5 s at most) for the thread table to empty. True when no
// record remains.
bool ShutdownWatchers();

}  // namespace faultkit
