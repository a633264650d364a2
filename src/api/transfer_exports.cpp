// Exports that carry the calling thread's errors to another thread or
// process as a transfer image.
#include "faultkit.h"
#include "transfer/thread_transfer.h"

using namespace faultkit;

extern "C" {

FAULTKIT_API uint64_t ErrorMgrExport(void* buffer, uint64_t size) {
    return ExportThreadErrors(buffer, size);
}

FAULTKIT_API bool ErrorMgrImport(void* image) {
    return ImportThreadErrors(image);
}

}  // extern "C"
