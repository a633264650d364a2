// A small streaming JSON writer: objects, arrays, strings and integers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace faultkit::cli {

class JsonWriter {
public:
    explicit JsonWriter(FILE* out) : out_(out) {}

    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }
    JsonWriter& Key(const char* name);
    // A null text is written as null. UTF-8 passes through; quotes,
    // backslashes, control characters and bytes that are not UTF-8 are
    // escaped (see WriteJsonStringBody), so the document is valid whatever the
    // bytes.
    JsonWriter& String(const char* text);
    JsonWriter& Number(int64_t value);

private:
    JsonWriter& Open(char bracket);
    JsonWriter& Close(char bracket);
    void Separate();  // a comma before every value but a container's first

    FILE* out_;
    std::vector<bool> has_items_;  // per open container
    bool after_key_ = false;
};

// "0x" and eight upper-case hexadecimal digits.
std::string HexCode(uint32_t code);

}  // namespace faultkit::cli
