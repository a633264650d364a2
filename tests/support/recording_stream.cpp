#include "support/recording_stream.h"

#if FAULTKIT_HAVE_FOPENCOOKIE
#include <sys/types.h>
#endif

namespace faultkit::test {

#if FAULTKIT_HAVE_FOPENCOOKIE

namespace {

ssize_t RecordWrite(void* cookie, const char* buffer, size_t size) {
    auto* recording = static_cast<RecordingStream*>(cookie);
    const size_t attempt = recording->writes.size();
    recording->writes.push_back(size);
    if (recording->failing.count(attempt) != 0) {
        return 0;  // reported to fwrite as an error
    }
    recording->data.append(buffer, size);
    return static_cast<ssize_t>(size);
}

}  // namespace

FILE* OpenRecordingStream(RecordingStream* recording) {
    cookie_io_functions_t functions{};
    functions.write = RecordWrite;
    FILE* file = fopencookie(recording, "w", functions);
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}

#else

FILE* OpenRecordingStream(RecordingStream* /*recording*/) {
    return nullptr;
}

#endif

}  // namespace faultkit::test
