/* The public header compiles as C11; a C program links and uses it. */
#include <stdio.h>

#include "faultkit.h"

int main(void) {
    _qel_bos_uuid component = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    _qel_error_manager* handle = NULL;
    const int passed = ErrorMgrInitialise(NULL, NULL) == (void*)sizeof(_qel_error_manager) &&
                       ErrorMgrCreate(&handle, &component) && handle->facility != 0 &&
                       ErrorMgrGetFacility(&component) == handle->facility &&
                       ErrorMgrDelete(&handle, true) && handle == NULL;
    puts(passed ? "C header test passed" : "C header test failed");
    return passed ? 0 : 1;
}
