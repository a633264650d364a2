// faultkit export-sample: a small valid transfer image.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "faultkit.h"
#include "file_io.h"
#include "option_parser.h"
#include "text_escaping.h"

namespace faultkit::cli {
namespace {

_qel_bos_uuid kSampleUuid = {
    0x0DDBA11, 0xCAFE, 0x4BEE, {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};
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
    ErrorMgrSetErrorFull(
        sample, 0x20000009u,
        ErrorMgrBuildContext(const_cast<char*>("%u%r%f%c"), 12u, 0xC0DEu, 0.25, 'x'), kLastText1,
        nullptr, -1);
    image.resize(ErrorMgrExport(nullptr, 0));
    if (ErrorMgrExport(image.data(), image.size()) != image.size()) {
        image.clear();
    }
    ErrorMgrGetRootError(sample, nullptr);
    ErrorMgrDelete(&sample, true);
    return image;
}

bool WriteFile(const char* path, const std::vector<unsigned char>& image) {
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        const int error = errno;
        std::fprintf(stderr, "faultkit: cannot open %s: %s\n", Quoted(path).c_str(),
                     std::strerror(error));
        return false;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    int error = errno;
    const bool closed = std::fclose(out) == 0;
    if (written) {
        error = errno;  // only the close can have failed
    }
    if (!written || !closed) {
        std::fprintf(stderr, "faultkit: cannot write %s: %s\n", Quoted(path).c_str(),
                     std::strerror(error));
        return false;
    }
    return true;
}

}  // namespace

int RunExportSample(int argc, char** argv) {
    const char* output = nullptr;
    const int parsed = ParseArguments(
        "export-sample", argc, argv, nullptr, 0,
        [](int, const char*) { return static_cast<int>(kExitOk); },
        TakeOneOperand("export-sample", &output));
    if (parsed != kExitOk) {
        return parsed;
    }
    const bool to_stdout = output == nullptr || std::string(output) == "-";
    if (output == nullptr && IsTerminal(1)) {
        return UsageError("export-sample",
                          "standard output is a terminal; name a FILE, or '-' to write the "
                          "binary image there anyway");
    }
    const std::vector<unsigned char> image = BuildSampleImage();
    if (image.empty()) {
        std::fprintf(stderr, "faultkit: could not build the sample image\n");
        return kExitBadInput;
    }
    if (to_stdout) {
        SetBinaryStandardStreams();
    }
    const bool written =
        to_stdout ? WriteOutput(image.data(), image.size()) : WriteFile(output, image);
    return written ? kExitOk : kExitBadInput;
}

}  // namespace faultkit::cli
