// faultkit: the library's command-line tool.
#include <cstdio>
#include <cstring>

#include "faultkit.h"

namespace {

int Demo() {
    _qel_bos_uuid storage = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
    _qel_bos_uuid network = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {8, 7, 6, 5, 4, 3, 2, 1}};
    _qel_error_manager* first = nullptr;
    _qel_error_manager* second = nullptr;
    if (!ErrorMgrCreate(&first, &storage) || !ErrorMgrCreate(&second, &network)) {
        std::fprintf(stderr, "faultkit: could not register the demo components\n");
        return 1;
    }
    std::printf("component 'storage' has facility 0x%08X\n", first->facility);
    std::printf("component 'network' has facility 0x%08X\n", second->facility);
    ErrorMgrDelete(&first, true);
    ErrorMgrDelete(&second, true);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "demo") == 0) {
        return Demo();
    }
    std::fprintf(stderr, "usage: faultkit demo\n");
    return 2;
}
