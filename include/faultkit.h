/*
 * faultkit: per-thread error state for the components of a process.
 *
 * A component identifies itself with a 16-byte UUID and receives a facility
 * number that is stamped into its 32-bit error codes. Each thread keeps a
 * root (first) and a last error; errors can be read, enumerated, rendered,
 * redirected to another thread and carried to another process as a byte image.
 *
 * This header compiles as C11 and as C++17. C callers use the undecorated
 * ErrorMgr* functions; C++ callers may also use the members of
 * QelComponent::_qel_error_manager and the functions of QelErrorMgrType.
 */
#ifndef FAULTKIT_H
#define FAULTKIT_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

/* FAULTKIT_API marks the exported functions. Everything else in the shared
 * library is hidden. Define FAULTKIT_STATIC when linking the library's code
 * directly instead of through the shared library. */
#if defined(FAULTKIT_BUILDING)
#if defined(_WIN32)
#define FAULTKIT_API __declspec(dllexport)
#else
#define FAULTKIT_API __attribute__((visibility("default")))
#endif
#elif defined(_WIN32) && !defined(FAULTKIT_STATIC)
#define FAULTKIT_API __declspec(dllimport)
#else
#define FAULTKIT_API
#endif

/* Error code layout: bits 0-15 error number, 16-27 facility, 28-31 flags. */
#define FAULTKIT_ERROR_NUMBER_MASK 0x0000FFFFu
#define FAULTKIT_FACILITY_MASK 0x0FFF0000u
#define FAULTKIT_FLAGS_MASK 0xF0000000u

/* A component UUID in Windows GUID layout (integers in host order). */
typedef struct _qel_bos_uuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} _qel_bos_uuid;

/* Opaque list of typed context values, built by ErrorMgrBuildContext. */
typedef struct _qel_error_context _qel_error_context;

#ifdef __cplusplus
namespace QelComponent {
struct _qel_error_manager;
}
typedef QelComponent::_qel_error_manager _qel_error_manager;
#define FAULTKIT_HANDLE_FIELDS                                                  \
    uint32_t thread_id;                                                        \
    _qel_bos_uuid uuid;                                                        \
    uint32_t facility;
#else
/* The 24-byte component handle. */
typedef struct _qel_error_manager {
    uint32_t thread_id; /* thread that created or initialised the handle */
    _qel_bos_uuid uuid; /* component UUID of a caller-placed handle */
    uint32_t facility;  /* index << 16, 0, or 0xFFFFFFFF while unresolved */
} _qel_error_manager;
#endif

/* One read error, owned by the caller; points into slot storage. */
typedef struct _qel_error_enumerate {
    int32_t index;      /* 1-based slot position; set to 0 to start a walk */
    uint32_t count;     /* number of stored errors when the read was made */
    _qel_bos_uuid uuid; /* component of the code's facility */
    uint32_t code;
    char* aux_text1;
    char* aux_text2;
    int32_t aux_int;
    void* reserved; /* always null */
    _qel_error_context* context;
} _qel_error_enumerate;

#ifdef __cplusplus
extern "C" {
#endif

FAULTKIT_API bool ErrorMgrCreate(_qel_error_manager** out, _qel_bos_uuid* component);
FAULTKIT_API bool ErrorMgrDelete(_qel_error_manager** handle, bool result);
FAULTKIT_API void* ErrorMgrInitialise(void* memory, void* uuid);
FAULTKIT_API unsigned int ErrorMgrGetFacility(_qel_bos_uuid* uuid);

/* Builds a context list from a printf-like format and its arguments: %c %i
 * %u %f %r (hexadecimal 32-bit) %p %s %m (64-bit byte count, then pointer),
 * %i and %u after h, hh, l (32-bit), ll, t or z, and %Lf. Other conversions are
 * passed over. Null when nothing was recorded. The list belongs to the caller
 * until it is handed to a SetError call. */
FAULTKIT_API _qel_error_context* ErrorMgrBuildContext(char* format, ...);
/* Stops every watcher thread and waits (about 5 s at most) for all thread
 * records to be removed; true when none remains. The library stays usable. */
FAULTKIT_API bool ErrorMgrShutdown(void);

/* Stores an error for the calling thread (code | the handle's facility), or
 * clears the thread's errors when the error number is 0. The context is
 * consumed whatever the result; the aux texts must outlive the error. True
 * exactly when the errors were cleared. */
FAULTKIT_API bool ErrorMgrSetErrorFull(_qel_error_manager* handle, unsigned int code,
                                       _qel_error_context* context, char* aux_text1,
                                       char* aux_text2, int aux_int);
/* ErrorMgrSetErrorFull(handle, code, context, NULL, NULL, -1). */
FAULTKIT_API bool ErrorMgrSetErrorBasic(_qel_error_manager* handle, unsigned int code,
                                        _qel_error_context* context);
/* The first stored error's code (0 when none); clears the thread's errors,
 * so the record's context must not be used afterwards. `record` may be
 * NULL. The handle's own facility is stripped from the code. */
FAULTKIT_API unsigned int ErrorMgrGetRootError(_qel_error_manager* handle,
                                               _qel_error_enumerate* record);
/* The most recent error's code, 0 when none; `record` may be NULL. */
FAULTKIT_API unsigned int ErrorMgrGetLastError(_qel_error_manager* handle,
                                               _qel_error_enumerate* record);
/* One stored error per call, oldest first: set record->index to 0, call
 * until false. */
FAULTKIT_API bool ErrorMgrEnumErrors(_qel_error_manager* handle, _qel_error_enumerate* record);
/* Sends the calling thread's later errors to the thread that created
 * `target`; NULL sends them back to the calling thread. */
FAULTKIT_API bool ErrorMgrRedirect(_qel_error_manager* target);
/* Accepted and ignored; always false. */
FAULTKIT_API bool ErrorMgrMerge(_qel_error_manager* handle, _qel_error_manager* other);

/* Writes the calling thread's errors as a transfer image (big-endian bytes
 * that another thread or process can import). size 0: returns the length
 * needed and writes nothing. Returns the length written, or 0 when the
 * buffer is null or too small (then nothing is written). */
FAULTKIT_API uint64_t ErrorMgrExport(void* buffer, uint64_t size);
/* Adds the errors of a transfer image to the calling thread's errors: the
 * first imported error becomes the root, the thread's own last error stays
 * the last. The image's length field gives its extent. False, with the
 * thread's errors unchanged, for a malformed image. */
FAULTKIT_API bool ErrorMgrImport(void* image);

/* Renders the record's context as UTF-8: one NUL-terminated string per
 * value and a final NUL. size 0 returns the size needed; a buffer smaller
 * than that gives 0 and stays untouched. 0 for invalid arguments. */
FAULTKIT_API int ErrorMgrGetContextString(_qel_error_enumerate* record, char* buffer, int size);

#ifdef __cplusplus
} /* extern "C" */

namespace QelComponent {
struct _qel_error_manager {
    FAULTKIT_HANDLE_FIELDS

    FAULTKIT_API static bool Create(_qel_error_manager** out, _qel_bos_uuid* component);
    FAULTKIT_API static bool Delete(_qel_error_manager** handle, bool result);
    FAULTKIT_API static _qel_error_manager* Initialise(void* memory, void* uuid);
    FAULTKIT_API static unsigned int GetFacility(_qel_bos_uuid* uuid);
    FAULTKIT_API static bool Shutdown();

    FAULTKIT_API bool SetError(unsigned int code, _qel_error_context* context, char* aux_text1,
                               char* aux_text2, int aux_int);
    FAULTKIT_API bool SetError(unsigned int code, _qel_error_context* context);
    FAULTKIT_API unsigned int GetRootError(_qel_error_enumerate* record);
    FAULTKIT_API unsigned int GetLastError(_qel_error_enumerate* record);
    FAULTKIT_API bool EnumErrors(_qel_error_enumerate* record);
    /* Redirects the calling thread; the object it is called on is not used. */
    FAULTKIT_API bool Redirect(_qel_error_manager* target);
    FAULTKIT_API bool Merge(_qel_error_manager* other);
    /* Export and Import act on the calling thread; the object is not used. */
    /* unsigned long long is the 64-bit "unsigned __int64" of the Windows ABI. */
    FAULTKIT_API unsigned long long Export(void* buffer, unsigned long long size);
    FAULTKIT_API bool Import(void* image);
};
} // namespace QelComponent
#undef FAULTKIT_HANDLE_FIELDS

namespace QelErrorMgrType {
FAULTKIT_API _qel_error_context* BuildContext(char* format, ...);
FAULTKIT_API int GetContextString(_qel_error_enumerate* record, char* buffer, int size);
} // namespace QelErrorMgrType

#define FAULTKIT_STATIC_ASSERT static_assert
#else
#define FAULTKIT_STATIC_ASSERT _Static_assert
#endif

/* The boundary records' layout is fixed; callers rely on it. */
FAULTKIT_STATIC_ASSERT(sizeof(_qel_bos_uuid) == 16, "UUID size");
FAULTKIT_STATIC_ASSERT(sizeof(_qel_error_manager) == 24, "handle size");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_manager, uuid) == 4, "handle uuid");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_manager, facility) == 20, "handle facility");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_enumerate, count) == 4, "enumerate count");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_enumerate, uuid) == 8, "enumerate uuid");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_enumerate, code) == 24, "enumerate code");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_enumerate, aux_text1) == 32, "enumerate aux_text1");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_enumerate, aux_text2) == 40, "enumerate aux_text2");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_enumerate, aux_int) == 48, "enumerate aux_int");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_enumerate, reserved) == 56, "enumerate reserved");
FAULTKIT_STATIC_ASSERT(offsetof(_qel_error_enumerate, context) == 64, "enumerate context");
FAULTKIT_STATIC_ASSERT(sizeof(_qel_error_enumerate) == 72, "enumerate size");
#undef FAULTKIT_STATIC_ASSERT

#endif /* FAULTKIT_H */
