#include "json_writer.h"

#include <cinttypes>

#include "text_escaping.h"

namespace faultkit::cli {

void JsonWriter::Separate() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!has_items_.empty()) {
        if (has_items_.back()) {
            std::fputc(',', out_);
        }
        has_items_.back() = true;
    }
}

JsonWriter& JsonWriter::Open(char bracket) {
    Separate();
    std::fputc(bracket, out_);
    has_items_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
    has_items_.pop_back();
    std::fputc(bracket, out_);
    return *this;
}

JsonWriter& JsonWriter::Key(const char* name) {
    String(name);
    std::fputc(':', out_);
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(const char* text) {
    Separate();
    if (text == nullptr) {
        std::fputs("null", out_);
        return *this;
    }
    std::fputc('"', out_);
    WriteJsonStringBody(out_, text);
    std::fputc('"', out_);
    return *this;
}

JsonWriter& JsonWriter::Number(int64_t value) {
    Separate();
    std::fprintf(out_, "%" PRId64, value);
    return *this;
}

std::string HexCode(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, code);
    return text;
}

}  // namespace faultkit::cli
