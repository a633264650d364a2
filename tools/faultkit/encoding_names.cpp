#include "encoding_names.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace faultkit::cli {
namespace {

constexpr ByteOrder kLittle = ByteOrder::kLittle, kBig = ByteOrder::kBig;

// Canonical names first, then the names iconv (glibc) gives the same
// encoding. UTF-16 and UTF-32 without a byte-order mark, and UCS-2, are
// little-endian as glibc reads and writes them on this kind of machine;
// UCS-4 is big-endian, as in glibc.
const NamedEncoding kEncodings[] = {
    {"utf-8", "iso-10646/utf-8", {kEncodingUtf8}},
    {"utf-16", "", {kEncodingUtf16, kLittle, true}},
    {"utf-16le", "", {kEncodingUtf16, kLittle}},
    {"utf-16be", "", {kEncodingUtf16, kBig}},
    {"utf-32", "", {kEncodingUtf32, kLittle, true}},
    {"utf-32le", "", {kEncodingUtf32, kLittle}},
    {"utf-32be", "", {kEncodingUtf32, kBig}},
    {"ucs-2", "iso-10646/ucs2 csunicode", {kEncodingUtf16, kLittle, false, true}},
    {"ucs-2le", "unicodelittle", {kEncodingUtf16, kLittle, false, true}},
    {"ucs-2be", "unicodebig", {kEncodingUtf16, kBig, false, true}},
    {"ucs-4", "ucs-4be iso-10646 iso-10646/ucs4 10646-1:1993 csucs4", {kEncodingUtf32, kBig}},
    {"ucs-4le", "", {kEncodingUtf32, kLittle}},
    {"us-ascii",
     "ascii ansi_x3.4-1968 ansi_x3.4-1986 iso646-us iso_646.irv:1991 iso-ir-6 us cp367 ibm367 "
     "csascii",
     {1}},
    {"iso-8859-1", "8859_1 iso_8859-1:1987 iso-ir-100 latin1 l1 cp819 ibm819 csisolatin1", {2}},
    {"iso-8859-2", "8859_2 iso_8859-2:1987 iso-ir-101 latin2 l2 csisolatin2", {3}},
    {"iso-8859-3", "8859_3 iso_8859-3:1988 iso-ir-109 latin3 l3 csisolatin3", {4}},
    {"iso-8859-4", "8859_4 iso_8859-4:1988 iso-ir-110 latin4 l4 csisolatin4", {5}},
    {"iso-8859-5", "8859_5 iso_8859-5:1988 iso-ir-144 cyrillic csisolatincyrillic", {6}},
    {"iso-8859-6", "8859_6 iso_8859-6:1987 iso-ir-127 arabic ecma-114 csisolatinarabic", {7}},
    {"iso-8859-7",
     "8859_7 iso_8859-7:1987 iso_8859-7:2003 iso-ir-126 greek greek8 ecma-118 elot_928 "
     "csisolatingreek",
     {8}},
    {"iso-8859-8", "8859_8 iso_8859-8:1988 iso-ir-138 hebrew csisolatinhebrew", {9}},
    {"iso-8859-9", "8859_9 iso_8859-9:1989 iso-ir-148 latin5 l5 csisolatin5", {10}},
    {"iso-8859-10", "iso_8859-10:1992 iso-ir-157 latin6 l6 csisolatin6", {11}},
    {"tis-620", "tis620-0 tis620.2529-1 tis620.2533-0 iso-ir-166 thai", {12}},
    {"iso-8859-13", "iso-ir-179 latin7 l7 baltic", {13}},
    {"iso-8859-14", "iso_8859-14:1998 iso-ir-199 latin8 l8 iso-celtic", {14}},
    {"iso-8859-15", "iso_8859-15:1998 iso-ir-203 latin9 l9", {15}},
    {"iso-8859-16", "iso_8859-16:2001 iso-ir-226 latin10 l10", {16}},
    {"windows-1252", "cp1252 ms-ansi win1252", {17}},
};

// Lower-case letters and digits only: "ISO_8859-1:1987" -> "iso885911987".
std::string Folded(const char* name, size_t length) {
    std::string folded;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (std::isalnum(c) != 0) {
            folded += static_cast<char>(std::tolower(c));
        }
    }
    return folded;
}

// Calls visit(name, length) for the canonical name and each alias.
template <typename Visit>
void ForEachName(const NamedEncoding& encoding, Visit&& visit) {
    visit(encoding.name, std::strlen(encoding.name));
    for (const char* p = encoding.aliases; *p != '\0';) {
        const size_t length = std::strcspn(p, " ");
        visit(p, length);
        p += length + (p[length] == ' ' ? 1 : 0);
    }
}

// Edits (insertions, deletions, substitutions) that turn a into b.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

const NamedEncoding* FindEncoding(const char* name) {
    const std::string wanted = Folded(name, std::strlen(name));
    for (const NamedEncoding& encoding : kEncodings) {
        bool found = false;
        ForEachName(encoding, [&](const char* alias, size_t length) {
            found = found || Folded(alias, length) == wanted;
        });
        if (found) {
            return &encoding;
        }
    }
    return nullptr;
}

std::string ClosestEncodingNames(const char* name) {
    const std::string wanted = Folded(name, std::strlen(name));
    const size_t most = std::max<size_t>(1, wanted.size() / 3);  // edits still "close"
    struct Candidate {
        size_t distance;
        std::string name;
    };
    std::vector<Candidate> candidates;
    for (const NamedEncoding& encoding : kEncodings) {
        Candidate best{most + 1, ""};
        ForEachName(encoding, [&](const char* alias, size_t length) {
            const size_t distance = EditDistance(wanted, Folded(alias, length));
            if (distance < best.distance) {
                best = Candidate{distance, std::string(alias, length)};
            }
        });
        if (best.distance <= most) {
            candidates.push_back(best);
        }
    }
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    std::string names;
    for (size_t i = 0; i < candidates.size() && i < 3; ++i) {
        if (candidates[i].distance == candidates[0].distance) {
            names += (i == 0 ? "" : ", ") + candidates[i].name;
        }
    }
    return names;
}

void ListEncodings(FILE* out) {
    for (const NamedEncoding& encoding : kEncodings) {
        if (*encoding.aliases == '\0') {
            std::fprintf(out, "%s\n", encoding.name);
        } else {
            std::fprintf(out, "%-13s %s\n", encoding.name, encoding.aliases);
        }
    }
}

}  // namespace faultkit::cli
