#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "text_escaping.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define read _read
#define write _write
#define close _close
#define dup2 _dup2
#define lseek _lseeki64
#define fileno _fileno
using IoSize = unsigned int;  // _read and _write take an unsigned count
#else
#include <unistd.h>
using IoSize = size_t;
#ifndef O_BINARY
#define O_BINARY 0
#endif
#endif

namespace faultkit::cli {
namespace {

constexpr size_t kLargestCall = INT_MAX / 2;  // what one read or write asks for

// The cause of the first failed flush of the stdio standard output; later
// calls may no longer see it in errno.
int g_stdout_error = 0;

void ReportWriteError(int error) {
    if (error == EPIPE) {
        return;
    }
    if (error != 0) {
        std::fprintf(stderr, "faultkit: write error: %s\n", std::strerror(error));
    } else {
        std::fprintf(stderr, "faultkit: write error\n");
    }
}

}  // namespace

bool OpenInput(const char* path, Input* input) {
    if (path == nullptr || std::strcmp(path, "-") == 0) {
        *input = Input{0, "standard input", false};
        return true;
    }
    const int fd = ::open(path, O_RDONLY | O_BINARY);
    int error = errno;
    // Windows refuses to open a directory ("Permission denied"); POSIX opens
    // it and fails the first read. Both are told as what they are.
    struct stat status;
    if (stat(path, &status) == 0 && S_ISDIR(status.st_mode)) {
        error = EISDIR;
    } else if (fd >= 0) {
        *input = Input{fd, path, true};
        return true;
    }
    if (fd >= 0) {
        close(fd);
    }
    std::fprintf(stderr, "faultkit: cannot open %s: %s\n", Quoted(path).c_str(),
                 std::strerror(error));
    return false;
}

void CloseInput(Input* input) {
    if (input->owned) {
        close(input->fd);
    }
    input->owned = false;
}

bool RedirectOutput(const char* path, const Input& input) {
    struct stat output;
    struct stat source;
    // Windows has no inode numbers (st_ino is 0): there the check is left out.
    if (stat(path, &output) == 0 && fstat(input.fd, &source) == 0 && output.st_ino != 0 &&
        output.st_dev == source.st_dev && output.st_ino == source.st_ino) {
        std::fprintf(stderr, "faultkit: the output %s is the input; write to another file\n",
                     Quoted(path).c_str());
        return false;
    }
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, 0666);
    const bool moved = fd >= 0 && dup2(fd, 1) >= 0;
    const int error = errno;
    if (fd >= 0) {
        close(fd);
    }
    if (!moved) {
        std::fprintf(stderr, "faultkit: cannot write %s: %s\n", Quoted(path).c_str(),
                     std::strerror(error));
    }
    return moved;
}

int64_t ReadSome(const Input& input, void* buffer, size_t capacity) {
    const IoSize ask = static_cast<IoSize>(capacity < kLargestCall ? capacity : kLargestCall);
    for (;;) {
        const auto got = read(input.fd, buffer, ask);
        if (got >= 0) {
            return static_cast<int64_t>(got);
        }
        const int error = errno;
        if (error != EINTR) {
            std::fprintf(stderr, "faultkit: cannot read %s: %s\n", Quoted(input.name).c_str(),
                         std::strerror(error));
            return -1;
        }
    }
}

int64_t BytesLeft(const Input& input) {
    struct stat status;
    if (fstat(input.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return -1;
    }
    const auto at = lseek(input.fd, 0, SEEK_CUR);
    return at < 0 || at > status.st_size ? -1 : static_cast<int64_t>(status.st_size - at);
}

int64_t ReadFull(const Input& input, void* buffer, size_t size) {
    size_t have = 0;
    while (have < size) {
        const int64_t got = ReadSome(input, static_cast<char*>(buffer) + have, size - have);
        if (got <= 0) {
            return got < 0 ? -1 : static_cast<int64_t>(have);
        }
        have += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(have);
}

bool WriteOutput(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const IoSize ask = static_cast<IoSize>(size < kLargestCall ? size : kLargestCall);
        const auto written = write(1, bytes, ask);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            ReportWriteError(written < 0 ? errno : ENOSPC);
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool FlushStandardOutput() {
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return true;
    }
    if (g_stdout_error == 0) {
        g_stdout_error = errno;
    }
    return false;
}

bool CloseStandardOutput() {
    const bool flushed = FlushStandardOutput();
    errno = 0;
    const bool closed = std::fclose(stdout) == 0;
    if (flushed && closed) {
        return true;
    }
    ReportWriteError(g_stdout_error != 0 ? g_stdout_error : errno);
    return false;
}

bool IsTerminal(int fd) {
    return isatty(fd) != 0;
}

void SetBinaryStandardStreams() {
#ifdef _WIN32
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
#endif
}

}  // namespace faultkit::cli
