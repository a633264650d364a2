// What the thread layer does when the process forks, when the library is
// unloaded and when the process exits.
#pragma once

namespace faultkit {

// Registers the fork handlers, once; called before a record is made, so
// that every program that can have records has them, and the hooks for
// unloading and exit with them.
void WatchLibraryLifetime();

}  // namespace faultkit
