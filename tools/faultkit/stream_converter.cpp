#include "stream_converter.h"

#include <cstring>
#include <new>

#include "text/convert/encoding_conversion.h"
#include "text/encoding/character_coders.h"
#include "text/encoding/reverse_tables.h"
#include "text/encoding/utf8.h"
#include "utf8_form.h"

namespace faultkit::cli {
namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;
constexpr uint32_t kByteOrderMark = 0xFEFF;
constexpr size_t kLargestMark = 4;

bool IsSurrogate(uint32_t cp) {
    return cp >= 0xD800 && cp <= 0xDFFF;
}

size_t UnitSize(EncodingId id) {
    return id == kEncodingUtf16 ? 2 : id == kEncodingUtf32 ? 4 : 1;
}

// Reverses the bytes of every whole unit in [begin, end).
void SwapUnits(uint8_t* begin, uint8_t* end, size_t unit) {
    for (uint8_t* p = begin; unit > 1 && end - p >= static_cast<ptrdiff_t>(unit); p += unit) {
        for (size_t i = 0; i < unit / 2; ++i) {
            const uint8_t byte = p[i];
            p[i] = p[unit - 1 - i];
            p[unit - 1 - i] = byte;
        }
    }
}

uint32_t LoadUnit(const uint8_t* p, size_t unit) {
    if (unit == 2) {
        uint16_t value;
        std::memcpy(&value, p, 2);
        return value;
    }
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

// What the source holds at one position: a character (value: its code
// point), a problem of `size` bytes, or the start of a character cut by the
// end of what has arrived.
struct Scan {
    enum Kind : uint8_t { kChar, kProblem, kCut } kind;
    uint8_t size;
    ProblemKind problem;
    uint32_t value;
};

Scan Char(size_t size, uint32_t cp) {
    return Scan{Scan::kChar, static_cast<uint8_t>(size), ProblemKind::kNone, cp};
}
Scan Bad(size_t size, ProblemKind problem, uint32_t value) {
    return Scan{Scan::kProblem, static_cast<uint8_t>(size), problem, value};
}
Scan Cut(ptrdiff_t available) {
    return Scan{Scan::kCut, static_cast<uint8_t>(available), ProblemKind::kCutShort, 0};
}

// Steps over bytes below 0x7F: in every byte encoding here they are
// U+0000 to U+007E, which every target holds. Eight bytes at a time: a byte
// has its high bit set, or sets it when 1 is added, only from 0x7F up.
const uint8_t* SkipPlainAscii(const uint8_t* p, const uint8_t* end) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHighBits = 0x8080808080808080u;
    for (uint64_t word; end - p >= 8; p += 8) {
        std::memcpy(&word, p, 8);
        if (((word | (word + kOnes)) & kHighBits) != 0) {
            break;
        }
    }
    while (p < end && *p < 0x7F) {
        ++p;
    }
    return p;
}

// The code points the target has: every scalar value, those of the BMP
// (UCS-2), or those of a code page.
struct TargetRepertoire {
    enum Kind : uint8_t { kAll, kBmp, kCodePage } kind;
    EncodingId id;

    bool Has(uint32_t cp) const {
        if (kind != kCodePage) {
            return kind == kAll || cp < 0x10000;
        }
        return cp == 0 || (cp < 0x10000 && ReverseLookup(ProcessReverseTables(), cp, id) != 0);
    }
};

TargetRepertoire RepertoireOf(const StreamEncoding& to) {
    const auto kind = IsCodePage(to.id) ? TargetRepertoire::kCodePage
                      : to.bmp_only     ? TargetRepertoire::kBmp
                                        : TargetRepertoire::kAll;
    return TargetRepertoire{kind, to.id};
}

// UTF-8 in its well-formed form; the maximal parts of an ill-formed
// sequence are problems one by one.
struct Utf8Decoder {
    // ASCII, and where the target has every character of their length, the
    // well-formed sequences.
    static const uint8_t* SkipPlain(const uint8_t* p, const uint8_t* end, TargetRepertoire target) {
        const size_t longest = target.kind == TargetRepertoire::kAll   ? 4
                               : target.kind == TargetRepertoire::kBmp ? 3
                                                                       : 0;
        for (p = SkipPlainAscii(p, end); p < end;) {
            const Utf8Form form = ScanUtf8Form(p, static_cast<size_t>(end - p));
            if (form.kind != Utf8Form::kChar || form.length > longest) {
                break;
            }
            p += form.length;
        }
        return p;
    }

    Scan operator()(const uint8_t* p, const uint8_t* end, bool last) const {
        const Utf8Form form = ScanUtf8Form(p, static_cast<size_t>(end - p));
        if (form.kind == Utf8Form::kChar) {
            return Char(form.length, form.cp);
        }
        return form.kind == Utf8Form::kCut ? Cut(end - p) : IllFormed(p, end, form.length, last);
    }

    // Names what the bytes spell in the library's wider UTF-8 (up to 6
    // bytes, any value): a surrogate, a value above U+10FFFF or an overlong
    // form; else an invalid byte. So that the name does not depend on where
    // a block ends, bytes that might complete such a form are waited for.
    static Scan IllFormed(const uint8_t* p, const uint8_t* end, size_t size, bool last) {
        uint32_t cp = 0;
        bool error = false;
        if (Utf8DecodeChar(reinterpret_cast<const char*>(p), &cp, nullptr, &error,
                           DecodeLimit(end - p))) {
            return Bad(size,
                       IsSurrogate(cp)           ? ProblemKind::kSurrogate
                       : cp > kUtf16MaxCodePoint ? ProblemKind::kAboveUnicode
                                                 : ProblemKind::kOverlong,
                       cp);
        }
        return error || last ? Bad(size, ProblemKind::kInvalidByte, p[0]) : Cut(end - p);
    }
};

// Host-order UTF-16, or UCS-2 (bmp_only), which has no surrogate pairs.
struct Utf16Decoder {
    bool bmp_only;

    // Units outside the surrogates are characters that every Unicode target
    // has.
    static const uint8_t* SkipPlain(const uint8_t* p, const uint8_t* end, TargetRepertoire target) {
        while (target.kind != TargetRepertoire::kCodePage && end - p >= 2 &&
               !IsSurrogate(LoadUnit(p, 2))) {
            p += 2;
        }
        return p;
    }

    Scan operator()(const uint8_t* p, const uint8_t* end, bool) const {
        if (end - p < 2) {
            return Cut(end - p);
        }
        const uint32_t unit = LoadUnit(p, 2);
        if (!IsSurrogate(unit)) {
            return Char(2, unit);
        }
        if (bmp_only || unit >= 0xDC00) {
            return Bad(2, ProblemKind::kSurrogate, unit);
        }
        if (end - p < 4) {
            return Cut(end - p);
        }
        const uint32_t low = LoadUnit(p + 2, 2);
        if (low < 0xDC00 || low > 0xDFFF) {
            return Bad(2, ProblemKind::kSurrogate, unit);
        }
        return Char(4, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    }
};

// Host-order UTF-32 and UCS-4: one unit a character.
struct Utf32Decoder {
    static const uint8_t* SkipPlain(const uint8_t* p, const uint8_t*, TargetRepertoire) {
        return p;
    }

    Scan operator()(const uint8_t* p, const uint8_t* end, bool) const {
        if (end - p < 4) {
            return Cut(end - p);
        }
        const uint32_t unit = LoadUnit(p, 4);
        if (IsSurrogate(unit)) {
            return Bad(4, ProblemKind::kSurrogate, unit);
        }
        return unit > kUtf16MaxCodePoint ? Bad(4, ProblemKind::kAboveUnicode, unit) : Char(4, unit);
    }
};

// The library's table maps a byte without a character to U+FFFF.
struct CodePageDecoder {
    const uint16_t* table;

    static const uint8_t* SkipPlain(const uint8_t* p, const uint8_t* end, TargetRepertoire) {
        return SkipPlainAscii(p, end);
    }

    Scan operator()(const uint8_t* p, const uint8_t*, bool) const {
        const uint16_t cp = table[*p];
        return cp == kUnmappedCodePoint ? Bad(1, ProblemKind::kUnmappedByte, *p) : Char(1, cp);
    }
};

// cp in the target encoding and byte order; the replacement byte stands in
// for a code point that a code page lacks.
size_t EncodeInTarget(const ConversionSettings& settings, uint32_t cp, uint8_t* bytes) {
    void* end = bytes;
    EncodeChar(settings.to.id, cp, bytes, &end, settings.replacement);
    if (settings.to.order == ByteOrder::kBig) {
        SwapUnits(bytes, static_cast<uint8_t*>(end), UnitSize(settings.to.id));
    }
    return static_cast<size_t>(static_cast<uint8_t*>(end) - bytes);
}

size_t OutputRoom(size_t block) {
    return StreamConverter::kMaxGrowth * (block + StreamConverter::kMaxCarry) + kLargestMark;
}

}  // namespace

bool StreamConverter::Open(const ConversionSettings& settings, size_t block) {
    settings_ = settings;
    block_ = block;
    mark_pending_ = settings.from.byte_order_mark;
    replacement_size_ = EncodeInTarget(settings, kReplacementCharacter, replacement_);
    const bool two_steps = settings.from.id != settings.to.id &&
                           settings.from.id != kEncodingUtf8 && settings.to.id != kEncodingUtf8;
    input_.reset(new (std::nothrow) uint8_t[block + kMaxCarry]);
    output_.reset(new (std::nothrow) uint8_t[OutputRoom(block)]);
    if (two_steps) {
        middle_.reset(new (std::nothrow) uint8_t[OutputRoom(block)]);
    }
    return input_ != nullptr && output_ != nullptr && (!two_steps || middle_ != nullptr);
}

bool StreamConverter::Convert(size_t size) {
    return ConvertWindow(carry_ + size, false);
}

bool StreamConverter::Finish() {
    return ConvertWindow(carry_, true);
}

bool StreamConverter::ConvertWindow(size_t length, bool last) {
    output_size_ = 0;
    size_t start = 0;
    if (!TakeByteOrderMark(length, last, &start)) {
        carry_ = length;
        return true;
    }
    PutHostOrder(length);
    const EncodingId from = settings_.from.id;
    if (from == kEncodingUtf8) {
        return ConvertCharacters(Utf8Decoder{}, start, length, last);
    }
    if (from == kEncodingUtf16) {
        return ConvertCharacters(Utf16Decoder{settings_.from.bmp_only}, start, length, last);
    }
    if (from == kEncodingUtf32) {
        return ConvertCharacters(Utf32Decoder{}, start, length, last);
    }
    return ConvertCharacters(CodePageDecoder{CodePageTableOf(from)}, start, length, last);
}

// Reads the input's byte-order mark once enough bytes have come: it sets
// the input's byte order and *start skips it. False while too few bytes
// have come to tell.
bool StreamConverter::TakeByteOrderMark(size_t length, bool last, size_t* start) {
    if (!mark_pending_) {
        return true;
    }
    const size_t unit = UnitSize(settings_.from.id);
    if (length < unit && !last) {
        return false;
    }
    mark_pending_ = false;
    const uint8_t* bytes = input_.get();
    if (length >= unit) {
        static const uint8_t kLittle[4] = {0xFF, 0xFE, 0, 0}, kBig[4] = {0, 0, 0xFE, 0xFF};
        const bool little = std::memcmp(bytes, kLittle, unit) == 0;
        const bool big = std::memcmp(bytes, kBig + 4 - unit, unit) == 0;
        if (little || big) {
            settings_.from.order = big ? ByteOrder::kBig : ByteOrder::kLittle;
            *start = unit;
        }
    }
    return true;
}

// Big-endian input is turned into host order in place, unit by unit; the
// units carried from the previous block have been turned already.
void StreamConverter::PutHostOrder(size_t length) {
    if (settings_.from.order != ByteOrder::kBig) {
        return;
    }
    const size_t unit = UnitSize(settings_.from.id);
    const size_t whole = length - length % unit;
    SwapUnits(input_.get() + host_order_, input_.get() + whole, unit);
    host_order_ = whole;
}

template <typename Decoder>
bool StreamConverter::ConvertCharacters(const Decoder& decode, size_t start, size_t length,
                                        bool last) {
    uint8_t* const base = input_.get();
    const uint8_t* const end = base + length;
    const uint8_t* run = base + start;  // characters that convert as they are
    const uint8_t* p = run;
    const TargetRepertoire target = RepertoireOf(settings_.to);
    bool going = true;
    while (p < end) {
        if ((p = decode.SkipPlain(p, end, target)) == end) {
            break;
        }
        const Scan scan = decode(p, end, last);
        if (scan.kind == Scan::kChar && target.Has(scan.value)) {
            p += scan.size;
            continue;
        }
        WriteRun(run, p);
        run = p;
        if (scan.kind == Scan::kCut && !last) {
            break;
        }
        const ProblemKind kind =
            scan.kind == Scan::kChar ? ProblemKind::kNotInTarget : scan.problem;
        going = MeetProblem(p, kind, scan.value);
        if (!going) {
            break;
        }
        p += scan.size;
        run = p;
    }
    WriteRun(run, p);
    carry_ = static_cast<size_t>(end - p);
    std::memmove(base, p, carry_);
    consumed_ += static_cast<uint64_t>(p - base);
    const size_t unit = UnitSize(settings_.from.id);
    host_order_ = carry_ - carry_ % unit;
    return going;
}

// Counts the problem and writes the replacement, or nothing; false when the
// policy is to stop.
bool StreamConverter::MeetProblem(const uint8_t* at, ProblemKind kind, uint32_t value) {
    ++problems_;
    if (first_problem_.kind == ProblemKind::kNone) {
        first_problem_ = Problem{kind, consumed_ + static_cast<uint64_t>(at - input_.get()), value};
    }
    if (settings_.policy == Policy::kReplace) {
        WriteTarget(replacement_, replacement_size_);
    }
    return settings_.policy != Policy::kStop;
}

// Output that needs a byte-order mark starts with it.
void StreamConverter::BeginOutput() {
    if (!mark_written_ && settings_.to.byte_order_mark) {
        mark_written_ = true;
        output_size_ += EncodeInTarget(settings_, kByteOrderMark, output_.get() + output_size_);
    }
}

void StreamConverter::WriteTarget(const uint8_t* bytes, size_t size) {
    BeginOutput();
    std::memcpy(output_.get() + output_size_, bytes, size);
    output_size_ += size;
}

// Converts well-formed characters that the target accepts with the
// library's engine, which handles UTF-8 on one side; other pairs go through
// UTF-8 in the middle, and an encoding converts to itself unchanged.
void StreamConverter::WriteRun(const uint8_t* begin, const uint8_t* end) {
    if (begin == end) {
        return;
    }
    BeginOutput();
    const size_t length = static_cast<size_t>(end - begin);
    const size_t room = OutputRoom(block_) - output_size_;
    const EncodingId from = settings_.from.id;
    const EncodingId to = settings_.to.id;
    uint8_t* const out = output_.get() + output_size_;
    void* written = out + length;
    if (from == to) {
        std::memcpy(out, begin, length);
    } else if (from == kEncodingUtf8) {
        ConvertFromUtf8(to, reinterpret_cast<const char*>(begin), length, out, room, nullptr,
                        &written, settings_.replacement);
    } else if (to == kEncodingUtf8) {
        ConvertToUtf8(from, begin, length, out, room, nullptr, &written);
    } else {
        void* middle_end = middle_.get();
        ConvertToUtf8(from, begin, length, middle_.get(), OutputRoom(block_), nullptr, &middle_end);
        ConvertFromUtf8(to, reinterpret_cast<const char*>(middle_.get()),
                        static_cast<size_t>(static_cast<uint8_t*>(middle_end) - middle_.get()), out,
                        room, nullptr, &written, settings_.replacement);
    }
    if (settings_.to.order == ByteOrder::kBig) {
        SwapUnits(out, static_cast<uint8_t*>(written), UnitSize(to));
    }
    output_size_ += static_cast<size_t>(static_cast<uint8_t*>(written) - out);
}

}  // namespace faultkit::cli
