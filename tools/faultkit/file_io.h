// Reading and writing files and the standard streams the way Unix tools do:
// raw descriptors in large blocks, every failure named with its cause.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit::cli {

// An input: a named file or standard input ("-" or no name).
struct Input {
    int fd = -1;
    const char* name = "standard input";  // for messages
    bool owned = false;                   // opened here, closed by CloseInput
};

// Opens `path` (null or "-": standard input) for reading in binary mode.
// On failure prints "faultkit: cannot open 'PATH': REASON" and returns
// false; a directory is refused with "Is a directory".
bool OpenInput(const char* path, Input* input);

void CloseInput(Input* input);

// Reads what is available, up to `capacity` bytes (0 at the end of the
// input). On failure prints "faultkit: cannot read 'NAME': REASON" and
// returns -1.
int64_t ReadSome(const Input& input, void* buffer, size_t capacity);

// Bytes left to read when the input is a regular file; -1 when that cannot
// be known (pipes, terminals).
int64_t BytesLeft(const Input& input);

// Reads until `size` bytes are in or the input ends; the count read, or -1
// after a message as ReadSome.
int64_t ReadFull(const Input& input, void* buffer, size_t size);

// Makes `path` standard output, created or emptied, for WriteOutput. A
// path that names the input is refused: streaming would empty the input
// before it is read. On failure prints why and returns false.
bool RedirectOutput(const char* path, const Input& input);

// Writes all of `data` to standard output. On failure prints
// "faultkit: write error: REASON" (nothing for a closed pipe, which ends the
// tool quietly) and returns false.
bool WriteOutput(const void* data, size_t size);

// Flushes the stdio standard output; false when that or an earlier write
// to it failed (CloseStandardOutput reports it).
bool FlushStandardOutput();

// Flushes and closes the stdio standard output, as coreutils do at exit.
// False after a message (none for a closed pipe) when any write to it or
// the close failed.
bool CloseStandardOutput();

// True when the descriptor is a terminal.
bool IsTerminal(int fd);

// Switches standard input and output to binary mode where text mode differs.
void SetBinaryStandardStreams();

}  // namespace faultkit::cli
