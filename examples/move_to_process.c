/* Moves a thread's errors to another process: the parent exports them to a
 * file, a child process (this program again) imports and reads them. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <faultkit.h>

static _qel_bos_uuid kStore = {0x5E5E5E5E, 0xABCD, 0x4EF0, {1, 2, 3, 4, 5, 6, 7, 8}};
static char kWhat[] = "write block";

static int child(const char* file) {
    unsigned char image[4096];
    FILE* in = fopen(file, "rb");
    size_t size = in != NULL ? fread(image, 1, sizeof image, in) : 0;
    if (in != NULL) {
        fclose(in);
    }
    if (size == 0 || !ErrorMgrImport(image)) {
        return 1;
    }
    _qel_error_manager* store = NULL;
    ErrorMgrCreate(&store, &kStore); /* may get another facility here */
    _qel_error_enumerate error = {0};
    unsigned code = ErrorMgrGetLastError(store, &error);
    printf("child imported error %u: %s, integer %d\n", code, error.aux_text1, error.aux_int);
    /* Reading the root ends the episode and frees the imported texts. */
    ErrorMgrGetRootError(store, NULL);
    ErrorMgrDelete(&store, true);
    return code == 7 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--child") == 0) {
        return child(argv[2]);
    }
    _qel_error_manager* store = NULL;
    if (!ErrorMgrCreate(&store, &kStore)) {
        return 1;
    }
    ErrorMgrSetErrorFull(store, 7, ErrorMgrBuildContext((char*)"%llu", 4096ULL), kWhat, NULL, 3);
    unsigned char image[4096];
    uint64_t length = ErrorMgrExport(NULL, 0);
    if (length > sizeof image || ErrorMgrExport(image, sizeof image) != length) {
        return 1;
    }
    const char* file = "faultkit-example.img";
    FILE* out = fopen(file, "wb");
    if (out == NULL || fwrite(image, 1, (size_t)length, out) != length || fclose(out) != 0) {
        return 1;
    }
    char command[1024];
    snprintf(command, sizeof command, "\"%s\" --child %s", argv[0], file);
    int status = system(command);
    remove(file);
    ErrorMgrGetRootError(store, NULL);
    ErrorMgrDelete(&store, true);
    printf("parent: child finished with status %d\n", status);
    return status == 0 ? 0 : 1;
}
