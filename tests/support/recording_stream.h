// A FILE stream that records every write it receives, for observing the
// fwrite calls of a conversion, and that can be told to fail chosen writes.
// Needs fopencookie; where the C library lacks it, OpenRecordingStream
// gives null and tests of fwrite sizes skip.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace faultkit::test {

struct RecordingStream {
    std::vector<size_t> writes;  // size of every write attempt, failed ones too
    std::string data;            // bytes of the successful writes
    std::set<size_t> failing;    // numbers (from 0) of the attempts that fail
};

// An unbuffered stream over `recording`, so that every fwrite arrives as
// one write; null where unsupported. Close it with fclose.
FILE* OpenRecordingStream(RecordingStream* recording);

}  // namespace faultkit::test
