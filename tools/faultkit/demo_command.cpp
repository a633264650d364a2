// faultkit demo: the typical road of an error, step by step. Each step
// prints the library call it makes as one line of C and, below it, what the
// call returned and why; the demo ends by pointing to the examples and the
// header.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// One library call as a line of C, and what came of it (lines split at
// '\n').
void Call(const char* code, const std::string& outcome) {
    std::printf("  %s\n", code);
    for (size_t at = 0; at < outcome.size();) {
        const size_t end = std::min(outcome.find('\n', at), outcome.size());
        std::printf("      // %s\n", outcome.substr(at, end - at).c_str());
        at = end + 1;
    }
}

// Prose between the calls.
void Say(const char* text) {
    std::printf("  %s\n", text);
}

const char* Bool(bool value) {
    return value ? "true" : "false";
}

// The context's values, each "CtxString "disk0"", one a line.
void PrintValues(_qel_error_context* list) {
    for (const ContextValue& value : RenderContextValues(list).values) {
        std::printf("      //   %s %s\n", ContextTypeName(value.type), value.text);
    }
}

// The storage component fails on its own worker thread, reads its error
// back and lets the thread end; the thread's errors go with it.
void StorageWorker(_qel_error_manager* storage) {
    _qel_error_context* context =
        ErrorMgrBuildContext(const_cast<char*>("%s%i%f"), "disk0", 42, 97.5);
    Call("_qel_error_context* context = ErrorMgrBuildContext(\"%s%i%f\", \"disk0\", 42, 97.5);",
         "a list of three typed values, owned by the caller until it is stored:");
    PrintValues(context);
    const bool cleared = ErrorMgrSetErrorFull(storage, 5, context, kOpenVolume, kReadOnly, 42);
    Call("ErrorMgrSetErrorFull(storage, 5, context, \"open volume\", \"volume is read-only\", 42);",
         std::string(Bool(cleared)) +
             ": stored as this thread's root and last error; the context belongs to the\n"
             "library now. SetError returns true only when it clears (error number 0).");
    _qel_error_enumerate record{};
    const uint32_t code = ErrorMgrGetLastError(storage, &record);
    Call("unsigned code = ErrorMgrGetLastError(storage, &record);",
         HexCode(code) + ": error number 5, the handle's own facility stripped");
    char buffer[64];
    const int size = ErrorMgrGetContextString(&record, buffer, sizeof buffer);
    std::string texts;
    const char* text = buffer;
    for (int value = 0; value < 3; ++value, text += std::strlen(text) + 1) {
        texts += std::string(value == 0 ? "" : ", ") + text;
    }
    Call("int size = ErrorMgrGetContextString(&record, buffer, sizeof buffer);",
         std::to_string(size) + ": " + texts + ", each NUL-terminated, and a final NUL;\n" +
             std::to_string(text + 1 - buffer) +
             " bytes written: the size counts one more for each number");
    ErrorMgrGetRootError(storage, nullptr);
    Call("ErrorMgrGetRootError(storage, NULL);", "reads the root and clears this thread's errors");
}

// The network component's worker sends its errors to the main thread.
void NetworkWorker(_qel_error_manager* network, _qel_error_manager* main_handle) {
    ErrorMgrRedirect(main_handle);
    Call("ErrorMgrRedirect(main_handle);", "this worker's errors now go to thread " +
                                               std::to_string(main_handle->thread_id) +
                                               ", which created main_handle");
    ErrorMgrSetErrorFull(network, 7,
                         ErrorMgrBuildContext(const_cast<char*>("%s%r"), "10.0.0.7:443", 0xBEEFu),
                         kSendRequest, nullptr, 1);
    Call(
        "ErrorMgrSetErrorFull(network, 7, ErrorMgrBuildContext(\"%s%r\", \"10.0.0.7:443\", "
        "0xBEEF), \"send request\", NULL, 1);",
        "stored on the main thread, as its root");
    ErrorMgrSetErrorFull(
        network, 0x1000000Bu,
        ErrorMgrBuildContext(const_cast<char*>("%llu%p"), 1500ULL, static_cast<void*>(network)),
        kPeerSilent, nullptr, 2);
    Call(
        "ErrorMgrSetErrorFull(network, 0x1000000B, ErrorMgrBuildContext(\"%llu%p\", 1500ULL, "
        "network), \"peer did not answer\", NULL, 2);",
        "error 11 with flag bit 28, stored on the main thread as its last error");
    ErrorMgrRedirect(nullptr);
    Call("ErrorMgrRedirect(NULL);", "this worker keeps its own errors again");
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
    Call("ErrorMgrCreate(&storage, &storage_uuid);",
         "true: facility " + HexCode((*storage)->facility) +
             ", which the library adds to storage's codes");
    Call("ErrorMgrCreate(&network, &network_uuid);",
         "true: facility " + HexCode((*network)->facility));
    Call("ErrorMgrCreate(&main_handle, &network_uuid);", "true: the same UUID, the same facility " +
                                                             HexCode((*main_handle)->facility) +
                                                             "; the handle names the main thread");
    return true;
}

}  // namespace

int RunDemo(int argc, char** argv) {
    if (argc != 0) {
        return UsageError("demo", ("demo takes no arguments, not " + Quoted(argv[0])).c_str());
    }
    std::printf("The life of an error, one library call a line (C, from include/faultkit.h).\n");
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
    Say("Any handle reads the calling thread's errors, whichever component stored them;");
    Say("a handle strips only its own facility, so the storage handle used here shows the");
    Say(("network errors with facility " + HexCode(network->facility) + ".").c_str());
    const ThreadErrors errors = ReadThreadErrors(storage);
    Call("unsigned last = ErrorMgrGetLastError(storage, &record);",
         HexCode(errors.last_code) + ", and record.count is " + std::to_string(errors.count));
    Call("while (ErrorMgrEnumErrors(storage, &record)) { /* oldest first */ }",
         "each error, its context rendered with ErrorMgrGetContextString:");
    PrintThreadErrors("main", errors);

    Step("5. the errors travel to a second process as a transfer image");
    std::vector<unsigned char> image(ErrorMgrExport(nullptr, 0));
    Call("uint64_t size = ErrorMgrExport(NULL, 0);", std::to_string(image.size()) + " bytes");
    ErrorMgrExport(image.data(), image.size());
    Call("ErrorMgrExport(image, size);",
         "codes without their facility, component UUIDs, texts and contexts by value");
    Call("ErrorMgrImport(image);", "in a second process, 'faultkit inspect --import -', below");
    Say("Facility numbers belong to a process: each numbers UUIDs as it first sees them.");
    Say("The second process has never seen storage, so network's UUID may get another");
    Say("facility there. The image carries the UUID, which stays the same.");
    if (ImportInSecondProcess(ProgramPath(), image) != kExitOk) {
        return kExitBadInput;
    }

    Step("6. reading the root error ends the episode");
    _qel_error_enumerate root{};
    const uint32_t code = ErrorMgrGetRootError(network, &root);
    Call("unsigned code = ErrorMgrGetRootError(network, &root);",
         HexCode(code) +
             ": the first error, network's own facility stripped;\n"
             "the thread's errors are cleared");
    Call("ErrorMgrGetLastError(network, NULL);",
         HexCode(ErrorMgrGetLastError(network, nullptr)) + ": nothing is stored any more");
    ErrorMgrDelete(&storage, true);
    ErrorMgrDelete(&network, true);
    ErrorMgrDelete(&main_handle, true);
    Call("ErrorMgrDelete(&storage, true); /* and network, main_handle */",
         "true: the handles are freed");

    std::printf(
        "\nNext: examples/ holds two complete programs to copy from (report_with_context.c,\n"
        "move_to_process.c; installed in share/doc/faultkit/examples), and include/faultkit.h\n"
        "documents every call, its ownership rules and results.\n");
    return kExitOk;
}

}  // namespace faultkit::cli
