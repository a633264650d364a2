// faultkit demo: the typical road of an error, narrated step by step.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "error_printing.h"
#include "faultkit.h"
#include "process_pipe.h"

namespace faultkit::cli {
namespace {

_qel_bos_uuid kStorageUuid = {0x6B1D2E3F, 0x4A5B, 0x4C6D, {0x8E, 0x9F, 0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5}};
_qel_bos_uuid kNetworkUuid = {0x1F2E3D4C, 0x5B6A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xFF}};

char kOpenVolume[] = "open volume";
char kReadOnly[] = "volume is read-only";
char kSendRequest[] = "send request";
char kPeerSilent[] = "peer did not answer";

void Step(const char* text) { std::printf("\n== %s\n", text); }

// The storage component fails on its own worker thread, reads its error
// back and lets the thread end; the thread's errors go with it.
void StorageWorker(_qel_error_manager* storage) {
    _qel_error_context* context = ErrorMgrBuildContext(
        const_cast<char*>("%s%i%f"), "disk0", 42, 97.5);
    ErrorMgrSetErrorFull(storage, 5, context, kOpenVolume, kReadOnly, 42);
    _qel_error_enumerate record{};
    const uint32_t code = ErrorMgrGetLastError(storage, &record);
    std::printf("storage worker: stored error 5, reads back code 0x%08X (own facility stripped)\n",
                code);
    PrintRecordContext("storage worker", &record);
    ErrorMgrGetRootError(storage, nullptr);
}

// The network component's worker sends its errors to the main thread.
void NetworkWorker(_qel_error_manager* network, _qel_error_manager* main_handle) {
    ErrorMgrRedirect(main_handle);
    std::printf("network worker: redirected to the main thread (id %u)\n", main_handle->thread_id);
    _qel_error_context* first = ErrorMgrBuildContext(const_cast<char*>("%s%r"), "10.0.0.7:443", 0xBEEFu);
    ErrorMgrSetErrorFull(network, 7, first, kSendRequest, nullptr, 1);
    _qel_error_context* second = ErrorMgrBuildContext(const_cast<char*>("%llu%p"), 1500ULL,
                                                      static_cast<void*>(network));
    ErrorMgrSetErrorFull(network, 0x1000000Bu, second, kPeerSilent, nullptr, 2);
    std::printf("network worker: stored errors 7 and 11 (flag bit 28 set on the second)\n");
    ErrorMgrRedirect(nullptr);
}

int ImportInSecondProcess(const char* self, const std::vector<unsigned char>& image) {
    std::string command = "\"" + std::string(self) + "\" inspect --import -";
    std::fflush(stdout);
    const int status = RunWithInput(command.c_str(), image.data(), image.size());
    if (status != 0) {
        std::fprintf(stderr, "faultkit: the second process failed (status %d)\n", status);
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace

int RunDemo(int argc, char** /*argv*/) {
    if (argc != 0) {
        return UsageError("demo", "demo takes no arguments");
    }
    Step("1. two components register and receive facilities");
    _qel_error_manager* storage = nullptr;
    _qel_error_manager* network = nullptr;
    _qel_error_manager* main_handle = nullptr;
    if (!ErrorMgrCreate(&storage, &kStorageUuid) || !ErrorMgrCreate(&network, &kNetworkUuid) ||
        !ErrorMgrCreate(&main_handle, &kNetworkUuid)) {
        std::fprintf(stderr, "faultkit: could not register the demo components\n");
        return kExitBadInput;
    }
    std::printf("storage: facility 0x%08X\nnetwork: facility 0x%08X\n", storage->facility,
                network->facility);

    Step("2. the storage component fails on a worker thread");
    std::thread(StorageWorker, storage).join();

    Step("3. the network component fails on a worker redirected to the main thread");
    std::thread(NetworkWorker, network, main_handle).join();

    Step("4. the main thread reads and enumerates the errors it received");
    PrintThreadErrors("main", storage);

    Step("5. the errors travel to a second process as a transfer image");
    std::vector<unsigned char> image(ErrorMgrExport(nullptr, 0));
    ErrorMgrExport(image.data(), image.size());
    std::printf("exported %zu bytes; a second process imports them:\n", image.size());
    if (ImportInSecondProcess(ProgramPath(), image) != kExitOk) {
        return kExitBadInput;
    }

    Step("6. reading the root error ends the episode");
    _qel_error_enumerate root{};
    const uint32_t code = ErrorMgrGetRootError(network, &root);
    std::printf("root error: code 0x%08X; afterwards the last error reads 0x%08X\n", code,
                ErrorMgrGetLastError(network, nullptr));
    ErrorMgrDelete(&storage, true);
    ErrorMgrDelete(&network, true);
    ErrorMgrDelete(&main_handle, true);
    std::printf("\ndemo finished\n");
    return kExitOk;
}

}  // namespace faultkit::cli
