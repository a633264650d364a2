// Forked children, for tests of what a POSIX process may do across fork.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern "C" int __llvm_profile_write_file() __attribute__((weak));

namespace faultkit::test {

// Runs `in_child` in a forked child, which exits with what it returns (and
// a coverage build's counts, which _exit does not write); the child's exit
// code, or -1 when it ended by a signal or ran over a minute.
template <typename InChild>
int ExitOfForkedChild(InChild in_child) {
    const pid_t child = fork();
    if (child == 0) {
        const int code = in_child();
        if (__llvm_profile_write_file != nullptr) {
            __llvm_profile_write_file();
        }
        _exit(code);
    }
    int status = 0;
    for (int waited_ms = 0; waitpid(child, &status, WNOHANG) == 0; ++waited_ms) {
        if (waited_ms == 60000) {
            kill(child, SIGKILL);  // the next wait finds it ended by a signal
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace faultkit::test
