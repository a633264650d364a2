// Export and Import on the calling thread's record (or the record it is
// redirected to). Each runs wholly under that record's lock, so the slots
// cannot change between sizing and writing, or while an image is merged in.
#include "transfer/thread_transfer.h"

#include "threads/thread_table.h"
#include "transfer/transfer_image.h"

namespace faultkit {

uint64_t ExportThreadErrors(void* buffer, uint64_t size) {
    ThreadRecord* record = LockRecordOfCurrentThread(true);
    if (record == nullptr) {
        return 0;
    }
    return ReleaseWithResult(&record->lock, nullptr,
                             WriteImage(record->slots, record->count, buffer, size));
}

bool ImportThreadErrors(const void* image) {
    ThreadRecord* record = LockRecordOfCurrentThread(true);
    if (record == nullptr) {
        return false;
    }
    return ReleaseWithResult(&record->lock, nullptr,
                             ImportIntoSlots(record->slots, &record->count, image));
}

}  // namespace faultkit
