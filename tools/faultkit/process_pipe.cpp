#include "process_pipe.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
constexpr const char* kPipeWrite = "wb";
#else
constexpr const char* kPipeWrite = "w";
#include <sys/wait.h>
#endif

namespace faultkit::cli {

int RunWithInput(const char* command, const void* data, size_t size) {
    std::fflush(nullptr);
    FILE* pipe = popen(command, kPipeWrite);
    if (pipe == nullptr) {
        return -1;
    }
    const bool written = std::fwrite(data, 1, size, pipe) == size;
    const int status = pclose(pipe);
#ifdef _WIN32
    const int exit_code = status;
#else
    const int exit_code = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
#endif
    return written ? exit_code : -1;
}

}  // namespace faultkit::cli
