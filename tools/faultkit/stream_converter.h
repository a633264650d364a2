// Text conversion of a stream that arrives in blocks of any size, with the
// tool's policy on top of the library's conversion engine: the output is
// always well-formed in the target encoding.
//
// A problem is a character the source cannot yield validly (an ill-formed,
// overlong or cut UTF-8 sequence; a surrogate or a value above U+10FFFF; an
// unpaired UTF-16 surrogate; a code-page byte without a character) or one
// the target cannot represent. Each problem is replaced (U+FFFD, or the
// replacement byte for a code page), dropped, or stops the conversion right
// before it, as the policy says. Runs of characters without a problem are
// converted by the library's engine.
//
// The output does not depend on the block boundaries: a character cut by a
// block's end is carried over to the next block. Memory is fixed when the
// converter is opened: an input block and room for the largest growth of
// any pair (4 bytes out per byte in).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "text/encoding/encoding_id.h"

namespace faultkit::cli {

enum class ByteOrder : uint8_t { kLittle, kBig };

// How the tool reads and writes one encoding.
struct StreamEncoding {
    EncodingId id = kEncodingUtf8;         // the library's encoding of the characters
    ByteOrder order = ByteOrder::kLittle;  // of 16- and 32-bit units
    // UTF-16 and UTF-32: a leading byte-order mark chooses the order of the
    // input (`order` without one) and is not converted; output starts with
    // one in `order`.
    bool byte_order_mark = false;
    bool bmp_only = false;  // UCS-2: no surrogates, nothing above U+FFFF
};

enum class Policy : uint8_t { kReplace, kDrop, kStop };

struct ConversionSettings {
    StreamEncoding from;
    StreamEncoding to;
    Policy policy = Policy::kReplace;
    int32_t replacement = 0;  // byte for problems in a code-page target; 0 = '?'
};

enum class ProblemKind : uint8_t {
    kNone,
    kInvalidByte,   // value: the first byte of an ill-formed sequence
    kOverlong,      // value: the code point an overlong UTF-8 form spells
    kSurrogate,     // value: the surrogate
    kAboveUnicode,  // value: the number, above U+10FFFF
    kUnmappedByte,  // value: a code-page byte without a character
    kCutShort,      // the input ends inside a character
    kNotInTarget,   // value: a code point the target cannot represent
};

struct Problem {
    ProblemKind kind = ProblemKind::kNone;
    uint64_t offset = 0;  // input offset of the character, byte-order mark included
    uint32_t value = 0;
};

class StreamConverter {
public:
    static constexpr size_t kMaxGrowth = 4;  // output bytes per input byte
    static constexpr size_t kMaxCarry = 8;   // bytes of a cut character or mark

    // False when memory for a `block`-byte block cannot be had.
    bool Open(const ConversionSettings& settings, size_t block);

    // Where the next input bytes go, and how many fit.
    uint8_t* InputSpace() { return input_.get() + carry_; }
    size_t InputRoom() const { return block_ + kMaxCarry - carry_; }

    // Converts the `size` bytes just placed at InputSpace(), after those
    // carried from before; Output() then holds the converted text. False
    // when a problem stopped the conversion (Policy::kStop): Output() holds
    // what came before it, first_problem() says what it was.
    bool Convert(size_t size);

    // The input has ended: converts what was carried (a cut character is a
    // problem). False, as Convert, when that stops the conversion.
    bool Finish();

    const uint8_t* Output() const { return output_.get(); }
    size_t OutputSize() const { return output_size_; }
    uint64_t problems() const { return problems_; }  // replaced, dropped or stopped at
    const Problem& first_problem() const { return first_problem_; }

private:
    bool ConvertWindow(size_t length, bool last);
    bool TakeByteOrderMark(size_t length, bool last, size_t* start);
    void PutHostOrder(size_t length);
    template <typename Decoder>
    bool ConvertCharacters(const Decoder& decoder, size_t start, size_t length, bool last);
    bool MeetProblem(const uint8_t* at, ProblemKind kind, uint32_t value);
    void WriteRun(const uint8_t* begin, const uint8_t* end);
    void BeginOutput();
    void WriteTarget(const uint8_t* bytes, size_t size);

    ConversionSettings settings_;
    size_t block_ = 0;
    std::unique_ptr<uint8_t[]> input_;   // carried bytes, then the block
    std::unique_ptr<uint8_t[]> middle_;  // UTF-8 between two other encodings
    std::unique_ptr<uint8_t[]> output_;
    size_t carry_ = 0;
    size_t host_order_ = 0;      // leading input bytes already in host order
    bool mark_pending_ = false;  // the input's byte-order mark is yet to be read
    bool mark_written_ = false;
    size_t output_size_ = 0;
    uint64_t consumed_ = 0;  // input offset of input_[0]
    uint64_t problems_ = 0;
    Problem first_problem_;
    uint8_t replacement_[4] = {};  // the target's replacement, in its byte order
    size_t replacement_size_ = 0;
};

}  // namespace faultkit::cli
