// Small helpers shared by the table loaders.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "marketdata/text_fields.h"
#include "marketdata/text_source.h"
#include "platform/saturate.h"

namespace marketdata {

// Field 0 of a piece as SplitFields cuts it (blanks around it left out),
// when the piece has a '|' before its end or a zero byte: a piece without
// one has fewer than two fields.
inline bool FirstField(std::string_view piece, std::string_view& field) {
    const char* p = piece.data();
    const char* const end = p + piece.size();
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    const char* const start = p;
    while (p < end && *p != '|' && *p != '\0')
        ++p;
    if (p == end || *p != '|')
        return false;
    while (p > start && (p[-1] == ' ' || p[-1] == '\t'))
        --p;
    field = std::string_view(start, static_cast<std::size_t>(p - start));
    return true;
}

// Walks a time-stamped file the way every series reader does: lines with
// fewer than 2 fields and lines before the first slot are skipped, and the
// first line after the last slot ends the reading (files are in time order).
// `use` gets each remaining line's slot, fields and field count. A line
// before the window costs only finding its end and reading its time.
template <typename Use>
void ForEachSlotLine(TextSource& source, std::uint32_t divisor, std::uint32_t firstSlot, std::uint32_t lastSlot,
                     Use use) {
    char line[LineBufferSize];
    char* fields[MaxFields];
    std::string_view piece;
    while (source.NextPiece(piece)) {
        std::string_view first;
        if (!FirstField(piece, first))
            continue;
        const std::uint32_t slot = ParseTimeOfDay(first) / divisor;
        if (slot < firstSlot)
            continue;
        // Split only now; field 0 is `first`. An empty last field does not
        // count, so "time|" alone is still too short, even to end the reading.
        std::memcpy(line, piece.data(), piece.size());
        line[piece.size()] = '\0';
        TrimLineEnd(line);
        const int fieldCount = SplitFields(line, fields, MaxFields, true);
        if (fieldCount < 2)
            continue;
        if (slot > lastSlot)
            break;
        use(slot, fields, fieldCount);
    }
}

// One field of a piece as SplitFields (blanks trimmed) cuts the line, found
// without copying or cutting: the line ends at a zero byte, fields end at
// '|', the last one at a line-end character too, and an empty last field
// does not count, as far as MaxFields. (The line-end characters that end
// the line need no trimming: they are all past the last field's end.)
struct FieldOfLine {
    bool twoFields = false;  // the line has at least two fields
    bool present = false;    // it has field `column`, which is `text`
    std::string_view text;
};

inline FieldOfLine FieldOfPiece(std::string_view piece, std::uint32_t column) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto lineEnd = [](char c) { return c == '\r' || c == '\n'; };
    const char* p = piece.data();
    const char* const end = p + piece.size();
    // Fields are cut until both questions have their answer.
    const std::uint32_t enough = std::max<std::uint32_t>(column, 1) + 1;
    FieldOfLine out;
    std::uint32_t count = 0;
    while (count < static_cast<std::uint32_t>(MaxFields) && count < enough) {
        while (p < end && blank(*p))
            ++p;
        const char* const start = p;
        while (p < end && *p != '|' && *p != '\0')
            ++p;
        const bool bar = p < end && *p == '|';
        const char* fieldEnd = start;
        if (bar) {
            fieldEnd = p++;
            while (fieldEnd > start && blank(fieldEnd[-1]))
                --fieldEnd;
        } else {
            while (fieldEnd < p && !lineEnd(*fieldEnd))
                ++fieldEnd;
            if (fieldEnd == start)
                break;
        }
        if (count == column)
            out.text = std::string_view(start, static_cast<std::size_t>(fieldEnd - start));
        ++count;
        if (!bar)
            break;
    }
    out.twoFields = count >= 2;
    out.present = column < count;
    return out;
}

// ForEachSlotLine for a reader of one column: `use` gets each line's slot
// and its field `column`, or nothing when the line is too short for it.
template <typename Use>
void ForEachSlotField(TextSource& source, std::uint32_t divisor, std::uint32_t firstSlot, std::uint32_t lastSlot,
                      std::uint32_t column, Use use) {
    std::string_view piece;
    while (source.NextPiece(piece)) {
        std::string_view first;
        if (!FirstField(piece, first))
            continue;
        const std::uint32_t slot = ParseTimeOfDay(first) / divisor;
        if (slot < firstSlot)
            continue;
        const FieldOfLine field = FieldOfPiece(piece, column);
        if (!field.twoFields)
            continue;
        if (slot > lastSlot)
            break;
        use(slot, field.present ? &field.text : nullptr);
    }
}

}  // namespace marketdata
