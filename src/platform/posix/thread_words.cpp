#include "platform/platform.h"

namespace faultkit::platform {
namespace {

thread_local uint64_t t_words[kThreadWords];

}  // namespace

uint64_t ThreadWord(int index) {
    return t_words[index];
}

void SetThreadWord(int index, uint64_t value) {
    t_words[index] = value;
}

}  // namespace faultkit::platform
