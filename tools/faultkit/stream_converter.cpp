#include "stream_converter.h"

#include <cstring>
#include <new>

#include "text/character_coders.h"
#include "text/encoding_conversion.h"
#include "text/reverse_tables.h"

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

// The engine converts between UTF-8 and one other encoding. Other pairs go
// through a middle text: UTF-8 between two encodings that are not UTF-8,
// UTF-32 from UTF-8 to UTF-8 (which checks it). The output has room for
// every character, so the engine stops early only at a cut character.
bool StreamConverter::ConvertRange(const uint8_t* src, size_t length, const uint8_t** end) {
    const size_t room = kMaxGrowth * (block_ + kMaxCarry);
    const EncodingId from = settings_.from;
    const EncodingId to = settings_.to;
    const int32_t replacement = settings_.replacement;
    const char* text = reinterpret_cast<const char*>(src);
    const void* stopped = nullptr;
    const char* utf8_stopped = nullptr;
    void* written = nullptr;
    if (from != kEncodingUtf8 && to == kEncodingUtf8) {
        ConvertToUtf8(from, src, length, output_.get(), room, &stopped, &written);
    } else if (from == kEncodingUtf8 && to != kEncodingUtf8) {
        ConvertFromUtf8(to, text, length, output_.get(), room, &utf8_stopped, &written,
                        replacement);
        stopped = utf8_stopped;
    } else {
        void* middle_end = nullptr;
        if (from == kEncodingUtf8) {
            ConvertFromUtf8(kEncodingUtf32, text, length, middle_.get(), room, &utf8_stopped,
                            &middle_end, 0);
            stopped = utf8_stopped;
        } else {
            ConvertToUtf8(from, src, length, middle_.get(), room, &stopped, &middle_end);
        }
        if (stopped == nullptr) {
            return false;  // refused by the first step
        }
        const size_t middle_size =
            static_cast<size_t>(static_cast<uint8_t*>(middle_end) - middle_.get());
        const void* middle_stopped = nullptr;
        const char* middle_utf8_stopped = nullptr;
        if (to == kEncodingUtf8) {
            ConvertToUtf8(kEncodingUtf32, middle_.get(), middle_size, output_.get(), room,
                          &middle_stopped, &written);
        } else {
            ConvertFromUtf8(to, reinterpret_cast<const char*>(middle_.get()), middle_size,
                            output_.get(), room, &middle_utf8_stopped, &written, replacement);
            middle_stopped = middle_utf8_stopped;
        }
        if (middle_stopped == nullptr) {
            return false;
        }
    }
    if (stopped == nullptr) {
        return false;
    }
    *end = static_cast<const uint8_t*>(stopped);
    output_size_ = static_cast<size_t>(static_cast<uint8_t*>(written) - output_.get());
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
