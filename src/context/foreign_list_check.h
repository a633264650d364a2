// Checking a context list in network order that came from outside the
// process, before anything walks or converts it.
#pragma once

#include <cstdint>

namespace faultkit {

// The chain size of the network-order list at `blob` when the list is well
// formed within `available` bytes, else 0. Well formed: every record header
// and payload lies inside `available`; every record but the last has `next`
// equal to its record size, so records neither overlap nor leave gaps;
// fixed-width types have their width; a non-empty string payload ends with
// its NUL. Reads nothing beyond `available` bytes.
uint64_t ContextBlobExtent(const void* blob, uint64_t available);

}  // namespace faultkit
