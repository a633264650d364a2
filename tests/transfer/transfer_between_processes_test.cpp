// Errors exported in one process and imported in another. The test program
// starts itself a second time with kImportMode: that process imports the
// image from a file and writes what it then holds, described line by line,
// to a second file.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "support/thread_errors.h"

namespace faultkit::test {
namespace {

const char kImportMode[] = "--import-image-and-describe";
const char* program_path = nullptr;

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> ReadLines(const char* path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The receiving process. It registers components of its own first, so that
// the imported UUIDs get facilities other than the ones they had.
int ImportAndDescribe(const char* image_path, const char* description_path) {
    for (uint32_t n = 0; n < 3; ++n) {
        _qel_error_manager* handle = nullptr;
        _qel_bos_uuid uuid = TestUuid(0x5500 + n);
        ErrorMgrCreate(&handle, &uuid);
        ErrorMgrDelete(&handle, true);
    }
    std::vector<uint8_t> image = ReadFile(image_path);
    if (image.empty() || !ErrorMgrImport(image.data())) {
        return 2;
    }
    std::ofstream out(description_path);
    for (const std::string& line : DescribeThreadErrors()) {
        out << line << '\n';
    }
    ClearThreadErrors();
    return out ? 0 : 3;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A folder of its own in the temporary folder, removed with everything in
// it at the end, so that runs at the same time never share a file.
class TemporaryFolder {
public:
    TemporaryFolder() {
        namespace fs = std::filesystem;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; path_.empty() && attempt < 100; ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() /
                ("faultkit-transfer-" + std::to_string(stamp) + "-" + std::to_string(attempt));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                path_ = candidate;
            }
        }
    }
    ~TemporaryFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    bool made() const { return !path_.empty(); }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

TEST(TransferBetweenProcesses, ImportedErrorsEqualTheExportedOnes) {
    _qel_error_manager* a = nullptr;
    _qel_error_manager* b = nullptr;
    _qel_bos_uuid uuid_a = TestUuid(0x5510), uuid_b = TestUuid(0x5511, 0x3C);
    ASSERT_TRUE(ErrorMgrCreate(&a, &uuid_a));
    ASSERT_TRUE(ErrorMgrCreate(&b, &uuid_b));
    char text1[] = "caf\xC3\xA9 au lait", empty[] = "", x[] = "x";
    const uint8_t block[] = {0, 1, 2, 0xFF, 0x80, 7, 0};
    int target = 0;
    // Every value type, fixed-width ones of every width among them.
    ErrorMgrSetErrorFull(
        a, 0xA0000007,
        ErrorMgrBuildContext(Format("%c%i%u%r%f%p%s%hi%hhu%li%lli%llu%ti%zu%Lf"), 'q', -5,
                             4000000000u, 0xDEADBEEFu, -1.25, &target, text1, -300, 200, -70000,
                             -(1LL << 40), 0xFEDCBA9876543210ULL, -(1LL << 33), 1ULL << 34, 3.5),
        text1, empty, -123456);
    ErrorMgrSetErrorFull(b, 0x5000FFFF,
                         ErrorMgrBuildContext(Format("%m%s%m"), 7ULL, block, empty, 0ULL, block),
                         nullptr, x, INT_MIN);
    const std::vector<std::string> exported = DescribeThreadErrors();
    ASSERT_EQ(exported.size(), 2u);

    std::vector<uint8_t> image(ErrorMgrExport(nullptr, 0));
    ASSERT_EQ(ErrorMgrExport(image.data(), image.size()), image.size());
    ClearThreadErrors();
    ErrorMgrDelete(&a, true);
    ErrorMgrDelete(&b, true);

    const TemporaryFolder folder;
    ASSERT_TRUE(folder.made());
    const std::string image_path = folder.File("image");
    const std::string description_path = folder.File("description");
    std::ofstream(image_path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    std::string command = Quoted(program_path) + " " + kImportMode + " " + Quoted(image_path) +
                          " " + Quoted(description_path);
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that starts with one.
    command = Quoted(command);
#endif
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(ReadLines(description_path.c_str()), exported);
}

}  // namespace
}  // namespace faultkit::test

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], faultkit::test::kImportMode) == 0) {
        return faultkit::test::ImportAndDescribe(argv[2], argv[3]);
    }
    faultkit::test::program_path = argv[0];
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
