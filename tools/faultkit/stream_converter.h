// Text conversion of a stream that arrives in blocks of any size, with the
// library's conversion engine. Output is exactly the engine's one-shot
// conversion of the longest valid prefix of the whole input, whatever the
// block boundaries: a character cut by a block's end is carried over to the
// next block, and at a character that cannot be converted the output stops
// right before it.
//
// Memory is fixed when the converter is made: an input block and output
// room for the largest growth of any encoding pair (4 bytes per input byte,
// a code-page byte or ASCII becoming a UTF-32 unit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "text/encoding/encoding_id.h"

namespace faultkit::cli {

struct ConversionSettings {
    EncodingId from = kEncodingUtf8;
    EncodingId to = kEncodingUtf8;
    int32_t replacement = 0;  // byte for characters a code page lacks; 0 = '?'
    // Refuse instead of substituting: characters the target code page lacks,
    // code-page bytes without a character, surrogates and code points above
    // U+10FFFF.
    bool strict = false;
};

// Why a conversion stopped before the end of its input.
enum class StopReason {
    kNone,
    kInvalid,           // the bytes are no character of the source encoding
    kNoForm,            // the target encoding cannot carry the code point
    kUnmapped,          // strict: the target code page has no byte for it
    kUnmappedByte,      // strict: the source code page maps the byte to nothing
    kRefusedCodePoint,  // strict: a surrogate or a value above U+10FFFF
    kIncomplete,        // the input ends inside a character
};

struct Stop {
    StopReason reason = StopReason::kNone;
    uint64_t offset = 0;      // input offset of the character
    uint32_t code_point = 0;  // decoded value, where there is one
    uint8_t byte = 0;         // first byte of the character
};

// The first character in src[0, length) where a conversion must stop,
// kNone with offset `length`, or at an incomplete last character, when
// there is none. Offsets are relative to src.
Stop FindStop(const ConversionSettings& settings, const uint8_t* src, size_t length);

class StreamConverter {
public:
    static constexpr size_t kMaxGrowth = 4;  // output bytes per input byte
    static constexpr size_t kMaxCarry = 8;   // bytes of a cut character

    // False when memory for a `block`-byte block cannot be had.
    bool Open(const ConversionSettings& settings, size_t block);

    // Where the next input bytes go, and how many fit.
    uint8_t* InputSpace() { return input_.get() + carry_; }
    size_t InputRoom() const { return block_ + kMaxCarry - carry_; }

    // Converts the `size` bytes just placed at InputSpace(), after those
    // carried from before. Output() then holds the converted text. False
    // when the conversion has stopped for good: Output() holds what came
    // before the character that stopped it, and stop() tells why.
    bool Convert(size_t size);

    // The input has ended: false with a kIncomplete stop when it ended
    // inside a character. Output() is empty.
    bool Finish();

    const uint8_t* Output() const { return output_.get(); }
    size_t OutputSize() const { return output_size_; }
    const Stop& stop() const { return stop_; }

private:
    // Converts src[0, length) into the output; the end of what was
    // converted goes to *end. False when the engine refused a character.
    bool ConvertRange(const uint8_t* src, size_t length, const uint8_t** end);

    ConversionSettings settings_;
    size_t block_ = 0;
    std::unique_ptr<uint8_t[]> input_;   // carried bytes, then the block
    std::unique_ptr<uint8_t[]> middle_;  // two-step conversions only
    std::unique_ptr<uint8_t[]> output_;
    size_t carry_ = 0;
    size_t output_size_ = 0;
    uint64_t consumed_ = 0;  // input offset of input_[0]
    Stop stop_;
};

}  // namespace faultkit::cli
