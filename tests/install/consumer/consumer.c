/* A program built against an installed faultkit. */
#include <stdio.h>

#include <faultkit.h>

int main(void) {
    _qel_bos_uuid component = {0xC0FFEE00u, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    _qel_error_manager* handle = NULL;
    if (!ErrorMgrCreate(&handle, &component)) {
        puts("create failed");
        return 1;
    }
    printf("facility 0x%08X\n", handle->facility);
    return ErrorMgrDelete(&handle, true) ? 0 : 1;
}
