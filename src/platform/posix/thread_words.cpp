#include "platform/platform.h"

namespace faultkit::platform {

__thread uint64_t t_thread_words[kThreadWords] __attribute__((tls_model("initial-exec")));

}  // namespace faultkit::platform
