/* A component reports an error with a context and a caller further up
 * reads it back, renders the context and ends the episode. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <faultkit.h>

static _qel_bos_uuid kParser = {0x9A8B7C6D, 0x1234, 0x4321, {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88}};
static char kWhat[] = "parse settings";

/* Returns false on failure, with the error stored for this thread. */
static bool parse_line(_qel_error_manager* parser, const char* file, int line) {
    _qel_error_context* context = ErrorMgrBuildContext((char*)"%s%i", file, line);
    return ErrorMgrSetErrorFull(parser, 12, context, kWhat, NULL, line);
}

int main(void) {
    _qel_error_manager* parser = NULL;
    if (!ErrorMgrCreate(&parser, &kParser)) {
        return 1;
    }
    if (!parse_line(parser, "settings.ini", 42)) {
        _qel_error_enumerate error = {0};
        unsigned code = ErrorMgrGetLastError(parser, &error);
        int size = ErrorMgrGetContextString(&error, NULL, 0);
        char* text = malloc((size_t)size);
        if (text != NULL && ErrorMgrGetContextString(&error, text, size) == size) {
            printf("error %u (%s): context", code, error.aux_text1);
            for (const char* p = text; *p != '\0'; p += strlen(p) + 1) {
                printf(" %s", p);
            }
            printf("\n");
        }
        free(text);
        ErrorMgrGetRootError(parser, NULL); /* ends the episode */
    }
    return ErrorMgrDelete(&parser, true) ? 0 : 1;
}
