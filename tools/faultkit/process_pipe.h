// Starting a second process and feeding it bytes on its standard input.
#pragma once

#include <cstddef>
#include <cstdio>

namespace faultkit::cli {

// Runs `command` through the shell with `data` on its standard input and
// returns its exit status (-1 when it could not be started).
int RunWithInput(const char* command, const void* data, size_t size);

}  // namespace faultkit::cli
