// faultkit export-sample: a small valid transfer image.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "faultkit.h"
#include "process_pipe.h"

namespace faultkit::cli {
namespace {

_qel_bos_uuid kSampleUuid = {0x0DDBA11, 0xCAFE, 0x4BEE, {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};
char kRootText1[] = "load configuration";
char kRootText2[] = "C:\\faultkit\\sample.ini";
char kLastText1[] = "parse line";

// Stores the sample's two errors on the calling thread and exports them.
std::vector<unsigned char> BuildSampleImage() {
    _qel_error_manager* sample = nullptr;
    std::vector<unsigned char> image;
    if (!ErrorMgrCreate(&sample, &kSampleUuid)) {
        return image;
    }
    ErrorMgrSetErrorBasic(sample, 0, nullptr);  // start from a clean slate
    ErrorMgrSetErrorFull(sample, 2,
                         ErrorMgrBuildContext(const_cast<char*>("%s%i"), "sample.ini", -17),
                         kRootText1, kRootText2, 3);
    ErrorMgrSetErrorFull(sample, 0x20000009u,
                         ErrorMgrBuildContext(const_cast<char*>("%u%r%f%c"), 12u, 0xC0DEu, 0.25, 'x'),
                         kLastText1, nullptr, -1);
    image.resize(ErrorMgrExport(nullptr, 0));
    if (ErrorMgrExport(image.data(), image.size()) != image.size()) {
        image.clear();
    }
    ErrorMgrGetRootError(sample, nullptr);
    ErrorMgrDelete(&sample, true);
    return image;
}

}  // namespace

int RunExportSample(int argc, char** argv) {
    if (argc > 1) {
        return UsageError("export-sample", "too many arguments");
    }
    const std::vector<unsigned char> image = BuildSampleImage();
    if (image.empty()) {
        std::fprintf(stderr, "faultkit: could not build the sample image\n");
        return kExitBadInput;
    }
    const bool to_stdout = argc == 0 || std::string(argv[0]) == "-";
    FILE* out = to_stdout ? stdout : std::fopen(argv[0], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "faultkit: cannot write '%s'\n", argv[0]);
        return kExitBadInput;
    }
    if (to_stdout) {
        SetBinaryMode(stdout);
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    const bool closed = to_stdout ? std::fflush(out) == 0 : std::fclose(out) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "faultkit: writing the image failed\n");
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace faultkit::cli
