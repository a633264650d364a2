// faultkit demo: the typical road of an error, narrated step by step with
// the library call behind each step.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "error_printing.h"
#include "faultkit.h"
#include "file_io.h"
#include "process_pipe.h"
#include "text_escaping.h"

namespace faultkit::cli {
namespace {

_qel_bos_uuid kStorageUuid = {
    0x6B1D2E3F, 0x4A5B, 0x4C6D, {0x8E, 0x9F, 0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5}};
_qel_bos_uuid kNetworkUuid = {
    0x1F2E3D4C, 0x5B6A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xFF}};

char kOpenVolume[] = "open volume";
char kReadOnly[] = "volume is read-only";
char kSendRequest[] = "send request";
char kPeerSilent[] = "peer did not answer";

void Step(const char* text) {
    std::printf("\n== %s\n", text);
}

// One library call as the program makes it, with what it returned.
void Call(const char* call, const std::string& result) {
    std::printf("  call: %s\n        -> %s\n", call, result.c_str());
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    return text;
}

void PrintValues(const char* label, _qel_error_enumerate* record) {
    const RenderedContext context = RenderContextValues(record->context);
    for (const ContextValue& value : context.values) {
        std::printf("%s: context value of type %u (%s): %s\n", label, value.type,
                    ContextTypeName(value.type), value.text);
    }
}

// The storage component fails on its own worker thread, reads its error
// back and lets the thread end; the thread's errors go with it.
void StorageWorker(_qel_error_manager* storage) {
    _qel_error_context* context =
        ErrorMgrBuildContext(const_cast<char*>("%s%i%f"), "disk0", 42, 97.5);
    Call("ErrorMgrBuildContext(\"%s%i%f\", \"disk0\", 42, 97.5)",
         "a context list of three typed values, owned by the caller");
    ErrorMgrSetErrorFull(storage, 5, context, kOpenVolume, kReadOnly, 42);
    Call("ErrorMgrSetErrorFull(storage, 5, context, \"open volume\", \"volume is read-only\", 42)",
         "stored as this thread's root and last error; the context now belongs to the library");
    _qel_error_enumerate record{};
    const uint32_t code = ErrorMgrGetLastError(storage, &record);
    Call("ErrorMgrGetLastError(storage, &record)",
         Hex(code) + ": the number 5, the handle's own facility stripped");
    Call("ErrorMgrGetContextString(&record, buffer, size)", "one UTF-8 text per value:");
    PrintValues("storage worker", &record);
    ErrorMgrGetRootError(storage, nullptr);
    Call("ErrorMgrGetRootError(storage, NULL)", "reads the root and clears the thread's errors");
}

// The network component's worker sends its errors to the main thread.
void NetworkWorker(_qel_error_manager* network, _qel_error_manager* main_handle) {
    ErrorMgrRedirect(main_handle);
    Call("ErrorMgrRedirect(main_handle)", "this worker's errors now go to thread " +
                                              std::to_string(main_handle->thread_id) +
                                              ", which created main_handle");
    _qel_error_context* first =
        ErrorMgrBuildContext(const_cast<char*>("%s%r"), "10.0.0.7:443", 0xBEEFu);
    ErrorMgrSetErrorFull(network, 7, first, kSendRequest, nullptr, 1);
    Call("ErrorMgrSetErrorFull(network, 7, context(\"%s%r\"), \"send request\", NULL, 1)",
         "stored on the main thread");
    _qel_error_context* second =
        ErrorMgrBuildContext(const_cast<char*>("%llu%p"), 1500ULL, static_cast<void*>(network));
    ErrorMgrSetErrorFull(network, 0x1000000Bu, second, kPeerSilent, nullptr, 2);
    Call(
        "ErrorMgrSetErrorFull(network, 0x1000000B, context(\"%llu%p\"), \"peer did not "
        "answer\", NULL, 2)",
        "error 11 with flag bit 28, stored on the main thread");
    ErrorMgrRedirect(nullptr);
    Call("ErrorMgrRedirect(NULL)", "this worker keeps its own errors again");
}

int ImportInSecondProcess(const char* self, const std::vector<unsigned char>& image) {
    std::string command = "\"" + std::string(self) + "\" inspect --import -";
    if (!FlushStandardOutput()) {
        return kExitBadInput;  // reported when the tool closes its output
    }
    const int status = RunWithInput(command.c_str(), image.data(), image.size());
    if (status != 0) {
        std::fprintf(stderr, "faultkit: the second process failed (status %d)\n", status);
        return kExitBadInput;
    }
    return kExitOk;
}

bool RegisterComponents(_qel_error_manager** storage, _qel_error_manager** network,
                        _qel_error_manager** main_handle) {
    if (!ErrorMgrCreate(storage, &kStorageUuid) || !ErrorMgrCreate(network, &kNetworkUuid) ||
        !ErrorMgrCreate(main_handle, &kNetworkUuid)) {
        std::fprintf(stderr, "faultkit: could not register the demo components\n");
        return false;
    }
    Call(
        "ErrorMgrCreate(&storage, &storage_uuid)",
        "a handle of facility " + Hex((*storage)->facility) + " (the facility sits in bits 16-27)");
    Call("ErrorMgrCreate(&network, &network_uuid)",
         "a handle of facility " + Hex((*network)->facility));
    Call("ErrorMgrCreate(&main_handle, &network_uuid)",
         "the same UUID, the same facility; made on the main thread, so it names that thread");
    return true;
}

}  // namespace

int RunDemo(int argc, char** argv) {
    if (argc != 0) {
        return UsageError("demo", ("demo takes no arguments, not " + Quoted(argv[0])).c_str());
    }
    Step("1. two components register and receive facilities");
    _qel_error_manager* storage = nullptr;
    _qel_error_manager* network = nullptr;
    _qel_error_manager* main_handle = nullptr;
    if (!RegisterComponents(&storage, &network, &main_handle)) {
        return kExitBadInput;
    }

    Step("2. the storage component fails on a worker thread");
    std::thread(StorageWorker, storage).join();

    Step("3. the network component fails on a worker redirected to the main thread");
    std::thread(NetworkWorker, network, main_handle).join();

    Step("4. the main thread reads and enumerates the errors it received");
    std::printf(
        "  The main thread reads through the storage handle: any handle reads the calling\n"
        "  thread's errors, whichever component stored them. A handle strips only its own\n"
        "  facility from the codes it returns, so the network errors keep facility %s.\n",
        Hex(network->facility).c_str());
    Call(
        "ErrorMgrGetLastError(storage, &record), then ErrorMgrEnumErrors(storage, &record) "
        "until false",
        "the errors, oldest first; contexts rendered with ErrorMgrGetContextString:");
    PrintThreadErrors("main", ReadThreadErrors(storage));

    Step("5. the errors travel to a second process as a transfer image");
    std::vector<unsigned char> image(ErrorMgrExport(nullptr, 0));
    Call("ErrorMgrExport(NULL, 0)", std::to_string(image.size()) + ", the size of the image");
    ErrorMgrExport(image.data(), image.size());
    Call("ErrorMgrExport(buffer, size)",
         "the image: codes without facility, component UUIDs, "
         "texts and contexts by value");
    std::printf(
        "  A second faultkit process calls ErrorMgrImport(image). Facility numbers belong to a\n"
        "  process: each process numbers UUIDs in the order it first sees them. Here storage\n"
        "  registered first and network got %s; the second process has never seen storage,\n"
        "  so the network UUID from the image is the first it registers and may get another\n"
        "  number there. The UUID is what the image carries, and it stays the same.\n",
        Hex(network->facility).c_str());
    if (ImportInSecondProcess(ProgramPath(), image) != kExitOk) {
        return kExitBadInput;
    }

    Step("6. reading the root error ends the episode");
    _qel_error_enumerate root{};
    const uint32_t code = ErrorMgrGetRootError(network, &root);
    Call("ErrorMgrGetRootError(network, &root)",
         Hex(code) +
             ": the first error, network's facility stripped; the thread's errors are "
             "cleared");
    Call("ErrorMgrGetLastError(network, NULL)", Hex(ErrorMgrGetLastError(network, nullptr)));
    ErrorMgrDelete(&storage, true);
    ErrorMgrDelete(&network, true);
    ErrorMgrDelete(&main_handle, true);
    Call("ErrorMgrDelete(&handle, true) for each handle", "the handles are freed");
    std::printf("\ndemo finished\n");
    return kExitOk;
}

}  // namespace faultkit::cli
