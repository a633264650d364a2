/* The public header compiles as C11; a C program links and uses it. */
#include <stdio.h>

#include "faultkit.h"

int main(void) {
    _qel_bos_uuid component = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    _qel_error_manager* handle = NULL;
    if (ErrorMgrInitialise(NULL, NULL) != (void*)sizeof(_qel_error_manager)) {
        puts("size query failed");
        return 1;
    }
    if (!ErrorMgrCreate(&handle, &component) || handle->facility == 0) {
        puts("create failed");
        return 1;
    }
    if (ErrorMgrGetFacility(&component) != handle->facility) {
        puts("facility query failed");
        return 1;
    }
    if (!ErrorMgrDelete(&handle, true) || handle != NULL) {
        puts("delete failed");
        return 1;
    }
    puts("C header test passed");
    return 0;
}
