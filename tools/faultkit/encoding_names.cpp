#include "encoding_names.h"

#include <cctype>

namespace faultkit::cli {
namespace {

struct EncodingAliases {
    int32_t id;
    const char* names[5];  // the first is canonical; null-terminated list
};

const EncodingAliases kEncodings[] = {
    {-2, {"utf-8", "utf8", nullptr}},
    {-1, {"utf-16", "utf16", "utf-16le", "utf16le", nullptr}},
    {0, {"utf-32", "utf32", "utf-32le", "utf32le", nullptr}},
    {1, {"us-ascii", "ascii", "ansi_x3.4-1968", nullptr}},
    {2, {"iso-8859-1", "iso8859-1", "latin1", "l1", nullptr}},
    {3, {"iso-8859-2", "iso8859-2", "latin2", "l2", nullptr}},
    {4, {"iso-8859-3", "iso8859-3", "latin3", "l3", nullptr}},
    {5, {"iso-8859-4", "iso8859-4", "latin4", "l4", nullptr}},
    {6, {"iso-8859-5", "iso8859-5", "cyrillic", nullptr}},
    {7, {"iso-8859-6", "iso8859-6", "arabic", nullptr}},
    {8, {"iso-8859-7", "iso8859-7", "greek", nullptr}},
    {9, {"iso-8859-8", "iso8859-8", "hebrew", nullptr}},
    {10, {"iso-8859-9", "iso8859-9", "latin5", "l5", nullptr}},
    {11, {"iso-8859-10", "iso8859-10", "latin6", "l6", nullptr}},
    {12, {"tis-620", "tis620", "thai", nullptr}},
    {13, {"iso-8859-13", "iso8859-13", "latin7", "l7", nullptr}},
    {14, {"iso-8859-14", "iso8859-14", "latin8", "l8", nullptr}},
    {15, {"iso-8859-15", "iso8859-15", "latin9", "l9", nullptr}},
    {16, {"iso-8859-16", "iso8859-16", "latin10", "l10", nullptr}},
    {17, {"windows-1252", "cp1252", "win1252", nullptr}},
};

bool SameIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

}  // namespace

bool EncodingByName(const char* name, int32_t* id) {
    for (const EncodingAliases& encoding : kEncodings) {
        for (const char* const* alias = encoding.names; *alias != nullptr; ++alias) {
            if (SameIgnoringCase(name, *alias)) {
                *id = encoding.id;
                return true;
            }
        }
    }
    return false;
}

const char* EncodingName(int32_t id) {
    for (const EncodingAliases& encoding : kEncodings) {
        if (encoding.id == id) {
            return encoding.names[0];
        }
    }
    return "?";
}

void ListEncodings(FILE* out) {
    for (const EncodingAliases& encoding : kEncodings) {
        std::fprintf(out, "%-13s", encoding.names[0]);
        for (const char* const* alias = encoding.names + 1; *alias != nullptr; ++alias) {
            std::fprintf(out, " %s", *alias);
        }
        std::fprintf(out, "\n");
    }
}

}  // namespace faultkit::cli
