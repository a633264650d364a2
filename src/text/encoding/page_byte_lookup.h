// The byte of a code point in a code page, as conversions
// from UTF-8 look it up when the reverse tables are expanded: through the
// page's expanded table, or for long texts, where building it pays, through
// a direct table of the code points below 0x800 (those of 1- and 2-byte
// UTF-8), one load a lookup.
#pragma once

#include <cstdint>

#include "text/encoding/character_coders.h"
#include "text/encoding/reverse_tables.h"

namespace faultkit {

class PageByteLookup {
public:
    // reverse: the page's expanded block; direct: build the direct table.
    PageByteLookup(const uint8_t* reverse, uint8_t replacement, bool direct)
        : reverse_(reverse), replacement_(replacement), direct_(direct) {
        if (direct_) {
            ExpandedGroups(reverse, 0, kDirect / kReverseGroupSize, table_);
            for (uint32_t cp = 1; cp < kDirect; ++cp) {
                table_[cp] = CodePageByte(table_[cp], cp, replacement);
                if (table_[cp] != replacement) {
                    rows_ |= uint32_t{1} << (cp / kRow);
                }
            }
        }
    }

    static constexpr uint32_t kDirect = 0x800;

    uint8_t operator()(uint32_t cp) const {
        return direct_ && cp < kDirect ? table_[cp] : Looked(cp);
    }

    // The direct table, or null.
    const uint8_t* Direct() const { return direct_ ? table_ : nullptr; }

    // The direct table in rows of 64 code points, those of the 2-byte
    // UTF-8 forms with one lead byte: bit r is set where row r holds a
    // byte other than the replacement.
    static constexpr uint32_t kRow = 64;
    uint32_t RowsNotReplaced() const { return rows_; }
    uint8_t Replacement() const { return replacement_; }

    // The byte through the expanded table.
    uint8_t Looked(uint32_t cp) const {
        return CodePageByte(cp < 0x10000 ? ExpandedLookup(reverse_, cp) : 0, cp, replacement_);
    }

private:
    const uint8_t* reverse_;
    uint8_t replacement_;
    bool direct_;
    uint32_t rows_ = 0;
    uint8_t table_[kDirect];
};

}  // namespace faultkit
