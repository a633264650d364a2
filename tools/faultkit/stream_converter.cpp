#include "stream_converter.h"

#include <cstring>
#include <new>

#include "text/convert/encoding_conversion.h"
#include "text/encoding/character_coders.h"
#include "text/encoding/reverse_tables.h"

namespace faultkit::cli {
namespace {

bool IsSurrogate(uint32_t cp) {
    return cp >= 0xD800 && cp <= 0xDFFF;
}

// The reason --strict refuses a decoded character, or kNone.
StopReason StrictRefusal(const ConversionSettings& settings, uint32_t cp) {
    if (IsCodePage(settings.from) && cp == kErrorCodePoint) {
        return StopReason::kUnmappedByte;  // code pages map no byte to U+FFFF
    }
    if (IsSurrogate(cp) || cp > kUtf16MaxCodePoint) {
        return StopReason::kRefusedCodePoint;
    }
    if (IsCodePage(settings.to) && cp != 0 &&
        (cp >= 0x10000 || ReverseLookup(ProcessReverseTables(), cp, settings.to) == 0)) {
        return StopReason::kUnmapped;
    }
    return StopReason::kNone;
}

}  // namespace

Stop FindStop(const ConversionSettings& settings, const uint8_t* src, size_t length) {
    const uint8_t* const end = src + length;
    for (const uint8_t* p = src; p < end;) {
        Stop stop{StopReason::kNone, static_cast<uint64_t>(p - src), 0, *p};
        const void* next = end;
        bool error = false;
        if (!DecodeChar(settings.from, p, &stop.code_point, &next, &error)) {
            stop.reason = error ? StopReason::kInvalid : StopReason::kIncomplete;
            stop.code_point = 0;
            return stop;
        }
        if (settings.strict) {
            stop.reason = StrictRefusal(settings, stop.code_point);
        }
        uint8_t encoded[8];
        if (stop.reason == StopReason::kNone &&
            !EncodeChar(settings.to, stop.code_point, encoded, nullptr, settings.replacement)) {
            stop.reason = StopReason::kNoForm;
        }
        if (stop.reason != StopReason::kNone) {
            return stop;
        }
        p = static_cast<const uint8_t*>(next);
    }
    return Stop{StopReason::kNone, length, 0, 0};
}

bool StreamConverter::Open(const ConversionSettings& settings, size_t block) {
    settings_ = settings;
    block_ = block;
    const size_t room = kMaxGrowth * (block + kMaxCarry);
    const bool two_steps = (settings.from == kEncodingUtf8) == (settings.to == kEncodingUtf8);
    input_.reset(new (std::nothrow) uint8_t[block + kMaxCarry]);
    output_.reset(new (std::nothrow) uint8_t[room]);
    if (two_steps) {
        middle_.reset(new (std::nothrow) uint8_t[room]);
    }
    return input_ != nullptr && output_ != nullptr && (!two_steps || middle_ != nullptr);
}

namespace {

// One engine conversion between UTF-8 and another encoding, into a buffer
// with `room` bytes: false when the engine refused a character; otherwise
// *stopped is where it stopped in src and *written the end of its output.
bool EngineStep(EncodingId from, EncodingId to, const uint8_t* src, size_t length, uint8_t* dst,
                size_t room, int32_t replacement, const uint8_t** stopped, uint8_t** written) {
    const void* end = nullptr;
    void* dst_end = nullptr;
    if (from == kEncodingUtf8) {
        const char* utf8_end = nullptr;
        ConvertFromUtf8(to, reinterpret_cast<const char*>(src), length, dst, room, &utf8_end,
                        &dst_end, replacement);
        end = utf8_end;
    } else {
        ConvertToUtf8(from, src, length, dst, room, &end, &dst_end);
    }
    *stopped = static_cast<const uint8_t*>(end);
    *written = static_cast<uint8_t*>(dst_end);
    return end != nullptr;
}

}  // namespace

// The engine converts between UTF-8 and one other encoding. Other pairs go
// through a middle text: UTF-8 between two encodings that are not UTF-8,
// UTF-32 from UTF-8 to UTF-8 (which checks it). The output has room for
// every character, so the engine stops early only at a cut character.
bool StreamConverter::ConvertRange(const uint8_t* src, size_t length, const uint8_t** end) {
    const size_t room = kMaxGrowth * (block_ + kMaxCarry);
    const EncodingId from = settings_.from;
    const EncodingId to = settings_.to;
    uint8_t* written = nullptr;
    if ((from == kEncodingUtf8) != (to == kEncodingUtf8)) {
        if (!EngineStep(from, to, src, length, output_.get(), room, settings_.replacement, end,
                        &written)) {
            return false;
        }
    } else {
        const EncodingId middle = from == kEncodingUtf8 ? kEncodingUtf32 : kEncodingUtf8;
        uint8_t* middle_end = nullptr;
        const uint8_t* middle_stopped = nullptr;
        if (!EngineStep(from, middle, src, length, middle_.get(), room, 0, end, &middle_end) ||
            !EngineStep(middle, to, middle_.get(), static_cast<size_t>(middle_end - middle_.get()),
                        output_.get(), room, settings_.replacement, &middle_stopped, &written)) {
            return false;
        }
    }
    output_size_ = static_cast<size_t>(written - output_.get());
    return true;
}

bool StreamConverter::Convert(size_t size) {
    const uint8_t* const src = input_.get();
    const size_t length = carry_ + size;
    output_size_ = 0;
    // Strict mode looks for a refused character first; otherwise the search
    // runs only when the engine has refused one.
    Stop stop = settings_.strict ? FindStop(settings_, src, length) : Stop{};
    const bool refused = stop.reason != StopReason::kNone && stop.reason != StopReason::kIncomplete;
    const uint8_t* end = nullptr;
    if (!refused && ConvertRange(src, length, &end)) {
        carry_ = length - static_cast<size_t>(end - src);
        std::memmove(input_.get(), end, carry_);
        consumed_ += static_cast<uint64_t>(end - src);
        return true;
    }
    if (!refused) {
        stop = FindStop(settings_, src, length);
    }
    // What comes before the refused character converts on its own.
    if (!ConvertRange(src, static_cast<size_t>(stop.offset), &end)) {
        output_size_ = 0;
    }
    if (stop.reason == StopReason::kNone || stop.reason == StopReason::kIncomplete) {
        stop.reason = StopReason::kInvalid;  // the engine and the search disagree
    }
    stop.offset += consumed_;
    stop_ = stop;
    return false;
}

bool StreamConverter::Finish() {
    output_size_ = 0;
    if (carry_ == 0) {
        return true;
    }
    stop_ = Stop{StopReason::kIncomplete, consumed_, 0, input_[0]};
    return false;
}

}  // namespace faultkit::cli
