// ErrorMgrExport and ErrorMgrImport: the transfer image on the calling
// thread's record (or the record it is redirected to). Each runs wholly
// under that record's lock, so the slots cannot change between sizing and
// writing, or while an image is merged in.
#include "context/transfer_image.h"
#include "faultkit.h"
#include "threads/thread_table.h"

using namespace faultkit;

extern "C" FAULTKIT_API uint64_t ErrorMgrExport(void* buffer, uint64_t size) {
    ThreadRecord* record = LockRecordOfCurrentThread(true);
    if (record == nullptr) {
        return 0;
    }
    return ReleaseWithResult(&record->lock, nullptr,
                             WriteImage(record->slots, record->count, buffer, size));
}

extern "C" FAULTKIT_API bool ErrorMgrImport(void* image) {
    ThreadRecord* record = LockRecordOfCurrentThread(true);
    if (record == nullptr) {
        return false;
    }
    return ReleaseWithResult(&record->lock, nullptr,
                             ImportIntoSlots(record->slots, &record->count, image));
}
