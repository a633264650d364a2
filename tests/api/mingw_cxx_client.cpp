// A mingw-w64 C++ client of faultkit.dll that uses only the header's C++
// functions, which for this compiler are inline calls of the C exports
// (it cannot produce the DLL's MSVC-decorated names).
#include <cstdio>
#include <thread>

#include "client_scenario.h"
#include "cxx_face.h"

namespace {

void RunOnNewThread(void (*routine)(void*), void* argument) {
    std::thread(routine, argument).join();
}

}  // namespace

int main() {
    const int failure = client::Scenario<client::CxxFace>::Run(1, RunOnNewThread);
    if (failure != 0) {
        std::printf("check at client_scenario.h:%d failed\n", failure);
        return 1;
    }
    std::puts("mingw C++ client passed");
    return 0;
}
