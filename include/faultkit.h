/*
 * faultkit: per-thread error state for the components of a process.
 *
 * A component identifies itself with a 16-byte UUID and receives a facility
 * number that is stamped into its 32-bit error codes. Each thread keeps a
 * root (first) and a last error; errors can be read, enumerated, rendered,
 * redirected to another thread and carried to another process as a byte image.
 *
 * This header compiles as C11 and as C++17. C callers use the 16 undecorated
 * ErrorMgr* functions; C++ callers may also use the 16 C++ functions: the
 * members of QelComponent::_qel_error_manager and the functions of
 * QelErrorMgrType, which do the same as the C function they name.
 *
 * For every function:
 * - Threads. Every function may be called from any thread, by any number of
 *   threads at once. The errors a call works on are those of the calling
 *   thread, or of the thread it is redirected to (ErrorMgrRedirect).
 * - Failure. A function fails only through its result: false, 0 or NULL.
 *   There are no error codes of the library's own, no exceptions, no log.
 *   Tables and thread records are guarded by spin locks that give up after
 *   1000 attempts, each followed by a sleep of 0 to 7 ms (about 3.5 seconds
 *   in all); a call that cannot get a lock fails with the same result as
 *   for bad arguments.
 * - Capacities. At most 32 threads have error records at once: while 32
 *   records exist, every call that needs a record fails on any other thread.
 *   A record is made on a thread's first call that needs one and removed,
 *   with the thread's errors, when the thread ends (or by ErrorMgrShutdown).
 *   At most 64 component UUIDs get a facility, for the life of the process.
 * - Ownership. A context from ErrorMgrBuildContext belongs to the caller
 *   until it is passed to a SetError call; from then on it belongs to the
 *   library, whatever that call returns. Handles from ErrorMgrCreate belong
 *   to the caller until ErrorMgrDelete. A _qel_error_enumerate record
 *   belongs to the caller but points into the library's storage, which
 *   stays valid until the thread's errors are next cleared or overwritten.
 *
 * Lifetimes: what a host may do.
 * - Threads end as they like: returning, pthread_exit (a main thread that
 *   calls it included) or ExitThread. The library notices every end, drops
 *   the thread's errors, and its own threads end with the host's, so the
 *   process exits when the host's last thread ends.
 * - Thread ids are reused by the system. A handle's thread_id names the
 *   thread that created it, and a redirect is bound to that thread, not to
 *   its number: once it has ended, redirected calls fail, even after a new
 *   thread has received the same id.
 * - Unloading (dlclose, FreeLibrary) is allowed, with or without
 *   ErrorMgrShutdown, once no thread of the host is inside a call of the
 *   library. Linux: when the library is unmapped it first drops the records
 *   left (as ErrorMgrShutdown does) and waits for its own threads to end;
 *   while a host thread that has used the library lives on, the C library
 *   keeps the library loaded, records and all (its rule for thread-local
 *   destructors). Windows: each thread of the library's own holds a
 *   reference to the DLL until it ends, so the DLL stays loaded until the
 *   watcher of every record has finished (a watcher ends with its record's
 *   thread, or at ErrorMgrShutdown); nothing waits under the loader lock.
 * - Process exit with threads still running is allowed; calls made while
 *   the process exits (or the library is unloaded) may fail.
 * - fork (POSIX): the child may call every function. It starts with no
 *   errors on any thread: the parent's errors stay with the parent.
 *   Handles and facilities made before the fork stay valid, and redirects
 *   made before it are gone.
 *
 * ABI notes for 64-bit Windows (the library's home):
 * - Structure sizes and offsets are those of 64-bit Windows (handle 24
 *   bytes, _qel_error_enumerate 72, UUID 16); the checks at the end of this
 *   header make a compiler with other sizes refuse it.
 * - "%Lf" in ErrorMgrBuildContext reads a 64-bit double. For MSVC callers
 *   long double is that double. For mingw-w64 callers long double is the
 *   80-bit x87 type, passed by reference in variadic calls: pass
 *   (double)value instead. On Linux long double is wider too (80 bits on
 *   x86-64, 128 on 64-bit ARM): pass (double)value there as well. "%li" and
 *   "%lu" read 32 bits, the size of long on Windows; on Linux pass an int
 *   there, not a long.
 */
#ifndef FAULTKIT_H
#define FAULTKIT_H

/* The version; the build and the DLL's version resource read it from here. */
#define FAULTKIT_VERSION_MAJOR 1
#define FAULTKIT_VERSION_MINOR 0
#define FAULTKIT_VERSION_PATCH 0
#define FAULTKIT_VERSION_TEXT(major, minor, patch) #major "." #minor "." #patch
#define FAULTKIT_VERSION_OF(major, minor, patch) FAULTKIT_VERSION_TEXT(major, minor, patch)
/* The version as a string literal, "1.0.0". */
#define FAULTKIT_VERSION \
    FAULTKIT_VERSION_OF(FAULTKIT_VERSION_MAJOR, FAULTKIT_VERSION_MINOR, FAULTKIT_VERSION_PATCH)

#ifndef RC_INVOKED /* resource scripts take only the version */

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

/*
 * How the functions are declared, by consumer:
 * - The library's own build (FAULTKIT_BUILDING) and programs that link the
 *   library's code itself (FAULTKIT_STATIC): plain declarations. On Windows
 *   the module-definition file faultkit.def is the DLL's export list, so
 *   nothing is marked dllexport (on the C++ members that would also export
 *   their GCC-mangled names); on Linux the 32 functions are made visible.
 * - Windows, MSVC ABI (_MSC_VER: MSVC, clang-cl, clang for *-windows-msvc):
 *   all 32 functions imported with dllimport; the C++ functions resolve to
 *   the MSVC-decorated names that faultkit.dll exports. Link faultkit.lib.
 * - Windows, other compilers (mingw-w64 g++, clang for mingw), which cannot
 *   produce those names: the C functions imported with dllimport; the C++
 *   functions are inline functions that call them, and
 *   QelErrorMgrType::BuildContext is ErrorMgrBuildContext itself under an
 *   assembler name, since a variadic function cannot pass its arguments on.
 *   Link libfaultkit.dll.a.
 * - Linux: plain declarations of the 32 functions of libfaultkit.so, the C++
 *   ones under their native (Itanium) names.
 */
#if defined(FAULTKIT_BUILDING) && !defined(_WIN32)
#define FAULTKIT_API __attribute__((visibility("default")))
#elif defined(FAULTKIT_BUILDING) || defined(FAULTKIT_STATIC) || !defined(_WIN32)
#define FAULTKIT_API
#else
#define FAULTKIT_API __declspec(dllimport)
#if !defined(_MSC_VER)
#define FAULTKIT_CXX_FORWARDERS
#endif
#endif

/* Error code layout: bits 0-15 error number, 16-27 facility, 28-31 flags
 * that the library stores, returns and transfers unchanged. Facilities are
 * multiples of 0x10000 from 0x10000 to 0x400000; 0 is no facility. */
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
#define FAULTKIT_HANDLE_FIELDS \
    uint32_t thread_id;        \
    _qel_bos_uuid uuid;        \
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
    _qel_bos_uuid uuid; /* component of the code's facility (zero: none) */
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

/* --- Component handles --------------------------------------------------- */

/* ErrorMgrCreate: allocates a component handle and registers `component`.
 * out: where the handle is stored; component: the component's UUID.
 * The handle records the calling thread as its creator and the facility of
 * `component`: the facility it already has, or the next free one (UUIDs are
 * registered for the life of the process). The null UUID (all zero) and the
 * library's own UUID (see ErrorMgrInitialise) get facility 0 and use no
 * table entry.
 * Returns true with *out set to the handle, which is the caller's until
 * ErrorMgrDelete. Returns false with *out untouched when `component` is
 * NULL; false with *out NULL when memory runs out, when 64 other components
 * hold every facility, or when the facility table's lock cannot be had.
 * A handle may be used from any thread; its creator matters only to
 * ErrorMgrRedirect. */
FAULTKIT_API bool ErrorMgrCreate(_qel_error_manager** out, _qel_bos_uuid* component);

/* ErrorMgrDelete: frees a handle made by ErrorMgrCreate.
 * handle: where the handle is kept; result: what to return on success.
 * Sets *handle to NULL and returns `result` when the handle was freed, and
 * returns `result` too when there was nothing to free (handle or *handle
 * NULL). Returns false, freeing nothing and leaving *handle as it was, when
 * *handle is not a block made by ErrorMgrCreate or its header was
 * overwritten. Handles placed by ErrorMgrInitialise are not to be passed.
 * Errors stored through the handle, and its facility, stay. */
FAULTKIT_API bool ErrorMgrDelete(_qel_error_manager** handle, bool result);

/* ErrorMgrInitialise: places a handle in the caller's memory, or answers a
 * query, by its arguments:
 * - memory and uuid not NULL: writes a 24-byte handle at `memory` (creator:
 *   the calling thread; UUID: a copy of the 16 bytes at `uuid`; facility
 *   unresolved, 0xFFFFFFFF) and returns `memory`. The facility is found,
 *   registering the UUID, on the handle's first use by a SetError, Get or
 *   Enum call; while it cannot be (64 components registered, lock not had)
 *   those calls fail. Nothing is to be freed; the caller keeps the memory
 *   alive while the handle is in use.
 * - memory NULL, uuid not NULL: returns NULL.
 * - both NULL: returns the handle's size, 24, as a pointer-sized value.
 * - memory not NULL, uuid NULL: returns a pointer to the library's own,
 *   constant component UUID {5A3E91C7-2B4D-4F08-9C61-7D2E0B8A4F13}, which
 *   always has facility 0; `memory` is not touched. */
FAULTKIT_API void* ErrorMgrInitialise(void* memory, void* uuid);

/* ErrorMgrGetFacility: the facility of a registered component UUID.
 * Returns the facility (a multiple of 0x10000); 0 when `uuid` is NULL, has
 * not been registered, is the null or the library's own UUID, or the
 * facility table's lock cannot be had. Never registers the UUID. */
FAULTKIT_API unsigned int ErrorMgrGetFacility(_qel_bos_uuid* uuid);

/* --- Contexts ------------------------------------------------------------- */

/* ErrorMgrBuildContext: copies values into a new context list, from a
 * printf-like format and its arguments, in order. Accepted: %i and %u (an
 * int), %f (a double), %c (an int; its low byte), %r (a 32-bit value, shown
 * in hexadecimal), %p (a pointer), %s (a NUL-terminated string, copied, or
 * NULL), %m (a 64-bit byte count, then a pointer to that many readable
 * bytes, copied); %i and %u after h or hh (an int, its low 16 or 8 bits,
 * sign-extended), l (32 bits), ll, t or z (64 bits); %Lf (a double: see
 * the ABI notes above). Nothing else is an error: other conversions,
 * flags, widths and precisions are passed over. A directive without a
 * length modifier that is passed over takes no argument ("%d", "%5i": the
 * '%' and the byte after it are skipped); one with a modifier takes the
 * modifier's argument ("%ld", "%lf").
 * Returns the list, which belongs to the caller until it is passed to a
 * SetError call (the only way to free it); NULL when nothing was recorded or
 * `format` is NULL. When memory runs out, or the list would pass 4 GiB, the
 * values recorded so far are returned. */
FAULTKIT_API _qel_error_context* ErrorMgrBuildContext(char* format, ...);

/* ErrorMgrGetContextString: renders the context of a record filled by
 * ErrorMgrGetLastError or ErrorMgrEnumErrors as UTF-8 text: one
 * NUL-terminated string per value, in order, then a final NUL (a record
 * without a context gives a single NUL). Values: integers in decimal, %r in
 * upper-case hexadecimal, doubles with six decimals and the current
 * locale's decimal point, a character between apostrophes, a string between
 * double quotes ("<null>" for NULL), a pointer as 16 upper-case
 * hexadecimal digits, a memory block as an empty string.
 * record: only its `context` is read; buffer and size: the caller's buffer
 * and its capacity in bytes.
 * Returns the size needed, N, when `size` is 0 (nothing is written; buffer
 * may be NULL); N after writing when size >= N; 0, writing nothing, when
 * 0 < size < N; 0 when record is NULL, size is negative, or buffer is NULL
 * with size not 0. N can exceed the bytes written: by one for each number
 * or pointer, and more for a string that is not valid UTF-8 (written as "").
 * The context must stay alive while the call runs: a record read by
 * ErrorMgrGetRootError must not be rendered, nor one whose thread may clear
 * or overwrite its errors meanwhile. Takes no lock. */
FAULTKIT_API int ErrorMgrGetContextString(_qel_error_enumerate* record, char* buffer, int size);

/* --- Storing and reading errors --------------------------------------------- */

/* ErrorMgrSetErrorFull: stores an error for the calling thread, or clears
 * the thread's errors.
 * handle: the reporting component; code: the error code, to which the
 * handle's facility is added; context: a list from ErrorMgrBuildContext, or
 * NULL; aux_text1, aux_text2: caller strings or NULL, not copied: they must
 * stay alive and unchanged while the error is stored; aux_int: any value.
 * When the error number (code & 0xFFFF) is 0, the thread's errors are
 * cleared (their contexts freed) and the result is true. Otherwise the
 * error is stored and the result is false: the first error since the last
 * clear becomes the root, every later one the last error, replacing the
 * previous last. So the result is true exactly when the errors were
 * cleared, and a function may return it as its success.
 * Nothing changes, and the result is false, when: the error number is not
 * 0 but the code carries no facility (a handle with facility 0 and no
 * facility bits in `code`); the handle is NULL or its facility cannot be
 * resolved (then the result is true when `code` is 0); the thread's record
 * or its lock cannot be had.
 * The context belongs to the library from this call on, whatever it
 * returns: it is stored with the error or freed. */
FAULTKIT_API bool ErrorMgrSetErrorFull(_qel_error_manager* handle, unsigned int code,
                                       _qel_error_context* context, char* aux_text1,
                                       char* aux_text2, int aux_int);

/* ErrorMgrSetErrorBasic: ErrorMgrSetErrorFull(handle, code, context, NULL,
 * NULL, -1). */
FAULTKIT_API bool ErrorMgrSetErrorBasic(_qel_error_manager* handle, unsigned int code,
                                        _qel_error_context* context);

/* ErrorMgrGetRootError: reads the calling thread's first stored error and
 * clears the thread's errors, ending the episode.
 * record: filled with the error (index 1, count, component UUID, code,
 * texts, aux_int, context), or NULL when only the code is wanted.
 * Returns the code; the handle's own facility is stripped from it (and from
 * record->code), so a component sees its own errors as bare error numbers
 * with flags and other components' errors with their facility. Returns 0,
 * leaving the record unwritten, when no error is stored, the handle is NULL
 * or cannot be resolved, or the thread's record or its lock cannot be had.
 * The clearing frees what the record's `context` and the texts of imported
 * errors point to: use only code, uuid, index, count, aux_int and your own
 * texts afterwards. */
FAULTKIT_API unsigned int ErrorMgrGetRootError(_qel_error_manager* handle,
                                               _qel_error_enumerate* record);

/* ErrorMgrGetLastError: reads the calling thread's most recent error and
 * changes nothing. record (may be NULL): filled as by ErrorMgrGetRootError,
 * with index = count. Returns the code, the handle's own facility stripped;
 * 0 on the same conditions as ErrorMgrGetRootError. */
FAULTKIT_API unsigned int ErrorMgrGetLastError(_qel_error_manager* handle,
                                               _qel_error_enumerate* record);

/* ErrorMgrEnumErrors: walks the calling thread's stored errors, oldest
 * first (the root, then the last). Set record->index to 0, then call until
 * false; each true call fills the record as ErrorMgrGetLastError does (own
 * facility stripped) and advances record->index. record->count is taken on
 * the first call only. False, writing nothing, when no error is left, or
 * when record or handle is NULL, the handle cannot be resolved, or the
 * thread's record or its lock cannot be had. */
FAULTKIT_API bool ErrorMgrEnumErrors(_qel_error_manager* handle, _qel_error_enumerate* record);

/* --- Threads ----------------------------------------------------------------- */

/* ErrorMgrRedirect: from now on, the calling thread's errors are stored in,
 * read from, exported from and imported into the errors of the thread that
 * created `target` (only its thread_id is read). That thread gets a record
 * if it has none; once that thread has ended (or when no thread with that
 * id lives at the time of the call), those calls fail, even if a later
 * thread receives the same id. A redirect of its own is not followed. NULL
 * cancels the redirect. Returns true; false when the calling thread's own
 * record or its lock cannot be had. */
FAULTKIT_API bool ErrorMgrRedirect(_qel_error_manager* target);

/* ErrorMgrMerge: accepted and ignored; always false, changes nothing. */
FAULTKIT_API bool ErrorMgrMerge(_qel_error_manager* handle, _qel_error_manager* other);

/* ErrorMgrShutdown: makes every watcher thread remove its thread's record,
 * discarding the errors of every thread, and waits until no record is left
 * (about 5 seconds at most). Returns true when none is left, also when no
 * record was ever made; false when records remain after the wait. The
 * library stays usable: a thread's next call makes it a new record. */
FAULTKIT_API bool ErrorMgrShutdown(void);

/* --- Carrying errors to another thread or process ------------------------------ */

/* ErrorMgrExport: writes the calling thread's errors (whatever components
 * stored them; codes as stored, nothing stripped) as a transfer image:
 * big-endian bytes that another thread or process can import, carrying
 * components as UUIDs, texts and contexts by value. Changes nothing.
 * size 0: returns the image's length and writes nothing, whatever `buffer`
 * is (12 for a thread without errors). buffer not NULL and size at least
 * the length: writes the image, no byte beyond it, and returns the length.
 * Returns 0, writing nothing, when size is below the length (also when the
 * errors grew since the size was asked) or buffer is NULL, when the
 * thread's record or its lock cannot be had, or when the image would be
 * longer than 0xFFFFFFFF bytes. */
FAULTKIT_API uint64_t ErrorMgrExport(void* buffer, uint64_t size);

/* ErrorMgrImport: adds the errors of a transfer image to the calling
 * thread's errors: the first imported error becomes the root; the thread's
 * own last error, or else the last imported one, stays the last; errors in
 * between are dropped. Each component UUID is registered in this process
 * (its facility here may differ from the sender's); an error whose UUID
 * cannot be registered is kept without a facility. Texts and contexts are
 * copied. The image is never written to.
 * image: the image. Import trusts its length field (its first four bytes,
 * big-endian) as the image's extent and reads up to that many bytes: the
 * caller must own at least that many readable bytes at `image`.
 * Returns true when the image was taken (one without errors changes
 * nothing). Returns false, leaving the thread's errors as they were, when
 * the image is malformed (length below 12, trailer not equal to the
 * length, parts reaching past it), memory runs out, or the thread's record
 * or its lock cannot be had. */
FAULTKIT_API bool ErrorMgrImport(void* image);

#ifdef __cplusplus
} /* extern "C" */

/* The C++ functions: each does what the C function it names does. */
#ifdef FAULTKIT_CXX_FORWARDERS
#define FAULTKIT_CXX_API inline
#define FAULTKIT_FORWARD(call) \
    { return call; }
#else
#define FAULTKIT_CXX_API FAULTKIT_API
#define FAULTKIT_FORWARD(call) ;
#endif

/* Each member: its declaration, then the call it makes when it is inline. */
/* clang-format off */
namespace QelComponent {
struct _qel_error_manager {
    FAULTKIT_HANDLE_FIELDS

    FAULTKIT_CXX_API static bool Create(_qel_error_manager** out, _qel_bos_uuid* component)
        FAULTKIT_FORWARD(ErrorMgrCreate(out, component))
    FAULTKIT_CXX_API static bool Delete(_qel_error_manager** handle, bool result)
        FAULTKIT_FORWARD(ErrorMgrDelete(handle, result))
    FAULTKIT_CXX_API static _qel_error_manager* Initialise(void* memory, void* uuid)
        FAULTKIT_FORWARD(static_cast<_qel_error_manager*>(ErrorMgrInitialise(memory, uuid)))
    FAULTKIT_CXX_API static unsigned int GetFacility(_qel_bos_uuid* uuid)
        FAULTKIT_FORWARD(ErrorMgrGetFacility(uuid))
    FAULTKIT_CXX_API static bool Shutdown() FAULTKIT_FORWARD(ErrorMgrShutdown())

    FAULTKIT_CXX_API bool SetError(unsigned int code, _qel_error_context* context,
                                   char* aux_text1, char* aux_text2, int aux_int)
        FAULTKIT_FORWARD(ErrorMgrSetErrorFull(this, code, context, aux_text1, aux_text2, aux_int))
    FAULTKIT_CXX_API bool SetError(unsigned int code, _qel_error_context* context)
        FAULTKIT_FORWARD(ErrorMgrSetErrorFull(this, code, context, nullptr, nullptr, -1))
    FAULTKIT_CXX_API unsigned int GetRootError(_qel_error_enumerate* record)
        FAULTKIT_FORWARD(ErrorMgrGetRootError(this, record))
    FAULTKIT_CXX_API unsigned int GetLastError(_qel_error_enumerate* record)
        FAULTKIT_FORWARD(ErrorMgrGetLastError(this, record))
    FAULTKIT_CXX_API bool EnumErrors(_qel_error_enumerate* record)
        FAULTKIT_FORWARD(ErrorMgrEnumErrors(this, record))
    /* Redirect, Export and Import act on the calling thread; the object
     * they are called on is not used. */
    FAULTKIT_CXX_API bool Redirect(_qel_error_manager* target)
        FAULTKIT_FORWARD(ErrorMgrRedirect(target))
    FAULTKIT_CXX_API bool Merge(_qel_error_manager* other)
        FAULTKIT_FORWARD(ErrorMgrMerge(this, other))
    /* unsigned long long is the 64-bit "unsigned __int64" of the Windows ABI. */
    FAULTKIT_CXX_API unsigned long long Export(void* buffer, unsigned long long size)
        FAULTKIT_FORWARD(ErrorMgrExport(buffer, size))
    FAULTKIT_CXX_API bool Import(void* image) FAULTKIT_FORWARD(ErrorMgrImport(image))
};
} // namespace QelComponent
#undef FAULTKIT_HANDLE_FIELDS

namespace QelErrorMgrType {
#ifdef FAULTKIT_CXX_FORWARDERS
FAULTKIT_API _qel_error_context* BuildContext(char* format, ...) __asm__("ErrorMgrBuildContext");
#else
FAULTKIT_API _qel_error_context* BuildContext(char* format, ...);
#endif
FAULTKIT_CXX_API int GetContextString(_qel_error_enumerate* record, char* buffer, int size)
    FAULTKIT_FORWARD(ErrorMgrGetContextString(record, buffer, size))
} // namespace QelErrorMgrType
/* clang-format on */

#undef FAULTKIT_CXX_API
#undef FAULTKIT_FORWARD
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

#endif /* RC_INVOKED */
#endif /* FAULTKIT_H */
